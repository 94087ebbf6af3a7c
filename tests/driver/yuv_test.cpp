// The vector paths of the YUV conversion (AVX2 with SSSE3 for what is left of a
// row, and SSSE3 alone) give the scalar path's bytes exactly, for any picture
// size, stride and gamma.

#include <gtest/gtest.h>

#include <random>

#include "tools/democapture/yuv.h"
#include "tools/democapture/yuv_avx2.h"
#include "tools/democapture/yuv_ssse3.h"

namespace {

TEST(YuvVectorPath, AgreesWithTheScalarPath) {
  if (!yuvssse3::Available()) GTEST_SKIP() << "no vector path on this processor";
  struct Size {
    int width, height, stride;
  };
  // Widths below, at and between the 16 and 32 columns the vector paths take.
  const Size sizes[] = {{16, 2, 16}, {17, 3, 20}, {31, 4, 32}, {33, 5, 40}, {48, 1, 48},
                        {50, 4, 64}, {64, 2, 64}, {95, 6, 96}, {640, 480, 1024}};
  const float gammas[] = {1.0f, 0.0f, 0.37f, 1.7f, 2.2f};
  std::mt19937 random(1234);
  for (const Size& size : sizes) {
    std::vector<std::uint16_t> frame(static_cast<std::size_t>(size.stride) * size.height);
    for (std::uint16_t& pixel : frame) pixel = static_cast<std::uint16_t>(random());
    // Pure extremes in one corner: black, white and each primary at full strength.
    const std::uint16_t extremes[] = {0x0000, 0xFFFF, 0xF800, 0x07E0, 0x001F, 0xFFFF, 0x0000, 0xFFFF};
    for (int i = 0; i < 8 && i < size.width; ++i) frame[static_cast<std::size_t>(i)] = extremes[i];
    for (float gamma : gammas) {
      YuvConverter scalar(YuvConverter::Path::scalar);
      std::vector<std::uint8_t> reference;
      scalar.Convert(frame.data(), size.stride, size.width, size.height, gamma, reference);
      for (YuvConverter::Path path : {YuvConverter::Path::best, YuvConverter::Path::ssse3}) {
        SCOPED_TRACE(testing::Message() << size.width << " x " << size.height << " gamma " << gamma << " path "
                                        << (path == YuvConverter::Path::best ? "best" : "ssse3"));
        YuvConverter vector(path);
        std::vector<std::uint8_t> fast;
        vector.Convert(frame.data(), size.stride, size.width, size.height, gamma, fast);
        ASSERT_EQ(fast.size(), reference.size());
        for (std::size_t i = 0; i < fast.size(); ++i) ASSERT_EQ(fast[i], reference[i]) << "byte " << i;
      }
    }
  }
}

TEST(YuvVectorPath, OneConverterFollowsEveryChangeOfGamma) {
  // As in a fade: the gamma changes from frame to frame, on a width the vector
  // paths leave columns of, and some frames are wholly theirs.
  std::vector<std::uint16_t> frame(static_cast<std::size_t>(64) * 4);
  std::mt19937 random(99);
  for (std::uint16_t& pixel : frame) pixel = static_cast<std::uint16_t>(random());
  for (YuvConverter::Path path : {YuvConverter::Path::best, YuvConverter::Path::ssse3, YuvConverter::Path::scalar}) {
    YuvConverter running(path);
    for (float gamma : {1.0f, 1.0f, 0.5f, 1.3f, 1.3f, 2.0f, 0.5f}) {
      for (int width : {64, 37}) {
        SCOPED_TRACE(testing::Message() << "gamma " << gamma << " width " << width);
        std::vector<std::uint8_t> got, fresh;
        running.Convert(frame.data(), 64, width, 4, gamma, got);
        YuvConverter(YuvConverter::Path::scalar).Convert(frame.data(), 64, width, 4, gamma, fresh);
        ASSERT_EQ(got, fresh);
      }
    }
  }
}

TEST(YuvVectorPath, TheWidePathRunsWhereTheProcessorHasIt) {
  // Without AVX2 the agreement above proves only the SSSE3 path.
  if (!yuvavx2::Available()) GTEST_SKIP() << "no AVX2 on this processor";
  std::vector<std::uint16_t> top(32, 0xFFFF), bottom(32, 0x0000);
  std::uint8_t five[32], six[64];
  for (int i = 0; i < 32; ++i) five[i] = static_cast<std::uint8_t>(i * 255 / 31);
  for (int i = 0; i < 64; ++i) six[i] = static_cast<std::uint8_t>(i * 255 / 63);
  std::uint8_t lumaTop[32], lumaBottom[32], blue[16], red[16];
  EXPECT_EQ(yuvavx2::ConvertRowPair(top.data(), bottom.data(), 47, five, six, lumaTop, lumaBottom, blue, red), 32);
  EXPECT_EQ(lumaTop[31], 235);
  EXPECT_EQ(lumaBottom[0], 16);
  EXPECT_EQ(blue[15], 128);
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
