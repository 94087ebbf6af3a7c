// The landscape scenes: "mountainworld" (a fast flight down a snowy valley),
// "mountainhut" (a log hut on an alpine meadow, smoke rising, the door
// opening) and "stonehedge_fire" (a stone circle at night round a bonfire).
#include <algorithm>
#include <cmath>

#include "tools/mkcontent/noise.h"
#include "tools/mkcontent/scenes.h"
#include "tools/mkcontent/textures.h"

namespace content {
namespace {

constexpr float pi = 3.14159265f;

float Smooth(float e0, float e1, float x) {
  const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3.0f - 2.0f * t);
}

// The valley the camera follows in "mountainworld".
float ValleyY(float x) { return 320.0f * std::sin(x / 520.0f) + 80.0f * std::sin(x / 190.0f); }

float MountainHeight(float x, float y) {
  const float ridges = Ridged2(x / 900.0f + 11.0f, y / 900.0f + 5.0f, 5, 0, 0, 911);
  const float d = std::fabs(y - ValleyY(x));
  const float open = Smooth(90.0f, 460.0f, d);
  return 20.0f + 40.0f * Fbm2(x / 300.0f, y / 300.0f, 3, 0, 0, 912) + open * 620.0f * std::pow(ridges, 1.5f);
}

// Snow on high or flat-topped ground, rock on steep slopes, grass below.
int MountainMaterial(Vec3 c, Vec3 n) {
  if (c.z > 300.0f || (c.z > 190.0f && n.z > 0.8f)) return 2;
  if (n.z < 0.72f || c.z > 170.0f) return 1;
  return 0;
}

Geometry PineTree(Vec3 at, float size) {
  Geometry g = Cylinder(at + V(0, 0, -2), 2.2f * size, 1.6f * size, 8 * size, 5, false);
  g.Append(Cylinder(at + V(0, 0, 5 * size), 10 * size, 0, 16 * size, 6, true));
  g.Append(Cylinder(at + V(0, 0, 13 * size), 8 * size, 0, 14 * size, 6, false));
  g.Append(Cylinder(at + V(0, 0, 21 * size), 5.5f * size, 0, 11 * size, 6, false));
  return g;
}

// Faces of a pine: the first ten are the trunk.
constexpr std::size_t pineTrunkFaces = 10;

}  // namespace

