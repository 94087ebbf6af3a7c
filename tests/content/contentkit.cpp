// Loading generated content as the start-up does, for tests and previews.
#include "tests/content/contentkit.h"

#include <cstdio>
#include <cstring>
#include <fstream>

#include "engine/read3ds.h"
#include "gfx/texture.h"
#include "stream/archive.h"

namespace contentkit {

OpenArchive::OpenArchive(const std::string& path) {
  file.SetName(path.c_str());
  if (!file.Open(modeRead)) return;
  lib = std::make_unique<TFileLib>(&file);
  if (lib->Error()) return;
  archive = lib.get();
  ok = true;
}

OpenArchive::~OpenArchive() {
  if (archive == lib.get()) archive = nullptr;
}

ScenePtr LoadScene(const std::string& name) {
  const std::string path = "3ds\\" + name + ".3DS";
  return ScenePtr(ReadSceneFile(path.c_str()));
}

std::vector<ResolvedTexture> ResolveTextures(const std::vector<Scene*>& scenes) {
  std::vector<ResolvedTexture> resolved;
  textureCount = 0;
  for (Scene* scene : scenes) {
    if (!scene) continue;
    for (int m = 0; m < scene->materialCount; ++m) {
      Material* material = scene->materials[m];
      if (!(material->flags & materialTextured)) continue;
      std::string name = material->textureFile;
      name = name.size() > 4 ? name.substr(0, name.size() - 4) : name;
      int index = 0;
      while (index < textureCount && name != textureNames[index]) ++index;
      if (index == textureCount) {
        if (textureCount == maxTextures || name.size() >= textureNameSize) return {};
        std::memcpy(textureNames[index], name.c_str(), name.size() + 1);
        ++textureCount;
        resolved.push_back({name, TextureSource::none});
      }
      material->textureIndex = index;
    }
  }
  for (int i = 0; i < textureCount; ++i) {
    char path[128];
    std::snprintf(path, sizeof path, "textures\\%s.PCX", textureNames[i]);
    if (LoadPcxTexture(path, &textures[i], 0)) {
      resolved[static_cast<std::size_t>(i)].source = TextureSource::pcx;
      continue;
    }
    std::snprintf(path, sizeof path, "textures\\%s.BMP", textureNames[i]);
    if (LoadBmpTexture(path, &textures[i], 0)) {
      resolved[static_cast<std::size_t>(i)].source = TextureSource::bmp;
      continue;
    }
    if (LoadPcxTexture("textures\\plasm.pcx", &textures[i], 0)) {
      resolved[static_cast<std::size_t>(i)].source = TextureSource::fallback;
    }
  }
  return resolved;
}

bool SaveBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace contentkit
