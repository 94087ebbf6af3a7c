// Offline playing of the presentation: the real start-up, timeline and software
// accelerator run on a virtual clock at a fixed frame rate, the soundtrack is
// mixed in step into memory, and the result becomes a video (through the ffmpeg
// program when it is installed, else numbered PNG frames and a WAV file) or a
// single picture.
#pragma once

#include <cstdint>
#include <string>

struct CaptureOptions {
  std::string output;       // video file, or PNG file in single-picture mode
  double fps = 60.0;
  double from = 0.0;        // seconds of the timeline
  double to = 218.0;        // clipped to the end of the timeline
  double frameTime = -1.0;  // >= 0: one picture at this time instead of a video
  std::string dataDir;      // folder with "demo.dat" and "music.s3m"; empty: current
  bool progress = false;    // progress bar on standard error
  bool useFfmpeg = true;    // false: PNG frames and a WAV even when ffmpeg exists
  bool audio = true;
};

struct CaptureResult {
  std::int64_t frames = 0;        // pictures written
  std::int64_t audioFrames = 0;   // sample frames written
  double seconds = 0.0;           // presentation time covered
  bool encoded = false;           // a video file was made by ffmpeg
  std::string audioNote;          // why the soundtrack is silent, when it is
};

// Parses the command line (argv[0] is the program). Returns false with a message
// for bad arguments; sets help when --help was given.
bool ParseCaptureArguments(int argc, char** argv, CaptureOptions& options, bool& help, std::string& error);
const char* CaptureUsage();

// Plays the presentation once. The start-up can run only once per process.
// Returns false with a message on failure.
bool RunCapture(const CaptureOptions& options, CaptureResult& result, std::string& error);

// True when an executable named `program` is found on PATH.
bool ProgramOnPath(const char* program);
