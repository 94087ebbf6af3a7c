// "mainscene": a valley village by a lake, the presentation's central scene.
// One long flight of 1600 frames that the timeline shows in five pieces: over
// the hills into the village, across the lake, past the windmill, round the
// church tower, and up after a hot-air balloon into the evening.
#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/mkcontent/noise.h"
#include "tools/mkcontent/scenes.h"
#include "tools/mkcontent/textures.h"

namespace content {
namespace {

constexpr float pi = 3.14159265f;
constexpr float waterLevel = 4.0f;

float VillageHeight(float x, float y) {
  const float r = std::hypot(x, y);
  const float hills = 24.0f * Fbm2(x / 420.0f + 3.0f, y / 420.0f + 7.0f, 4, 0, 0, 901);
  const float rise = std::max(0.0f, r - 520.0f) * 0.5f;
  const float lakeD = std::hypot(x - 260.0f, y + 170.0f) / 210.0f;
  const float lake = lakeD < 1.0f ? 40.0f * (1.0f - lakeD * lakeD) : 0.0f;
  return 14.0f + hills + rise - lake;
}

// Where the camera flies, key by key.
const std::vector<PathPoint> flight = {
    {0, V(40, -720, 250)},    {160, V(-260, -560, 170)}, {330, V(-380, -230, 80)}, {500, V(-150, 30, 48)},
    {685, V(90, 90, 42)},     {770, V(230, -60, 30)},    {865, V(420, -260, 55)},  {925, V(200, 130, 90)},
    {985, V(-120, 380, 70)},  {1050, V(40, 470, 62)},    {1115, V(250, 330, 70)},  {1250, V(270, -40, 150)},
    {1420, V(270, -430, 270)}, {1599, V(-200, -690, 430)}};

// Distance on the ground from (x, y) to the low parts of the flight (keys
// below tree height and the straight lines between them).
float DistanceToLowFlight(float x, float y) {
  float best = 1e9f;
  for (std::size_t i = 0; i + 1 < flight.size(); ++i) {
    const Vec3 a = flight[i].p, b = flight[i + 1].p;
    if (a.z > 140.0f && b.z > 140.0f) continue;
    const float dx = b.x - a.x, dy = b.y - a.y;
    const float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / len2 : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    best = std::min(best, std::hypot(x - (a.x + t * dx), y - (a.y + t * dy)));
  }
  return best;
}

Geometry House(float halfX, float halfY, float wallHeight, float& roofFaces) {
  Geometry g = Box(V(0, 0, wallHeight * 0.5f - 2.0f), V(halfX, halfY, wallHeight * 0.5f + 2.0f), 1.0f);
  roofFaces = static_cast<float>(g.faces.size());
  g.Append(GableRoof(V(0, 0, 0), halfX, halfY, wallHeight, halfY * 0.9f, 2.5f));
  return g;
}

}  // namespace

scenewriter::Scene BuildMainScene() {
  scenewriter::Scene scene = NewScene("mainscene", 1600);
  AddMaterial(scene, {"grass", {200, 214, 180}, {86, 98, 74}, 2, false, 0, MapFileName("grass")});
  AddMaterial(scene, {"rock", {210, 200, 190}, {92, 86, 80}, 2, false, 0, MapFileName("rock")});
  AddMaterial(scene, {"water", {220, 232, 255}, {150, 165, 190}, 1, false, 30, MapFileName("water")});
  AddMaterial(scene, {"wall", {236, 226, 206}, {130, 118, 104}, 1, false, 0, MapFileName("wall")});
  AddMaterial(scene, {"roof", {236, 206, 196}, {130, 92, 80}, 1, false, 0, MapFileName("roof")});
  AddMaterial(scene, {"wood", {226, 204, 184}, {112, 92, 72}, 1, false, 0, MapFileName("wood")});
  AddMaterial(scene, {"leaves", {70, 150, 56}, {30, 78, 30}, 1, false, 0, ""});
  AddMaterial(scene, {"sail", {246, 240, 226}, {160, 154, 142}, 1, true, 10, ""});
  AddMaterial(scene, {"balloon", {255, 255, 255}, {160, 140, 130}, 2, false, 25, MapFileName("gasgiant")});
  AddMaterial(scene, {"sky", {255, 255, 255}, {255, 255, 255}, 2, false, 100, MapFileName("sky")});

  AddSky(scene, "sky", V(0, 0, -150), 2600.0f, 1.75f);

  // The valley: grass, with rock where it is steep or high.
  Geometry land = Grid(-800, -800, 800, 800, 40, 40, 12.0f, VillageHeight);
  AddObjectGroups(scene, "valley", land, SplitFaces(land, {"grass", "rock"}, [](Vec3 c, Vec3 n) {
                    return (n.z < 0.82f || c.z > 110.0f) ? 1 : 0;
                  }),
                  V(0, 0, 0));

  Geometry lake = Grid(40, -390, 480, 50, 8, 8, 4.0f, [](float, float) { return waterLevel; });
  AddObject(scene, "lake", lake, "water", V(260, -170, waterLevel));

  // Houses, each turned its own way, as one mesh of walls and roofs.
  struct Spot {
    float x, y, angle, hx, hy, wall;
  };
  const Spot houses[] = {{-120, 40, 0.3f, 14, 10, 16},  {-60, 125, -0.4f, 12, 9, 14}, {40, 15, 1.2f, 16, 10, 18},
                         {-185, 160, 0.9f, 13, 9, 15}, {60, 185, 0.1f, 14, 11, 16}, {-20, -45, -0.8f, 12, 9, 14},
                         {-240, 40, 1.6f, 15, 10, 17}};
  Geometry village;
  std::vector<std::uint16_t> walls, roofs;
  for (const Spot& s : houses) {
    float wallFaces = 0;
    Geometry h = House(s.hx, s.hy, s.wall, wallFaces);
    h.RotateZ(s.angle);
    h.Translate(V(s.x, s.y, VillageHeight(s.x, s.y)));
    const std::size_t base = village.faces.size();
    for (std::size_t i = 0; i < h.faces.size(); ++i) {
      (static_cast<float>(i) < wallFaces ? walls : roofs).push_back(static_cast<std::uint16_t>(base + i));
    }
    village.Append(h);
  }
  AddObjectGroups(scene, "houses", village, {{"wall", walls}, {"roof", roofs}}, V(0, 0, 0));

  // Church tower with a pointed roof.
  {
    const float x = 120, y = 320, z = VillageHeight(x, y);
    Geometry tower = Box(V(x, y, z + 30), V(12, 12, 34), 2.0f);
    const std::uint16_t wallCount = static_cast<std::uint16_t>(tower.faces.size());
    Geometry spire = Cylinder(V(0, 0, 0), 18, 0, 34, 4, true);
    spire.RotateZ(pi / 4);
    spire.Translate(V(x, y, z + 64));
    tower.Append(spire);
    std::vector<std::uint16_t> a, b;
    for (std::uint16_t i = 0; i < tower.faces.size(); ++i) (i < wallCount ? a : b).push_back(i);
    AddObjectGroups(scene, "church", tower, {{"wall", a}, {"roof", b}}, V(x, y, z));
  }

  // Windmill: tower and cap, and the sails turning as a child of the tower.
  {
    const float x = -260, y = 260, z = VillageHeight(x, y);
    Geometry mill = Cylinder(V(x, y, z - 3), 17, 11, 54, 8, false, 2.0f, 1.0f);
    const std::uint16_t wallCount = static_cast<std::uint16_t>(mill.faces.size());
    mill.Append(Cylinder(V(x, y, z + 50), 14, 0, 18, 8, true));
    std::vector<std::uint16_t> a, b;
    for (std::uint16_t i = 0; i < mill.faces.size(); ++i) (i < wallCount ? a : b).push_back(i);
    AddObjectGroups(scene, "windmill", mill, {{"wall", a}, {"roof", b}}, V(x, y, z));

    Geometry sails = Box(V(0, 0, 0), V(3, 3, 3));
    for (int k = 0; k < 4; ++k) {
      Geometry arm = Box(V(26, 0, 0), V(22, 4, 0.8f));
      arm.Append(Box(V(26, 6, 0), V(20, 2.5f, 0.5f)));
      arm.RotateZ(static_cast<float>(k) * pi * 0.5f);
      sails.Append(arm);
    }
    sails.RotateX(pi * 0.5f);  // into the upright plane facing -y
    const Vec3 hub = V(x, y - 15, z + 56);
    sails.Translate(hub);
    scenewriter::Node& sailNode = AddObject(scene, "sails", sails, "wood", hub, 1, V(x, y, z));
    sailNode.rotation = Spin(V(0, 1, 0), 12.0f * 2.0f * pi, 0, 1600, 1.2f);
  }

  // Trees scattered over the valley floor, away from the lake and the houses.
  {
    Random random(902);
    Geometry trees;
    std::vector<std::uint16_t> trunks, crowns;
    int placed = 0;
    while (placed < 34) {
      const float r = random.Range(120, 600), t = random.Range(0, 2 * pi);
      const float x = r * std::cos(t), y = r * std::sin(t);
      if (std::hypot(x - 260, y + 170) < 240) continue;
      bool nearHouse = false;
      for (const Spot& s : houses) nearHouse = nearHouse || std::hypot(x - s.x, y - s.y) < 34;
      if (nearHouse || std::hypot(x + 260, y - 260) < 40 || std::hypot(x - 120, y - 320) < 30) continue;
      // The spline swings a little wide of its keys: keep a margin.
      if (DistanceToLowFlight(x, y) < 75.0f) continue;
      const float z = VillageHeight(x, y), size = random.Range(0.8f, 1.4f);
      Geometry trunk = Cylinder(V(x, y, z - 2), 2.5f * size, 2.0f * size, 12 * size, 5, false);
      Geometry crown = Cylinder(V(x, y, z + 8 * size), 12 * size, 0, 24 * size, 7, true);
      crown.Append(Cylinder(V(x, y, z + 20 * size), 9 * size, 0, 18 * size, 7, false));
      std::size_t base = trees.faces.size();
      for (std::size_t i = 0; i < trunk.faces.size(); ++i) trunks.push_back(static_cast<std::uint16_t>(base + i));
      trees.Append(trunk);
      base = trees.faces.size();
      for (std::size_t i = 0; i < crown.faces.size(); ++i) crowns.push_back(static_cast<std::uint16_t>(base + i));
      trees.Append(crown);
      ++placed;
    }
    AddObjectGroups(scene, "trees", trees, {{"wood", trunks}, {"leaves", crowns}}, V(0, 0, 0));
  }

  // A sailing boat going round the lake, turning as it goes; both tracks repeat.
  {
    Geometry boat = Box(V(0, 0, 2), V(13, 5, 3));
    boat.Append(Box(V(0, 0, 16), V(0.8f, 0.8f, 13)));
    std::vector<std::uint16_t> hull(boat.faces.size());
    for (std::size_t i = 0; i < hull.size(); ++i) hull[i] = static_cast<std::uint16_t>(i);
    const std::uint16_t sailFirst = static_cast<std::uint16_t>(boat.faces.size());
    const int a = boat.AddVertex(V(1.5f, 0, 6)), b = boat.AddVertex(V(16, 0, 6)), c = boat.AddVertex(V(1.5f, 0, 28));
    boat.AddFace(a, b, c);
    scenewriter::Node& node =
        AddObjectGroups(scene, "boat", boat, {{"wood", hull}, {"sail", {sailFirst}}}, V(0, 0, 0));
    std::vector<PathPoint> loop;
    for (int i = 0; i <= 8; ++i) {
      const float t = static_cast<float>(i) / 8.0f * 2.0f * pi;
      loop.push_back({i * 50, V(260 + 120 * std::cos(t), -170 + 90 * std::sin(t), waterLevel)});
    }
    node.position = VectorTrack(loop);
    node.position->flags = 2;
    node.rotation = Spin(V(0, 0, 1), 2.0f * pi, 0, 400, 0.8f);
    node.rotation->flags = 2;
  }

  // Hot-air balloon with its basket, rising from frame 600 on.
  {
    Geometry envelope = Ellipsoid(V(0, 0, 0), V(16, 16, 20), 12, 8);
    scenewriter::Node& balloon = AddObject(scene, "balloon", envelope, "balloon", V(0, 0, 0));
    balloon.position = VectorTrack({{600, V(-40, -60, 30)},
                                    {900, V(-10, -110, 120)},
                                    {1200, V(60, -200, 230)},
                                    {1599, V(150, -330, 380)}},
                                   {0, 0, 0, 0.6f, 0});
    balloon.rotation = Spin(V(0, 0, 1), pi, 600, 1600, 1.0f);
    balloon.hide = Toggles({0, 600});
    Geometry basket = Box(V(0, 0, -28), V(5, 5, 3.5f));
    AddObject(scene, "basket", basket, "wood", V(0, 0, 0), 1);
  }

  // The camera's one long flight, cut by the timeline at 685, 865, 985, 1115.
  AddCamera(scene, "camera",
            flight,
            {{0, V(0, 100, 30)},
             {160, V(-120, 60, 40)},
             {330, V(-200, 160, 50)},
             {500, V(-260, 260, 55)},
             {685, V(120, 320, 60)},
             {770, V(367, -211, 8)},
             {865, V(323, -94, 8)},
             {925, V(-60, 200, 40)},
             {985, V(-260, 260, 60)},
             {1050, V(120, 320, 70)},
             {1115, V(60, 100, 40)},
             {1250, V(70, -215, 245)},
             {1420, V(110, -270, 300)},
             {1599, V(80, -150, 100)}},
            {{0, 70.0f}, {685, 66.0f}, {1115, 70.0f}, {1599, 76.0f}}, {0.1f, 0.0f, 0.1f, 0.5f, 0.5f},
            {0.2f, 0.1f, 0.0f, 0.3f, 0.3f});
  AddLight(scene, "sun",
           {{0, V(1.0f, 0.96f, 0.88f)}, {1050, V(1.0f, 0.94f, 0.84f)}, {1400, V(1.0f, 0.72f, 0.48f)},
            {1599, V(0.95f, 0.56f, 0.36f)}});
  AddLight(scene, "skylight", {{0, V(0.18f, 0.2f, 0.28f)}});
  return scene;
}

}  // namespace content
