// The 2D segments: where the logo and the scroller land in the back buffer, the
// light position, the text overlay and the slope map.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "effects/effects.h"
#include "gfx/device.h"
#include "platform/glide/glide_internal.h"
#include "platform/glide/glide_output.h"

namespace {

class EffectsTest : public ::testing::Test {
protected:
  void SetUp() override {
    GlideSelectOutput(GlideOutput::offscreen);
    DeviceInit();
    DeviceOpen(GR_RESOLUTION_640x480);
    ASSERT_EQ(DeviceIsOpen(), 1);
    ClearBuffer();
    logo.assign(640 * 480, 0);
    text.assign(320 * 1024, 0);
    background.assign(320 * 200, 0);
    light.assign(256 * 256, 0);
    work.assign(320 * 200, 0);
    slope.assign(320 * 200, 0);
    logoPicture = logo.data();
    scrollText = text.data();
    bumpBackground = background.data();
    lightMap = light.data();
    bumpWork = work.data();
    slopeMap = slope.data();
    for (int i = 0; i < 256; ++i) {
      logoColors[i] = static_cast<std::uint16_t>(i * 0x101);
      bumpColors[i] = static_cast<std::uint16_t>(((i >> 2) >> 1) << 11 | (i >> 2) << 5 | ((i >> 3) >> 1));
    }
    fadeLevel = 255;
  }
  void TearDown() override {
    DeviceClose();
    logoPicture = scrollText = bumpBackground = lightMap = bumpWork = slopeMap = nullptr;
  }

  static std::uint16_t BackPixel(int x, int y) {
    int stride = 0;
    std::uint16_t* p = LockBackBuffer(&stride);
    const std::uint16_t v = p[static_cast<std::ptrdiff_t>(y) * (stride / 2) + x];
    UnlockBackBuffer();
    return v;
  }

  std::vector<std::uint8_t> logo, text, background, light, work, slope;
};

}  // namespace

TEST_F(EffectsTest, LogoTopRowGoesToTheTopOfTheScreen) {
  logo[0] = 1;                  // top-left
  logo[479 * 640 + 639] = 2;    // bottom-right
  logo[100 * 640 + 37] = 3;
  logoColors[0] = 0x0000;
  fadeLevel = 0;
  ShowLogo(0.0f);
  EXPECT_EQ(BackPixel(0, 479), logoColors[1]);
  EXPECT_EQ(BackPixel(639, 0), logoColors[2]);
  EXPECT_EQ(BackPixel(37, 379), logoColors[3]);
  EXPECT_EQ(BackPixel(1, 479), 0x0000);
  // At the segment's first frame the gamma is 0: the picture is written but black.
  EXPECT_FLOAT_EQ(glide_detail::GetState().gamma, 0.0f);
  SwapBuffers(0);
  std::vector<std::uint8_t> rgb;
  int w, h;
  ASSERT_TRUE(GlideGetShownFrameRgb(rgb, w, h));
  EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0);
  fadeLevel = 255;
  ShowLogo(0.5f);
  EXPECT_FLOAT_EQ(glide_detail::GetState().gamma, 1.0f);
}

TEST_F(EffectsTest, SlopeMapIsHalfTheDiagonalDifference) {
  std::vector<std::uint8_t> h(320 * 200, 100), s(320 * 200, 7);
  h[10 * 320 + 10] = 200;  // a peak at (10, 10)
  BuildSlopeMap(h.data(), s.data());
  EXPECT_EQ(s[10 * 320 + 10], (100 - 200) / 2 + 128);  // 78
  EXPECT_EQ(s[11 * 320 + 11], (200 - 100) / 2 + 128);  // 178
  EXPECT_EQ(s[50 * 320 + 50], 128);
  h[20 * 320 + 20] = 0;
  h[21 * 320 + 21] = 1;
  BuildSlopeMap(h.data(), s.data());
  EXPECT_EQ(s[21 * 320 + 21], 128);  // (0 - 1) / 2 truncates toward zero
  // The border is never written.
  EXPECT_EQ(s[0], 7);
  EXPECT_EQ(s[199 * 320 + 5], 7);
  EXPECT_EQ(s[5 * 320 + 319], 7);
  EXPECT_EQ(s[5 * 320], 7);
}

TEST_F(EffectsTest, FlatReliefShowsTheLightCentreAtTheLightPosition) {
  // Progress 0: T = 0, light at (144, 150); over a flat relief the light map's
  // centre (128, 128) shows at column 144, picture row 145.
  light[128 * 256 + 128] = 200;
  BumpScroller(0.0f);
  EXPECT_EQ(work[145 * 320 + 144], 200);
  EXPECT_EQ(std::count(work.begin(), work.end(), 200), 1);
  // Picture row r lands on buffer rows 440 - 2r and 441 - 2r, columns 2x, 2x + 1.
  const std::uint16_t k = bumpColors[200];
  EXPECT_EQ(BackPixel(288, 440 - 290), k);
  EXPECT_EQ(BackPixel(289, 441 - 290), k);
  EXPECT_EQ(BackPixel(287, 440 - 290), bumpColors[0]);
  // Outside rows 42 to 441 the cleared black stays.
  light.assign(light.size(), 255);
  ClearBuffer();
  BumpScroller(0.0f);
  EXPECT_EQ(BackPixel(100, 41), 0);
  EXPECT_EQ(BackPixel(100, 442), 0);
}

