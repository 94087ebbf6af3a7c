// A private virtual X display for one end-to-end test. The X server picks a free
// display number itself and reports it through a pipe (-displayfd), so tests
// started at the same moment never race for one number; it is ready for clients
// once the number has arrived.
#pragma once

#include <sys/types.h>

#include <string>

namespace e2e {

class VirtualDisplay {
public:
  // Starts Xvfb with one screen of the given size; see Ready() and Error().
  explicit VirtualDisplay(const std::string& screen = "1024x768x24");
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  bool Ready() const { return !name.empty(); }
  // Why the display could not be started (with the server's own messages).
  const std::string& Error() const { return error; }
  // ":N", for DISPLAY.
  const std::string& Name() const { return name; }
  // The X server's process id, -1 before it starts.
  pid_t ServerPid() const { return server; }

  // Runs a shell command against this display; returns its exit status (-1 when
  // it did not exit normally) and puts what it printed on standard output in out.
  int Run(const std::string& command, std::string* out = nullptr) const;

private:
  bool ReadDisplayNumber(int fd);
  void Stop();

  pid_t server = -1;
  std::string name;
  std::string error;
  std::string logFile;
};

}  // namespace e2e
