// The presentation program. Plays in a window with sound; "--fullscreen" puts the
// accelerator's output on the whole screen.

#include <cstring>

#include "driver/demo.h"

int main(int argc, char** argv) {
  bool fullscreen = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fullscreen") == 0) fullscreen = true;
  }
  DemoSelectOutput(DemoOutput::display, fullscreen);
  return DemoMain(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
}
