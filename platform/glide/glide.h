// Glide stand-in. glide_state.cpp: set-up, buffers, texture memory and render
// state; glide_raster.cpp: the triangle rasterizer; glide_output: frames kept in
// memory or shown in a window; glide_window: the main thread's side of that
// window. Callers include only this header and the two output headers.
//
// The Glide 2.x accelerator interface as this system calls it: the published type
// and function names, with constant values of our own. Behind it a software
// rasterizer draws what the board drew (RGB565 buffers, W-buffer, bilinear
// textures, ordered dither, gamma on display). Output goes to memory or to a
// window; see glide_output.h and glide_window.h.
#pragma once

#include <cstdint>

using FxU8 = std::uint8_t;
using FxI8 = std::int8_t;
using FxU16 = std::uint16_t;
using FxI16 = std::int16_t;
using FxU32 = std::uint32_t;
using FxI32 = std::int32_t;
using FxBool = int;
using FxFloat = float;

#ifndef FXTRUE
#define FXTRUE 1
#define FXFALSE 0
#endif

#define FX_ENTRY
#define FX_CALL

#define GLIDE_NUM_TMU 3

using GrColor_t = FxU32;
using GrAlpha_t = FxU8;
using GrMipMapId_t = FxU32;
using GrFog_t = FxU8;

using GrChipID_t = FxI32;
#define GR_TMU0 0
#define GR_TMU1 1
#define GR_TMU2 2

using GrScreenResolution_t = FxI32;
#define GR_RESOLUTION_320x200 0
#define GR_RESOLUTION_320x240 1
#define GR_RESOLUTION_400x256 2
#define GR_RESOLUTION_512x384 3
#define GR_RESOLUTION_640x200 4
#define GR_RESOLUTION_640x350 5
#define GR_RESOLUTION_640x400 6
#define GR_RESOLUTION_640x480 7
#define GR_RESOLUTION_800x600 8
#define GR_RESOLUTION_960x720 9
#define GR_RESOLUTION_856x480 10
#define GR_RESOLUTION_512x256 11
#define GR_RESOLUTION_1024x768 12

using GrScreenRefresh_t = FxI32;
#define GR_REFRESH_60Hz 0
#define GR_REFRESH_70Hz 1
#define GR_REFRESH_72Hz 2
#define GR_REFRESH_75Hz 3
#define GR_REFRESH_80Hz 4
#define GR_REFRESH_85Hz 5

using GrColorFormat_t = FxI32;
#define GR_COLORFORMAT_ARGB 0
#define GR_COLORFORMAT_ABGR 1
#define GR_COLORFORMAT_RGBA 2
#define GR_COLORFORMAT_BGRA 3

using GrOriginLocation_t = FxI32;
#define GR_ORIGIN_UPPER_LEFT 0
#define GR_ORIGIN_LOWER_LEFT 1
#define GR_ORIGIN_ANY 0xFF

using GrLOD_t = FxI32;
#define GR_LOD_256 0
#define GR_LOD_128 1
#define GR_LOD_64 2
#define GR_LOD_32 3
#define GR_LOD_16 4
#define GR_LOD_8 5
#define GR_LOD_4 6
#define GR_LOD_2 7
#define GR_LOD_1 8

// Width x height of the largest level: 1x8 (eight times taller than wide) to 8x1.
using GrAspectRatio_t = FxI32;
#define GR_ASPECT_1x8 0
#define GR_ASPECT_1x4 1
#define GR_ASPECT_1x2 2
#define GR_ASPECT_1x1 3
#define GR_ASPECT_2x1 4
#define GR_ASPECT_4x1 5
#define GR_ASPECT_8x1 6

using GrTextureFormat_t = FxI32;
#define GR_TEXFMT_8BIT 0
#define GR_TEXFMT_RGB_332 0
#define GR_TEXFMT_YIQ_422 1
#define GR_TEXFMT_ALPHA_8 2
#define GR_TEXFMT_INTENSITY_8 3
#define GR_TEXFMT_ALPHA_INTENSITY_44 4
#define GR_TEXFMT_P_8 5
#define GR_TEXFMT_16BIT 8
#define GR_TEXFMT_ARGB_8332 8
#define GR_TEXFMT_AYIQ_8422 9
#define GR_TEXFMT_RGB_565 10
#define GR_TEXFMT_ARGB_1555 11
#define GR_TEXFMT_ARGB_4444 12
#define GR_TEXFMT_ALPHA_INTENSITY_88 13
#define GR_TEXFMT_AP_88 14