TEST_F(EffectsTest, TextOverlayFollowsTheScroll) {
  // Text row i holds the value i & 0x7F + 1 (never transparent) in column 3.
  for (int row = 0; row < 1024; ++row) text[static_cast<std::size_t>(row * 320 + 3)] = static_cast<std::uint8_t>((row & 0x7F) + 1);
  background.assign(background.size(), 0x55);
  // The lit picture replaces bumpWork, so the composite is observed through the
  // slope map: a text column over a flat background makes slopes in column 4.
  // scroll 200 (T = 12.5): text rows 0..199 fill the picture.
  BumpScroller(12.5f / 75.0f);
  EXPECT_EQ(slope[50 * 320 + 6], 128);
  EXPECT_EQ(slope[50 * 320 + 4], (((49 & 0x7F) + 1) - 0x55) / 2 + 128);  // text above-left
  EXPECT_EQ(slope[50 * 320 + 3], (0x55 - ((50 & 0x7F) + 1)) / 2 + 128);
  // scroll 1100: only text rows 900..1023 over picture rows 0..123.
  BumpScroller(1100.0f / 16.0f / 75.0f);
  const int at10 = (900 + 10) & 0x7F;
  EXPECT_EQ(slope[10 * 320 + 3], (0x55 - (at10 + 1)) / 2 + 128);
  EXPECT_EQ(slope[150 * 320 + 3], 128);  // below the text: background only
}

TEST_F(EffectsTest, SkipsDrawingWhenTheLockFails) {
  DeviceClose();
  int stride = 0;
  ASSERT_EQ(LockBackBuffer(&stride), nullptr);
  fadeLevel = 51;
  ShowLogo(0.0f);  // the fade is still set; nothing is written
  EXPECT_FLOAT_EQ(glide_detail::GetState().gamma, 0.2f);
  BumpScroller(0.3f);
  EXPECT_EQ(std::count(work.begin(), work.end(), 0), static_cast<long>(work.size()));
}

// The two segments at moments of the timeline (15.5 s: logo, half faded in;
// 190 s: scroller, 30 s into its 58), saved as effects_logo.png and
// effects_scroller.png for a person to look at.
TEST_F(EffectsTest, SegmentsAtTimelineMomentsLandOnTheRightRows) {
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const bool ring = std::abs(std::hypot(x - 320.0, y - 240.0) - 150.0) < 20.0;
      logo[static_cast<std::size_t>(y * 640 + x)] = static_cast<std::uint8_t>(ring ? 255 : (y * 255) / 479);
    }
  for (int i = 0; i < 256; ++i) logoColors[i] = static_cast<std::uint16_t>((i >> 3) << 11 | (i >> 3) << 5);
  fadeLevel = static_cast<int>(0.5 * 255.0);
  ClearBuffer();
  ShowLogo(0.5f / 5.0f);
  // Picture row 0 (value 0) at buffer row 479, picture row 479 (value 255) at row 0.
  EXPECT_EQ(BackPixel(5, 479), logoColors[0]);
  EXPECT_EQ(BackPixel(5, 0), logoColors[255]);
  SwapBuffers(0);
  EXPECT_TRUE(GlideSaveShownFramePng("effects_logo.png"));

  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 320; ++x)
      background[static_cast<std::size_t>(y * 320 + x)] =
          static_cast<std::uint8_t>(64 + 40 * std::sin(x * 0.11) * std::cos(y * 0.07));
  // Text: bars of letters-like blocks every 40 rows.
  for (int row = 0; row < 1024; ++row)
    for (int x = 20; x < 300; ++x)
      if ((row % 40) < 24 && ((x / 12) % 3) != 2 && ((row / 6 + x / 4) % 5) != 0)
        text[static_cast<std::size_t>(row * 320 + x)] = 200;
  for (int v = 0; v < 256; ++v)
    for (int u = 0; u < 256; ++u) {
      const double d = std::hypot(u - 128.0, v - 128.0);
      light[static_cast<std::size_t>(v * 256 + u)] = static_cast<std::uint8_t>(std::max(0.0, 255.0 - d * 2.2));
    }
  fadeLevel = 255;
  ClearBuffer();
  const float progress = 30.0f / 58.0f;
  BumpScroller(progress);
  // The lit picture occupies rows 42 to 441 only; rows 0-4 of it stay black
  // (buffer rows 432 to 441).
  EXPECT_EQ(BackPixel(320, 441), bumpColors[0]);
  EXPECT_EQ(BackPixel(320, 41), 0);
  int lit = 0;
  for (int y = 42; y < 432; y += 3) lit += BackPixel(320, y) != bumpColors[0];
  EXPECT_GT(lit, 10);
  SwapBuffers(0);
  EXPECT_TRUE(GlideSaveShownFramePng("effects_scroller.png"));
}
