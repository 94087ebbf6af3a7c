// Live playback for modplay through the sound system's calling interface: the
// output device is detected (a sound card, or the no-sound device that keeps
// time without one), the song plays from the player thread, and the position is
// shown until the song ends or the user quits with q or Ctrl-C.
#pragma once

#include "tools/modplay/options.h"

// Plays options.file, first showing the sound set-up dialog when showSetup
// is set; returns the process exit status.
int ModplayLiveRun(const ModplayOptions& options, bool showSetup);
