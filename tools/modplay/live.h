// Live playback for modplay through the sound system's calling interface: the
// output device is detected (a sound card, or the no-sound device that keeps
// time without one), the song plays from the player thread, and the position is
// shown until the song ends or the user quits with q or Ctrl-C.
#pragma once

#include "tools/modplay/options.h"

// Plays options.file; returns the process exit status.
int ModplayLive(const ModplayOptions& options);
// The same, first showing the sound set-up dialog when showSetup is set.
int ModplayLiveRun(const ModplayOptions& options, bool showSetup);
