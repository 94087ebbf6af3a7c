// An open 640 x 480 offscreen accelerator for each test, with pixel read-back
// and vertex construction.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/glide/glide.h"
#include "platform/glide/glide_output.h"

class GlideTest : public ::testing::Test {
protected:
  void SetUp() override {
    GlideSelectOutput(GlideOutput::offscreen);
    grGlideInit();
    GrHwConfiguration hw;
    ASSERT_TRUE(grSstQueryHardware(&hw));
    grSstSelect(0);
    ASSERT_TRUE(grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB,
                             GR_ORIGIN_LOWER_LEFT, 2, 1));
    grDitherMode(GR_DITHER_DISABLE);
    grColorCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_CONSTANT,
                   GR_COMBINE_OTHER_CONSTANT, FXFALSE);
    grBufferClear(0, 0, 0xFFFF);
  }
  void TearDown() override { grGlideShutdown(); }

  // Reads the back buffer; row 0 is the bottom row.
  static std::uint16_t Pixel(int x, int y) {
    GrLfbInfo_t info{};
    info.size = sizeof(info);
    if (!grLfbLock(GR_LFB_READ_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_ANY, GR_ORIGIN_LOWER_LEFT,
                   FXFALSE, &info))
      return 0xDEAD;
    const auto* base = static_cast<const std::uint8_t*>(info.lfbPtr);
    const std::uint16_t v =
        reinterpret_cast<const std::uint16_t*>(base + static_cast<std::size_t>(y) * info.strideInBytes)[x];
    grLfbUnlock(GR_LFB_READ_ONLY, GR_BUFFER_BACKBUFFER);
    return v;
  }

  static GrVertex Vertex(float x, float y, float oow = 1.0f, float r = 255, float g = 255, float b = 255) {
    GrVertex v{};
    v.x = x;
    v.y = y;
    v.r = r;
    v.g = g;
    v.b = b;
    v.oow = oow;
    v.tmuvtx[0].oow = oow;
    return v;
  }
};