scenewriter::Scene BuildMountainWorld() {
  scenewriter::Scene scene = NewScene("mountainworld", 900);
  AddMaterial(scene, {"grass", {196, 210, 176}, {80, 92, 70}, 2, false, 0, MapFileName("grass")});
  AddMaterial(scene, {"rock", {214, 204, 196}, {90, 84, 80}, 2, false, 0, MapFileName("rock")});
  AddMaterial(scene, {"snow", {240, 244, 255}, {150, 156, 176}, 2, false, 0, MapFileName("snow")});
  AddMaterial(scene, {"sky", {255, 255, 255}, {255, 255, 255}, 2, false, 100, MapFileName("sky")});
  AddMaterial(scene, {"sun", {255, 244, 200}, {255, 240, 190}, 1, false, 100, ""});
  AddMaterial(scene, {"cloud", {250, 250, 255}, {200, 204, 220}, 2, false, 40, ""});
  AddMaterial(scene, {"wood", {226, 204, 184}, {100, 84, 66}, 1, false, 0, MapFileName("wood")});
  AddMaterial(scene, {"pine", {50, 120, 60}, {20, 56, 30}, 1, false, 0, ""});

  AddSky(scene, "sky", V(0, 0, -300), 3600.0f, 1.7f);
  AddObject(scene, "sun", Sphere(V(2600, 1400, 900), 110, 10, 6), "sun", V(2600, 1400, 900));

  Geometry land = Grid(-1500, -1500, 1500, 1500, 46, 46, 16.0f, MountainHeight);
  AddObjectGroups(scene, "mountains", land, SplitFaces(land, {"grass", "rock", "snow"}, MountainMaterial), V(0, 0, 0));

  // A few pines on the valley floor.
  {
    Random random(913);
    Geometry pines;
    std::vector<std::uint16_t> trunks, needles;
    for (int i = 0; i < 28; ++i) {
      const float x = random.Range(-1150, 1150);
      const float y = ValleyY(x) + random.Range(-150, 150);
      if (std::fabs(y - ValleyY(x)) < 45) continue;  // keep the flight path clear
      const Geometry t = PineTree(V(x, y, MountainHeight(x, y)), random.Range(1.2f, 2.0f));
      const std::size_t base = pines.faces.size();
      for (std::size_t f = 0; f < t.faces.size(); ++f) {
        (f < pineTrunkFaces ? trunks : needles).push_back(static_cast<std::uint16_t>(base + f));
      }
      pines.Append(t);
    }
    AddObjectGroups(scene, "pines", pines, {{"wood", trunks}, {"pine", needles}}, V(0, 0, 0));
  }

  // Clouds drifting across the valley.
  Random random(914);
  for (int i = 0; i < 6; ++i) {
    const float x = -1000.0f + 400.0f * static_cast<float>(i), y = ValleyY(x) + random.Range(-500, 500);
    const float z = random.Range(520, 700);
    const float size = random.Range(0.8f, 1.3f);
    Geometry cloud = Ellipsoid(V(0, 0, 0), V(110 * size, 70 * size, 38 * size), 10, 5);
    cloud.Append(Ellipsoid(V(70 * size, 20 * size, -8 * size), V(75 * size, 55 * size, 30 * size), 8, 5));
    cloud.Append(Ellipsoid(V(-80 * size, -15 * size, -10 * size), V(70 * size, 50 * size, 26 * size), 8, 5));
    scenewriter::Node& node = AddObject(scene, "cloud" + std::to_string(i), At(cloud, V(x, y, z)), "cloud", V(x, y, z));
    node.position = VectorTrack({{0, V(x, y, z)}, {900, V(x + 260, y + 120, z)}});
  }

  // Down the valley, low over the floor, banking into the bends.
  std::vector<PathPoint> eye, target;
  std::vector<std::pair<int, float>> roll;
  for (int i = 0; i <= 9; ++i) {
    const int frame = i * 100;
    const float x = -1050.0f + 1850.0f * static_cast<float>(i) / 9.0f;
    const float ahead = x + 240.0f;
    const float floor = MountainHeight(x, ValleyY(x));
    eye.push_back({frame, V(x, ValleyY(x), floor + 70.0f + 40.0f * std::sin(static_cast<float>(i)))});
    target.push_back({frame, V(ahead, ValleyY(ahead), MountainHeight(ahead, ValleyY(ahead)) + 55.0f)});
    const float bend = (ValleyY(x + 60.0f) - ValleyY(x - 60.0f)) / 120.0f;
    roll.push_back({frame, std::clamp(-bend * 14.0f, -12.0f, 12.0f)});
  }
  AddCamera(scene, "camera", eye, target, {{0, 72.0f}, {899, 72.0f}}, {0.0f, -0.15f, 0.0f, 0.3f, 0}, {0.1f, 0, 0, 0, 0},
            roll);
  AddLight(scene, "sun", {{0, V(1.0f, 0.97f, 0.9f)}, {899, V(1.0f, 0.9f, 0.8f)}});
  AddLight(scene, "skylight", {{0, V(0.15f, 0.18f, 0.26f)}});
  return scene;
}

