// Offline playing of the presentation: the real start-up, timeline and software
// accelerator run on a virtual clock at a fixed frame rate, the soundtrack is
// mixed in step, and the result becomes a video (encoded in-process; PNG frames
// and a WAV file without the encoder libraries) or a single picture.
#pragma once

#include <cstdint>
#include <string>

#include "tools/democapture/capture_options.h"

struct CaptureResult {
  std::int64_t frames = 0;        // pictures written
  std::int64_t audioFrames = 0;   // sample frames written
  double seconds = 0.0;           // presentation time covered
  bool encoded = false;           // a video file was made
  bool withSound = false;         // the music played into the soundtrack
  std::string notes;              // what the user should know (silent soundtrack, no encoder)
  int stopSignal = 0;             // the signal that stopped the capture, or 0
};

// Plays the presentation once. The start-up can run only once per process.
// Returns false with a message on failure; nothing is left half-written.
bool RunCapture(const CaptureOptions& options, CaptureResult& result, std::string& error);
