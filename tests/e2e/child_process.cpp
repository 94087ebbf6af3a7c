// Background programs for end-to-end tests.

#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace e2e {

namespace {

void Redirect(const std::string& file, int target) {
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) std::_Exit(126);
  dup2(fd, target);
  close(fd);
}

[[noreturn]] void ExecChild(const std::vector<std::string>& arguments, const ChildOptions& options) {
  if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) std::_Exit(126);
  Redirect(options.stdoutFile, STDOUT_FILENO);
  Redirect(options.stderrFile, STDERR_FILENO);
  for (const std::string& name : options.unsetEnv) unsetenv(name.c_str());
  for (const auto& [name, value] : options.setEnv) setenv(name.c_str(), value.c_str(), 1);
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  std::_Exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const ChildOptions& options) {
  if (arguments.empty()) return;
  pid = fork();
  if (pid == 0) ExecChild(arguments, options);
}

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::Reap(int options) {
  if (pid <= 0 || exitCode) return exitCode.has_value();
  int status = 0;
  if (waitpid(pid, &status, options) != pid) return false;
  exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

bool ChildProcess::Running() { return pid > 0 && !Reap(WNOHANG); }

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return exitCode;
}

void ChildProcess::Kill() {
  if (!Running()) return;
  kill(pid, SIGKILL);
  Reap(0);
}

}  // namespace e2e