scenewriter::Scene BuildMountainHut() {
  scenewriter::Scene scene = NewScene("mountainhut", 600);
  AddMaterial(scene, {"grass", {196, 210, 176}, {84, 96, 72}, 2, false, 0, MapFileName("grass")});
  AddMaterial(scene, {"rock", {214, 204, 196}, {90, 84, 80}, 2, false, 0, MapFileName("rock")});
  AddMaterial(scene, {"snow", {240, 244, 255}, {150, 156, 176}, 2, false, 0, MapFileName("snow")});
  AddMaterial(scene, {"logs", {236, 212, 190}, {118, 96, 76}, 1, false, 0, MapFileName("wood")});
  AddMaterial(scene, {"roof", {236, 206, 196}, {124, 90, 78}, 1, false, 0, MapFileName("roof")});
  AddMaterial(scene, {"chimney", {226, 216, 200}, {120, 110, 98}, 1, false, 0, MapFileName("wall")});
  AddMaterial(scene, {"window", {255, 206, 120}, {255, 190, 100}, 1, true, 100, ""});
  AddMaterial(scene, {"door", {170, 120, 90}, {80, 50, 36}, 1, false, 0, MapFileName("wood")});
  AddMaterial(scene, {"smoke", {200, 200, 210}, {120, 120, 130}, 2, false, 30, ""});
  AddMaterial(scene, {"pine", {50, 120, 60}, {20, 56, 30}, 1, false, 0, ""});
  AddMaterial(scene, {"sky", {255, 255, 255}, {255, 255, 255}, 2, false, 100, MapFileName("sky")});

  AddSky(scene, "sky", V(0, 0, -200), 3000.0f, 1.72f);

  // The meadow round the hut, and the peaks beyond.
  auto meadow = [](float x, float y) {
    return -4.0f + 0.06f * y + 10.0f * Fbm2(x / 160.0f, y / 160.0f, 3, 0, 0, 921);
  };
  Geometry ground = Grid(-420, -420, 420, 420, 24, 24, 8.0f, meadow);
  AddObjectGroups(scene, "meadow", ground, SplitFaces(ground, {"grass", "snow"}, [](Vec3 c, Vec3) {
                    return std::hypot(c.x, c.y) > 300.0f ? 1 : 0;
                  }),
                  V(0, 0, 0));
  Geometry peaks = Grid(-2400, -2400, 2400, 2400, 30, 30, 10.0f, [](float x, float y) {
    const float r = std::hypot(x, y);
    return -60.0f + Smooth(500.0f, 2000.0f, r) * 1100.0f * std::pow(Ridged2(x / 700.0f, y / 700.0f, 4, 0, 0, 922), 1.4f);
  });
  AddObjectGroups(scene, "peaks", peaks, SplitFaces(peaks, {"rock", "snow"}, [](Vec3 c, Vec3 n) {
                    return (c.z > 260.0f || (c.z > 120.0f && n.z > 0.75f)) ? 1 : 0;
                  }),
                  V(0, 0, 0));

  // The hut: log walls, roof, chimney and two lit windows; the door swings
  // open on its hinge as a child of the hut.
  const float hz = meadow(0, 0);
  {
    Geometry hut = Box(V(0, 0, hz + 9), V(24, 16, 12), 1.0f);
    const std::uint16_t wallFaces = static_cast<std::uint16_t>(hut.faces.size());
    hut.Append(GableRoof(V(0, 0, 0), 24, 16, hz + 21, 15, 4));
    const std::uint16_t roofEnd = static_cast<std::uint16_t>(hut.faces.size());
    hut.Append(Box(V(12, 8, hz + 36), V(3.5f, 3.5f, 10)));
    const std::uint16_t chimneyEnd = static_cast<std::uint16_t>(hut.faces.size());
    for (float wx : {-15.0f, 15.0f}) {
      const int a = hut.AddVertex(V(wx - 4, -16.3f, hz + 8)), b = hut.AddVertex(V(wx + 4, -16.3f, hz + 8)),
                c = hut.AddVertex(V(wx + 4, -16.3f, hz + 15)), d = hut.AddVertex(V(wx - 4, -16.3f, hz + 15));
      hut.AddFace(a, b, c);
      hut.AddFace(a, c, d);
    }
    {
      // The lit room behind the door.
      const int a = hut.AddVertex(V(-5, -16.2f, hz - 3)), b = hut.AddVertex(V(5, -16.2f, hz - 3)),
                c = hut.AddVertex(V(5, -16.2f, hz + 12)), d = hut.AddVertex(V(-5, -16.2f, hz + 12));
      hut.AddFace(a, b, c);
      hut.AddFace(a, c, d);
    }
    FaceGroups groups = {{"logs", {}}, {"roof", {}}, {"chimney", {}}, {"window", {}}};
    for (std::uint16_t i = 0; i < hut.faces.size(); ++i) {
      const int g = i < wallFaces ? 0 : (i < roofEnd ? 1 : (i < chimneyEnd ? 2 : 3));
      groups[static_cast<std::size_t>(g)].second.push_back(i);
    }
    AddObjectGroups(scene, "hut", hut, groups, V(0, 0, hz));
    Geometry door = Box(V(5, 0, 7.5f), V(5, 0.8f, 7.5f));
    const Vec3 hinge = V(-5, -16.8f, hz - 3);
    door.Translate(hinge);
    scenewriter::Node& node = AddObject(scene, "door", door, "door", hinge, 1, V(0, 0, hz));
    node.rotation = Spin(V(0, 0, 1), 1.7f, 260, 360, 2.0f);
    node.rotation->keys.front().frame = 260;
    node.rotation->keys[1].spline.easeTo = 0.5f;
    node.rotation->keys[1].spline.easeFrom = 0.5f;
  }

  // Smoke puffs rising from the chimney, growing as they go; each repeats.
  for (int i = 0; i < 6; ++i) {
    const int start = i * 20;
    const Vec3 top = V(12, 8, hz + 47);
    scenewriter::Node& puff =
        AddObject(scene, "smoke" + std::to_string(i), Ellipsoid(top, V(5, 5, 4), 8, 5), "smoke", top);
    puff.position = VectorTrack({{start, top}, {start + 60, top + V(14, 6, 40)}, {start + 120, top + V(40, 14, 90)}});
    puff.position->flags = 2;
    puff.scale = MeshScaleTrack({{start, 0.5f}, {start + 60, 1.3f}, {start + 120, 2.2f}});
    puff.scale->flags = 2;
  }

  // Pines around the clearing.
  {
    Random random(923);
    Geometry pines;
    std::vector<std::uint16_t> trunks, needles;
    for (int i = 0; i < 22; ++i) {
      const float a = random.Range(0, 2 * pi), r = random.Range(110, 380);
      const float x = r * std::cos(a), y = r * std::sin(a) + 60.0f;
      const Geometry t = PineTree(V(x, y, meadow(x, y)), random.Range(1.0f, 1.8f));
      const std::size_t base = pines.faces.size();
      for (std::size_t f = 0; f < t.faces.size(); ++f) {
        (f < pineTrunkFaces ? trunks : needles).push_back(static_cast<std::uint16_t>(base + f));
      }
      pines.Append(t);
    }
    AddObjectGroups(scene, "pines", pines, {{"logs", trunks}, {"pine", needles}}, V(0, 0, 0));
  }

  // Fence along the path to the door.
  {
    Geometry fence;
    for (int i = 0; i < 8; ++i) {
      for (float side : {-14.0f, 14.0f}) {
        const float y = -30.0f - 12.0f * static_cast<float>(i);
        fence.Append(Box(V(side, y, meadow(side, y) + 5), V(1, 1, 6)));
      }
    }
    for (float side : {-14.0f, 14.0f}) {
      const float zc = meadow(side, -72.0f) + 7.0f;
      fence.Append(Box(V(side, -72, zc), V(0.6f, 43, 0.8f)));
    }
    AddObject(scene, "fence", fence, "logs", V(0, -60, hz));
  }

  // Round the hut once, then up to the door as it opens.
  std::vector<PathPoint> eye;
  for (int i = 0; i <= 6; ++i) {
    const float a = -pi * 0.5f - 0.6f + static_cast<float>(i) / 6.0f * 2.0f * pi;
    const float r = 150.0f - 10.0f * static_cast<float>(i);
    eye.push_back({i * 60, V(r * std::cos(a), r * std::sin(a), hz + 50.0f - 3.0f * static_cast<float>(i))});
  }
  eye.push_back({480, V(10, -130, hz + 26)});
  eye.push_back({599, V(4, -92, hz + 20)});
  AddCamera(scene, "camera", eye,
            {{0, V(0, 0, hz + 16)}, {360, V(0, 0, hz + 14)}, {480, V(0, -16, hz + 10)}, {599, V(-2, -16, hz + 8)}},
            {{0, 66.0f}, {599, 60.0f}}, {0.0f, 0.0f, 0.25f, 0.4f, 0.6f});
  AddLight(scene, "daylight", {{0, V(0.9f, 0.92f, 1.0f)}, {599, V(0.85f, 0.8f, 0.8f)}});
  std::vector<PathPoint> flicker;
  Random random(924);
  for (int f = 0; f <= 600; f += 20) {
    const float k = random.Range(0.15f, 0.35f);
    flicker.push_back({f, V(k, k * 0.55f, k * 0.2f)});
  }
  AddLight(scene, "hearth", flicker);
  return scene;
}

