// IT sample auto-vibrato: each sample may carry a vibrato of its own (speed,
// depth, rate and waveform) that moves every note it plays, on every tick.
#pragma once

#include <cstdint>

#include "sound/gmplayer.h"

// The sounding period of this tick: `period` (the output period after the
// pitch envelope) moved by the sample's auto-vibrato. The depth climbs by the
// rate / 256 a tick up to the sample's depth; the wave (sine, ramp down, square, random; ±64) at the position,
// times the depth / 64, gives a delta in 1/768 octave. The position moves on
// by the speed after it was read. No sample, a depth or speed of 0, or a
// period of 0 leave the period as it is.
std::uint32_t gmpItAutoVibrato(const PlayerHandle* h, PlayerChannel* c, const ModuleSample* s,
                               std::uint32_t period);

// The auto-vibrato wave at a position 0..255: 0 sine, 1 ramp down, 2 square
// (0 or 64), 3 random (-64..63); other types play as the sine.
int gmpItAutoVibratoWave(unsigned type, unsigned position);
