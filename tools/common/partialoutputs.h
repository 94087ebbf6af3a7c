// Temporary files of outputs still being written, removed when the program is
// stopped by SIGINT, SIGTERM or SIGHUP, so that an interrupted render leaves
// nothing half-written behind. The signal then ends the program as it would
// have without the handler.
#pragma once

#include <csignal>

namespace toolio {

// Blocks the signals for as long as it lives, so that a file can be created
// and registered with no moment in which a signal would leave it behind.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t saved_;  // the mask before
};

// Starts watching for the signals (once per process). Returns false when
// the path does not fit or too many are registered.
bool RegisterPartialOutput(const char* path);
// Forgets a path (it was renamed into place or removed).
void ForgetPartialOutput(const char* path);

}  // namespace toolio
