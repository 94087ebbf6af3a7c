#include "tools/democapture/yuv.h"

#include <algorithm>

#include "platform/glide/glide_output.h"

namespace {

// BT.601 limited range, 8-bit fixed point.
inline int LumaOf(int r, int g, int b) { return ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16; }
inline int BlueDifference(int r, int g, int b) { return ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128; }
inline int RedDifference(int r, int g, int b) { return ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128; }

}  // namespace

void YuvConverter::BuildTable(float gamma) {
  std::uint8_t five[32], six[64];
  GlideGammaTables(gamma, five, six);
  table_.resize(65536);
  for (std::uint32_t c = 0; c < 65536; ++c) {
    const int r = five[c >> 11], g = six[(c >> 5) & 63], b = five[c & 31];
    table_[c] = static_cast<std::uint32_t>(LumaOf(r, g, b)) << 24 | static_cast<std::uint32_t>(r) << 16 |
                static_cast<std::uint32_t>(g) << 8 | static_cast<std::uint32_t>(b);
  }
  tableGamma_ = gamma;
}

void YuvConverter::Convert(const std::uint16_t* frame, int stride, int width, int height, float gamma,
                           std::vector<std::uint8_t>& yuv) {
  if (table_.empty() || gamma != tableGamma_) BuildTable(gamma);
  const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
  const std::size_t lumaSize = static_cast<std::size_t>(width) * height;
  const std::size_t chromaSize = static_cast<std::size_t>(chromaWidth) * chromaHeight;
  yuv.resize(lumaSize + 2 * chromaSize);
  std::uint8_t* luma = yuv.data();
  std::uint8_t* blue = luma + lumaSize;
  std::uint8_t* red = blue + chromaSize;
  const std::uint32_t* table = table_.data();

  for (int cy = 0; cy < chromaHeight; ++cy) {
    // Picture rows 2 cy and 2 cy + 1; the buffer keeps the bottom row first.
    const int top = 2 * cy, rows = std::min(2, height - top);
    const std::uint16_t* source[2];
    std::uint8_t* lumaRow[2];
    for (int i = 0; i < 2; ++i) {
      const int row = top + std::min(i, rows - 1);
      source[i] = frame + static_cast<std::ptrdiff_t>(height - 1 - row) * stride;
      lumaRow[i] = luma + static_cast<std::size_t>(row) * width;
    }
    std::uint8_t* blueRow = blue + static_cast<std::size_t>(cy) * chromaWidth;
    std::uint8_t* redRow = red + static_cast<std::size_t>(cy) * chromaWidth;
    int cx = 0;
    if (rows == 2) {
      // Whole 2 x 2 blocks: r and b summed side by side in one word.
      for (; 2 * cx + 1 < width; ++cx) {
        const int x = 2 * cx;
        const std::uint32_t a = table[source[0][x]], b = table[source[0][x + 1]];
        const std::uint32_t c = table[source[1][x]], d = table[source[1][x + 1]];
        lumaRow[0][x] = static_cast<std::uint8_t>(a >> 24);
        lumaRow[0][x + 1] = static_cast<std::uint8_t>(b >> 24);
        lumaRow[1][x] = static_cast<std::uint8_t>(c >> 24);
        lumaRow[1][x + 1] = static_cast<std::uint8_t>(d >> 24);
        const std::uint32_t redBlue = (a & 0xFF00FF) + (b & 0xFF00FF) + (c & 0xFF00FF) + (d & 0xFF00FF);
        const std::uint32_t green = ((a >> 8) & 0xFF) + ((b >> 8) & 0xFF) + ((c >> 8) & 0xFF) + ((d >> 8) & 0xFF);
        const int rr = static_cast<int>(((redBlue >> 16) + 2) >> 2);
        const int gg = static_cast<int>((green + 2) >> 2);
        const int bb = static_cast<int>(((redBlue & 0xFFFF) + 2) >> 2);
        blueRow[cx] = static_cast<std::uint8_t>(BlueDifference(rr, gg, bb));
        redRow[cx] = static_cast<std::uint8_t>(RedDifference(rr, gg, bb));
      }
    }
    // Blocks cut by the picture's edge take the pixels they have.
    for (; cx < chromaWidth; ++cx) {
      const int left = 2 * cx, columns = std::min(2, width - left);
      int r = 0, g = 0, b = 0;
      for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < columns; ++j) {
          const std::uint32_t entry = table[source[i][left + j]];
          lumaRow[i][left + j] = static_cast<std::uint8_t>(entry >> 24);
          r += static_cast<int>((entry >> 16) & 0xFF);
          g += static_cast<int>((entry >> 8) & 0xFF);
          b += static_cast<int>(entry & 0xFF);
        }
      }
      const int n = rows * columns;
      r = (r + n / 2) / n;
      g = (g + n / 2) / n;
      b = (b + n / 2) / n;
      blueRow[cx] = static_cast<std::uint8_t>(BlueDifference(r, g, b));
      redRow[cx] = static_cast<std::uint8_t>(RedDifference(r, g, b));
    }
  }
}
