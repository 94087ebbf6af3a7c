// IT panning commands beyond X, P and S8x: panbrello (Yxy, with its
// waveform from S5x) and surround (S91).
#pragma once

#include "sound/gmplayer.h"

// Yxy: speed x and depth y, each kept when 0.
int gmpItPanbrello(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
// S5x: panbrello waveform 0 sine, 1 ramp down, 2 square, 3 random.
int gmpItPanbrelloWaveform(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);
// S91 turns surround on; other S9x do nothing.
int gmpItSurround(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);

// A panning command or a new note: surround off, panbrello's offset and the
// note's panning swing and pitch-pan separation gone.
void gmpItPanningReset(PlayerChannel* c);
// The device panning of an IT channel (-64..64, 0x80 surround) from its
// panning 0..64 after the envelope: on a row with Y the wave moves on a tick
// (every tick, the first too) and its offset, held after the row, is added.
int gmpItChannelPanning(const PlayerHandle* h, PlayerChannel* c, int panning);
