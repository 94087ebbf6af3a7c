// The vector path of the YUV conversion gives the scalar path's bytes exactly,
// for any picture size, stride and gamma.

#include <gtest/gtest.h>

#include <random>

#include "tools/democapture/yuv.h"
#include "tools/democapture/yuv_ssse3.h"

namespace {

TEST(YuvVectorPath, AgreesWithTheScalarPath) {
  if (!yuvssse3::Available()) GTEST_SKIP() << "no vector path on this processor";
  struct Size {
    int width, height, stride;
  };
  const Size sizes[] = {{16, 2, 16}, {17, 3, 20}, {31, 4, 32}, {33, 5, 40}, {48, 1, 48}, {640, 480, 1024}};
  const float gammas[] = {1.0f, 0.0f, 0.37f, 1.7f, 2.2f};
  std::mt19937 random(1234);
  for (const Size& size : sizes) {
    std::vector<std::uint16_t> frame(static_cast<std::size_t>(size.stride) * size.height);
    for (std::uint16_t& pixel : frame) pixel = static_cast<std::uint16_t>(random());
    // Pure extremes in one corner: black, white and each primary at full strength.
    const std::uint16_t extremes[] = {0x0000, 0xFFFF, 0xF800, 0x07E0, 0x001F, 0xFFFF, 0x0000, 0xFFFF};
    for (int i = 0; i < 8 && i < size.width; ++i) frame[static_cast<std::size_t>(i)] = extremes[i];
    for (float gamma : gammas) {
      SCOPED_TRACE(testing::Message() << size.width << " x " << size.height << " gamma " << gamma);
      YuvConverter vector(YuvConverter::Path::best), scalar(YuvConverter::Path::scalar);
      std::vector<std::uint8_t> fast, reference;
      vector.Convert(frame.data(), size.stride, size.width, size.height, gamma, fast);
      scalar.Convert(frame.data(), size.stride, size.width, size.height, gamma, reference);
      ASSERT_EQ(fast.size(), reference.size());
      for (std::size_t i = 0; i < fast.size(); ++i) ASSERT_EQ(fast[i], reference[i]) << "byte " << i;
    }
  }
}

TEST(YuvVectorPath, PlanesWithStridesOfTheirOwn) {
  // The encoder's pictures have padded rows; nothing beyond each row is touched.
  const int width = 32, height = 4;
  std::vector<std::uint16_t> frame(static_cast<std::size_t>(width) * height, 0xFFFF);
  std::vector<std::uint8_t> luma(64 * height, 7), blue(32 * height / 2, 7), red(32 * height / 2, 7);
  YuvConverter converter;
  converter.Convert(frame.data(), width, width, height, 1.0f,
                    YuvPlanes{luma.data(), 64, blue.data(), 32, red.data(), 32});
  for (int y = 0; y < height; ++y) {
    EXPECT_EQ(luma[static_cast<std::size_t>(y * 64)], 235);
    EXPECT_EQ(luma[static_cast<std::size_t>(y * 64 + width - 1)], 235);
    EXPECT_EQ(luma[static_cast<std::size_t>(y * 64 + width)], 7);
  }
  EXPECT_EQ(blue[15], 128);
  EXPECT_EQ(blue[16], 7);
  EXPECT_EQ(red[32 + 15], 128);
  EXPECT_EQ(red[32 + 16], 7);
}

}  // namespace
