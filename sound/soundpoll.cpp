// The player thread and the poll step: the output device mixes as much as its
// buffer takes, stopping after each player tick's worth of samples so that the
// player can advance the song.
#include <atomic>

#include "sound/gmplayer.h"
#include "sound/sdevice.h"
#include "sound/sound.h"
#include "sound/soundint.h"

SoundThreadStart soundThreadStart = _beginthread;
SoundThreadExit soundThreadExit = _endthread;

namespace {

std::atomic<unsigned> period{20};
// 1 while a stop is requested and not yet acknowledged by the thread.
std::atomic<int> stopFlag{0};

// One poll step; errors are fatal and go to SoundReportError. If its handler
// returns, the step goes on as if nothing had failed, and stops by itself once
// the shutdown has taken the device away.
void PollStep() {
  EnterCriticalSection(soundint::InterfaceLock());
  if (soundint::progress.deviceInit) {
    int error = soundint::device->StartPlay();
    if (error != errOK) SoundReportError(error);
    int callPlayer = 0;
    do {
      if (!soundint::progress.deviceInit) break;
      callPlayer = 0;
      error = soundint::device->Play(&callPlayer);
      if (error != errOK) SoundReportError(error);
      if (callPlayer != 0 && soundint::progress.playerInit) {
        error = gmpPlay();
        if (error != errOK) SoundReportError(error);
      }
    } while (callPlayer != 0 && soundint::progress.deviceInit && soundint::device->selfTimed == 0 &&
             stopFlag.load() == 0);
  }
  LeaveCriticalSection(soundint::InterfaceLock());
}

void PlayThread(void*) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
  while (stopFlag.load() == 0) {
    PollStep();
    Sleep(period.load());
  }
  // The exit function is taken before the acknowledgement: once the stopping
  // thread sees it, it may replace the pointers or unload.
  SoundThreadExit exitThread = soundThreadExit;
  stopFlag.store(0);  // the acknowledgement
  exitThread();
}

}  // namespace

int StartPlayThread(unsigned newPeriod) {
  period.store(newPeriod);
  stopFlag.store(0);
  std::uintptr_t started = soundThreadStart(PlayThread, 0, nullptr);
  if (started == static_cast<std::uintptr_t>(-1)) {
    SoundCallErrorExit("StartPlayThread: Couldn't create player thread!");
    return errOutOfResources;
  }
  return errOK;
}

int SoundStopPlayThread() {
  stopFlag.store(1);
  while (stopFlag.load() == 1) Sleep(period.load() >> 1);
  return errOK;
}

unsigned SoundPlayThreadPeriod() { return period.load(); }

int SoundPoll() {
  PollStep();
  return 1;
}

int SoundStartBackgroundPlay(unsigned rate) {
  if (soundint::backgroundPlay.load() != 0) return 1;
  unsigned newPeriod = rate == 0 ? 20 : (1000 / rate) >> 1;
  int error = StartPlayThread(newPeriod);
  if (error != errOK) {
    SoundSetLastError(error);
    return 0;
  }
  soundint::backgroundPlay.store(1);
  return 1;
}

int SoundStopBackgroundPlay() {
  if (soundint::backgroundPlay.load() != 0) {
    SoundStopPlayThread();
    soundint::backgroundPlay.store(0);
  }
  return 1;
}
