// Internal: the audio backend behind the wave output and the DirectSound stand-in.
// Outputs pull their PCM data through a sink from the backend's own thread (the
// sound card's callback, or the test driving the virtual device).
#pragma once

#include <cstddef>

#include "platform/win32/win32_wave.h"

namespace win32audio {

class Sink {
public:
  virtual ~Sink() = default;
  // Fills exactly `bytes` bytes of PCM in the output's format.
  virtual void Pull(unsigned char* out, std::size_t bytes) = 0;
};

struct Output;

// Number of outputs the backend offers (0 when no sound card can be opened).
UINT DeviceCount();
// Checks a format; with query false also opens an output that starts pulling.
// The format must already be well-formed PCM.
MMRESULT Open(const WAVEFORMATEX& format, bool query, Sink* sink, Output** output);
// After Close returns the sink is never called again.
void Close(Output* output);

}  // namespace win32audio
