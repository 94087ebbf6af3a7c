// PCX and BMP encoders and palette helpers for the generated pictures.
#include "tools/mkcontent/images.h"

#include <algorithm>
#include <cmath>

namespace content {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::size_t at, unsigned v) {
  out[at] = static_cast<std::uint8_t>(v & 0xFF);
  out[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

std::uint8_t Lerp8(std::uint8_t a, std::uint8_t b, float t) {
  return static_cast<std::uint8_t>(std::lround(a + (b - a) * t));
}

}  // namespace

std::vector<std::uint8_t> EncodePcx(const Image8& image) {
  std::vector<std::uint8_t> out(128, 0);
  out[0] = 10;  // manufacturer
  out[1] = 5;   // version: palette at the end
  out[2] = 1;   // run-length encoding
  out[3] = 8;   // bits per pixel
  Put16(out, 4, 0);
  Put16(out, 6, 0);
  Put16(out, 8, static_cast<unsigned>(image.width - 1));
  Put16(out, 10, static_cast<unsigned>(image.height - 1));
  Put16(out, 12, 72);
  Put16(out, 14, 72);
  out[65] = 1;  // planes
  // Lines hold an even number of bytes, as PCX readers expect.
  const int bytesPerLine = (image.width + 1) & ~1;
  Put16(out, 66, static_cast<unsigned>(bytesPerLine));
  Put16(out, 68, 1);  // palette is colour
  std::vector<std::uint8_t> line(static_cast<std::size_t>(bytesPerLine), 0);
  for (int y = 0; y < image.height; ++y) {
    std::copy_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width, image.width,
                line.begin());
    // Runs never cross a line end, so every line decodes on its own.
    int x = 0;
    while (x < bytesPerLine) {
      const std::uint8_t value = line[x];
      int run = 1;
      while (x + run < bytesPerLine && run < 63 && line[x + run] == value) ++run;
      if (run > 1 || value >= 0xC0) {
        out.push_back(static_cast<std::uint8_t>(0xC0 | run));
      }
      out.push_back(value);
      x += run;
    }
  }
  out.push_back(0x0C);
  for (const Rgb& c : image.palette) {
    out.push_back(c.r);
    out.push_back(c.g);
    out.push_back(c.b);
  }
  return out;
}

std::vector<std::uint8_t> EncodeBmp24(const ImageRgb& image) {
  const std::uint32_t rowBytes = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
  const std::uint32_t dataSize = rowBytes * static_cast<std::uint32_t>(image.height);
  std::vector<std::uint8_t> out(54 + dataSize, 0);
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, 54 + dataSize);
  Put32(out, 10, 54);  // pixel data offset
  Put32(out, 14, 40);  // info header size
  Put32(out, 18, static_cast<std::uint32_t>(image.width));
  Put32(out, 22, static_cast<std::uint32_t>(image.height));
  Put16(out, 26, 1);   // planes
  Put16(out, 28, 24);  // bits per pixel
  Put32(out, 34, dataSize);
  Put32(out, 38, 2835);  // 72 dpi
  Put32(out, 42, 2835);
  for (int row = 0; row < image.height; ++row) {
    const int y = image.height - 1 - row;  // bottom row first
    std::size_t at = 54 + static_cast<std::size_t>(row) * rowBytes;
    for (int x = 0; x < image.width; ++x) {
      const Rgb& c = image.At(x, y);
      out[at++] = c.b;
      out[at++] = c.g;
      out[at++] = c.r;
    }
  }
  return out;
}

void PaletteGradient(Palette& palette, int first, int last, Rgb a, Rgb b) {
  for (int i = first; i <= last; ++i) {
    const float t = last == first ? 0.0f : static_cast<float>(i - first) / static_cast<float>(last - first);
    palette[static_cast<std::size_t>(i)] = {Lerp8(a.r, b.r, t), Lerp8(a.g, b.g, t), Lerp8(a.b, b.b, t)};
  }
}

Palette PaletteFromStops(const std::vector<Rgb>& stops) {
  Palette palette{};
  if (stops.empty()) return palette;
  if (stops.size() == 1) {
    palette.fill(stops[0]);
    return palette;
  }
  const int segments = static_cast<int>(stops.size()) - 1;
  for (int s = 0; s < segments; ++s) {
    const int first = s * 255 / segments;
    const int last = (s + 1) * 255 / segments;
    PaletteGradient(palette, first, last, stops[static_cast<std::size_t>(s)],
                    stops[static_cast<std::size_t>(s) + 1]);
  }
  return palette;
}

Image8 QuantiseRgb332(const ImageRgb& image) {
  Image8 out(image.width, image.height);
  for (int i = 0; i < 256; ++i) {
    out.palette[static_cast<std::size_t>(i)] = {
        static_cast<std::uint8_t>(((i >> 5) & 7) * 255 / 7),
        static_cast<std::uint8_t>(((i >> 2) & 7) * 255 / 7),
        static_cast<std::uint8_t>((i & 3) * 255 / 3)};
  }
  static constexpr int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const Rgb& c = image.At(x, y);
      const float d = (bayer[y & 3][x & 3] + 0.5f) / 16.0f - 0.5f;
      auto level = [d](int v, int steps) {
        const float f = v / 255.0f * steps + d;
        return std::clamp(static_cast<int>(std::lround(f)), 0, steps);
      };
      out.At(x, y) = static_cast<std::uint8_t>(level(c.r, 7) << 5 | level(c.g, 7) << 2 | level(c.b, 3));
    }
  }
  return out;
}

}  // namespace content
