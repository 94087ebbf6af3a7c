#include "tools/democapture/stop_signals.h"

#include <signal.h>

#include <atomic>

namespace {

std::atomic<int> stopSignal{0};

void OnStop(int signal) { stopSignal.store(signal); }

void Handle(int signal, void (*handler)(int)) {
  struct sigaction action{};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // The handler runs once; a second signal has its default effect.
  action.sa_flags = handler == SIG_DFL ? 0 : SA_RESETHAND;
  sigaction(signal, &action, nullptr);
}

}  // namespace

void InstallStopSignals() {
  stopSignal.store(0);
  Handle(SIGINT, OnStop);
  Handle(SIGTERM, OnStop);
}

void RemoveStopSignals() {
  Handle(SIGINT, SIG_DFL);
  Handle(SIGTERM, SIG_DFL);
}

int StopSignal() { return stopSignal.load(); }
