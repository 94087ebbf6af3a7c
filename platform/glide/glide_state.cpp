// The Glide calls that set up the software accelerator, manage its buffers and
// texture memory, and record the render state the rasterizer reads.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/glide/glide.h"
#include "platform/glide/glide_bands.h"
#include "platform/glide/glide_internal.h"

namespace glide_detail {

State& GetState() {
  static State state;
  return state;
}

}  // namespace glide_detail

using glide_detail::GetState;
using glide_detail::State;

namespace {

struct Resolution {
  GrScreenResolution_t code;
  int width;
  int height;
};

constexpr Resolution resolutions[] = {
    {GR_RESOLUTION_320x200, 320, 200},   {GR_RESOLUTION_320x240, 320, 240},
    {GR_RESOLUTION_400x256, 400, 256},   {GR_RESOLUTION_512x384, 512, 384},
    {GR_RESOLUTION_640x200, 640, 200},   {GR_RESOLUTION_640x350, 640, 350},
    {GR_RESOLUTION_640x400, 640, 400},   {GR_RESOLUTION_640x480, 640, 480},
    {GR_RESOLUTION_800x600, 800, 600},   {GR_RESOLUTION_960x720, 960, 720},
    {GR_RESOLUTION_856x480, 856, 480},   {GR_RESOLUTION_512x256, 512, 256},
    {GR_RESOLUTION_1024x768, 1024, 768},
};

// Texture size in texels of the largest level, from LOD and aspect ratio.
bool TextureShape(const GrTexInfo* info, int& width, int& height) {
  if (!info || info->largeLod < GR_LOD_256 || info->largeLod > GR_LOD_1 ||
      info->aspectRatio < GR_ASPECT_1x8 || info->aspectRatio > GR_ASPECT_8x1)
    return false;
  const int side = 256 >> info->largeLod;
  const int aspect = info->aspectRatio - GR_ASPECT_1x1;  // >0 wider, <0 taller
  width = side;
  height = side;
  if (aspect > 0) height = std::max(1, side >> aspect);
  if (aspect < 0) width = std::max(1, side >> -aspect);
  return true;
}

// Bytes of every level from largeLod down to smallLod (one level when equal).
FxU32 LevelBytes(const GrTexInfo* info) {
  int width = 0, height = 0;
  if (!TextureShape(info, width, height)) return 0;
  const int levels = std::clamp(info->smallLod, info->largeLod, GR_LOD_1) - info->largeLod + 1;
  const int texelBytes = info->format >= GR_TEXFMT_16BIT ? 2 : 1;
  FxU32 bytes = 0;
  for (int i = 0; i < levels; ++i) {
    bytes += static_cast<FxU32>(width * height * texelBytes);
    width = std::max(1, width / 2);
    height = std::max(1, height / 2);
  }
  // Texture memory is handed out in 8-byte units.
  return (bytes + 7) & ~7u;
}

void ResetRenderState(State& s) {
  s.texture = {};
  s.bilinear = true;
  s.clampS = s.clampT = false;
  s.combineFunction = GR_COMBINE_FUNCTION_LOCAL;
  s.combineFactor = GR_COMBINE_FACTOR_ZERO;
  s.combineLocal = GR_COMBINE_LOCAL_ITERATED;
  s.combineOther = GR_COMBINE_OTHER_ITERATED;
  s.constantColor = 0xFFFFFFFF;
  s.dither = GR_DITHER_4x4;
  s.depthMode = GR_DEPTHBUFFER_DISABLE;
  s.depthFunction = GR_CMP_LESS;
  s.depthMask = true;
  s.cull = GR_CULL_DISABLE;
  s.gamma = 1.0f;
}

}  // namespace

void grGlideInit() {
  State& s = GetState();
  s.initialized = true;
  s.selected = false;
  if (s.textureMemory.empty()) {
    s.textureMemory.assign(glide_detail::textureMemorySize / 2, 0);
    s.textureExpanded.assign(glide_detail::textureMemorySize / 2, 0);
    s.texturePacked.assign(glide_detail::textureMemorySize / 2, 0);
  }
}

void grGlideShutdown() {
  glide_detail::StopRasterWorker();
  State& s = GetState();
  if (s.open) glide_detail::OutputClose();
  s.open = false;
  s.locked = false;
  s.initialized = false;
  s.selected = false;
  s.texture = {};
}

FxBool grSstQueryHardware(GrHwConfiguration* hwconfig) {
  if (!GetState().initialized || !glide_detail::OutputAvailable()) return FXFALSE;
  if (hwconfig) {
    std::memset(hwconfig, 0, sizeof(*hwconfig));
    hwconfig->num_sst = 1;
    hwconfig->SSTs[0].fbRam = 2;
    hwconfig->SSTs[0].tmuRam = 4;
  }
  return FXTRUE;
}

void grSstSelect(int which_sst) {
  State& s = GetState();
  s.selected = s.initialized && which_sst == 0;
}

