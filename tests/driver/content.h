// Small presentations built in memory for the driver's checks: an archive with
// eight scenes, their textures and the four pictures, written into a temporary
// folder, with any member left out or replaced on request.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace testcontent {

// A temporary folder, removed with its contents afterwards.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path; }
  std::string File(const std::string& name) const { return path + "/" + name; }
  bool Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;

private:
  std::string path;
};

// 8-bit run-length PCX, version 5, palette of 256 (r, g, b) 8-bit entries.
// pixel(x, y) gives the index; palette(i) the colour.
std::vector<std::uint8_t> Pcx(int width, int height, const std::function<std::uint8_t(int, int)>& pixel,
                              const std::function<std::uint32_t(int)>& palette);
// A uniform PCX of one palette index whose colour is 0xRRGGBB.
std::vector<std::uint8_t> FlatPcx(int width, int height, std::uint8_t index, std::uint32_t rgb);
// 24-bit BMP of one colour 0xRRGGBB.
std::vector<std::uint8_t> FlatBmp(int width, int height, std::uint32_t rgb);

// The eight scene names in slot order.
extern const char* const sceneNames[8];

struct Content {
  // Texture map names (with extension) given to the materials of each scene.
  std::vector<std::string> maps[8];
  // Archive members by name; filled with a complete, valid set by Default().
  std::map<std::string, std::vector<std::uint8_t>> members;

  // Every scene has a camera, a light and a textured box; scene 0 uses ROCK.GIF,
  // scene 1 WOOD.GIF and ROCK.GIF, the others ROCK.GIF. ROCK is a PCX, WOOD a BMP.
  static Content Default();
  // Rebuilds the scene members from `maps` (after changing them).
  void RebuildScenes();
  // Writes demo.dat into dir; false when the archive cannot be built.
  bool WriteArchive(const std::string& dir) const;
};

// A short looping S3M tune, for the checks that play music.
std::vector<std::uint8_t> Music();

// Scene file bytes with one camera, one light and a box whose materials use maps.
std::vector<std::uint8_t> SceneBytes(const std::vector<std::string>& maps, int frames);

}  // namespace testcontent
