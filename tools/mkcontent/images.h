// 8-bit palettised and 24-bit pictures in memory, and their encodings as the
// presentation's loaders read them: 8-bit run-length PCX with a 256-colour
// palette at the end, and uncompressed 24-bit BMP.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace content {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
};

using Palette = std::array<Rgb, 256>;

struct Image8 {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // rows top to bottom
  Palette palette{};

  Image8() = default;
  Image8(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, 0) {}
  std::uint8_t& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  std::uint8_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

struct ImageRgb {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;  // rows top to bottom

  ImageRgb() = default;
  ImageRgb(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h) {}
  Rgb& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  const Rgb& At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// PCX version 5, one 8-bit plane, run-length coded line by line, then the 0x0C
// marker and the 768-byte palette.
std::vector<std::uint8_t> EncodePcx(const Image8& image);

// BMP with a 40-byte info header, 24 bits per pixel, bottom row first. Rows are
// padded to four bytes as the format asks (no padding at the widths we use).
std::vector<std::uint8_t> EncodeBmp24(const ImageRgb& image);

// Palette helpers. Gradient fills entries first..last from a to b inclusive.
void PaletteGradient(Palette& palette, int first, int last, Rgb a, Rgb b);
// A palette through several colour stops spread evenly over 256 entries.
Palette PaletteFromStops(const std::vector<Rgb>& stops);

// Quantises a true-colour picture to the fixed 3-3-2 cube of 256 colours with
// a small ordered dither, for pictures whose colours are too varied for a ramp.
Image8 QuantiseRgb332(const ImageRgb& image);

}  // namespace content
