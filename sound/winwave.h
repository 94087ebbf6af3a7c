// Windows wave output device: mixes into a ring of wave blocks that the system
// plays in order.
#pragma once

#include "platform/win32/win32.h"
#include "sound/sdevice.h"

extern SoundDevice WinWaveDevice;

// Multimedia result to sound error code.
int WinWaveTranslateError(MMRESULT result);

// The ring as Init laid it out, for hosts and checks.
struct WinWaveRingInfo {
  unsigned format;          // 5, 6, 9 or 10
  unsigned mixRate;
  unsigned bytesPerSample;
  unsigned blockCount;
  unsigned blockSize;
  unsigned samplesPerTick;
  unsigned blocksQueued;    // blocks written during the current poll pass
};
int WinWaveGetRingInfo(WinWaveRingInfo* info);
