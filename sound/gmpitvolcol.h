// The IT volume column's effects: fine volume up and down (a, b), volume
// slides (c, d), pitch slides (e, f), tone portamento (g), vibrato depth (h)
// and panning (p), with IT's memories.
#pragma once

#include "sound/gmplayer.h"

// Stored volume-column byte ranges (0..64 set the volume).
enum : unsigned {
  itVolFineUp = 65,      // a0..a9
  itVolFineDown = 75,    // b0..b9
  itVolSlideUp = 85,     // c0..c9
  itVolSlideDown = 95,   // d0..d9
  itVolPitchDown = 105,  // e0..e9
  itVolPitchUp = 115,    // f0..f9
  itVolPanning = 128,    // 128..192
  itVolGlide = 193,      // g0..g9
  itVolVibrato = 203,    // h0..h9
  itVolEnd = 213,
};

// Whether this row's volume column glides (g): its note is a target, not a
// new start.
bool gmpItVolumeGlide(const PlayerHandle* h, const PlayerChannel* c);
// Whether this row's volume column vibrates (h).
bool gmpItVolumeVibrato(const PlayerHandle* h, const PlayerChannel* c);

// The first tick and the later ticks of a volume-column effect.
int gmpItVolumeColumnRow(PlayerHandle* h, PlayerChannel* c);
int gmpItVolumeColumnTick(PlayerHandle* h, PlayerChannel* c);
