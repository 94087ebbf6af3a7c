// Decoding and resampling pictures with SDL2_image.
#include "tools/sceneview/picture.h"

#include <SDL.h>
#include <SDL_image.h>

#include <memory>
#include <new>

namespace {

struct SurfaceFree {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using Surface = std::unique_ptr<SDL_Surface, SurfaceFree>;

}  // namespace

int TextureSide(int width, int height, int limit) {
  const int longer = width > height ? width : height;
  int side = 1;
  while (side < longer && side < limit) side *= 2;
  return side;
}

bool DecodePicture(const std::uint8_t* data, std::size_t size, Texture* texture, int limit) {
  if (!data || size == 0 || size > 0x7FFFFFFF) return false;
  SDL_RWops* rw = SDL_RWFromConstMem(data, static_cast<int>(size));
  if (!rw) return false;
  Surface decoded(IMG_Load_RW(rw, 1));
  if (!decoded || decoded->w <= 0 || decoded->h <= 0) return false;
  Surface rgba(SDL_ConvertSurfaceFormat(decoded.get(), SDL_PIXELFORMAT_ARGB8888, 0));
  if (!rgba) return false;
  const int side = TextureSide(rgba->w, rgba->h, limit);
  Surface square(SDL_CreateRGBSurfaceWithFormat(0, side, side, 32, SDL_PIXELFORMAT_ARGB8888));
  if (!square) return false;
  // Bilinear resampling of the whole picture onto the square; every side is
  // stretched or shrunk so texture coordinates 0..1 still span the picture.
  if (SDL_SoftStretchLinear(rgba.get(), nullptr, square.get(), nullptr) != 0) return false;
  auto* pixels = new (std::nothrow) std::uint16_t[static_cast<std::size_t>(side) * side];
  if (!pixels) return false;
  for (int y = 0; y < side; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(square->pixels) +
                                                             static_cast<std::ptrdiff_t>(y) * square->pitch);
    for (int x = 0; x < side; ++x) {
      const std::uint32_t c = row[x];
      const unsigned r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
      pixels[y * side + x] = static_cast<std::uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
    }
  }
  delete[] texture->pixels;
  texture->pixels = pixels;
  texture->width = side;
  texture->height = side;
  texture->mipmap = 0;
  return true;
}
