// DirectSound output device: mixes into a looping DirectSound buffer, either the
// primary buffer itself or a secondary buffer of its own. Chosen only when the
// DirectSound mode option is non-zero.
#pragma once

#include "platform/win32/win32.h"
#include "sound/sdevice.h"

extern SoundDevice DirectSoundDevice;

// DirectSound result to sound error code.
int DirectSoundTranslateError(HRESULT result);

struct DirectSoundRingInfo {
  int primary;             // 1 when mixing straight into the primary buffer
  unsigned bufferBytes;    // size of the ring written to
  unsigned safetyGap;      // bytes kept free before the play cursor
  unsigned bytesPerSample;
  unsigned samplesPerTick;
  unsigned writePosition;
};
int DirectSoundGetRingInfo(DirectSoundRingInfo* info);
