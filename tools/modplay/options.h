// What the modplay command line asks for. Live playback (live.cpp) provides
//   int ModplayLiveRun(const ModplayOptions& options, bool showSetup);
// which plays options.file through the sound system's calling interface and
// returns the process exit status.
#pragma once

#include <string>

struct ModplayOptions {
  std::string file;
  std::string output;        // -o: WAV file to render to
  bool info = false;         // --info
  bool json = false;         // --json (with --info)
  unsigned rate = 44100;     // --rate
  bool mono = false;         // --mono
  bool eightBit = false;     // --8bit
  bool interpolate = false;  // --interpolate
  int filter = 3;            // --filter 0..3
  bool quiet = false;        // --quiet: no progress bar
  bool setup = false;        // --setup: the sound set-up dialog before live play
};
