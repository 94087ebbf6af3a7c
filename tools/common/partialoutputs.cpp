#include "tools/common/partialoutputs.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace toolio {
namespace {

constexpr int maxOutputs = 8;
constexpr std::size_t maxPath = 4096;

// Fixed storage: the handler may only use what is async-signal-safe.
char paths[maxOutputs][maxPath];
std::atomic<bool> used[maxOutputs];
std::atomic<bool> installed{false};

void RemovePartialOutputs(int signal) {
  for (int i = 0; i < maxOutputs; ++i) {
    if (used[i].load()) unlink(paths[i]);
  }
  std::signal(signal, SIG_DFL);
  raise(signal);
}

void Install() {
  if (installed.exchange(true)) return;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    sigaction(signal, nullptr, &previous);
    if (previous.sa_handler == SIG_IGN) continue;  // as a background job: stay deaf
    struct sigaction action {};
    action.sa_handler = RemovePartialOutputs;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}

sigset_t Watched() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
  return set;
}

}  // namespace

SignalsHeld::SignalsHeld() {
  const sigset_t watched = Watched();
  sigprocmask(SIG_BLOCK, &watched, &saved_);
}

SignalsHeld::~SignalsHeld() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

bool RegisterPartialOutput(const char* path) {
  if (std::strlen(path) >= maxPath) return false;
  Install();
  for (int i = 0; i < maxOutputs; ++i) {
    if (!used[i].load()) {
      std::strcpy(paths[i], path);
      used[i].store(true);
      return true;
    }
  }
  return false;
}

void ForgetPartialOutput(const char* path) {
  for (int i = 0; i < maxOutputs; ++i) {
    if (used[i].load() && std::strcmp(paths[i], path) == 0) used[i].store(false);
  }
}

}  // namespace toolio
