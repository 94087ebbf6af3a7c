// Scenes and pictures the sceneview tests build: a cube written by the
// project's scene writer, PNG files made by ImageMagick and read back by libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/scene.h"
#include "tools/scenewriter/scenewriter.h"

namespace sceneviewtest {

// A cube of the given half size around centre, one material ("cube", grey,
// Gouraud) over all faces; no camera, no light, no keyframer.
scenewriter::Scene Cube(float half = 10.0f, scenewriter::Vec3 centre = {});
// The scene read back by the engine; null when it does not load.
Scene* Load(const scenewriter::Scene& scene);

// A texture map record naming file.
scenewriter::TextureMap Map(const std::string& file);

// Makes a PNG of one colour ("red", "#00ff00") with ImageMagick; false when it cannot.
bool MakePng(const std::string& path, int width, int height, const std::string& colour);
// The same as an 8-bit, 256-colour PCX (version 5, run-length encoded).
bool MakePcx(const std::string& path, int width, int height, const std::string& colour);

struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // top row first
};
// Reads an 8-bit RGB PNG; false for anything else.
bool ReadPng(const std::string& path, Picture& picture);

}  // namespace sceneviewtest
