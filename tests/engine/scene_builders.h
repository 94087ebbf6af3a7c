// Scene descriptions shared by the engine tests: a small animated scene with a
// textured cube, a light and a camera, written with the scene writer.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/read3ds.h"
#include "tools/scenewriter/scenewriter.h"

namespace testscenes {

namespace sw = scenewriter;

// A closed cube of 8 vertices and 12 outward-facing triangles, centred on c.
inline sw::Mesh Cube(const std::string& name, float size = 1.0f, sw::Vec3 c = {}) {
  sw::Mesh m;
  m.name = name;
  for (int i = 0; i < 8; ++i)
    m.vertices.push_back({c.x + ((i & 1) ? size : -size), c.y + ((i & 2) ? size : -size),
                          c.z + ((i & 4) ? size : -size)});
  const std::uint16_t f[12][3] = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
                                  {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
  for (auto& t : f) m.faces.push_back({t[0], t[1], t[2], 7});
  return m;
}

inline sw::Track<sw::VectorKey> Vectors(std::vector<std::pair<int, sw::Vec3>> keys, std::uint16_t flags = 0) {
  sw::Track<sw::VectorKey> t;
  t.flags = flags;
  for (auto& [frame, v] : keys) {
    sw::VectorKey k;
    k.frame = frame;
    k.value = v;
    t.keys.push_back(k);
  }
  return t;
}

inline sw::Track<sw::ScalarKey> Scalars(std::vector<std::pair<int, float>> keys) {
  sw::Track<sw::ScalarKey> t;
  for (auto& [frame, v] : keys) {
    sw::ScalarKey k;
    k.frame = frame;
    k.value = v;
    t.keys.push_back(k);
  }
  return t;
}

inline sw::Track<sw::RotationKey> NoRotation() {
  sw::Track<sw::RotationKey> t;
  t.keys.push_back({});
  return t;
}

inline sw::Node MeshNode(const std::string& name, int hierarchy = -1, sw::Vec3 position = {}) {
  sw::Node n;
  n.kind = sw::NodeKind::mesh;
  n.name = name;
  n.hierarchy = static_cast<std::int16_t>(hierarchy);
  n.pivot = sw::Vec3{};
  n.position = Vectors({{0, position}});
  n.rotation = NoRotation();
  n.scale = Vectors({{0, {1, 1, 1}}});
  return n;
}

// A camera at (0, -10, 0) looking at the origin along +y, with a 60-degree
// field of view.
inline void AddCamera(sw::Scene& s, sw::Vec3 eye = {0, -10, 0}, sw::Vec3 target = {0, 0, 0}) {
  s.cameras.push_back({"Camera01", eye, target, 0, 50, std::nullopt});
  sw::Node cam;
  cam.kind = sw::NodeKind::camera;
  cam.name = "Camera01";
  cam.position = Vectors({{0, eye}});
  cam.fieldOfView = Scalars({{0, 60.0f}});
  cam.roll = Scalars({{0, 0.0f}});
  s.keyframer->nodes.push_back(cam);
  sw::Node tgt;
  tgt.kind = sw::NodeKind::cameraTarget;
  tgt.name = "Camera01";
  tgt.position = Vectors({{0, target}});
  s.keyframer->nodes.push_back(tgt);
}

// One cube named "Box" with material "Red", a camera, and a 100-frame keyframer.
inline sw::Scene BoxScene() {
  sw::Scene s;
  sw::Material red;
  red.name = "Red";
  red.ambient = sw::Colour{10, 0, 0, true};
  red.diffuse = sw::Colour{200, 0, 0, true};
  red.shading = 1;
  s.materials.push_back(red);
  sw::Mesh box = Cube("Box");
  sw::MaterialGroup g{"Red", {}};
  for (std::uint16_t i = 0; i < 12; ++i) g.faces.push_back(i);
  box.groups.push_back(g);
  s.meshes.push_back(box);
  s.keyframer = sw::Keyframer{};
  s.keyframer->nodes.push_back(MeshNode("Box"));
  AddCamera(s);
  return s;
}

inline Scene* Load(const std::vector<std::uint8_t>& bytes) {
  return ReadSceneMemory(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

inline Scene* Load(const sw::Scene& s) { return Load(sw::Write(s)); }

}  // namespace testscenes
