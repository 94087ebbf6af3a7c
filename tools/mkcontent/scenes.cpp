// Shared scene helpers and the list of all scenes.
#include "tools/mkcontent/scenes.h"

#include <cmath>

#include "tools/mkcontent/content.h"

namespace content {

FaceGroups SplitFaces(const Geometry& g, const std::vector<std::string>& materials,
                      const std::function<int(Vec3, Vec3)>& pick) {
  FaceGroups groups;
  for (const std::string& m : materials) groups.push_back({m, {}});
  for (std::size_t i = 0; i < g.faces.size(); ++i) {
    const Vec3 a = g.vertices[g.faces[i][0]], b = g.vertices[g.faces[i][1]], c = g.vertices[g.faces[i][2]];
    const Vec3 centre = (a + b + c) * (1.0f / 3.0f);
    const Vec3 normal = Normalise(Cross(b - a, c - a));
    const int k = pick(centre, normal);
    const std::size_t index = k >= 0 && static_cast<std::size_t>(k) < groups.size() ? static_cast<std::size_t>(k) : 0;
    groups[index].second.push_back(static_cast<std::uint16_t>(i));
  }
  // A material group with no faces is legal but useless.
  std::erase_if(groups, [](const auto& group) { return group.second.empty(); });
  return groups;
}

void AddSky(scenewriter::Scene& scene, const std::string& material, Vec3 centre, float radius, float rimAngle) {
  Geometry sky = Dome(centre, radius, 16, 6, rimAngle, 2.0f, 0.5f);
  // A skirt hangs from the rim in the horizon's colour (the picture's last
  // row), so that nothing below the dome's edge is ever left empty.
  const float rimRadius = radius * std::sin(rimAngle);
  const float rimZ = radius * std::cos(rimAngle);
  const float depth = radius * 1.5f;
  Geometry skirt = Cylinder(centre + V(0, 0, rimZ - depth), rimRadius, rimRadius, depth, 16, true);
  skirt.Flip();
  for (auto& t : skirt.uv) t = {t.first, 0.494f};
  sky.Append(skirt);
  AddObject(scene, "sky", sky, material, centre);
}

void AddStarSphere(scenewriter::Scene& scene, const std::string& material, float radius) {
  Geometry g = Sphere(V(0, 0, 0), radius, 16, 8, 4.0f);
  for (auto& t : g.uv) t.second *= 2.0f;
  g.Flip();
  AddObject(scene, "starfield", g, material, V(0, 0, 0));
}

scenewriter::Node& AddPivot(scenewriter::Scene& scene, const std::string& name, const std::string& material,
                            Vec3 place, int hierarchy) {
  Geometry g;
  g.AddVertex(V(0, 0, 0));
  g.AddVertex(V(0.1f, 0, 0));
  g.AddVertex(V(0, 0.1f, 0));
  g.AddFace(0, 1, 2);
  g.Translate(place);
  scenewriter::Node& node = AddObject(scene, name, g, material, place, hierarchy);
  node.hide = Toggles({0});
  return node;
}

std::vector<SceneAsset> BuildScenes() {
  struct Entry {
    const char* name;
    int lastFrame;
    scenewriter::Scene (*build)();
  };
  static constexpr Entry entries[] = {
      {"intro", 299, BuildIntro},
      {"mainscene", 1599, BuildMainScene},
      {"mountainworld", 899, BuildMountainWorld},
      {"mountainhut", 599, BuildMountainHut},
      {"planet_part1", 99, BuildPlanetPart1},
      {"planet_part2", 172, BuildPlanetPart2},
      {"planet_part3", 179, BuildPlanetPart3},
      {"stonehedge_fire", 599, BuildStonehedgeFire},
  };
  std::vector<SceneAsset> scenes;
  for (const Entry& e : entries) {
    const scenewriter::Scene scene = e.build();
    SceneAsset asset;
    asset.name = e.name;
    asset.lastFrame = e.lastFrame;
    asset.triangles = TriangleCount(scene);
    asset.bytes = scenewriter::Write(scene);
    scenes.push_back(std::move(asset));
  }
  return scenes;
}

}  // namespace content
