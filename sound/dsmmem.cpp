// Memory output device.
#include "sound/dsmmem.h"

#include <algorithm>

#include "sound/devcommon.h"
#include "sound/dsm.h"
#include "sound/errors.h"

namespace {

unsigned mixRate = 0;
unsigned mixMode = 0;
unsigned bytesPerFrame = 4;
unsigned updateRate = 5000;
unsigned samplesLeft = 0;
std::uint8_t* output = nullptr;
unsigned outputFrames = 0;
unsigned framesWritten = 0;

int MemDetect(int* present) {
  *present = 1;
  return errOK;
}

// outputMode as the interface's option 2: 1 mono, 2 stereo, 4 8-bit, 8
// 16-bit; 0 = stereo 16-bit. Bit 0x80 asks for interpolation, 0x20 and 0x40
// force the floating-point or the integer path.
int MemInit(unsigned rate, unsigned outputMode) {
  if (rate == 0) {
    return errInvalidArguments;
  }
  const bool mono = (outputMode & sdMono) != 0;
  const bool eightBit = (outputMode & sd8bit) != 0;
  mixMode = (mono ? dsmMixMono : dsmMixStereo) | (eightBit ? dsmMix8bit : dsmMix16bit) |
            (outputMode & (dsmMixFloat | dsmMixInteger | dsmMixInterpolation));
  bytesPerFrame = (mono ? 1u : 2u) * (eightBit ? 1u : 2u);
  mixRate = rate;
  updateRate = 5000;
  samplesLeft = 0;
  output = nullptr;
  outputFrames = framesWritten = 0;
  return dsmInit(rate, mixMode);
}

int MemClose() { return dsmClose(); }
int MemNothing() { return errOK; }

int MemGetMode(unsigned* mode) {
  *mode = mixMode;
  return errOK;
}

int MemSetUpdRate(unsigned rate) {
  if (rate == 0) {
    return errInvalidArguments;
  }
  updateRate = rate;
  return errOK;
}

// Mixes until the output is full or one player tick has been mixed. The
// tick's length is taken when it starts, so a tempo set by the tick that
// just ran applies to its own samples. A tick is a whole number of frames,
// mixRate × 100 / updateRate rounded down with no fraction carried over, as
// other module players count it (tempo 133 at 44100 Hz: 828 frames, not
// 828.95 on average), so long songs keep their pace.
int MemPlay(int* callPlayer) {
  *callPlayer = 0;
  while (framesWritten < outputFrames) {
    if (samplesLeft == 0) {
      samplesLeft = static_cast<unsigned>(static_cast<unsigned long long>(mixRate) * 100 / updateRate);
      if (samplesLeft == 0) {
        *callPlayer = 1;
        return errOK;
      }
    }
    const unsigned n = std::min(samplesLeft, outputFrames - framesWritten);
    if (int e = dsmMixData(n, output + static_cast<std::size_t>(framesWritten) * bytesPerFrame);
        e != errOK) {
      return e;
    }
    framesWritten += n;
    samplesLeft -= n;
    if (samplesLeft == 0) {
      *callPlayer = 1;
      return errOK;
    }
  }
  return errOK;
}

const char* const cardNames[] = {"Memory"};

}  // namespace

const SoundDevice MemoryDevice = MakeSoundDevice(
    0, sdMono | sdStereo | sd8bit | sd16bit, "Memory Output Sound Device", cardNames,
    SoundDeviceOwnOps{MemDetect, MemInit, MemClose, MemNothing, MemNothing, MemGetMode,
                      MemSetUpdRate, MemNothing, MemPlay});

void memSetOutput(std::uint8_t* buffer, unsigned frames) {
  output = buffer;
  outputFrames = buffer != nullptr ? frames : 0;
  framesWritten = 0;
}

unsigned memFramesWritten() { return framesWritten; }
unsigned memBytesPerFrame() { return bytesPerFrame; }
