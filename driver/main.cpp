// The presentation program: plays in a window with sound. --time-scale exists for
// checks of the whole run. Exit codes: 0 played or cancelled, 1 a failure that was
// reported, 2 a bad command line.

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/demo.h"

namespace {

constexpr const char* usage =
    "usage: demo [--fullscreen] [--time-scale N]\n"
    "Plays the presentation; run it in the folder holding demo.dat and music.s3m.\n"
    "Any key ends it.\n"
    "  --fullscreen      the accelerator's output covers the whole screen\n"
    "  --time-scale N    the clock runs N times as fast\n"
    "  --help            this text\n"
    "  --                ends the options\n"
    "Without a display it says so and ends; democapture renders the presentation\n"
    "to a video.\n";

double timeScale = 1.0;

DWORD ScaledTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const double ms = (static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6) * timeScale;
  return static_cast<DWORD>(static_cast<unsigned long long>(ms));
}

// Reads the command line; -1 when the program may go on, else its exit code.
int ParseArguments(int argc, char** argv, bool& fullscreen) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--") == 0) {
      // The options end here, and the program takes no names.
      if (i + 1 < argc) {
        std::fprintf(stderr, "demo: unexpected argument %s\n%s", argv[i + 1], usage);
        return 2;
      }
      break;
    } else if (std::strcmp(arg, "--fullscreen") == 0) {
      fullscreen = true;
    } else if (std::strcmp(arg, "--time-scale") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "demo: --time-scale needs a value: a number from 0 to 1000\n");
        return 2;
      }
      char* end = nullptr;
      const double scale = std::strtod(argv[++i], &end);
      if (end == nullptr || *end != 0 || !(scale > 0.0 && scale <= 1000.0)) {
        std::fprintf(stderr, "demo: --time-scale takes a number from 0 to 1000, not \"%s\"\n", argv[i]);
        return 2;
      }
      timeScale = scale;
      Win32SetTickSource(ScaledTicks);
    } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::fputs(usage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "demo: unknown option %s\n%s", arg, usage);
      return 2;
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  bool fullscreen = false;
  if (const int code = ParseArguments(argc, argv, fullscreen); code >= 0) return code;
  if (!Win32DisplayUsable()) {
    std::fputs(
        "demo: no display found. The presentation plays in a window and needs a display (X11 or Wayland).\n"
        "To render it to a video instead: democapture -o presentation.mp4\n",
        stderr);
    return demoExitFailure;
  }
  DemoSelectOutput(DemoOutput::display, fullscreen);
  return DemoMain(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
}
