// Decodes arbitrary bytes as a 24-bit BMP texture read as an archive member.
#include <cstddef>
#include <cstdint>

#include "fuzz/member.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::MemberArchive lib(data, size);
  Texture texture{};
  if (LoadBmpTexture(fuzz::memberName, &texture, 1)) fuzz::CheckLoadedTexture(texture);
  return 0;
}
