// The logo picture: a still 640 x 480 picture written through the frame-buffer
// lock, faded by the accelerator's gamma.
#include "effects/effects.h"
#include "gfx/device.h"
#include "platform/glide/glide.h"

int fadeLevel = 0;
std::uint8_t* logoPicture = nullptr;
std::uint16_t logoColors[256];

void ShowLogo(float) {
  grGammaCorrectionValue(static_cast<float>(fadeLevel) * (1.0f / 255.0f));
  int stride = 0;
  std::uint16_t* buffer = LockBackBuffer(&stride);
  if (!buffer) return;
  // The picture is placed for a 640 x 480 screen; a smaller mode would be overrun.
  if (logoPicture && stride > 0 && screenWidth >= logoWidth && screenHeight >= logoHeight) {
    auto* base = reinterpret_cast<std::uint8_t*>(buffer);
    for (int r = 0; r < logoHeight; ++r) {
      // Row 0 of the buffer is the bottom: the picture's top row goes to row 479.
      auto* out = reinterpret_cast<std::uint16_t*>(base + static_cast<std::ptrdiff_t>(logoHeight - 1 - r) * stride);
      const std::uint8_t* in = logoPicture + r * logoWidth;
      for (int x = 0; x < logoWidth; x += 4) {
        out[x] = logoColors[in[x]];
        out[x + 1] = logoColors[in[x + 1]];
        out[x + 2] = logoColors[in[x + 2]];
        out[x + 3] = logoColors[in[x + 3]];
      }
    }
  }
  UnlockBackBuffer();
}
