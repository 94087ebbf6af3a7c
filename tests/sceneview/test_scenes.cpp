#include "tests/sceneview/test_scenes.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>

#include "engine/read3ds.h"

namespace sceneviewtest {

namespace {

// A grey written as bytes, 0 to 255, as editors write colours.
scenewriter::Colour Bytes(float v) {
  scenewriter::Colour c;
  c.r = c.g = c.b = v;
  c.asBytes = true;
  return c;
}

}  // namespace

scenewriter::Scene Cube(float half, scenewriter::Vec3 c) {
  scenewriter::Scene scene;
  scenewriter::Material material;
  material.name = "cube";
  material.diffuse = Bytes(153);
  material.ambient = Bytes(12);
  material.shading = 2;
  scene.materials.push_back(material);
  scenewriter::Mesh mesh;
  mesh.name = "box";
  for (int i = 0; i < 8; ++i)
    mesh.vertices.push_back({c.x + ((i & 1) ? half : -half), c.y + ((i & 2) ? half : -half),
                             c.z + ((i & 4) ? half : -half)});
  // Two triangles a side, turned outwards.
  const std::uint16_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                     {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  scenewriter::MaterialGroup group{"cube", {}};
  for (const auto& q : quads) {
    mesh.faces.push_back({q[0], q[1], q[2]});
    mesh.faces.push_back({q[0], q[2], q[3]});
  }
  for (std::uint16_t f = 0; f < mesh.faces.size(); ++f) group.faces.push_back(f);
  mesh.groups.push_back(group);
  scene.meshes.push_back(mesh);
  return scene;
}

scenewriter::TextureMap Map(const std::string& file) {
  scenewriter::TextureMap map;
  map.file = file;
  return map;
}

Scene* Load(const scenewriter::Scene& scene) {
  const std::vector<std::uint8_t> bytes = scenewriter::Write(scene);
  return ReadSceneMemory(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

namespace {

bool Convert(const std::string& path, int width, int height, const std::string& colour, const std::string& format) {
  const std::string command = "convert -size " + std::to_string(width) + "x" + std::to_string(height) + " 'xc:" +
                              colour + "' " + format + ":'" + path + "' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

}  // namespace

bool MakePng(const std::string& path, int width, int height, const std::string& colour) {
  return Convert(path, width, height, colour, "PNG24");
}

bool MakePcx(const std::string& path, int width, int height, const std::string& colour) {
  return Convert(path, width, height, colour, "-type palette -colors 256 PCX");
}

bool ReadPng(const std::string& path, Picture& picture) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.rgb.resize(PNG_IMAGE_SIZE(image));
  const bool ok = png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
  png_image_free(&image);
  return ok;
}

}  // namespace sceneviewtest
