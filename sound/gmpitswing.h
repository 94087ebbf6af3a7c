// IT note swing: an instrument's random volume (RV, 0..100 %) and random
// panning (RP, 0..64) vary each new note, and its pitch-pan separation (PPS,
// -32..32, around the centre note PPC) pans notes by their pitch. The random
// source belongs to the song and is seeded from it, so a render repeats.
#pragma once

#include <cstdint>

#include "sound/gmplayer.h"

// Seeds the song's random source from its name and order list.
void gmpItSeedRandom(PlayerHandle* h);
// The next value of the song's random source, -128..127.
int gmpItRandom(PlayerHandle* h);

// A new note starts on the channel: RV swings the sample × instrument global
// volume by up to RV % of it, RP the panning by up to RP × 4 on IT's 0..256
// scale, and PPS offsets the panning by (note - PPC) × PPS / 2. Without an
// instrument all three are 0.
void gmpItNoteSwing(PlayerHandle* h, PlayerChannel* c);

// The sample × instrument global volume (0..8192) with the note's swing.
std::uint32_t gmpItSwungGlobalVolume(const PlayerChannel* c, std::uint32_t sampleTimesInstrument);
