// The presentation's command line: it starts with no options at all; the few it
// has change how it shows itself, never what it plays.
#pragma once

#include <optional>
#include <string>

struct DemoOptions {
  bool fullscreen = false;  // --fullscreen: the accelerator's output covers the screen
  double timeScale = 1.0;   // --time-scale N: the clock runs N times as fast
  bool scaled = false;      // --time-scale was given
  std::string dataDir;      // --data DIR: where demo.dat and music.s3m are; empty: found
};

// Parses the command line into *options. Nothing when the program should go on,
// else the exit status (0 after --help or --version, 2 after a usage error).
std::optional<int> ParseDemoOptions(int argc, char** argv, DemoOptions* options);
