// Opening what sceneview shows: a 3D Studio file, or a member of an archive in
// the format of "demo.dat". The source stays open while the scene's textures
// are looked up beside it.
#pragma once

#include <memory>
#include <string>

#include "engine/scene.h"
#include "stream/filelib.h"
#include "stream/stream.h"

struct SceneSource {
  std::string path;    // the file named on the command line
  std::string member;  // the archive member, empty for a plain file
  std::unique_ptr<TFile> file;
  std::unique_ptr<TFileLib> archive;  // set for a member
};

// Reads the scene; null with a sentence naming the file and the engine's reason.
Scene* LoadScene(SceneSource& source, std::string& error);
