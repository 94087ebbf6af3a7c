// Shown frames as the video encoder takes them: planar YUV 4:2:0 (BT.601,
// limited range), top row first, with the display gamma applied.
#pragma once

#include <cstdint>
#include <vector>

// Where the three planes go; each stride in bytes.
struct YuvPlanes {
  std::uint8_t* luma;
  int lumaStride;
  std::uint8_t* blue;
  int blueStride;
  std::uint8_t* red;
  int redStride;
};

class YuvConverter {
public:
  // best: the widest vector path the processor has (AVX2, else SSSE3); ssse3:
  // the narrower one alone; scalar: the reference.
  enum class Path { best, ssse3, scalar };
  explicit YuvConverter(Path path = Path::best) : path_(path) {}

  // RGB565 rows (row 0 at the bottom, stride in pixels) to Y, then U, then V
  // planes; chroma is the mean of each 2 x 2 block (edge blocks of odd sizes
  // take the pixels they have).
  void Convert(const std::uint16_t* frame, int stride, int width, int height, float gamma, const YuvPlanes& planes);
  // The same into one buffer: the planes one after the other, tightly packed.
  void Convert(const std::uint16_t* frame, int stride, int width, int height, float gamma,
               std::vector<std::uint8_t>& yuv);

private:
  // Two picture rows (one at the bottom edge of an odd height) and the chroma
  // row of their blocks.
  struct RowPair {
    int rows;
    const std::uint16_t* source[2];
    std::uint8_t* luma[2];
    std::uint8_t* blue;
    std::uint8_t* red;
  };
  // The display's channel tables for a gamma; the table of every RGB565 value
  // follows only when the scalar path has work, which the vector paths rarely
  // leave it (and during a fade the gamma changes every frame).
  void SetGamma(float gamma);
  void BuildTable();
  // The leading columns of two whole rows by the vector paths chosen; returns
  // how many columns they did (an even number).
  int ConvertVector(const RowPair& pair, int width, bool wide, bool narrow) const;
  // The blocks from firstBlock to the end of the row pair, one at a time.
  void ConvertScalar(const RowPair& pair, int firstBlock, int width);

  Path path_;
  std::uint8_t five_[32] = {}, six_[64] = {};

  // Per RGB565 value: Y in the top byte, then gamma-corrected r, g, b.
  std::vector<std::uint32_t> table_;
  bool haveGamma_ = false;
  float gamma_ = 1.0f;         // of five_ and six_
  bool tableCurrent_ = false;  // table_ made from five_ and six_
};
