#include "terminal_session.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace e2e {
namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Run(const std::string& command, int* status = nullptr) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return text;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
  const int result = pclose(pipe);
  if (status != nullptr) *status = result;
  return text;
}

}  // namespace

TerminalSession::TerminalSession(const std::string& command, int width, int height) {
  static std::atomic<int> count{0};
  socket_ = "e2e-" + std::to_string(getpid()) + "-" + std::to_string(count++);
  int status = -1;
  Run("tmux -L " + socket_ + " -f /dev/null new-session -d -s test -x " + std::to_string(width) + " -y " +
          std::to_string(height) + " " + Quoted(command) + " 2>&1",
      &status);
  started_ = status == 0;
  if (started_) Tmux("set-option -t test remain-on-exit on");
}

TerminalSession::~TerminalSession() { Tmux("kill-server"); }

void TerminalSession::SendKeys(const std::vector<std::string>& keys) {
  std::string arguments = "send-keys -t test";
  for (const std::string& key : keys) arguments += " " + Quoted(key);
  Tmux(arguments);
}

std::string TerminalSession::Screen() const { return Tmux("capture-pane -p -t test"); }

bool TerminalSession::WaitForText(const std::string& text, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Screen().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return Screen().find(text) != std::string::npos;
}

std::string TerminalSession::Tmux(const std::string& arguments) const {
  return Run("tmux -L " + socket_ + " " + arguments + " 2>/dev/null");
}

}  // namespace e2e
