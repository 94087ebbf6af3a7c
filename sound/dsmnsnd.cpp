// No-sound device. The wall-clock time since the previous poll decides how many
// samples are mixed (and discarded), so the player's ticks keep real time.
#include "sound/dsmnsnd.h"

#include <algorithm>

#include "platform/win32/win32.h"
#include "sound/devcommon.h"
#include "sound/errors.h"

namespace {

constexpr unsigned kDefaultRate = 4000;
constexpr DWORD kMaxElapsedMs = 2000;  // a long stall advances the song by 2 s at most
constexpr DWORD kMinElapsedMs = 10;

unsigned mixRate = kDefaultRate;
unsigned samplesPerTick = 0;
unsigned samplesLeft = 0;
unsigned pending = 0;
bool paused = false;
DWORD lastTime = 0;

int NoSoundDetect(int* present) {
  if (present == nullptr) return errInvalidArguments;
  *present = 1;
  return errOK;
}

int NoSoundInit(unsigned, unsigned) {
  paused = false;
  int error = dsmInit(mixRate, dsmMix16bit | dsmMixMono);
  if (error != errOK) return error;
  samplesPerTick = samplesLeft = SamplesPerTick(mixRate, 5000);
  pending = 0;
  error = dsmSetMasterVolume(0);
  if (error != errOK) {
    dsmClose();
    return error;
  }
  lastTime = GetTickCount();
  return errOK;
}

int NoSoundClose() { return dsmClose(); }

int NoSoundSuspend() {
  paused = true;
  return errOK;
}

int NoSoundResume() {
  paused = false;
  return errOK;
}

int NoSoundGetMode(unsigned* mode) {
  if (mode == nullptr) return errInvalidArguments;
  *mode = 9;
  return errOK;
}

int NoSoundSetUpdRate(unsigned updRate) {
  samplesPerTick = samplesLeft = SamplesPerTick(mixRate, updRate);
  return errOK;
}

int NoSoundStartPlay() {
  DWORD now = GetTickCount();
  DWORD elapsed = now - lastTime;
  // Polls closer together than the floor leave the clock where it was, so their
  // time is counted by a later poll instead of being lost.
  if (elapsed < kMinElapsedMs) {
    pending = 0;
    return errOK;
  }
  lastTime = now;
  elapsed = std::min(elapsed, kMaxElapsedMs);
  pending = static_cast<unsigned>(std::uint64_t{elapsed} * mixRate / 1000u);
  return errOK;
}

int NoSoundPlay(int* callPlayer) {
  if (callPlayer == nullptr) return errInvalidArguments;
  *callPlayer = 0;
  if (pending == 0 || paused) return errOK;
  unsigned d = std::min(samplesLeft, pending);
  pending -= d;
  samplesLeft -= d;
  unsigned piece = dsmMixBufferSize / 4;
  while (d > 0 && piece > 0 && dsmMixBuffer != nullptr) {
    unsigned n = std::min(d, piece);
    int error = dsmMixData(n, dsmMixBuffer);
    if (error != errOK) return error;
    d -= n;
  }
  if (samplesLeft == 0) {
    samplesLeft = samplesPerTick;
    *callPlayer = 1;
  }
  return errOK;
}

const char* const kCardNames[] = {"No Sound"};

}  // namespace

void NoSoundSetMixRate(unsigned rate) { mixRate = rate == 0 ? kDefaultRate : rate; }

SoundDevice NoSoundDevice = MakeSoundDevice(
    0x20, sdMono | sd16bit, "Mixing No Sound Sound Device", kCardNames,
    SoundDeviceOwnOps{NoSoundDetect, NoSoundInit, NoSoundClose, NoSoundSuspend, NoSoundResume, NoSoundGetMode,
                      NoSoundSetUpdRate, NoSoundStartPlay, NoSoundPlay});
