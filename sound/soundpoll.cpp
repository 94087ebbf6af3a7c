// The player thread and the poll step: the output device mixes as much as its
// buffer takes, stopping after each player tick's worth of samples so that the
// player can advance the song.
#include <algorithm>
#include <atomic>

#include "sound/gmplayer.h"
#include "sound/sdevice.h"
#include "sound/sound.h"
#include "sound/soundint.h"

SoundThreadStart soundThreadStart = _beginthread;
SoundThreadExit soundThreadExit = _endthread;

namespace {

std::atomic<unsigned> period{20};

// The player thread's life as one atomic hand-over: a start makes it running;
// the first stop to change running into stopping owns the request, and every
// stopper (the first or any other, on any thread) waits until the thread has
// answered by setting none. A stop with nothing running returns at once.
enum ThreadState : int { threadNone, threadRunning, threadStopping };
std::atomic<int> threadState{threadNone};

// Ends a fill early: only a thread being stopped is asked; a poll step called by
// the host (SoundPoll) with no thread fills as usual.
bool StopRequested() { return threadState.load() == threadStopping; }

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
             !StopRequested());
  }
  LeaveCriticalSection(soundint::InterfaceLock());
}

void PlayThread(void*) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
  while (threadState.load() == threadRunning) {
    PollStep();
    Sleep(period.load());
  }
  // The exit function is taken before the answer: once a stopper sees it, it may
  // replace the pointers or unload.
  SoundThreadExit exitThread = soundThreadExit;
  threadState.store(threadNone);  // the answer
  exitThread();
}

}  // namespace

int StartPlayThread(unsigned newPeriod) {
  period.store(newPeriod);
  threadState.store(threadRunning);
  std::uintptr_t started = soundThreadStart(PlayThread, 0, nullptr);
  if (started == static_cast<std::uintptr_t>(-1)) {
    threadState.store(threadNone);
    SoundCallErrorExit("StartPlayThread: Couldn't create player thread!");
    return errOutOfResources;
  }
  return errOK;
}

int SoundStopPlayThread() {
  int expected = threadRunning;
  threadState.compare_exchange_strong(expected, threadStopping);
  while (threadState.load() != threadNone) Sleep(std::max(1u, period.load() >> 1));
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
