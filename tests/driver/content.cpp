// Small presentations built in memory for the driver's checks.

#include "content.h"

#include <cstdio>
#include <cstdlib>

#include "tools/archivewriter/archivewriter.h"
#include "tools/s3mwriter/s3mwriter.h"
#include "tools/scenewriter/scenewriter.h"

namespace testcontent {

const char* const sceneNames[8] = {"intro",        "mainscene",    "mountainworld", "mountainhut",
                                   "planet_part1", "planet_part2", "planet_part3",  "stonehedge_fire"};

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "drivertest-XXXXXX").string();
  path = mkdtemp(pattern.data()) ? pattern : std::string();
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path.empty()) std::filesystem::remove_all(path, ec);
}

bool TempDir::Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  std::FILE* file = std::fopen(File(name).c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

namespace {

void Put16(std::vector<std::uint8_t>& out, std::size_t at, int value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<std::uint8_t> Pcx(int width, int height, const std::function<std::uint8_t(int, int)>& pixel,
                              const std::function<std::uint32_t(int)>& palette) {
  std::vector<std::uint8_t> out(128, 0);
  out[0] = 10;
  out[1] = 5;
  out[2] = 1;
  out[3] = 8;
  Put16(out, 8, width - 1);
  Put16(out, 10, height - 1);
  out[65] = 1;
  Put16(out, 66, width);
  for (int y = 0; y < height; ++y) {
    int x = 0;
    while (x < width) {
      const std::uint8_t value = pixel(x, y);
      int run = 1;
      while (x + run < width && run < 63 && pixel(x + run, y) == value) ++run;
      if (run > 1 || value >= 0xC0) {
        out.push_back(static_cast<std::uint8_t>(0xC0 | run));
      }
      out.push_back(value);
      x += run;
    }
  }
  out.push_back(0x0C);
  for (int i = 0; i < 256; ++i) {
    const std::uint32_t rgb = palette(i);
    out.push_back(static_cast<std::uint8_t>(rgb >> 16));
    out.push_back(static_cast<std::uint8_t>(rgb >> 8));
    out.push_back(static_cast<std::uint8_t>(rgb));
  }
  return out;
}

std::vector<std::uint8_t> FlatPcx(int width, int height, std::uint8_t index, std::uint32_t rgb) {
  return Pcx(
      width, height, [index](int, int) { return index; },
      [index, rgb](int i) { return i == index ? rgb : 0u; });
}

std::vector<std::uint8_t> FlatBmp(int width, int height, std::uint32_t rgb) {
  std::vector<std::uint8_t> out(54, 0);
  out[0] = 'B';
  out[1] = 'M';
  const std::uint32_t pixels = static_cast<std::uint32_t>(width * height * 3);
  Put32(out, 2, 54 + pixels);
  Put32(out, 10, 54);
  Put32(out, 14, 40);
  Put32(out, 18, static_cast<std::uint32_t>(width));
  Put32(out, 22, static_cast<std::uint32_t>(height));
  Put16(out, 26, 1);
  Put16(out, 28, 24);
  for (int i = 0; i < width * height; ++i) {
    out.push_back(static_cast<std::uint8_t>(rgb));
    out.push_back(static_cast<std::uint8_t>(rgb >> 8));
    out.push_back(static_cast<std::uint8_t>(rgb >> 16));
  }
  return out;
}

std::vector<std::uint8_t> SceneBytes(const std::vector<std::string>& maps, int frames) {
  using namespace scenewriter;
  Scene scene;
  Mesh box;
  box.name = "box";
  // A wall across the view: two triangles facing the camera on the -y side.
  box.vertices = {{-60, 0, -45}, {60, 0, -45}, {60, 0, 45}, {-60, 0, 45}};
  box.texCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  box.faces = {{0, 1, 2, 7}, {0, 2, 3, 7}};
  for (std::size_t i = 0; i < maps.size(); ++i) {
    Material material;
    material.name = "mat" + std::to_string(i);
    // As bytes: colours given as floats would be taken as 0 to 255 values.
    material.diffuse = Colour{255, 255, 255, true};
    material.ambient = Colour{255, 255, 255, true};
    material.shading = 2;
    material.twoSided = true;
    material.selfIllumination = 100;
    material.texture = TextureMap{maps[i], 100, std::nullopt, std::nullopt};
    scene.materials.push_back(material);
  }
  if (!maps.empty()) box.groups.push_back({"mat0", {0, 1}});
  scene.meshes.push_back(box);

  Light light;
  light.name = "sun";
  light.position = {0, -200, 0};
  scene.lights.push_back(light);
  Camera camera;
  camera.name = "cam";
  camera.position = {0, -150, 0};
  camera.target = {0, 0, 0};
  scene.cameras.push_back(camera);

  Keyframer keyframer;
  keyframer.frameCount = static_cast<std::uint32_t>(frames);
  Node mesh;
  mesh.kind = NodeKind::mesh;
  mesh.name = "box";
  mesh.position = Track<VectorKey>{0, {{0, {0, 0, 0}, {}}}};
  mesh.rotation = Track<RotationKey>{0, {{0, 0, {0, 0, 1}, {}}}};
  mesh.scale = Track<VectorKey>{0, {{0, {1, 1, 1}, {}}}};
  keyframer.nodes.push_back(mesh);
  Node cam;
  cam.kind = NodeKind::camera;
  cam.name = "cam";
  cam.position = Track<VectorKey>{0, {{0, {0, -150, 0}, {}}, {frames, {20, -140, 10}, {}}}};
  cam.fieldOfView = Track<ScalarKey>{0, {{0, 60, {}}}};
  cam.roll = Track<ScalarKey>{0, {{0, 0, {}}}};
  keyframer.nodes.push_back(cam);
  Node target;
  target.kind = NodeKind::cameraTarget;
  target.name = "cam";
  target.position = Track<VectorKey>{0, {{0, {0, 0, 0}, {}}}};
  keyframer.nodes.push_back(target);
  Node sun;
  sun.kind = NodeKind::light;
  sun.name = "sun";
  sun.position = Track<VectorKey>{0, {{0, {0, -200, 0}, {}}}};
  sun.colour = Track<VectorKey>{0, {{0, {1, 1, 1}, {}}}};
  keyframer.nodes.push_back(sun);
  scene.keyframer = keyframer;
  return Write(scene);
}

Content Content::Default() {
  Content content;
  content.maps[0] = {"ROCK.GIF"};
  content.maps[1] = {"WOOD.GIF", "ROCK.GIF"};
  for (int i = 2; i < 8; ++i) content.maps[i] = {"ROCK.GIF"};
  content.RebuildScenes();
  content.members["textures\\ROCK.PCX"] = FlatPcx(64, 64, 3, 0x808080);
  content.members["textures\\WOOD.BMP"] = FlatBmp(32, 32, 0x804020);
  content.members["textures\\plasm.pcx"] = FlatPcx(16, 16, 7, 0xFF00FF);
  content.members["textures\\brind.pcx"] = Pcx(
      640, 480, [](int x, int y) { return static_cast<std::uint8_t>((x / 40 + y / 40) & 1 ? 200 : 1); },
      [](int i) { return i == 200 ? 0xFCFCFCu : i == 1 ? 0x402000u : 0u; });
  content.members["textures\\bump\\scroller\\background.pcx"] =
      Pcx(320, 200, [](int x, int y) { return static_cast<std::uint8_t>((x ^ y) & 0x3F); },
          [](int) { return 0u; });
  content.members["textures\\bump\\256.pcx"] =
      Pcx(256, 256, [](int x, int y) { return static_cast<std::uint8_t>(255 - (std::abs(x - 128) + std::abs(y - 128)) / 2); },
          [](int) { return 0u; });
  content.members["textures\\bump\\scroller\\text1024.pcx"] =
      Pcx(320, 1024, [](int x, int y) { return static_cast<std::uint8_t>((y / 16) % 2 && x > 40 && x < 280 ? 90 : 0); },
          [](int) { return 0u; });
  return content;
}

void Content::RebuildScenes() {
  for (int i = 0; i < 8; ++i) {
    members[std::string("3ds\\") + sceneNames[i] + ".3DS"] = SceneBytes(maps[i], 100 + 50 * i);
  }
}

bool Content::WriteArchive(const std::string& dir) const {
  std::vector<archivewriter::Member> list;
  for (const auto& [name, bytes] : members) list.push_back({name, bytes});
  std::string error;
  return archivewriter::WriteFile(list, dir + "/demo.dat", error);
}

std::vector<std::uint8_t> Music() {
  s3m::Song song("check tune", 2);
  song.orders = {0};
  song.AddInstrument("sine", s3m::SineWave(64), 8363, 64).SetLoop(0, 64);
  for (int row = 0; row < s3m::rowsPerPattern; row += 8) {
    song.Pattern(0).At(row, 0) = s3m::Cell::Play(s3m::Note(4, (row / 8) % 12), 1, 48);
  }
  return s3m::Write(song);
}

}  // namespace testcontent
