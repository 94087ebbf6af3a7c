// The scene textures: procedural pictures 256 texels wide, stored in the
// archive as "textures\<name>.pcx" or, for a few, "textures\<name>.bmp".
// Materials name them by a map file name whose four-character extension the
// loader replaces, so "GRASS.TGA" finds "textures\grass.pcx".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace content {

struct TextureAsset {
  std::string name;   // base name, lower case
  bool bmp = false;   // stored as 24-bit BMP instead of 8-bit PCX
  int width = 256;
  int height = 256;
  std::vector<std::uint8_t> bytes;  // the encoded file

  std::string MemberName() const { return "textures\\" + name + (bmp ? ".bmp" : ".pcx"); }
};

// The map file name a material stores for a texture base name.
std::string MapFileName(const std::string& name);

// A map name that no member answers to, so the start-up falls back to
// "textures\plasm.pcx" for it.
inline constexpr const char* missingTextureName = "energy";

// Every scene texture, in a fixed order.
std::vector<TextureAsset> BuildTextures();

// Bytes of texture memory one texture of this size takes (16 bits per texel,
// one level).
inline std::uint32_t TextureMemory(int width, int height) {
  return static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height) * 2u;
}

}  // namespace content
