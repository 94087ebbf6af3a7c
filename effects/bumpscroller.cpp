// The bump-mapped scroller: background and scroll text as one height field, lit by
// a moving light spot through the slopes, shown at double size in a grey ramp.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/effects.h"
#include "gfx/device.h"
#include "platform/glide/glide.h"

std::uint8_t* scrollText = nullptr;
std::uint8_t* bumpBackground = nullptr;
std::uint8_t* lightMap = nullptr;
std::uint8_t* bumpWork = nullptr;
std::uint8_t* slopeMap = nullptr;
std::uint16_t bumpColors[256];

void BuildSlopeMap(const std::uint8_t* h, std::uint8_t* s) {
  for (int y = 1; y < bumpHeight - 1; ++y) {
    const std::uint8_t* above = h + (y - 1) * bumpWidth;
    const std::uint8_t* row = h + y * bumpWidth;
    std::uint8_t* out = s + y * bumpWidth;
    for (int x = 1; x < bumpWidth - 1; ++x)
      out[x] = static_cast<std::uint8_t>((static_cast<int>(above[x - 1]) - static_cast<int>(row[x])) / 2 + 128);
  }
}

void BumpScroller(float progress) {
  if (!scrollText || !bumpBackground || !lightMap || !bumpWork || !slopeMap) return;
  const float T = progress * 75.0f;
  grGammaCorrectionValue(static_cast<float>(fadeLevel) * (1.0f / 255.0f));
  const int scroll = static_cast<int>(T * 16.0f);
  const int top = bumpHeight - scroll;
  const int lx = static_cast<int>(std::sin(T + 0.2) * 100.0 + 125.0);
  const int ly = static_cast<int>(std::cos(T * 1.862) * 50.0 + 100.0);

  std::memcpy(bumpWork, bumpBackground, bumpWidth * bumpHeight);

  // Lay the visible text rows over the background; byte 0 is transparent.
  const int s0 = std::max(0, -top);
  const int d0 = std::max(0, top);
  int n = bumpHeight - top;
  if (n + s0 > scrollTextRows) n = scrollTextRows - s0;
  if (n > bumpHeight) n = bumpHeight;
  // A destination start inside the picture keeps the copy inside it too.
  n = std::min(n, bumpHeight - d0);
  if (n > 0) {
    const std::uint8_t* src = scrollText + s0 * bumpWidth;
    std::uint8_t* dst = bumpWork + d0 * bumpWidth;
    for (int i = 0; i < n * bumpWidth; ++i)
      if (src[i] != 0) dst[i] = src[i];
  }

  BuildSlopeMap(bumpWork, slopeMap);
  for (int y = 0; y < bumpHeight; ++y) {
    slopeMap[y * bumpWidth] = 0;
    slopeMap[y * bumpWidth + bumpWidth - 1] = 255;
  }
  std::memset(bumpWork, 0, bumpWidth * bumpHeight);

  // Light the relief; the lit picture sits five rows above its slopes.
  for (int y = 10; y <= 198; ++y) {
    const std::uint8_t* slope = slopeMap + y * bumpWidth;
    std::uint8_t* out = bumpWork + (y - 5) * bumpWidth;
    for (int x = 0; x < bumpWidth; ++x) {
      const int a = slope[x];
      const int u = x - lx + a;
      const int v = y - ly + a;
      if (u >= 0 && u <= 255 && v >= 0 && v <= 255) out[x] = lightMap[v * 256 + u];
    }
  }

  int stride = 0;
  std::uint16_t* buffer = LockBackBuffer(&stride);
  if (!buffer) return;
  // Rows 42 to 441 and 640 columns must exist (the 640 x 480 mode).
  if (stride > 0 && screenWidth >= 2 * bumpWidth && screenHeight >= 442) {
    auto* base = reinterpret_cast<std::uint8_t*>(buffer);
    for (int r = 0; r < bumpHeight; ++r) {
      auto* upper = reinterpret_cast<std::uint16_t*>(base + static_cast<std::ptrdiff_t>(441 - 2 * r) * stride);
      auto* lower = reinterpret_cast<std::uint16_t*>(base + static_cast<std::ptrdiff_t>(440 - 2 * r) * stride);
      const std::uint8_t* in = bumpWork + r * bumpWidth;
      for (int x = 0; x < bumpWidth; ++x) {
        const std::uint16_t k = bumpColors[in[x]];
        upper[2 * x] = upper[2 * x + 1] = k;
        lower[2 * x] = lower[2 * x + 1] = k;
      }
    }
  }
  UnlockBackBuffer();
}
