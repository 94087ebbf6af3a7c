// What the modplay command line asks for, and its parser.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/modplay/audiowriter.h"

struct ModplayOptions {
  std::vector<std::string> files;  // the modules, in the order given
  std::string file;           // the module being worked on
  std::string output;         // -o: file to render to; "-" standard output; a folder for several
  std::string format;         // --format wav|flac|ogg|raw; empty: by the output's name
  bool info = false;          // --info
  bool json = false;          // --json (with --info)
  int loop = 0;               // --loop: plays after the first; -1 for ever
  bool shuffle = false;       // --shuffle
  std::optional<std::uint64_t> seed;  // --seed: the same shuffle each time
  unsigned rate = 44100;      // --rate
  bool mono = false;          // --mono
  bool eightBit = false;      // --8bit
  bool interpolate = false;   // --interpolate
  int filter = 3;             // --filter 0..3
  bool quiet = false;         // --quiet: no progress or status line
  bool setup = false;         // --setup: the sound set-up dialog before live play
  bool verbose = false;       // --verbose: the audio back end's own messages too
};

// Parses the command line into *options. Nothing when modplay should go on,
// else the exit status (0 after --help or --version, 2 after a usage error).
std::optional<int> ParseModplayOptions(int argc, char** argv, ModplayOptions* options);

// What the render writes: --format, else by the output's name (raw for "-");
// with several modules --format or WAVE.
AudioContainer OutputContainer(const ModplayOptions& options);
