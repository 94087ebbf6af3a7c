// The capture tool's command line: what to capture and where it goes.
#pragma once

#include <optional>
#include <string>

struct CaptureOptions {
  std::string output;       // video file, or PNG file in single-picture mode
  double fps = 60.0;
  double from = 0.0;        // seconds of the timeline
  double to = 218.0;        // clipped to the end of the timeline
  double frameTime = -1.0;  // >= 0: one picture at this time instead of a video
  std::string dataDir;      // folder with "demo.dat" and "music.s3m"; empty: current
  bool progress = false;    // progress bar on standard error
  bool quiet = false;       // --quiet: no progress bar and no closing summary
  bool useVideo = true;     // false: PNG frames and a WAV even when a video can be encoded
  bool audio = true;
  int drawThreads = 2;      // threads that draw a frame's rows: 1, or 2 with the accelerator's worker
};

// Parses the command line into *options (argv[0] is the program). Nothing when
// the capture should go on, else the exit status: 0 after --help or --version,
// 2 after a bad or contradictory command line, with its message printed.
std::optional<int> ParseCaptureOptions(int argc, char** argv, CaptureOptions* options);
