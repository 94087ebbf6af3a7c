// Live playback for modplay through the sound system's calling interface: the
// output device is detected (a sound card, or the no-sound device that keeps
// time without one), the song plays from the player thread, and the position is
// shown until the song ends or the user quits with q or Ctrl-C. Several
// modules play one after another; one that cannot be played is reported and
// the list goes on.
#pragma once

#include "tools/modplay/options.h"

// Plays options.files, first showing the sound set-up dialog when showSetup
// is set; returns the process exit status (1 when any module failed, 130
// after a signal).
int ModplayLiveRun(const ModplayOptions& options, bool showSetup);