scenewriter::Scene BuildStonehedgeFire() {
  scenewriter::Scene scene = NewScene("stonehedge_fire", 600);
  AddMaterial(scene, {"grass", {170, 190, 150}, {40, 48, 40}, 2, false, 0, MapFileName("grass")});
  AddMaterial(scene, {"stone", {236, 230, 222}, {84, 80, 90}, 2, false, 0, MapFileName("stone")});
  AddMaterial(scene, {"logs", {220, 190, 170}, {80, 50, 34}, 1, false, 15, MapFileName("wood")});
  AddMaterial(scene, {"flame", {255, 255, 255}, {255, 200, 140}, 2, true, 100, MapFileName("fire")});
  AddMaterial(scene, {"core", {255, 250, 190}, {255, 230, 150}, 2, true, 100, ""});
  AddMaterial(scene, {"embers", {255, 110, 30}, {220, 70, 10}, 1, false, 100, ""});
  AddMaterial(scene, {"spark", {255, 210, 90}, {255, 190, 70}, 1, true, 100, ""});
  AddMaterial(scene, {"night", {255, 255, 255}, {255, 255, 255}, 2, false, 100, MapFileName("night")});

  AddSky(scene, "night", V(0, 0, -200), 2600.0f, 1.75f);
  auto ground = [](float x, float y) {
    const float r = std::hypot(x, y);
    return Smooth(200.0f, 900.0f, r) * 90.0f + 6.0f * Fbm2(x / 200.0f, y / 200.0f, 3, 0, 0, 931);
  };
  AddObject(scene, "ground", Grid(-900, -900, 900, 900, 26, 26, 14.0f, ground), "grass", V(0, 0, 0));

  // Outer circle of uprights with lintels across neighbours, and an inner
  // horseshoe of taller trilithons.
  Random random(932);
  {
    Geometry stones;
    const int count = 16;
    for (int i = 0; i < count; ++i) {
      const float a = static_cast<float>(i) / count * 2.0f * pi;
      Geometry s = Box(V(0, 0, 20), V(4.5f, 8.0f, 24.0f), 0.5f);
      s.RotateX(random.Range(-0.04f, 0.04f));
      s.RotateZ(a);
      s.Translate(V(120 * std::cos(a), 120 * std::sin(a), ground(120 * std::cos(a), 120 * std::sin(a)) - 4));
      stones.Append(s);
      if (i % 2 == 0) {
        const float m = a + pi / count;
        Geometry lintel = Box(V(0, 0, 0), V(4.5f, 26.0f, 3.5f), 0.5f);
        lintel.RotateZ(m);
        lintel.Translate(V(121 * std::cos(m), 121 * std::sin(m), 47.0f));
        stones.Append(lintel);
      }
    }
    for (int i = 0; i < 5; ++i) {
      const float a = pi * 0.5f + (static_cast<float>(i) - 2.0f) * 0.55f;
      for (float side : {-1.0f, 1.0f}) {
        Geometry s = Box(V(0, side * 9.0f, 28), V(5.0f, 5.5f, 32.0f), 0.5f);
        s.RotateZ(a);
        s.Translate(V(62 * std::cos(a), 62 * std::sin(a), -4));
        stones.Append(s);
      }
      Geometry lintel = Box(V(0, 0, 63), V(5.5f, 17.0f, 4.0f), 0.5f);
      lintel.RotateZ(a);
      lintel.Translate(V(62 * std::cos(a), 62 * std::sin(a), -4));
      stones.Append(lintel);
    }
    AddObject(scene, "stones", stones, "stone", V(0, 0, 0));
  }

  // The bonfire: logs in a cone, a bed of embers, flames that stretch and
  // turn, two that flicker in and out, and sparks flying up.
  {
    Geometry logs;
    for (int i = 0; i < 7; ++i) {
      Geometry log = Cylinder(V(0, 0, 0), 1.6f, 1.3f, 26, 5, true, 1.0f, 0.3f);
      log.RotateX(0.62f);
      log.Translate(V(0, -11, 0));
      log.RotateZ(static_cast<float>(i) / 7.0f * 2.0f * pi);
      logs.Append(log);
    }
    AddObject(scene, "logs", logs, "logs", V(0, 0, 0));
    Geometry bed = Cylinder(V(0, 0, -0.5f), 16, 14, 1.5f, 12, true);
    AddObject(scene, "embers", bed, "embers", V(0, 0, 0));
  }
  for (int i = 0; i < 6; ++i) {
    const float a = static_cast<float>(i) / 6.0f * 2.0f * pi;
    const Vec3 at = i == 0 ? V(0, 0, 1) : V(6 * std::cos(a), 6 * std::sin(a), 1);
    const float height = i == 0 ? 42.0f : random.Range(20, 30);
    Geometry flame = Cylinder(V(0, 0, 0), i == 0 ? 9.0f : 5.0f, 0, height, 8, false, 2.0f, 1.0f);
    scenewriter::Node& node = AddObject(scene, "flame" + std::to_string(i), At(flame, at), "flame", at);
    std::vector<std::pair<int, float>> pulse;
    const int period = 16 + 3 * i;
    for (int f = 0; f <= 96; f += period / 2) pulse.push_back({f, (f / (period / 2)) % 2 ? 1.25f : 0.8f});
    pulse.back().second = pulse.front().second;
    node.scale = MeshScaleTrack(pulse);
    node.scale->flags = 2;
    node.rotation = Spin(V(0, 0, 1), (i % 2 ? 1.0f : -1.0f) * 2.0f * pi, 0, 240 + 40 * i, 1.0f);
    node.rotation->flags = 2;
    if (i == 2 || i == 5) node.hide = Toggles({40 + 10 * i, 70 + 10 * i, 150, 175, 300, 330, 420, 436, 520, 560});
  }
  AddObject(scene, "core", Cylinder(V(0, 0, 1), 5, 0, 22, 6, false), "core", V(0, 0, 1));
  for (int i = 0; i < 10; ++i) {
    const float a = random.Range(0, 2 * pi), r = random.Range(2, 9);
    const Vec3 from = V(r * std::cos(a), r * std::sin(a), 12);
    const Vec3 to = from + V(random.Range(-25, 25), random.Range(-25, 25), random.Range(70, 120));
    const int start = random.Int(0, 60), life = random.Int(50, 80);
    scenewriter::Node& spark = AddObject(scene, "spark" + std::to_string(i), Crystal(from, 0.9f, 1.6f), "spark", from);
    spark.position = VectorTrack({{start, from}, {start + life / 2, (from + to) * 0.5f + V(0, 0, 10)}, {start + life, to}});
    spark.position->flags = 2;
  }

  // Round the circle, coming in towards the fire.
  // From high above the circle, down through a gap between the uprights and
  // round the fire inside the ring, on the open side of the inner horseshoe.
  std::vector<PathPoint> eye;
  // The gap between outer stones 11 and 12 has no lintel over it.
  const float gap = -pi * 0.5f - pi / 16.0f;
  const float radii[] = {300, 240, 175, 122, 95, 92, 92, 95, 100};
  const float heights[] = {150, 105, 62, 32, 30, 28, 28, 30, 34};
  for (int i = 0; i <= 8; ++i) {
    const float a = gap - (i < 3 ? 0.0f : static_cast<float>(i - 3) / 5.0f * pi * 0.4f);
    eye.push_back({i * 75 > 599 ? 599 : i * 75, V(radii[i] * std::cos(a), radii[i] * std::sin(a), heights[i])});
  }
  AddCamera(scene, "camera", eye, {{0, V(0, 0, 10)}, {300, V(0, 0, 24)}, {599, V(0, 0, 26)}},
            {{0, 60.0f}, {599, 66.0f}}, {0.15f, 0, 0, 0.3f, 0.3f});
  std::vector<PathPoint> fire;
  for (int f = 0; f <= 600; f += 12) {
    const float k = random.Range(0.75f, 1.05f);
    fire.push_back({f, V(k, 0.5f * k, 0.18f * k)});
  }
  AddLight(scene, "firelight", fire);
  AddLight(scene, "moonlight", {{0, V(0.22f, 0.25f, 0.42f)}});
  return scene;
}

}  // namespace content
