// Shown frames as the video encoder takes them: planar YUV 4:2:0 (BT.601,
// limited range), top row first, with the display gamma applied. Converting
// here rather than in the encoder halves what goes through the pipe.
#pragma once

#include <cstdint>
#include <vector>

class YuvConverter {
public:
  // RGB565 rows (row 0 at the bottom, stride in pixels) to Y, then U, then V
  // planes; chroma is the mean of each 2 x 2 block (edge blocks of odd sizes
  // take the pixels they have).
  void Convert(const std::uint16_t* frame, int stride, int width, int height, float gamma,
               std::vector<std::uint8_t>& yuv);

private:
  void BuildTable(float gamma);

  // Per RGB565 value: Y in the top byte, then gamma-corrected r, g, b.
  std::vector<std::uint32_t> table_;
  float tableGamma_ = -1.0f;
};
