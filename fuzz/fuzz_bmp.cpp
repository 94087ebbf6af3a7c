// Decodes arbitrary bytes as a 24-bit BMP texture read as an archive member.
#include <cstddef>
#include <cstdint>

#include "fuzz/member.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::MemberArchive lib(data, size);
  Texture texture{};
  if (LoadBmpTexture(fuzz::memberName, &texture, 1)) {
    if (!texture.pixels || texture.width <= 0 || texture.height <= 0)
      fuzz::Fail("a loaded texture has no pixels");
    volatile std::uint16_t last = texture.pixels[static_cast<std::size_t>(texture.width) * texture.height - 1];
    (void)last;
    delete[] texture.pixels;
  }
  return 0;
}