#define GR_MIPMAPLEVELMASK_EVEN 1
#define GR_MIPMAPLEVELMASK_ODD 2
#define GR_MIPMAPLEVELMASK_BOTH 3

using GrMipMapMode_t = FxI32;
#define GR_MIPMAP_DISABLE 0
#define GR_MIPMAP_NEAREST 1
#define GR_MIPMAP_NEAREST_DITHER 2

using GrTextureFilterMode_t = FxI32;
#define GR_TEXTUREFILTER_POINT_SAMPLED 0
#define GR_TEXTUREFILTER_BILINEAR 1

using GrTextureClampMode_t = FxI32;
#define GR_TEXTURECLAMP_WRAP 0
#define GR_TEXTURECLAMP_CLAMP 1

using GrCombineFunction_t = FxI32;
#define GR_COMBINE_FUNCTION_ZERO 0
#define GR_COMBINE_FUNCTION_NONE GR_COMBINE_FUNCTION_ZERO
#define GR_COMBINE_FUNCTION_LOCAL 1
#define GR_COMBINE_FUNCTION_LOCAL_ALPHA 2
#define GR_COMBINE_FUNCTION_SCALE_OTHER 3
#define GR_COMBINE_FUNCTION_BLEND_OTHER GR_COMBINE_FUNCTION_SCALE_OTHER
#define GR_COMBINE_FUNCTION_SCALE_OTHER_ADD_LOCAL 4
#define GR_COMBINE_FUNCTION_SCALE_OTHER_ADD_LOCAL_ALPHA 5
#define GR_COMBINE_FUNCTION_SCALE_OTHER_MINUS_LOCAL 6
#define GR_COMBINE_FUNCTION_SCALE_OTHER_MINUS_LOCAL_ADD_LOCAL 7
#define GR_COMBINE_FUNCTION_BLEND GR_COMBINE_FUNCTION_SCALE_OTHER_MINUS_LOCAL_ADD_LOCAL
#define GR_COMBINE_FUNCTION_SCALE_OTHER_MINUS_LOCAL_ADD_LOCAL_ALPHA 8
#define GR_COMBINE_FUNCTION_SCALE_MINUS_LOCAL_ADD_LOCAL 9
#define GR_COMBINE_FUNCTION_BLEND_LOCAL GR_COMBINE_FUNCTION_SCALE_MINUS_LOCAL_ADD_LOCAL
#define GR_COMBINE_FUNCTION_SCALE_MINUS_LOCAL_ADD_LOCAL_ALPHA 0x10

using GrCombineFactor_t = FxI32;
#define GR_COMBINE_FACTOR_ZERO 0
#define GR_COMBINE_FACTOR_NONE GR_COMBINE_FACTOR_ZERO
#define GR_COMBINE_FACTOR_LOCAL 1
#define GR_COMBINE_FACTOR_OTHER_ALPHA 2
#define GR_COMBINE_FACTOR_LOCAL_ALPHA 3
#define GR_COMBINE_FACTOR_TEXTURE_ALPHA 4
#define GR_COMBINE_FACTOR_TEXTURE_RGB 5
#define GR_COMBINE_FACTOR_ONE 8
#define GR_COMBINE_FACTOR_ONE_MINUS_LOCAL 9
#define GR_COMBINE_FACTOR_ONE_MINUS_OTHER_ALPHA 10
#define GR_COMBINE_FACTOR_ONE_MINUS_LOCAL_ALPHA 11
#define GR_COMBINE_FACTOR_ONE_MINUS_TEXTURE_ALPHA 12

using GrCombineLocal_t = FxI32;
#define GR_COMBINE_LOCAL_ITERATED 0
#define GR_COMBINE_LOCAL_CONSTANT 1
#define GR_COMBINE_LOCAL_NONE GR_COMBINE_LOCAL_CONSTANT
#define GR_COMBINE_LOCAL_DEPTH 2

