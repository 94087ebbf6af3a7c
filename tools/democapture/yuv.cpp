#include "tools/democapture/yuv.h"

#include <algorithm>

#include "platform/glide/glide_output.h"
#include "tools/democapture/yuv_avx2.h"
#include "tools/democapture/yuv_ssse3.h"

namespace {

// BT.601 limited range, 8-bit fixed point.
inline int LumaOf(int r, int g, int b) { return ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16; }
inline int BlueDifference(int r, int g, int b) { return ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128; }
inline int RedDifference(int r, int g, int b) { return ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128; }

}  // namespace

void YuvConverter::SetGamma(float gamma) {
  GlideGammaTables(gamma, five_, six_);
  gamma_ = gamma;
  haveGamma_ = true;
  tableCurrent_ = false;
}

void YuvConverter::BuildTable() {
  table_.resize(65536);
  for (std::uint32_t c = 0; c < 65536; ++c) {
    const int r = five_[c >> 11], g = six_[(c >> 5) & 63], b = five_[c & 31];
    table_[c] = static_cast<std::uint32_t>(LumaOf(r, g, b)) << 24 | static_cast<std::uint32_t>(r) << 16 |
                static_cast<std::uint32_t>(g) << 8 | static_cast<std::uint32_t>(b);
  }
  tableCurrent_ = true;
}

void YuvConverter::Convert(const std::uint16_t* frame, int stride, int width, int height, float gamma,
                           std::vector<std::uint8_t>& yuv) {
  const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
  const std::size_t lumaSize = static_cast<std::size_t>(width) * height;
  const std::size_t chromaSize = static_cast<std::size_t>(chromaWidth) * chromaHeight;
  yuv.resize(lumaSize + 2 * chromaSize);
  Convert(frame, stride, width, height, gamma,
          YuvPlanes{yuv.data(), width, yuv.data() + lumaSize, chromaWidth, yuv.data() + lumaSize + chromaSize,
                    chromaWidth});
}

void YuvConverter::Convert(const std::uint16_t* frame, int stride, int width, int height, float gamma,
                           const YuvPlanes& planes) {
  if (!haveGamma_ || gamma != gamma_) SetGamma(gamma);
  const bool wide = path_ == Path::best && yuvavx2::Available();
  const bool narrow = path_ != Path::scalar && yuvssse3::Available();
  for (int cy = 0; cy < (height + 1) / 2; ++cy) {
    // Picture rows 2 cy and 2 cy + 1; the buffer keeps the bottom row first.
    const int top = 2 * cy;
    RowPair pair;
    pair.rows = std::min(2, height - top);
    for (int i = 0; i < 2; ++i) {
      const int row = top + std::min(i, pair.rows - 1);
      pair.source[i] = frame + static_cast<std::ptrdiff_t>(height - 1 - row) * stride;
      pair.luma[i] = planes.luma + static_cast<std::ptrdiff_t>(row) * planes.lumaStride;
    }
    pair.blue = planes.blue + static_cast<std::ptrdiff_t>(cy) * planes.blueStride;
    pair.red = planes.red + static_cast<std::ptrdiff_t>(cy) * planes.redStride;
    const int done = pair.rows == 2 ? ConvertVector(pair, width, wide, narrow) : 0;
    ConvertScalar(pair, done / 2, width);
  }
}

int YuvConverter::ConvertVector(const RowPair& pair, int width, bool wide, bool narrow) const {
  int done = 0;
  if (wide) {
    done = yuvavx2::ConvertRowPair(pair.source[0], pair.source[1], width, five_, six_, pair.luma[0], pair.luma[1],
                                   pair.blue, pair.red);
  }
  // What is left of the row in groups of 16, where the narrow path may help.
  if (narrow && width - done >= 16) {
    done += yuvssse3::ConvertRowPair(pair.source[0] + done, pair.source[1] + done, width - done, five_, six_,
                                     pair.luma[0] + done, pair.luma[1] + done, pair.blue + done / 2,
                                     pair.red + done / 2);
  }
  return done;
}

void YuvConverter::ConvertScalar(const RowPair& pair, int firstBlock, int width) {
  if (firstBlock >= (width + 1) / 2) return;
  if (!tableCurrent_) BuildTable();
  const std::uint32_t* table = table_.data();
  int cx = firstBlock;
  if (pair.rows == 2) {
    // Whole 2 x 2 blocks: r and b summed side by side in one word.
    for (; 2 * cx + 1 < width; ++cx) {
      const int x = 2 * cx;
      const std::uint32_t a = table[pair.source[0][x]], b = table[pair.source[0][x + 1]];
      const std::uint32_t c = table[pair.source[1][x]], d = table[pair.source[1][x + 1]];
      pair.luma[0][x] = static_cast<std::uint8_t>(a >> 24);
      pair.luma[0][x + 1] = static_cast<std::uint8_t>(b >> 24);
      pair.luma[1][x] = static_cast<std::uint8_t>(c >> 24);
      pair.luma[1][x + 1] = static_cast<std::uint8_t>(d >> 24);
      const std::uint32_t redBlue = (a & 0xFF00FF) + (b & 0xFF00FF) + (c & 0xFF00FF) + (d & 0xFF00FF);
      const std::uint32_t green = ((a >> 8) & 0xFF) + ((b >> 8) & 0xFF) + ((c >> 8) & 0xFF) + ((d >> 8) & 0xFF);
      const int rr = static_cast<int>(((redBlue >> 16) + 2) >> 2);
      const int gg = static_cast<int>((green + 2) >> 2);
      const int bb = static_cast<int>(((redBlue & 0xFFFF) + 2) >> 2);
      pair.blue[cx] = static_cast<std::uint8_t>(BlueDifference(rr, gg, bb));
      pair.red[cx] = static_cast<std::uint8_t>(RedDifference(rr, gg, bb));
    }
  }
  // Blocks cut by the picture's edge take the pixels they have.
  for (; cx < (width + 1) / 2; ++cx) {
    const int left = 2 * cx, columns = std::min(2, width - left);
    int r = 0, g = 0, b = 0;
    for (int i = 0; i < pair.rows; ++i) {
      for (int j = 0; j < columns; ++j) {
        const std::uint32_t entry = table[pair.source[i][left + j]];
        pair.luma[i][left + j] = static_cast<std::uint8_t>(entry >> 24);
        r += static_cast<int>((entry >> 16) & 0xFF);
        g += static_cast<int>((entry >> 8) & 0xFF);
        b += static_cast<int>(entry & 0xFF);
      }
    }
    const int n = pair.rows * columns;
    r = (r + n / 2) / n;
    g = (g + n / 2) / n;
    b = (b + n / 2) / n;
    pair.blue[cx] = static_cast<std::uint8_t>(BlueDifference(r, g, b));
    pair.red[cx] = static_cast<std::uint8_t>(RedDifference(r, g, b));
  }
}
