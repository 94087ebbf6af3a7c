// What the sceneview command line asks for, and its parser.
#pragma once

#include <optional>
#include <string>

struct SceneviewOptions {
  std::string file;         // a 3D Studio file, or an archive with member
  std::string member;       // the archive member; empty for a plain file
  std::string output;       // -o: the PNG picture (with --frame)
  bool oneFrame = false;    // --frame given: one picture, no window
  float frame = 0.0f;       // --frame F
  double fps = 25.0;        // --fps: playing speed in frames per second
  bool ownCamera = false;   // --own-camera: orbit our camera even when the file has one
};

// Parses the command line into *options. Nothing when sceneview should go on,
// else the exit status (0 after --help or --version, 2 after a usage error).
std::optional<int> ParseSceneviewOptions(int argc, char** argv, SceneviewOptions* options);
