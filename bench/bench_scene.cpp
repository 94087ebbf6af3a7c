// RenderScene time per frame for a generated scene: 20 animated mesh nodes of
// 2,500 faces each (about 50,000 faces), two lights, flat and smooth materials.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/read3ds.h"
#include "engine/render.h"
#include "tools/scenewriter/scenewriter.h"

namespace {

namespace sw = scenewriter;

// A sphere-like grid of (rings + 1) x (segments + 1) vertices, 2 faces a cell.
sw::Mesh Ball(const std::string& name, int rings, int segments, float radius) {
  sw::Mesh m;
  m.name = name;
  for (int r = 0; r <= rings; ++r) {
    const float phi = 3.14159265f * static_cast<float>(r) / static_cast<float>(rings);
    for (int s = 0; s <= segments; ++s) {
      const float theta = 6.2831853f * static_cast<float>(s) / static_cast<float>(segments);
      m.vertices.push_back({radius * std::sin(phi) * std::cos(theta), radius * std::sin(phi) * std::sin(theta),
                            radius * std::cos(phi)});
      m.texCoords.push_back({static_cast<float>(s) / static_cast<float>(segments),
                             static_cast<float>(r) / static_cast<float>(rings)});
    }
  }
  const int row = segments + 1;
  for (int r = 0; r < rings; ++r)
    for (int s = 0; s < segments; ++s) {
      const auto i = static_cast<std::uint16_t>(r * row + s);
      m.faces.push_back({i, static_cast<std::uint16_t>(i + row), static_cast<std::uint16_t>(i + 1), 7});
      m.faces.push_back({static_cast<std::uint16_t>(i + 1), static_cast<std::uint16_t>(i + row),
                         static_cast<std::uint16_t>(i + row + 1), 7});
    }
  return m;
}

sw::Track<sw::VectorKey> Vectors(std::vector<std::pair<int, sw::Vec3>> keys) {
  sw::Track<sw::VectorKey> t;
  for (auto& [frame, v] : keys) {
    sw::VectorKey k;
    k.frame = frame;
    k.value = v;
    t.keys.push_back(k);
  }
  return t;
}

std::vector<std::uint8_t> BigScene() {
  sw::Scene s;
  sw::Material flat;
  flat.name = "Flat";
  flat.diffuse = sw::Colour{200, 100, 50, true};
  flat.shading = 1;
  sw::Material smooth;
  smooth.name = "Smooth";
  smooth.diffuse = sw::Colour{50, 200, 100, true};
  smooth.shading = 3;
  smooth.texture = sw::TextureMap{"WOOD.PCX", 100, std::nullopt, std::nullopt};
  s.materials = {flat, smooth};
  s.keyframer = sw::Keyframer{};
  s.keyframer->frameCount = 200;
  for (int i = 0; i < 20; ++i) {
    sw::Mesh m = Ball("Ball" + std::to_string(i), 25, 50, 2.0f);  // 2,500 faces
    sw::MaterialGroup g{i % 2 ? "Smooth" : "Flat", {}};
    for (std::size_t f = 0; f < m.faces.size(); ++f) g.faces.push_back(static_cast<std::uint16_t>(f));
    m.groups.push_back(g);
    s.meshes.push_back(m);
    sw::Node n;
    n.name = m.name;
    n.hierarchy = static_cast<std::int16_t>(i == 0 ? -1 : 1 + (i % 3 == 0));
    n.pivot = sw::Vec3{};
    const float x = static_cast<float>(i % 5) * 5.0f - 10.0f, z = static_cast<float>(i / 5) * 5.0f;
    n.position = Vectors({{0, {x, 0, z}}, {100, {x, 3, z}}, {200, {x, 0, z}}});
    n.rotation = sw::Track<sw::RotationKey>{};
    n.rotation->keys = {{0, 0, {0, 0, 1}, {}}, {100, 3.0f, {0, 0, 1}, {}}, {200, 3.0f, {0, 0, 1}, {}}};
    n.scale = Vectors({{0, {1, 1, 1}}});
    s.keyframer->nodes.push_back(n);
  }
  for (int l = 0; l < 2; ++l) {
    const std::string name = l ? "Fill" : "Key";
    s.lights.push_back({name, {0, -30, 10}, std::nullopt, false, {}, 0, 0, false});
    sw::Node n;
    n.kind = sw::NodeKind::light;
    n.name = name;
    n.position = Vectors({{0, {l ? 20.0f : -20.0f, -30, 10}}});
    n.colour = Vectors({{0, {0.7f, 0.7f, 0.7f}}});
    s.keyframer->nodes.push_back(n);
  }
  s.cameras.push_back({"Cam", {0, -40, 10}, {0, 0, 5}, 0, 50, std::nullopt});
  sw::Node cam;
  cam.kind = sw::NodeKind::camera;
  cam.name = "Cam";
  cam.position = Vectors({{0, {0, -40, 10}}, {200, {10, -40, 10}}});
  sw::Node target;
  target.kind = sw::NodeKind::cameraTarget;
  target.name = "Cam";
  target.position = Vectors({{0, {0, 0, 5}}});
  s.keyframer->nodes.push_back(cam);
  s.keyframer->nodes.push_back(target);
  return sw::Write(s);
}

long triangles = 0;
int Count(Polygon*) {
  ++triangles;
  return 1;
}

void BM_RenderScene(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = BigScene();
  Scene* scene = ReadSceneMemory(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  if (!scene) {
    state.SkipWithError("scene did not load");
    return;
  }
  float frame = 0.0f;
  float fov = 0.0f;
  triangles = 0;
  for (auto _ : state) {
    RenderScene(scene, Count, frame, &fov);
    frame += 0.37f;
  }
  state.counters["faces/frame"] =
      benchmark::Counter(static_cast<double>(triangles) / static_cast<double>(state.iterations()));
  state.counters["faces/s"] = benchmark::Counter(static_cast<double>(triangles), benchmark::Counter::kIsRate);
  FreeScene(scene);
}
BENCHMARK(BM_RenderScene)->Unit(benchmark::kMillisecond);

void BM_ReadScene(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = BigScene();
  for (auto _ : state) {
    Scene* scene = ReadSceneMemory(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    benchmark::DoNotOptimize(scene);
    FreeScene(scene);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes.size()) * state.iterations());
}
BENCHMARK(BM_ReadScene)->Unit(benchmark::kMillisecond);

}  // namespace
