// Texture maps beside a scene file or inside its archive.
#include "tools/sceneview/texturelookup.h"

#include <dirent.h>
#include <strings.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "gfx/texture.h"
#include "stream/archive.h"
#include "tools/sceneview/picture.h"

namespace {

constexpr const char* pictureExtensions[] = {".png", ".jpg", ".jpeg", ".gif", ".tga", ".bmp", ".pcx"};
constexpr std::size_t systemRuleFirst = 1;  // candidates 1 and 2 are the .PCX and .BMP rule
constexpr std::size_t systemRuleLast = 2;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

// The name without any folder a DOS or Unix path gave it.
std::string BaseName(const char* textureFile) {
  std::string name(textureFile, strnlen(textureFile, textureFileSize));
  const std::size_t cut = name.find_last_of("\\/:");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

void AddOnce(std::vector<std::string>& names, const std::string& name) {
  if (name.empty()) return;
  for (const std::string& n : names)
    if (strcasecmp(n.c_str(), name.c_str()) == 0) return;
  names.push_back(name);
}

bool ReadWhole(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool ReadMember(TFileLib* lib, const std::string& name, std::vector<std::uint8_t>& bytes) {
  if (!lib->Find(name.c_str())) return false;
  TFileInLib member(lib);
  member.SetName(name.c_str());
  if (!member.Open(modeRead) || member.Error()) return false;
  const std::int32_t size = member.Size();
  if (size <= 0) return false;
  bytes.resize(static_cast<std::size_t>(size));
  return member.Read(bytes.data(), size, 1) == 1;
}

bool LoadFromFolders(const TextureHome& home, const std::string& name, Texture* texture, int limit) {
  for (const std::string& folder : home.folders) {
    const std::string found = FindNoCase(folder, name);
    std::vector<std::uint8_t> bytes;
    if (!found.empty() && ReadWhole(folder + "/" + found, bytes) &&
        DecodePicture(bytes.data(), bytes.size(), texture, limit))
      return true;
  }
  return false;
}

// The system's own decoders read "textures\NAME.PCX" and ".BMP" from the archive.
bool LoadBySystemRule(TFileLib* lib, const std::string& name, Texture* texture) {
  TFileLib* saved = archive;
  archive = lib;
  const std::string member = "textures\\" + name;
  const bool pcx = strcasecmp(name.c_str() + name.size() - 4, ".pcx") == 0;
  const int ok = pcx ? LoadPcxTexture(member.c_str(), texture, 0) : LoadBmpTexture(member.c_str(), texture, 0);
  archive = saved;
  return ok != 0;
}

bool LoadFromArchive(const TextureHome& home, const std::string& name, bool systemRule, Texture* texture,
                     int limit) {
  if (systemRule && name.size() > 4 && LoadBySystemRule(home.archive, name, texture)) return true;
  for (const std::string& member : {home.memberFolder + name, "textures\\" + name, name}) {
    std::vector<std::uint8_t> bytes;
    if (ReadMember(home.archive, member, bytes) && DecodePicture(bytes.data(), bytes.size(), texture, limit))
      return true;
  }
  return false;
}

bool LoadMap(const TextureHome& home, const char* textureFile, Texture* texture, int limit) {
  const std::vector<std::string> names = CandidateNames(textureFile);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool systemRule = i >= systemRuleFirst && i <= systemRuleLast;
    if (home.archive ? LoadFromArchive(home, names[i], systemRule, texture, limit)
                     : LoadFromFolders(home, names[i], texture, limit))
      return true;
  }
  return false;
}

// Index of the table entry for a map name, adding it; -1 when the table is full.
int TextureSlot(std::vector<std::string>& names, const char* textureFile) {
  const std::string name(textureFile, strnlen(textureFile, textureFileSize));
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<int>(i);
  if (names.size() >= static_cast<std::size_t>(maxTextures)) return -1;
  names.push_back(name);
  return static_cast<int>(names.size() - 1);
}

}  // namespace

TextureHome TextureHomeOf(const SceneSource& source) {
  TextureHome home;
  if (source.archive) {
    home.archive = source.archive.get();
    const std::size_t cut = source.member.find_last_of("\\/");
    if (cut != std::string::npos) home.memberFolder = source.member.substr(0, cut + 1);
    return home;
  }
  const std::string folder = FolderOf(source.path);
  home.folders = {folder, folder + "/textures", folder + "/../textures"};
  return home;
}

std::vector<std::string> CandidateNames(const char* textureFile) {
  std::vector<std::string> names;
  const std::string name = BaseName(textureFile);
  if (name.empty()) return names;
  names.push_back(name);
  const std::string cut = name.size() >= 4 ? name.substr(0, name.size() - 4) : name;
  names.push_back(cut + ".PCX");
  names.push_back(cut + ".BMP");
  const std::size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  for (const char* extension : pictureExtensions) AddOnce(names, stem + extension);
  return names;
}

std::string FindNoCase(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return {};
  std::string found;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
    if (found.empty() && strcasecmp(entry->d_name, name.c_str()) == 0) found = entry->d_name;
  }
  closedir(dir);
  return found;
}

TextureReport LoadSceneTextures(Scene* scene, const TextureHome& home) {
  TextureReport report;
  std::vector<std::string> names;
  for (int m = 0; m < scene->materialCount; ++m) {
    Material* material = scene->materials[m];
    if (material->flags & materialTextured) material->textureIndex = TextureSlot(names, material->textureFile);
  }
  // 4 MiB of texture memory holds 32 textures of 256 x 256 or 128 of 128 x 128.
  const int limit = names.size() <= 32 ? maxTextureSide : maxTextureSide / 2;
  std::vector<bool> loaded(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    loaded[i] = LoadMap(home, names[i].c_str(), &textures[i], limit);
    if (loaded[i]) {
      ++report.loaded;
    } else {
      report.missing.push_back(names[i]);
    }
  }
  textureCount = static_cast<int>(names.size());
  for (int m = 0; m < scene->materialCount; ++m) {
    Material* material = scene->materials[m];
    if (!(material->flags & materialTextured)) continue;
    const int slot = material->textureIndex;
    if (slot < 0 || !loaded[static_cast<std::size_t>(slot)]) {
      material->flags &= ~materialTextured;
      material->textureIndex = 0;
    }
  }
  return report;
}

int UploadSceneTextures(Scene* scene) {
  int failed = 0;
  for (int i = 0; i < textureCount; ++i) {
    if (!textures[i].pixels || UploadTexture(&textures[i])) continue;
    ++failed;
    for (int m = 0; m < scene->materialCount; ++m) {
      Material* material = scene->materials[m];
      if ((material->flags & materialTextured) && material->textureIndex == i) material->flags &= ~materialTextured;
    }
  }
  return failed;
}