using GrCombineOther_t = FxI32;
#define GR_COMBINE_OTHER_ITERATED 0
#define GR_COMBINE_OTHER_TEXTURE 1
#define GR_COMBINE_OTHER_CONSTANT 2
#define GR_COMBINE_OTHER_NONE GR_COMBINE_OTHER_CONSTANT

using GrDitherMode_t = FxI32;
#define GR_DITHER_DISABLE 0
#define GR_DITHER_2x2 1
#define GR_DITHER_4x4 2

using GrChromakeyMode_t = FxI32;
#define GR_CHROMAKEY_DISABLE 0
#define GR_CHROMAKEY_ENABLE 1

using GrDepthBufferMode_t = FxI32;
#define GR_DEPTHBUFFER_DISABLE 0
#define GR_DEPTHBUFFER_ZBUFFER 1
#define GR_DEPTHBUFFER_WBUFFER 2
#define GR_DEPTHBUFFER_ZBUFFER_COMPARE_TO_BIAS 3
#define GR_DEPTHBUFFER_WBUFFER_COMPARE_TO_BIAS 4

using GrCmpFnc_t = FxI32;
#define GR_CMP_NEVER 0
#define GR_CMP_LESS 1
#define GR_CMP_EQUAL 2
#define GR_CMP_LEQUAL 3
#define GR_CMP_GREATER 4
#define GR_CMP_NOTEQUAL 5
#define GR_CMP_GEQUAL 6
#define GR_CMP_ALWAYS 7

using GrCullMode_t = FxI32;
#define GR_CULL_DISABLE 0
#define GR_CULL_NEGATIVE 1
#define GR_CULL_POSITIVE 2

using GrBuffer_t = FxI32;
#define GR_BUFFER_FRONTBUFFER 0
#define GR_BUFFER_BACKBUFFER 1
#define GR_BUFFER_AUXBUFFER 2

using GrLock_t = FxI32;
#define GR_LFB_READ_ONLY 0x00
#define GR_LFB_WRITE_ONLY 0x01
#define GR_LFB_IDLE 0x00
#define GR_LFB_NOIDLE 0x10

using GrLfbWriteMode_t = FxI32;
#define GR_LFBWRITEMODE_565 0x0
#define GR_LFBWRITEMODE_555 0x1
#define GR_LFBWRITEMODE_1555 0x2
#define GR_LFBWRITEMODE_888 0x4
#define GR_LFBWRITEMODE_8888 0x5
#define GR_LFBWRITEMODE_ANY 0xFF

#define MAX_NUM_SST 4

// What the hardware query reports; nothing in the system reads it.
struct GrHwConfiguration {
  int num_sst;
  struct {
    int fbRam;   // MiB of frame-buffer memory
    int tmuRam;  // MiB of texture memory on texture unit 0
  } SSTs[MAX_NUM_SST];
};

struct GrTexInfo {
  GrLOD_t smallLod;
  GrLOD_t largeLod;
  GrAspectRatio_t aspectRatio;
  GrTextureFormat_t format;
  void* data;
};

struct GrTmuVertex {
  float sow;  // s / w
  float tow;  // t / w
  float oow;  // 1 / w
};

struct GrVertex {
  float x, y, z;  // screen x, y; z unused by the W-buffer
  float r, g, b;  // 0 to 255
  float ooz;
  float a;
  float oow;  // 1 / w: the W-buffer and perspective correction use it
  GrTmuVertex tmuvtx[GLIDE_NUM_TMU];
};

struct GrLfbInfo_t {
  int size;
  void* lfbPtr;
  FxU32 strideInBytes;
  GrLfbWriteMode_t writeMode;
  GrOriginLocation_t origin;
};

// Initialisation and output.
FX_ENTRY void FX_CALL grGlideInit();
FX_ENTRY void FX_CALL grGlideShutdown();
FX_ENTRY FxBool FX_CALL grSstQueryHardware(GrHwConfiguration* hwconfig);
FX_ENTRY void FX_CALL grSstSelect(int which_sst);
FX_ENTRY FxBool FX_CALL grSstWinOpen(FxU32 hWnd, GrScreenResolution_t screen_resolution,
                                     GrScreenRefresh_t refresh_rate, GrColorFormat_t color_format,
                                     GrOriginLocation_t origin_location, int nColBuffers,
                                     int nAuxBuffers);
