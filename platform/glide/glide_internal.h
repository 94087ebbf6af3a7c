// State shared by the parts of the software accelerator: the frame buffers, texture
// memory and the render state the Glide calls set. Not for callers of the interface.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/glide/glide.h"

namespace glide_detail {

// Row stride of every colour buffer, in pixels (2048 bytes, as on the board).
inline constexpr int bufferStride = 1024;
inline constexpr int bufferSlack = 8;  // pixels past the last row
inline constexpr int maxScreenWidth = 1024;
inline constexpr int maxScreenHeight = 768;
inline constexpr std::uint32_t textureMemorySize = 4u << 20;  // texture unit 0

// Texture state of the bound texture: texels expanded to one channel per 16-bit
// lane (0x00RR'00GG'00BB in a 64-bit word) so bilinear filtering is four multiplies.
struct BoundTexture {
  const std::uint64_t* texels = nullptr;
  const std::uint32_t* packed = nullptr;  // the same texels as 0x00RRGGBB words
  int widthLog2 = 0;
  int widthMask = 0;
  int heightMask = 0;
  bool valid = false;
};

// What a bound texture was made from: the same again binds the same texture.
struct TextureSourceKey {
  FxU32 startAddress = 0;
  GrLOD_t largeLod = 0;
  GrAspectRatio_t aspectRatio = 0;
  const std::uint32_t* memory = nullptr;
  bool operator==(const TextureSourceKey&) const = default;
};

struct State {
  bool initialized = false;
  bool selected = false;
  bool open = false;
  int width = 0;
  int height = 0;

  std::vector<std::uint16_t> frontStore;
  std::vector<std::uint16_t> backStore;
  std::vector<std::uint16_t> depth;  // W-buffer values, rows of bufferStride
  std::uint16_t* front = nullptr;
  std::uint16_t* back = nullptr;
  bool locked = false;

  float gamma = 1.0f;

  // Texture memory: the RGB565 words as downloaded and their expanded twins.
  std::vector<std::uint16_t> textureMemory;
  std::vector<std::uint64_t> textureExpanded;
  std::vector<std::uint32_t> texturePacked;
  BoundTexture texture;
  TextureSourceKey textureSource;  // valid while texture.valid
  bool bilinear = true;
  bool clampS = false;
  bool clampT = false;

  // Colour combine, reduced to: colour = (texture ? texel x C : C), C iterated or constant.
  GrCombineFunction_t combineFunction = GR_COMBINE_FUNCTION_LOCAL;
  GrCombineFactor_t combineFactor = GR_COMBINE_FACTOR_ZERO;
  GrCombineLocal_t combineLocal = GR_COMBINE_LOCAL_ITERATED;
  GrCombineOther_t combineOther = GR_COMBINE_OTHER_ITERATED;
  GrColor_t constantColor = 0xFFFFFFFF;

  GrDitherMode_t dither = GR_DITHER_4x4;
  GrDepthBufferMode_t depthMode = GR_DEPTHBUFFER_DISABLE;
  GrCmpFnc_t depthFunction = GR_CMP_LESS;
  bool depthMask = true;
  GrCullMode_t cull = GR_CULL_DISABLE;
  int clipMinX = 0, clipMinY = 0, clipMaxX = 0, clipMaxY = 0;
};

State& GetState();

// Draws one triangle whose vertices lie within the guard band (coordinates checked
// by the caller). Culling (unless the caller did it), clip window and every pixel
// operation happen here.
void RasterTriangle(const GrVertex* a, const GrVertex* b, const GrVertex* c, bool cullDone);

// W-buffer value for a depth w: 4-bit exponent and 12-bit mantissa of w, so the
// compare is monotonic in w over 1 to 65536; w below 1 is 0, beyond is 0xFFFF.
inline std::uint16_t EncodeW(float w) {
  std::uint32_t bits;
  __builtin_memcpy(&bits, &w, 4);
  const int exponent = static_cast<int>(bits >> 23) - 127;
  if (static_cast<std::int32_t>(bits) < 0 || exponent < 0) return 0;
  if (exponent > 15) return 0xFFFF;
  return static_cast<std::uint16_t>((exponent << 12) | ((bits >> 11) & 0xFFF));
}

inline std::uint32_t PackRgb565(std::uint16_t c) {
  const std::uint32_t r = ((c >> 11) & 31) * 255 / 31;
  const std::uint32_t g = ((c >> 5) & 63) * 255 / 63;
  const std::uint32_t b = (c & 31) * 255 / 31;
  return (r << 16) | (g << 8) | b;
}

inline std::uint64_t ExpandRgb565(std::uint16_t c) {
  const std::uint64_t r = ((c >> 11) & 31) * 255 / 31;
  const std::uint64_t g = ((c >> 5) & 63) * 255 / 63;
  const std::uint64_t b = (c & 31) * 255 / 31;
  return (r << 32) | (g << 16) | b;
}

}  // namespace glide_detail

namespace glide_detail {

// The chosen output (offscreen or window), implemented in glide_output.cpp.
bool OutputAvailable();
bool OutputOpen(int width, int height);
// Hands over the frame just made visible; waits for the retrace when asked.
void OutputPresent(const std::uint16_t* frame, int width, int height, float gamma,
                   int swapInterval);
void OutputClose();

// Gamma table for one channel of 'bits' bits: out = 255 x (in / max)^(1 / g).
void BuildGammaTable(float gamma, int bits, std::uint8_t* table);

}  // namespace glide_detail
