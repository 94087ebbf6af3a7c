// The scenes away from the ground: "intro" (a gate of turning rings round a
// crystal core, pillars rising out of the dark) and the three planet scenes
// (rushing towards a blue planet, past a ringed giant and its moons, and low
// over a cratered moon behind a small ship).
#include <cmath>

#include "tools/mkcontent/noise.h"
#include "tools/mkcontent/scenes.h"
#include "tools/mkcontent/textures.h"

namespace content {
namespace {

constexpr float pi = 3.14159265f;

void SpaceMaterials(scenewriter::Scene& scene) {
  AddMaterial(scene, {"stars", {255, 255, 255}, {255, 255, 255}, 2, false, 100, MapFileName("stars")});
  AddMaterial(scene, {"sun", {255, 255, 255}, {255, 240, 200}, 2, false, 100, MapFileName("fire")});
  AddMaterial(scene, {"earth", {255, 255, 255}, {36, 40, 60}, 2, false, 0, MapFileName("earth")});
  AddMaterial(scene, {"moon", {235, 235, 235}, {40, 40, 44}, 2, false, 0, MapFileName("moon")});
  AddMaterial(scene, {"giant", {255, 250, 240}, {50, 40, 36}, 2, false, 0, MapFileName("gasgiant")});
  AddMaterial(scene, {"ring", {240, 230, 220}, {90, 84, 78}, 1, true, 20, MapFileName("ring")});
}

}  // namespace

scenewriter::Scene BuildIntro() {
  scenewriter::Scene scene = NewScene("intro", 300);
  AddMaterial(scene, {"stars", {255, 255, 255}, {255, 255, 255}, 2, false, 100, MapFileName("stars")});
  AddMaterial(scene, {"floor", {255, 255, 255}, {120, 120, 140}, 1, false, 50, MapFileName("grid")});
  AddMaterial(scene, {"metal", {230, 236, 255}, {70, 80, 104}, 2, false, 0, MapFileName("metal")});
  // Its map is in neither picture format, so the start-up gives it the
  // fallback plasma picture.
  AddMaterial(scene, {"energy", {255, 255, 255}, {255, 255, 255}, 2, true, 100, MapFileName(missingTextureName)});
  AddMaterial(scene, {"lava", {255, 255, 255}, {160, 120, 110}, 2, false, 40, MapFileName("lava")});

  AddStarSphere(scene, "stars", 4000.0f);
  AddObject(scene, "floor", Grid(-700, -700, 700, 700, 14, 14, 7.0f, [](float, float) { return 0.0f; }), "floor",
            V(0, 0, 0));
  // A dais of hot rock under the gate.
  AddObject(scene, "dais", Cylinder(V(0, 0, -2), 70, 58, 10, 16, true, 3.0f, 0.3f), "lava", V(0, 0, 0));

  // The core: a crystal that turns and pulses.
  {
    scenewriter::Node& core = AddObject(scene, "core", At(Crystal(V(0, 0, 0), 16, 30), V(0, 0, 75)), "energy", V(0, 0, 75));
    core.rotation = Spin(V(0, 0, 1), 6.0f * pi, 0, 300, 1.2f);
    core.scale = MeshScaleTrack({{0, 0.2f}, {60, 1.2f}, {120, 0.9f}, {180, 1.15f}, {240, 0.95f}, {299, 1.1f}},
                                {0, 0, 0, 0.8f, 0});
  }
  // Three rings, each turning inside the one before it.
  {
    scenewriter::Node& outer = AddObject(scene, "ring1", Torus(V(0, 0, 75), 62, 3.5f, 28, 6), "metal", V(0, 0, 75));
    outer.rotation = Spin(V(0, 0, 1), 2.0f * pi, 0, 300, 1.0f);
    scenewriter::Node& middle =
        AddObject(scene, "ring2", Torus(V(0, 0, 75), 50, 3.0f, 26, 6), "metal", V(0, 0, 75), 1, V(0, 0, 75));
    middle.rotation = Spin(V(1, 0, 0), 3.0f * pi, 0, 300, 1.0f);
    scenewriter::Node& inner =
        AddObject(scene, "ring3", Torus(V(0, 0, 75), 38, 2.5f, 24, 6), "metal", V(0, 0, 75), 2, V(0, 0, 75));
    inner.rotation = Spin(V(0, 1, 0), 4.0f * pi, 0, 300, 1.0f);
  }
  // Eight pillars that appear one after another and rise out of the floor.
  for (int i = 0; i < 8; ++i) {
    const float a = static_cast<float>(i) / 8.0f * 2.0f * pi;
    const Vec3 at = V(200 * std::cos(a), 200 * std::sin(a), 0);
    Geometry pillar = Box(V(0, 0, 45), V(9, 9, 45), 1.0f);
    pillar.Append(Crystal(V(0, 0, 102), 7, 12));
    const std::uint16_t capFirst = 12;
    std::vector<std::uint16_t> body, cap;
    for (std::uint16_t f = 0; f < pillar.faces.size(); ++f) (f < capFirst ? body : cap).push_back(f);
    scenewriter::Node& node =
        AddObjectGroups(scene, "pillar" + std::to_string(i), At(pillar, at), {{"metal", body}, {"energy", cap}}, at);
    const int appear = 30 + 18 * i;
    node.hide = Toggles({0, appear});
    node.position = VectorTrack({{appear, at - V(0, 0, 100)}, {appear + 40, at}}, {0, 0, 0, 0, 0.7f});
  }

  AddCamera(scene, "camera",
            {{0, V(0, -1100, 520)}, {100, V(-300, -640, 300)}, {200, V(-420, -200, 170)}, {299, V(-250, 100, 100)}},
            {{0, V(0, 0, 60)}, {200, V(0, 0, 70)}, {299, V(0, 0, 78)}}, {{0, 58.0f}, {299, 70.0f}},
            {0, 0, 0, 0.5f, 0.2f}, {}, {{0, 0.0f}, {150, -8.0f}, {299, 0.0f}});
  AddLight(scene, "glow", {{0, V(0.2f, 0.2f, 0.45f)}, {120, V(0.95f, 0.95f, 1.0f)}, {299, V(1.0f, 1.0f, 1.0f)}});
  AddLight(scene, "pulse",
           {{0, V(0, 0, 0)}, {60, V(0.0f, 0.3f, 0.35f)}, {120, V(0, 0.05f, 0.1f)}, {180, V(0.0f, 0.3f, 0.35f)},
            {240, V(0, 0.05f, 0.1f)}, {299, V(0.0f, 0.3f, 0.35f)}});
  return scene;
}

scenewriter::Scene BuildPlanetPart1() {
  scenewriter::Scene scene = NewScene("planet_part1", 100);
  SpaceMaterials(scene);
  AddStarSphere(scene, "stars", 6000.0f);
  AddObject(scene, "sun", Sphere(V(-2600, 2600, 1400), 260, 14, 8), "sun", V(-2600, 2600, 1400));
  scenewriter::Node& earth = AddObject(scene, "earth", Sphere(V(0, 0, 0), 320, 24, 16), "earth", V(0, 0, 0));
  earth.rotation = Spin(V(0, 0, 1), 0.5f, 0, 100, 1.0f);
  scenewriter::Node& moon = AddObject(scene, "moon", Sphere(V(560, -420, 160), 70, 14, 9), "moon", V(560, -420, 160));
  moon.position = VectorTrack({{0, V(560, -420, 160)}, {99, V(470, -560, 180)}});
  AddCamera(scene, "camera", {{0, V(300, -3200, 900)}, {60, V(200, -1700, 450)}, {99, V(120, -1180, 300)}},
            {{0, V(0, 0, 0)}, {99, V(60, 0, 40)}}, {{0, 42.0f}, {99, 60.0f}}, {0, 0, 0, 0, 0.5f}, {},
            {{0, 12.0f}, {99, 0.0f}});
  AddLight(scene, "sunlight", {{0, V(1.0f, 0.98f, 0.92f)}});
  return scene;
}

scenewriter::Scene BuildPlanetPart2() {
  scenewriter::Scene scene = NewScene("planet_part2", 173);
  SpaceMaterials(scene);
  AddStarSphere(scene, "stars", 7000.0f);
  AddObject(scene, "sun", Sphere(V(3000, 3600, 900), 200, 14, 8), "sun", V(3000, 3600, 900));

  // The giant and its ring share one tilt; the moons circle on a pivot.
  Geometry giant = Sphere(V(0, 0, 0), 420, 24, 16);
  giant.RotateX(0.32f);
  AddObject(scene, "giant", giant, "giant", V(0, 0, 0));
  Geometry ring = Annulus(V(0, 0, 0), 560, 980, 40);
  ring.RotateX(0.32f);
  AddObject(scene, "rings", ring, "ring", V(0, 0, 0));
  scenewriter::Node& orbit = AddPivot(scene, "orbit", "moon", V(0, 0, 0));
  orbit.rotation = Spin(V(0, 0, 1), 0.9f, 0, 173, 1.0f);
  scenewriter::Node& moon1 = AddObject(scene, "moon1", Sphere(V(1250, -300, 260), 80, 14, 9), "moon", V(1250, -300, 260), 1);
  moon1.rotation = Spin(V(0, 0, 1), 1.2f, 0, 173, 1.0f);
  AddObject(scene, "moon2", Sphere(V(-900, -1000, -180), 55, 12, 8), "earth", V(-900, -1000, -180), 1);

  AddCamera(scene, "camera",
            {{0, V(-2300, -2200, 520)}, {90, V(-600, -2500, 260)}, {172, V(1300, -2100, -120)}},
            {{0, V(0, 0, 0)}, {172, V(200, 0, 60)}}, {{0, 62.0f}, {172, 56.0f}}, {0, 0, 0, 0.3f, 0.3f}, {},
            {{0, -6.0f}, {172, 8.0f}});
  AddLight(scene, "sunlight", {{0, V(1.0f, 0.94f, 0.86f)}});
  AddLight(scene, "ringshine", {{0, V(0.12f, 0.1f, 0.08f)}});
  return scene;
}

scenewriter::Scene BuildPlanetPart3() {
  scenewriter::Scene scene = NewScene("planet_part3", 180);
  SpaceMaterials(scene);
  AddMaterial(scene, {"hull", {230, 236, 255}, {80, 90, 110}, 1, false, 0, MapFileName("metal")});
  AddMaterial(scene, {"engine", {120, 220, 255}, {110, 210, 255}, 2, false, 100, ""});
  AddStarSphere(scene, "stars", 7000.0f);

  // Cratered ground.
  Random random(941);
  struct Crater {
    float x, y, r;
  };
  std::vector<Crater> craters;
  for (int i = 0; i < 14; ++i) craters.push_back({random.Range(-1200, 1200), random.Range(-600, 1800), random.Range(60, 220)});
  auto height = [&craters](float x, float y) {
    float h = 30.0f * Fbm2(x / 500.0f, y / 500.0f, 4, 0, 0, 942);
    for (const Crater& c : craters) {
      const float d = std::hypot(x - c.x, y - c.y) / c.r;
      if (d < 1.0f) h -= 0.35f * c.r * (1.0f - d * d);
      else if (d < 1.5f) h += 0.12f * c.r * std::sin((d - 1.0f) * 2.0f * pi);
    }
    return h;
  };
  AddObject(scene, "surface", Grid(-1600, -1200, 1600, 2400, 36, 40, 6.0f, height), "moon", V(0, 0, 0));

  // The blue planet hangs huge over the horizon, the giant further off.
  AddObject(scene, "earth", Sphere(V(-600, 4600, 1300), 900, 24, 16), "earth", V(-600, 4600, 1300));
  AddObject(scene, "giant", Sphere(V(2400, 4200, 1900), 300, 16, 10), "giant", V(2400, 4200, 1900));

  // A small ship racing ahead of the camera, banking as it weaves.
  {
    Geometry ship = Cylinder(V(0, 0, -24), 5, 2, 48, 6, true);
    ship.RotateX(-pi * 0.5f);  // nose along +y
    std::vector<std::uint16_t> hull(ship.faces.size());
    for (std::size_t i = 0; i < hull.size(); ++i) hull[i] = static_cast<std::uint16_t>(i);
    Geometry wings = Box(V(0, -8, 0), V(22, 7, 1));
    const std::size_t wingBase = ship.faces.size();
    ship.Append(wings);
    for (std::size_t i = 0; i < wings.faces.size(); ++i) hull.push_back(static_cast<std::uint16_t>(wingBase + i));
    Geometry glow = Sphere(V(0, -25, 0), 4, 8, 5);
    ship.ScaleBy(V(2, 2, 2));
    glow.ScaleBy(V(2, 2, 2));
    const std::size_t glowBase = ship.faces.size();
    ship.Append(glow);
    std::vector<std::uint16_t> engine;
    for (std::size_t i = 0; i < glow.faces.size(); ++i) engine.push_back(static_cast<std::uint16_t>(glowBase + i));
    scenewriter::Node& node = AddObjectGroups(scene, "ship", ship, {{"hull", hull}, {"engine", engine}}, V(0, 0, 0));
    node.position = VectorTrack({{0, V(-100, -800, 140)}, {60, V(80, -200, 110)}, {120, V(-60, 400, 150)}, {179, V(40, 1000, 230)}});
    node.rotation = Spin(V(0, 1, 0), 0.0f, 0, 1);
    node.rotation->keys.clear();
    node.rotation->keys.push_back({0, 0.0f, V(0, 1, 0), {}});
    node.rotation->keys.push_back({60, 0.45f, V(0, 1, 0), {}});
    node.rotation->keys.push_back({120, -0.9f, V(0, 1, 0), {}});
    node.rotation->keys.push_back({179, 0.5f, V(0, 1, 0), {}});
  }

  AddCamera(scene, "camera",
            {{0, V(-160, -1050, 200)}, {60, V(40, -430, 165)}, {120, V(-90, 170, 200)}, {179, V(20, 760, 300)}},
            {{0, V(-100, -800, 150)}, {60, V(80, -200, 120)}, {120, V(-60, 400, 170)}, {179, V(40, 1000, 300)}},
            {{0, 70.0f}, {179, 70.0f}});
  AddLight(scene, "sunlight", {{0, V(1.0f, 0.97f, 0.92f)}});
  return scene;
}

}  // namespace content
