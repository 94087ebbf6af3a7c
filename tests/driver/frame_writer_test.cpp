// The capture tool's frame writer: frames reach the sink converted, complete
// and in order whatever the number of slots, and the first failure stops it.
#include "tools/democapture/frame_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

constexpr int width = 5, height = 3, stride = 8;

// A frame whose bottom-left pixel carries the frame number in its blue and
// green bits and whose other pixels are pure red.
std::vector<std::uint16_t> Frame(int number) {
  std::vector<std::uint16_t> pixels(static_cast<std::size_t>(stride) * height, 0xF800);
  pixels[0] = static_cast<std::uint16_t>(((number >> 5) & 63) << 5 | (number & 31));
  return pixels;
}

struct Received {
  std::int64_t number;
  std::vector<std::uint8_t> rgb;
};

TEST(FrameWriter, FramesArriveConvertedCompleteAndInOrder) {
  for (int slots : {1, 3}) {
    std::vector<Received> received;
    FrameWriter writer(
        [&](std::int64_t number, const std::vector<std::uint8_t>& rgb, int w, int h) {
          EXPECT_EQ(w, width);
          EXPECT_EQ(h, height);
          if (number % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          received.push_back({number, rgb});
          return std::string();
        },
        slots);
    const int frames = 200;
    for (int n = 0; n < frames; ++n) {
      std::vector<std::uint16_t> pixels = Frame(n);
      ASSERT_TRUE(writer.Submit(pixels.data(), stride, width, height, 1.0f));
      pixels.assign(pixels.size(), 0);  // the writer keeps its own copy
    }
    EXPECT_EQ(writer.Finish(), "");
    ASSERT_EQ(received.size(), static_cast<std::size_t>(frames)) << slots << " slots";
    for (int n = 0; n < frames; ++n) {
      const Received& r = received[static_cast<std::size_t>(n)];
      ASSERT_EQ(r.number, n);
      ASSERT_EQ(r.rgb.size(), static_cast<std::size_t>(width * height * 3));
      // Top row first: the marked pixel is the first of the last row.
      const std::uint8_t* marked = &r.rgb[static_cast<std::size_t>((height - 1) * width * 3)];
      const int green = (n >> 5) & 63, blue = n & 31;
      EXPECT_EQ(marked[0], 0);
      EXPECT_EQ(marked[1], (green * 255 + 31) / 63);
      EXPECT_EQ(marked[2], (blue * 255 + 15) / 31);
      EXPECT_EQ(r.rgb[0], 255);  // red elsewhere
      EXPECT_EQ(r.rgb[1], 0);
    }
  }
}

TEST(FrameWriter, GammaOfEachFrameIsApplied) {
  std::vector<std::uint8_t> last;
  FrameWriter writer([&](std::int64_t, const std::vector<std::uint8_t>& rgb, int, int) {
    last = rgb;
    return std::string();
  });
  std::vector<std::uint16_t> pixels(static_cast<std::size_t>(stride) * height, 0x8410);  // mid grey
  ASSERT_TRUE(writer.Submit(pixels.data(), stride, width, height, 2.0f));
  EXPECT_EQ(writer.Finish(), "");
  ASSERT_FALSE(last.empty());
  // 16/31 and 32/63 raised to 1/2.
  EXPECT_EQ(last[0], 183);
  EXPECT_EQ(last[1], 182);
}

TEST(FrameWriter, FirstFailureStopsTheWriterAndIsReported) {
  int calls = 0;
  FrameWriter writer([&](std::int64_t number, const std::vector<std::uint8_t>&, int, int) {
    ++calls;
    return number == 3 ? std::string("disk full at 3") : std::string();
  });
  std::vector<std::uint16_t> pixels = Frame(0);
  int accepted = 0;
  for (int n = 0; n < 1000 && writer.Submit(pixels.data(), stride, width, height, 1.0f); ++n) ++accepted;
  EXPECT_LT(accepted, 1000);  // submitting fails soon after the sink did
  EXPECT_EQ(writer.Finish(), "disk full at 3");
  EXPECT_EQ(calls, 4);  // nothing reaches the sink after its failure
  EXPECT_FALSE(writer.Submit(pixels.data(), stride, width, height, 1.0f));
}

}  // namespace
