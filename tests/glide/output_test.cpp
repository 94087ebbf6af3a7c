// Swapping, the frame-buffer lock, gamma on display and the offscreen output.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "glide_fixture.h"

using GlideOutputTest = GlideTest;

TEST_F(GlideOutputTest, LockGivesTheBackBufferWithBoardStride) {
  GrLfbInfo_t info{};
  info.size = sizeof(info);
  ASSERT_TRUE(grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_ANY,
                        FXFALSE, &info));
  EXPECT_EQ(info.strideInBytes, 2048u);
  auto* base = static_cast<std::uint8_t*>(info.lfbPtr);
  // Row 479 is the top of the screen.
  reinterpret_cast<std::uint16_t*>(base + 479 * info.strideInBytes)[3] = 0xF800;
  EXPECT_TRUE(grLfbUnlock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER));
  EXPECT_EQ(Pixel(3, 479), 0xF800);
  EXPECT_FALSE(grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_888, GR_ORIGIN_ANY,
                         FXFALSE, &info));

  grGammaCorrectionValue(1.0f);
  grBufferSwap(0);
  std::vector<std::uint8_t> rgb;
  int w = 0, h = 0;
  ASSERT_TRUE(GlideGetShownFrameRgb(rgb, w, h));
  ASSERT_EQ(w, 640);
  ASSERT_EQ(h, 480);
  // The top row comes first in the RGB picture.
  EXPECT_EQ(rgb[3 * 3 + 0], 255);
  EXPECT_EQ(rgb[3 * 3 + 1], 0);
  EXPECT_EQ(rgb[(479 * 640 + 3) * 3], 0);
}

TEST_F(GlideOutputTest, GammaIsAppliedOnDisplayOnly) {
  grBufferClear(0xFF848284, 0, 0xFFFF);  // 565: r 16, g 32, b 16
  int w, h, stride;
  grGammaCorrectionValue(2.0f);
  grBufferSwap(1);  // offscreen never waits
  const std::uint16_t* shown = GlideShownFrame565(w, h, stride);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown[0], (16 << 11) | (32 << 5) | 16);  // the buffer is untouched
  std::vector<std::uint8_t> rgb;
  ASSERT_TRUE(GlideGetShownFrameRgb(rgb, w, h));
  EXPECT_EQ(rgb[0], static_cast<int>(std::lround(255 * std::sqrt(16 / 31.0))));
  EXPECT_EQ(rgb[1], static_cast<int>(std::lround(255 * std::sqrt(32 / 63.0))));

  grBufferClear(0xFFFFFFFF, 0, 0xFFFF);
  grGammaCorrectionValue(0.0f);
  grBufferSwap(0);
  ASSERT_TRUE(GlideGetShownFrameRgb(rgb, w, h));
  EXPECT_EQ(rgb[0], 0);
  EXPECT_EQ(rgb[1], 0);
  grGammaCorrectionValue(1.0f);
  grBufferSwap(0);  // the white frame was drawn before: now shown at gamma 1
  grBufferSwap(0);
  ASSERT_TRUE(GlideGetShownFrameRgb(rgb, w, h));
  EXPECT_EQ(rgb[0], 255);
}

TEST_F(GlideOutputTest, SwapExchangesBuffersAndCallsTheHook) {
  static int calls = 0;
  calls = 0;
  GlideSetSwapHook([](void*) { ++calls; }, nullptr);
  grBufferClear(0xFFFF0000, 0, 0xFFFF);
  const std::uint64_t before = GlideSwapCount();
  grBufferSwap(1);
  GlideSetSwapHook(nullptr, nullptr);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(GlideSwapCount(), before + 1);
  int w, h, stride;
  EXPECT_EQ(GlideShownFrame565(w, h, stride)[0], 0xF800);
}

TEST_F(GlideOutputTest, SavesTheShownFrameAsPng) {
  grBufferClear(0xFF00FF00, 0, 0xFFFF);
  grBufferSwap(0);
  const auto path = std::filesystem::temp_directory_path() / "glide_output_test.png";
  ASSERT_TRUE(GlideSaveShownFramePng(path.c_str()));
  std::FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  unsigned char magic[8] = {};
  EXPECT_EQ(std::fread(magic, 1, 8, f), 8u);
  std::fclose(f);
  EXPECT_EQ(magic[1], 'P');
  EXPECT_EQ(magic[2], 'N');
  std::filesystem::remove(path);
  EXPECT_FALSE(GlideSaveShownFramePng("/nonexistent-dir/x.png"));
}

TEST(GlideLifecycle, OpenFailsWithoutSelectionAndAfterShutdown) {
  GlideSelectOutput(GlideOutput::offscreen);
  grGlideShutdown();
  EXPECT_FALSE(grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB,
                            GR_ORIGIN_LOWER_LEFT, 2, 1));
  grGlideInit();
  EXPECT_FALSE(grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB,
                            GR_ORIGIN_LOWER_LEFT, 2, 1));
  grSstSelect(0);
  EXPECT_FALSE(grSstWinOpen(0, 999, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB, GR_ORIGIN_LOWER_LEFT, 2, 1));
  EXPECT_TRUE(grSstWinOpen(0, GR_RESOLUTION_800x600, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB,
                           GR_ORIGIN_LOWER_LEFT, 2, 1));
  EXPECT_EQ(grSstScreenWidth(), 800u);
  grGlideShutdown();
  GrLfbInfo_t info{};
  EXPECT_FALSE(grLfbLock(GR_LFB_WRITE_ONLY, GR_BUFFER_BACKBUFFER, GR_LFBWRITEMODE_565, GR_ORIGIN_ANY,
                         FXFALSE, &info));
}
