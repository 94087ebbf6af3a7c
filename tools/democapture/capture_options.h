// The capture tool's command line: what to capture and where it goes.
#pragma once

#include <string>

struct CaptureOptions {
  std::string output;       // video file, or PNG file in single-picture mode
  double fps = 60.0;
  double from = 0.0;        // seconds of the timeline
  double to = 218.0;        // clipped to the end of the timeline
  double frameTime = -1.0;  // >= 0: one picture at this time instead of a video
  std::string dataDir;      // folder with "demo.dat" and "music.s3m"; empty: current
  bool progress = false;    // progress bar on standard error
  bool useVideo = true;     // false: PNG frames and a WAV even when a video can be encoded
  bool audio = true;
};

// Parses the command line (argv[0] is the program). Returns false with a message
// for bad or conflicting arguments; sets help when --help was given.
bool ParseCaptureArguments(int argc, char** argv, CaptureOptions& options, bool& help, std::string& error);
const char* CaptureUsage();
