// Waveform commands of the module player: the vibrato and tremolo waves
// (sine, ramp down, square, random), tremolo, tremor, fine vibrato and the
// semitone steps of a glissando. The handlers fit the command tables of
// sound/gmpcmds.cpp.
#pragma once

#include <cstdint>

#include "sound/gmpcmds.h"

// Value -255..255 of a waveform (bits 0-1 of a waveform byte) at a position;
// one cycle is 64 positions, the second half negative.
int gmpWaveValue(const PlayerHandle* h, unsigned waveform, unsigned position);

// Vibrato on the output period with the channel's speed, depth and
// waveform; the position moves on by the speed. A fine vibrato is four times
// shallower.
void gmpVibratoStep(PlayerHandle* h, PlayerChannel* c, bool fine);

// Glissando: the period of the lowest note whose period is not above
// `period` (the pitch rounded up to a semitone); the highest note's period
// when every note is lower.
std::uint32_t gmpSemitonePeriod(const PlayerHandle* h, const PlayerChannel* c,
                                std::uint32_t period);

int gmpTremolo(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
int gmpTremor(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
int gmpFineVibrato(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
int gmpSetVibratoWaveform(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
int gmpSetTremoloWaveform(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
int gmpSetGlissando(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
