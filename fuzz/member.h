// Wraps fuzz input as the only member of an archive in memory and opens the
// archive as the loaders' shared one, for the image loaders' harnesses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/support.h"
#include "gfx/texture.h"
#include "stream/archive.h"
#include "stream/filelib.h"

namespace fuzz {

inline constexpr const char* memberName = "pictures\\input.pcx";

class MemberArchive {
public:
  MemberArchive(const std::uint8_t* data, std::size_t size) {
    bytes.assign(fileLibMagic, fileLibMagic + 8);
    Put32(1);
    char name[TFileLibEntry::nameSize] = {};
    std::strncpy(name, memberName, sizeof name - 1);
    bytes.insert(bytes.end(), name, name + sizeof name);
    Put32(fileLibHeaderSize + fileLibEntrySize);
    Put32(static_cast<std::uint32_t>(size));
    Put32(0);
    bytes.insert(bytes.end(), data, data + size);
    stream = new MemoryStream(bytes.data(), bytes.size());
    lib = new TFileLib(stream);
    if (lib->Error()) Fail("the wrapping archive does not open");
    archive = lib;
  }
  ~MemberArchive() {
    archive = nullptr;
    delete lib;
    delete stream;
  }
  MemberArchive(const MemberArchive&) = delete;
  MemberArchive& operator=(const MemberArchive&) = delete;

private:
  void Put32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  std::vector<std::uint8_t> bytes;
  MemoryStream* stream = nullptr;
  TFileLib* lib = nullptr;
};

// Checks a texture a loader reported as loaded, touching its last texel so a
// short allocation shows, and frees its pixels.
inline void CheckLoadedTexture(Texture& texture) {
  if (!texture.pixels || texture.width <= 0 || texture.height <= 0) Fail("a loaded texture has no pixels");
  volatile std::uint16_t last = texture.pixels[static_cast<std::size_t>(texture.width) * texture.height - 1];
  (void)last;
  delete[] texture.pixels;
  texture.pixels = nullptr;
}

}  // namespace fuzz
