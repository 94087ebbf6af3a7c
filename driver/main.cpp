// The presentation program: plays in a window with sound. --time-scale exists for
// checks of the whole run. Exit codes: 0 played or cancelled, 1 a failure that was
// reported, 2 a bad command line.

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/contentdir.h"
#include "driver/demo.h"
#include "driver/options.h"

namespace {

double timeScale = 1.0;

DWORD ScaledTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const double ms = (static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6) * timeScale;
  return static_cast<DWORD>(static_cast<unsigned long long>(ms));
}

// The start-up opens its data files by name: move into the folder named, or the
// one an installed copy keeps them in. False after saying why not.
bool EnterContentDir(const DemoOptions& options) {
  const std::string dir = options.dataDir.empty() ? DemoDefaultContentDir(DemoProgramPath()) : options.dataDir;
  if (dir.empty() || chdir(dir.c_str()) == 0) return true;
  std::fprintf(stderr, "demo: cannot enter %s: %s\n", dir.c_str(), std::strerror(errno));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  DemoOptions options;
  if (auto status = ParseDemoOptions(argc, argv, &options)) return *status;
  if (options.scaled) {
    timeScale = options.timeScale;
    Win32SetTickSource(ScaledTicks);
  }
  if (!EnterContentDir(options)) return demoExitFailure;
  std::string why;
  if (!Win32DisplayUsable(&why)) {
    std::fprintf(stderr,
                 "demo: no display found (%s). The presentation plays in a window and needs a display (X11 or "
                 "Wayland).\nTo render it to a video instead: democapture -o presentation.mp4\n",
                 why.c_str());
    return demoExitFailure;
  }
  DemoSelectOutput(DemoOutput::display, options.fullscreen);
  return DemoMain(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
}
