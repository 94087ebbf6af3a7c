// Memory output device: mixes into a buffer the caller supplies instead of
// the sound hardware, for offline rendering. Its mixer operations are the
// shared ones; each player tick lasts the mixing rate × 100 / update rate
// frames rounded down, the same whole number every tick.
#pragma once

#include <cstdint>

#include "sound/sdevice.h"

extern const SoundDevice MemoryDevice;

// Where the next Play calls write: `frames` output frames at `buffer`.
void memSetOutput(std::uint8_t* buffer, unsigned frames);
// Frames written into the current output since memSetOutput.
unsigned memFramesWritten();
// Bytes per output frame in the mode Init chose (1, 2 or 4).
unsigned memBytesPerFrame();
