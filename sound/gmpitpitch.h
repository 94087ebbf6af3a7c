// IT pitch rules: linear slides (the song header's flag), IT's vibrato with
// the old-effects flag, tone portamento and the memory E, F and G share
// unless the header asks for compatible Gxx.
#pragma once

#include <cstdint>

#include "sound/gmplayer.h"

// With linear slides IT periods are kept 2^6 times finer than the Amiga
// scale, so that a slide of 1/768 octave moves the highest notes too.
inline constexpr unsigned gmpItLinearPeriodShift = 6;

bool gmpItLinear(const Module* m);
bool gmpItOldEffects(const Module* m);

// The period moved by `units` steps of 1/768 octave; positive units raise
// the pitch (the period falls). A period of 0 stays 0.
std::uint32_t gmpItSlidePeriod(std::uint32_t period, std::int64_t units);

// E and F with linear slides: sign -1 raises the pitch, +1 lowers it. Exx
// slides xx × 4 units on every tick after the first, EFx x × 4 and EEx x on
// the first tick.
void gmpItLinearPortamento(PlayerHandle* h, PlayerChannel* c, unsigned p, int sign);

// One step of tone portamento towards the target: speed × 4 units with
// linear slides, speed × 4 period units otherwise.
void gmpItTonePortamentoStep(PlayerHandle* h, PlayerChannel* c);

// G's parameter: with compatible Gxx G keeps its own memory; otherwise E, F
// and G share one, so a G00 after an E05 glides at 5.
void gmpItTonePortamentoSpeed(const PlayerHandle* h, PlayerChannel* c, unsigned r);
// E and F (and the volume column's e and f) store their parameter, where G
// finds it too unless compatible Gxx is set.
void gmpItSlideMemory(PlayerChannel* c, unsigned p);
// One tick of a plain pitch slide by p (E, F, the volume column's e, f):
// p × 4 units, linear or Amiga; sign -1 raises the pitch.
void gmpItPitchSlide(PlayerHandle* h, PlayerChannel* c, unsigned p, int sign);

// IT vibrato (fine: U) on the output period, on IT's 256-step waves: the
// position moves on by speed × 4 first, then wave (±64) × depth × 4 / 64
// (U: depth / 64) raises the pitch by that many 1/768 octave with linear
// slides, or lowers the period by it; old effects double it and lower the
// pitch first.
void gmpItVibratoStep(PlayerHandle* h, PlayerChannel* c, bool fine);
// Whether a vibrato acts on the row's first tick: in IT's own effects mode
// it does, with old effects only later ticks do.
bool gmpItVibratoOnFirstTick(const PlayerHandle* h);

// The start offset (sample frames) of an IT note: one past the sample's end
// is ignored (the note starts at the beginning) in IT's own effects mode;
// old effects keep it, and the note starts at the end.
std::uint32_t gmpItSampleOffset(const Module* m, const ModuleSample* s, std::uint32_t offset);
// SAx: bits 16..19 of the offsets of later O commands (O00 too), until the
// next SAx.
int gmpItSetHighOffset(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
std::uint32_t gmpItHighOffset(const PlayerChannel* c);

// An IT vibrato of this row (H, K, U, the volume column's h) that moved the pitch on its first tick.
bool gmpItVibratoActed(const PlayerHandle* h, const PlayerChannel* c);
