// Opens generated content the way the presentation's start-up does: the
// archive through TFile and TFileLib, scenes through the engine's reader, and
// texture names resolved from the scenes' materials to .PCX, then .BMP, then
// the fallback picture. Shared by the content tests and the preview program.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/scene.h"
#include "stream/filelib.h"
#include "stream/stream.h"

namespace contentkit {

inline const char* const sceneNames[8] = {"intro",        "mainscene",    "mountainworld", "mountainhut",
                                          "planet_part1", "planet_part2", "planet_part3",  "stonehedge_fire"};

// The archive file opened and its directory read; also installs it as the
// device layer's `archive` for the loaders, and removes it again on close.
class OpenArchive {
public:
  explicit OpenArchive(const std::string& path);
  ~OpenArchive();
  OpenArchive(const OpenArchive&) = delete;
  OpenArchive& operator=(const OpenArchive&) = delete;

  bool Ok() const { return ok; }
  TFileLib* Lib() { return lib.get(); }

private:
  TFile file;
  std::unique_ptr<TFileLib> lib;
  bool ok = false;
};

struct SceneDeleter {
  void operator()(Scene* scene) const { FreeScene(scene); }
};
using ScenePtr = std::unique_ptr<Scene, SceneDeleter>;

// "3ds\<name>.3DS" read with the engine; null when it does not load.
ScenePtr LoadScene(const std::string& name);

// How one texture name was satisfied.
enum class TextureSource { pcx, bmp, fallback, none };

struct ResolvedTexture {
  std::string name;  // the material's map name without its extension
  TextureSource source = TextureSource::none;
};

// Collects the texture names of the scenes' textured materials in the
// start-up's order, writes each material's textureIndex, and loads every
// texture into the device layer's table. Returns what each name resolved to.
std::vector<ResolvedTexture> ResolveTextures(const std::vector<Scene*>& scenes);

// Writes bytes to a file; false when it cannot.
bool SaveBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Reads a whole file; false when it cannot.
bool ReadBytes(const std::string& path, std::vector<std::uint8_t>& bytes);
// Writes an archive of the given (name, bytes) members to path.
bool WriteArchive(const std::string& path, const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& members);

}  // namespace contentkit
