// IT pitch envelope: an instrument's third envelope, when it is not a filter
// envelope, bends the pitch of its notes by up to 16 semitones either way.
#pragma once

#include <cstdint>

#include "sound/gmplayer.h"

// The period moved by the instrument's pitch envelope at the channel's
// position, which then moves on. Its values 0..64 stand for -32..32 half
// semitones around 32 and act on the frequency (1/768 octave steps) in both
// slide modes. Without a pitch envelope, or on a period of 0, the period
// stays as it is.
std::uint32_t gmpItPitchEnvelope(const PlayerHandle* h, PlayerChannel* c,
                                 const ModuleInstrument* ins, std::uint32_t period);
