// Decodes arbitrary bytes as a PCX texture and as a PCX picture placed in a
// raster, both read as an archive member.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/member.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::MemberArchive lib(data, size);
  Texture texture{};
  if (LoadPcxTexture(fuzz::memberName, &texture, 0)) fuzz::CheckLoadedTexture(texture);
  // Two placements in a 320 x 200 raster: at the corner and inside, where the
  // picture is cut at the right and bottom edges.
  constexpr int pitch = 320, rows = 200;
  std::vector<std::uint8_t> raster(static_cast<std::size_t>(pitch) * rows);
  LoadPcxPicture(fuzz::memberName, raster.data(), 0, 0, pitch, rows);
  LoadPcxPicture(fuzz::memberName, raster.data(), 250, 150, pitch, rows);
  return 0;
}
