// A program run in a terminal of its own for an end-to-end test: a private
// tmux server (its own socket, so nothing of the user's is touched) with one
// window of a fixed size, keys sent as a person types them, and the screen
// read back as text.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace e2e {

class TerminalSession {
 public:
  // Starts `command` (run by the shell) in a width × height terminal. The
  // window stays after the command ends, so its last screen can be read.
  TerminalSession(const std::string& command, int width = 120, int height = 30);
  // The server and everything in it are ended.
  ~TerminalSession();
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  bool Started() const { return started_; }
  // Keys by tmux's names ("Space", "Right", "q", "+").
  void SendKeys(const std::vector<std::string>& keys);
  // The text on the screen now, one line per row.
  std::string Screen() const;
  // Waits until the screen contains `text`; false after the timeout.
  bool WaitForText(const std::string& text, std::chrono::milliseconds timeout) const;

 private:
  std::string Tmux(const std::string& arguments) const;
  std::string socket_;
  bool started_ = false;
};

}  // namespace e2e