FX_ENTRY FxU32 FX_CALL grSstScreenWidth();
FX_ENTRY FxU32 FX_CALL grSstScreenHeight();
// Returns when everything drawn so far is in the buffers.
FX_ENTRY void FX_CALL grSstIdle();

// Buffers.
FX_ENTRY void FX_CALL grBufferClear(GrColor_t color, GrAlpha_t alpha, FxU16 depth);
FX_ENTRY void FX_CALL grBufferSwap(int swap_interval);
FX_ENTRY FxBool FX_CALL grLfbLock(GrLock_t type, GrBuffer_t buffer, GrLfbWriteMode_t writeMode,
                                  GrOriginLocation_t origin, FxBool pixelPipeline,
                                  GrLfbInfo_t* info);
FX_ENTRY FxBool FX_CALL grLfbUnlock(GrLock_t type, GrBuffer_t buffer);
FX_ENTRY void FX_CALL grGammaCorrectionValue(float value);

// Texture memory and state.
FX_ENTRY FxU32 FX_CALL grTexMinAddress(GrChipID_t tmu);
FX_ENTRY FxU32 FX_CALL grTexMaxAddress(GrChipID_t tmu);
FX_ENTRY FxU32 FX_CALL grTexTextureMemRequired(FxU32 evenOdd, GrTexInfo* info);
FX_ENTRY void FX_CALL grTexDownloadMipMap(GrChipID_t tmu, FxU32 startAddress, FxU32 evenOdd,
                                          GrTexInfo* info);
FX_ENTRY void FX_CALL grTexSource(GrChipID_t tmu, FxU32 startAddress, FxU32 evenOdd,
                                  GrTexInfo* info);
FX_ENTRY void FX_CALL grTexMipMapMode(GrChipID_t tmu, GrMipMapMode_t mode, FxBool lodBlend);
FX_ENTRY void FX_CALL grTexCombine(GrChipID_t tmu, GrCombineFunction_t rgb_function,
                                   GrCombineFactor_t rgb_factor,
                                   GrCombineFunction_t alpha_function,
                                   GrCombineFactor_t alpha_factor, FxBool rgb_invert,
                                   FxBool alpha_invert);
FX_ENTRY void FX_CALL grTexFilterMode(GrChipID_t tmu, GrTextureFilterMode_t minfilter_mode,
                                      GrTextureFilterMode_t magfilter_mode);
FX_ENTRY void FX_CALL grTexClampMode(GrChipID_t tmu, GrTextureClampMode_t s_clampmode,
                                     GrTextureClampMode_t t_clampmode);

// Render state.
FX_ENTRY void FX_CALL grDitherMode(GrDitherMode_t mode);
FX_ENTRY void FX_CALL grChromakeyMode(GrChromakeyMode_t mode);
FX_ENTRY void FX_CALL grDepthBufferMode(GrDepthBufferMode_t mode);
FX_ENTRY void FX_CALL grDepthBufferFunction(GrCmpFnc_t function);
FX_ENTRY void FX_CALL grDepthMask(FxBool mask);
FX_ENTRY void FX_CALL grClipWindow(FxU32 minx, FxU32 miny, FxU32 maxx, FxU32 maxy);
FX_ENTRY void FX_CALL grConstantColorValue(GrColor_t value);
FX_ENTRY void FX_CALL grColorCombine(GrCombineFunction_t function, GrCombineFactor_t factor,
                                     GrCombineLocal_t local, GrCombineOther_t other,
                                     FxBool invert);
FX_ENTRY void FX_CALL grCullMode(GrCullMode_t mode);

// Drawing.
FX_ENTRY void FX_CALL grDrawTriangle(const GrVertex* a, const GrVertex* b, const GrVertex* c);
FX_ENTRY void FX_CALL guDrawTriangleWithClip(const GrVertex* a, const GrVertex* b,
                                             const GrVertex* c);
