// Starting, using and stopping a private Xvfb display.

#include "virtual_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace e2e {

namespace {

// Generous: under a full CPU the server can take seconds to come up.
constexpr int startTimeoutMs = 30000;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string TempLogName() {
  char pattern[] = "/tmp/xvfb-log-XXXXXX";
  int fd = mkstemp(pattern);
  if (fd < 0) return "/dev/null";
  close(fd);
  return pattern;
}

[[noreturn]] void ExecServer(int reportFd, const std::string& screen, const std::string& log) {
  int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (logFd >= 0) {
    dup2(logFd, STDOUT_FILENO);
    dup2(logFd, STDERR_FILENO);
  }
  const std::string fd = std::to_string(reportFd);
  // -noreset: by default the server resets when its last client leaves, and a
  // client connecting during the reset is turned away. The tests' probes come
  // and go while the program under test starts, so that would be a race.
  execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
         static_cast<char*>(nullptr));
  std::_Exit(127);
}

}  // namespace

VirtualDisplay::VirtualDisplay(const std::string& screen) : logFile(TempLogName()) {
  int fds[2];
  if (pipe(fds) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  server = fork();
  if (server == 0) {
    close(fds[0]);
    ExecServer(fds[1], screen, logFile);
  }
  close(fds[1]);
  if (server < 0) {
    error = std::string("fork: ") + std::strerror(errno);
  } else if (!ReadDisplayNumber(fds[0])) {
    Stop();
    error += "\nXvfb said:\n" + ReadFile(logFile);
  }
  close(fds[0]);
}

VirtualDisplay::~VirtualDisplay() {
  Stop();
  if (logFile != "/dev/null") unlink(logFile.c_str());
}

// The server writes "N\n" once it accepts connections; it may arrive in pieces.
bool VirtualDisplay::ReadDisplayNumber(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(startTimeoutMs);
  std::string text;
  while (text.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      error = "Xvfb reported no display number within " + std::to_string(startTimeoutMs / 1000) + " s";
      return false;
    }
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    char buffer[32];
    ssize_t got = ready > 0 ? read(fd, buffer, sizeof buffer) : 0;
    if (ready > 0 && got <= 0) {
      error = "Xvfb ended before it reported a display number";
      return false;
    }
    text.append(buffer, static_cast<std::size_t>(got > 0 ? got : 0));
  }
  name = ":" + text.substr(0, text.find('\n'));
  return true;
}

void VirtualDisplay::Stop() {
  name.clear();
  if (server <= 0) return;
  kill(server, SIGTERM);
  // A few seconds to close down cleanly (it removes its lock file), then force.
  for (int i = 0; i < 100; ++i) {
    if (waitpid(server, nullptr, WNOHANG) == server) {
      server = -1;
      return;
    }
    usleep(50000);
  }
  kill(server, SIGKILL);
  waitpid(server, nullptr, 0);
  server = -1;
}

int VirtualDisplay::Run(const std::string& command, std::string* out) const {
  const std::string line = "export DISPLAY='" + name + "'; " + command;
  FILE* pipe = popen(line.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[512];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  int status = pclose(pipe);
  if (out != nullptr) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace e2e
