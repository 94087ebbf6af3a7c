// What the sceneinfo command line asks for, and its parser.
#pragma once

#include <optional>
#include <string>

struct SceneinfoOptions {
  std::string file;      // a 3D Studio file, or an archive
  std::string member;    // the scene's member in the archive; empty for a plain file
  bool json = false;     // --json: the summary as one JSON object
  bool posed = false;    // --frame given
  float frame = 0.0f;    // --frame F: pose the scene at this frame (any number)
};

// Parses the command line into *options. Nothing when sceneinfo should go on,
// else the exit status (0 after --help or --version, 2 after a usage error).
std::optional<int> ParseSceneinfoOptions(int argc, char** argv, SceneinfoOptions* options);
