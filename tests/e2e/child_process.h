// A program started in the background for an end-to-end test, with its output
// in files, its environment set for one display, and a bounded wait for its end.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

struct ChildOptions {
  std::string directory;                                     // where it runs
  std::string stdoutFile = "/dev/null";                      // its standard output
  std::string stderrFile = "/dev/null";                      // its standard error
  std::vector<std::pair<std::string, std::string>> setEnv;   // added or replaced
  std::vector<std::string> unsetEnv;                         // removed
};

class ChildProcess {
public:
  ChildProcess(const std::vector<std::string>& arguments, const ChildOptions& options);
  // A child still running is killed.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid > 0; }
  bool Running();
  // The exit code once it has ended within `timeout`; nothing if it is still
  // running. A death by signal gives 128 + the signal number, as a shell does.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  void Kill();

private:
  bool Reap(int options);

  pid_t pid = -1;
  std::optional<int> exitCode;
};

}  // namespace e2e
