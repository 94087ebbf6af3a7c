// IT tremolo (Rxy, its waveform from S4x): the note's volume swings around
// the channel volume on the rows that carry R, on IT's own 256-step waves.
#pragma once

#include "sound/gmplayer.h"

// Rxy: speed x and depth y, each kept when 0 (R's own memory).
int gmpItTremolo(PlayerHandle* h, PlayerChannel* c, unsigned p, unsigned r);

// The volume (0..64) a channel sounds at on this tick: on a row with R the
// wave (±64 at the position) × depth / 32 is added to the volume and the
// position moves on by speed × 4 (not on a row's first tick with old
// effects); on other rows the volume as it is. The position is not reset by
// a new note.
int gmpItTremoloVolume(const PlayerHandle* h, PlayerChannel* c);