FxBool grSstWinOpen(FxU32, GrScreenResolution_t screen_resolution, GrScreenRefresh_t,
                    GrColorFormat_t, GrOriginLocation_t, int nColBuffers, int) {
  State& s = GetState();
  if (!s.initialized || !s.selected || nColBuffers < 1) return FXFALSE;
  const Resolution* found = nullptr;
  for (const Resolution& r : resolutions)
    if (r.code == screen_resolution) found = &r;
  if (!found) return FXFALSE;
  glide_detail::FinishDrawing();
  if (s.open) glide_detail::OutputClose();
  s.open = false;
  if (!glide_detail::OutputOpen(found->width, found->height)) return FXFALSE;

  s.width = found->width;
  s.height = found->height;
  // The rasterizer reads and writes back whole groups of four pixels, so every
  // buffer has a few pixels of slack past its last row.
  const std::size_t pixels = static_cast<std::size_t>(glide_detail::bufferStride) * s.height;
  s.frontStore.assign(pixels + glide_detail::bufferSlack, 0);
  s.backStore.assign(pixels + glide_detail::bufferSlack, 0);
  s.depth.assign(pixels + glide_detail::bufferSlack, 0xFFFF);
  s.front = s.frontStore.data();
  s.back = s.backStore.data();
  s.locked = false;
  s.clipMinX = 0;
  s.clipMinY = 0;
  s.clipMaxX = s.width;
  s.clipMaxY = s.height;
  ResetRenderState(s);
  s.open = true;
  glide_detail::ConfigureRaster(s.width);
  return FXTRUE;
}

FxU32 grSstScreenWidth() { return static_cast<FxU32>(GetState().width); }
FxU32 grSstScreenHeight() { return static_cast<FxU32>(GetState().height); }

void grSstIdle() { glide_detail::FinishDrawing(); }

void grBufferClear(GrColor_t color, GrAlpha_t, FxU16 depth) {
  State& s = GetState();
  if (!s.open) return;
  glide_detail::FinishDrawing();
  // ARGB 8888 to RGB565.
  const auto c = static_cast<std::uint16_t>(((color >> 19) & 0x1F) << 11 |
                                            ((color >> 10) & 0x3F) << 5 | ((color >> 3) & 0x1F));
  // Only the clip window is cleared, as on the board.
  for (int y = s.clipMinY; y < s.clipMaxY; ++y) {
    std::uint16_t* row = s.back + static_cast<std::ptrdiff_t>(y) * glide_detail::bufferStride;
    std::fill(row + s.clipMinX, row + s.clipMaxX, c);
    if (s.depthMask) {
      std::uint16_t* z = s.depth.data() + static_cast<std::ptrdiff_t>(y) * glide_detail::bufferStride;
      std::fill(z + s.clipMinX, z + s.clipMaxX, depth);
    }
  }
}

void grBufferSwap(int swap_interval) {
  State& s = GetState();
  if (!s.open) return;
  glide_detail::FinishDrawing();
  std::swap(s.front, s.back);
  glide_detail::OutputPresent(s.front, s.width, s.height, s.gamma, swap_interval);
}

FxBool grLfbLock(GrLock_t type, GrBuffer_t buffer, GrLfbWriteMode_t writeMode, GrOriginLocation_t,
                 FxBool, GrLfbInfo_t* info) {
  State& s = GetState();
  if (!s.open || !info) return FXFALSE;
  glide_detail::FinishDrawing();
  const bool writing = (type & GR_LFB_WRITE_ONLY) != 0;
  if (writing && writeMode != GR_LFBWRITEMODE_565 && writeMode != GR_LFBWRITEMODE_ANY)
    return FXFALSE;
  std::uint16_t* target = nullptr;
  if (buffer == GR_BUFFER_BACKBUFFER) target = s.back;
  else if (buffer == GR_BUFFER_FRONTBUFFER) target = s.front;
  else if (buffer == GR_BUFFER_AUXBUFFER && !writing) target = s.depth.data();
  if (!target) return FXFALSE;
  info->lfbPtr = target;
  info->strideInBytes = glide_detail::bufferStride * 2;
  info->writeMode = GR_LFBWRITEMODE_565;
  info->origin = GR_ORIGIN_LOWER_LEFT;
  s.locked = true;
  return FXTRUE;
}

FxBool grLfbUnlock(GrLock_t, GrBuffer_t) {
  State& s = GetState();
  if (!s.locked) return FXFALSE;
  s.locked = false;
  return FXTRUE;
}

void grGammaCorrectionValue(float value) {
  // NaN or negative values darken to black rather than misbehave.
  GetState().gamma = (value > 0.0f && std::isfinite(value)) ? value : 0.0f;
}

FxU32 grTexMinAddress(GrChipID_t) { return 0; }
FxU32 grTexMaxAddress(GrChipID_t) { return glide_detail::textureMemorySize; }

FxU32 grTexTextureMemRequired(FxU32, GrTexInfo* info) { return LevelBytes(info); }

