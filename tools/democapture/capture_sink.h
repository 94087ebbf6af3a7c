// Where a capture's frames and soundtrack go: a video file encoded in-process,
// or numbered PNG frames and a WAV file. Take comes from the drawing thread;
// every other call but Discard from the frame writer's thread, in frame order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tools/democapture/frame_writer.h"

// The soundtrack's sample layout as the mixer writes it.
struct SoundFormat {
  int rate = 0;      // sample frames per second; 0: no soundtrack
  int channels = 0;  // 1 or 2
  int bits = 16;     // 8 (unsigned) or 16 (signed)
  int FrameBytes() const { return channels * bits / 8; }
};

class CaptureSink {
public:
  virtual ~CaptureSink() = default;
  // Fills a queue slot's picture from the frame just shown, in the form Write
  // wants it; by default a copy of the RGB565 rows.
  virtual void Take(const ShownFrame& shown, CapturedFrame& slot) { CopyShownPixels(shown, slot); }
  // One frame and the sound mixed while it was shown. Empty, or what went wrong.
  virtual std::string Write(const CapturedFrame& frame) = 0;
  // Completes the output and puts it in place. Empty, or what went wrong.
  virtual std::string Finish() = 0;
  // Removes what was written (a failed or stopped capture); the output the user
  // named is left as it was.
  virtual void Discard() = 0;
};

struct SinkSettings {
  std::string output;  // what the user named
  int width = 640, height = 480;
  double fps = 60.0;
  SoundFormat sound;
};
