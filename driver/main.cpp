// The presentation program: plays in a window with sound. --time-scale exists for
// checks of the whole run.

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
    "  --help            this text\n";

double timeScale = 1.0;

DWORD ScaledTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const double ms = (static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6) * timeScale;
  return static_cast<DWORD>(static_cast<unsigned long long>(ms));
}

}  // namespace

int main(int argc, char** argv) {
  bool fullscreen = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fullscreen") == 0) {
      fullscreen = true;
    } else if (std::strcmp(argv[i], "--time-scale") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const double scale = std::strtod(argv[++i], &end);
      if (end == nullptr || *end != 0 || !(scale > 0.0 && scale <= 1000.0)) {
        std::fprintf(stderr, "demo: --time-scale takes a number from 0 to 1000\n");
        return 2;
      }
      timeScale = scale;
      Win32SetTickSource(ScaledTicks);
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(usage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "demo: unknown option %s\n%s", argv[i], usage);
      return 2;
    }
  }
  DemoSelectOutput(DemoOutput::display, fullscreen);
  return DemoMain(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
}