void grTexDownloadMipMap(GrChipID_t tmu, FxU32 startAddress, FxU32, GrTexInfo* info) {
  State& s = GetState();
  if (tmu != GR_TMU0 || !info || !info->data || info->format != GR_TEXFMT_RGB_565 ||
      s.textureMemory.empty())
    return;
  int width = 0, height = 0;
  if (!TextureShape(info, width, height)) return;
  glide_detail::FinishDrawing();  // triangles waiting to be drawn may read these texels
  const std::uint64_t texels = static_cast<std::uint64_t>(width) * height;
  // A download that does not fit in texture memory is dropped whole.
  if ((startAddress & 1) || startAddress > glide_detail::textureMemorySize ||
      texels * 2 > glide_detail::textureMemorySize - startAddress)
    return;
  const auto* source = static_cast<const std::uint16_t*>(info->data);
  const std::size_t first = startAddress / 2;
  for (std::size_t i = 0; i < texels; ++i) {
    s.textureMemory[first + i] = source[i];
    s.textureExpanded[first + i] = glide_detail::ExpandRgb565(source[i]);
    s.texturePacked[first + i] = glide_detail::PackRgb565(source[i]);
  }
}

void grTexSource(GrChipID_t tmu, FxU32 startAddress, FxU32, GrTexInfo* info) {
  State& s = GetState();
  if (tmu != GR_TMU0) return;
  // Polygon lists name the same texture again and again: nothing to work out then.
  const glide_detail::TextureSourceKey key{startAddress, info ? info->largeLod : 0, info ? info->aspectRatio : 0,
                                           s.texturePacked.data()};
  if (s.texture.valid && info && key == s.textureSource) return;
  s.texture = {};
  int width = 0, height = 0;
  if (s.textureExpanded.empty() || !TextureShape(info, width, height)) return;
  const std::uint64_t texels = static_cast<std::uint64_t>(width) * height;
  if ((startAddress & 1) || startAddress > glide_detail::textureMemorySize ||
      texels * 2 > glide_detail::textureMemorySize - startAddress)
    return;
  s.texture.texels = s.textureExpanded.data() + startAddress / 2;
  s.texture.packed = s.texturePacked.data() + startAddress / 2;
  int log2 = 0;
  while ((1 << log2) < width) ++log2;
  s.texture.widthLog2 = log2;
  s.texture.widthMask = width - 1;
  s.texture.heightMask = height - 1;
  s.texture.valid = true;
  s.textureSource = key;
}

void grTexMipMapMode(GrChipID_t, GrMipMapMode_t, FxBool) {}

void grTexCombine(GrChipID_t, GrCombineFunction_t, GrCombineFactor_t, GrCombineFunction_t,
                  GrCombineFactor_t, FxBool, FxBool) {
  // The one texture unit always passes its texel on unchanged.
}

void grTexFilterMode(GrChipID_t tmu, GrTextureFilterMode_t, GrTextureFilterMode_t magfilter_mode) {
  if (tmu == GR_TMU0) GetState().bilinear = magfilter_mode == GR_TEXTUREFILTER_BILINEAR;
}

void grTexClampMode(GrChipID_t tmu, GrTextureClampMode_t s_clampmode,
                    GrTextureClampMode_t t_clampmode) {
  if (tmu != GR_TMU0) return;
  GetState().clampS = s_clampmode == GR_TEXTURECLAMP_CLAMP;
  GetState().clampT = t_clampmode == GR_TEXTURECLAMP_CLAMP;
}

void grDitherMode(GrDitherMode_t mode) { GetState().dither = mode; }
void grChromakeyMode(GrChromakeyMode_t) {}
void grDepthBufferMode(GrDepthBufferMode_t mode) { GetState().depthMode = mode; }
void grDepthBufferFunction(GrCmpFnc_t function) { GetState().depthFunction = function; }
void grDepthMask(FxBool mask) { GetState().depthMask = mask != FXFALSE; }

void grClipWindow(FxU32 minx, FxU32 miny, FxU32 maxx, FxU32 maxy) {
  State& s = GetState();
  const auto clampTo = [](FxU32 v, int limit) {
    return static_cast<int>(std::min<FxU32>(v, static_cast<FxU32>(limit)));
  };
  s.clipMinX = clampTo(minx, s.width);
  s.clipMaxX = clampTo(maxx, s.width);
  s.clipMinY = clampTo(miny, s.height);
  s.clipMaxY = clampTo(maxy, s.height);
}

void grConstantColorValue(GrColor_t value) { GetState().constantColor = value; }

void grColorCombine(GrCombineFunction_t function, GrCombineFactor_t factor, GrCombineLocal_t local,
                    GrCombineOther_t other, FxBool) {
  State& s = GetState();
  s.combineFunction = function;
  s.combineFactor = factor;
  s.combineLocal = local;
  s.combineOther = other;
}

void grCullMode(GrCullMode_t mode) { GetState().cull = mode; }
