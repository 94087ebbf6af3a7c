// The capture tool's frame writer: frames reach the sink complete and in order
// whatever the number of slots, a sink of its own fills the slots on the
// drawing thread, and the first failure stops it; and the conversion of frames
// for the video encoder.
#include "tools/democapture/frame_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "tools/democapture/yuv.h"

namespace {

constexpr int width = 5, height = 3, stride = 8;

// A frame whose bottom-left pixel carries the frame number and whose other
// pixels are pure red.
std::vector<std::uint16_t> Frame(int number) {
  std::vector<std::uint16_t> pixels(static_cast<std::size_t>(stride) * height, 0xF800);
  pixels[0] = static_cast<std::uint16_t>(number);
  return pixels;
}

TEST(FrameWriter, FramesArriveCompleteAndInOrder) {
  for (int slots : {1, 3, FrameWriter::defaultSlots}) {
    std::vector<CapturedFrame> received;
    FrameWriter writer(
        [&](const CapturedFrame& frame) {
          if (frame.number % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          received.push_back(frame);
          return std::string();
        },
        slots);
    const int frames = 200;
    for (int n = 0; n < frames; ++n) {
      std::vector<std::uint16_t> pixels = Frame(n);
      ASSERT_TRUE(writer.Submit(pixels.data(), stride, width, height, 1.0f + n));
      pixels.assign(pixels.size(), 0);  // the writer keeps its own copy
    }
    EXPECT_EQ(writer.Finish(), "");
    ASSERT_EQ(received.size(), static_cast<std::size_t>(frames)) << slots << " slots";
    for (int n = 0; n < frames; ++n) {
      const CapturedFrame& f = received[static_cast<std::size_t>(n)];
      ASSERT_EQ(f.number, n);
      ASSERT_EQ(f.width, width);
      ASSERT_EQ(f.height, height);
      EXPECT_EQ(f.gamma, 1.0f + n);
      // Rows come packed, without the stride's gap.
      ASSERT_EQ(f.pixels.size(), static_cast<std::size_t>(width * height));
      EXPECT_EQ(f.pixels[0], n);
      EXPECT_EQ(f.pixels[width], 0xF800);
    }
  }
}

// While the encoder is held up, the drawing side runs ahead by the whole queue
// and only then waits; letting the encoder go frees it again.
TEST(FrameWriter, DrawingRunsAheadByTheWholeQueue) {
  std::mutex mutex;
  std::condition_variable released;
  bool held = true;
  FrameWriter writer([&](const CapturedFrame&) {
    std::unique_lock lock(mutex);
    released.wait(lock, [&] { return !held; });
    return std::string();
  });
  const std::vector<std::uint16_t> pixels = Frame(0);
  auto submit = [&](int frames) {
    return std::async(std::launch::async, [&, frames] {
      for (int n = 0; n < frames; ++n)
        if (!writer.Submit(pixels.data(), stride, width, height, 1.0f)) return false;
      return true;
    });
  };
  auto ahead = submit(FrameWriter::defaultSlots);
  const bool ranAhead = ahead.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  auto beyond = submit(1);
  const bool waited = beyond.wait_for(std::chrono::milliseconds(50)) == std::future_status::timeout;
  {
    std::lock_guard lock(mutex);
    held = false;
  }
  released.notify_all();
  EXPECT_TRUE(ranAhead) << "the queue filled early";
  EXPECT_TRUE(waited) << "a frame beyond the queue did not wait";
  EXPECT_TRUE(ahead.get());
  EXPECT_TRUE(beyond.get());
  EXPECT_EQ(writer.Finish(), "");
}

TEST(FrameWriter, AGivenTakeFillsTheSlotsOnTheDrawingThread) {
  std::vector<CapturedFrame> received;
  std::vector<std::thread::id> takers;
  FrameWriter writer(
      [&](const CapturedFrame& frame) {
        received.push_back(frame);
        return std::string();
      },
      2,
      [&](const ShownFrame& shown, CapturedFrame& slot) {
        takers.push_back(std::this_thread::get_id());
        EXPECT_EQ(shown.stride, stride);
        slot.yuv.assign(1, static_cast<std::uint8_t>(shown.pixels[0]));
      });
  for (int n = 0; n < 10; ++n) {
    std::vector<std::uint16_t> pixels = Frame(n);
    ASSERT_TRUE(writer.Submit(pixels.data(), stride, width, height, 1.0f));
    pixels.assign(pixels.size(), 0);  // taken before Submit returned
  }
  EXPECT_EQ(writer.Finish(), "");
  ASSERT_EQ(received.size(), 10u);
  for (std::size_t n = 0; n < received.size(); ++n) {
    EXPECT_EQ(received[n].yuv, std::vector<std::uint8_t>{static_cast<std::uint8_t>(n)});
    EXPECT_TRUE(received[n].pixels.empty());  // no copy of the rows besides
    EXPECT_EQ(takers[n], std::this_thread::get_id());
  }
}

TEST(FrameWriter, FirstFailureStopsTheWriterAndIsReported) {
  int calls = 0;
  FrameWriter writer([&](const CapturedFrame& frame) {
    ++calls;
    return frame.number == 3 ? std::string("disk full at 3") : std::string();
  });
  std::vector<std::uint16_t> pixels = Frame(0);
  int accepted = 0;
  for (int n = 0; n < 1000 && writer.Submit(pixels.data(), stride, width, height, 1.0f); ++n) ++accepted;
  EXPECT_LT(accepted, 1000);  // submitting fails soon after the sink did
  EXPECT_EQ(writer.Finish(), "disk full at 3");
  EXPECT_EQ(calls, 4);  // nothing reaches the sink after its failure
  EXPECT_FALSE(writer.Submit(pixels.data(), stride, width, height, 1.0f));
}

TEST(YuvConverter, PrimariesGreyAndBlackInLimitedRange) {
  // 2 x 2 blocks of one colour each: red, green, blue, white, black, and a grey.
  const std::uint16_t colours[6] = {0xF800, 0x07E0, 0x001F, 0xFFFF, 0x0000, 0x8410};
  const int w = 12, h = 2;
  std::vector<std::uint16_t> frame(static_cast<std::size_t>(w) * h);
  for (int x = 0; x < w; ++x) frame[x] = frame[w + x] = colours[x / 2];
  YuvConverter converter;
  std::vector<std::uint8_t> yuv;
  converter.Convert(frame.data(), w, w, h, 1.0f, yuv);
  ASSERT_EQ(yuv.size(), static_cast<std::size_t>(w * h + 2 * 6));
  const std::uint8_t* u = yuv.data() + w * h;
  const std::uint8_t* v = u + 6;
  // Studio levels: black 16, white 235, neutral chroma 128.
  const int expectY[6] = {82, 144, 41, 235, 16, 128};
  const int expectU[6] = {90, 54, 240, 128, 128, 129};
  const int expectV[6] = {240, 34, 110, 128, 128, 129};  // grey: green rounds a little higher
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(yuv[static_cast<std::size_t>(2 * i)], expectY[i]) << "colour " << i;
    EXPECT_EQ(yuv[static_cast<std::size_t>(w + 2 * i + 1)], expectY[i]) << "colour " << i;
    EXPECT_EQ(u[i], expectU[i]) << "colour " << i;
    EXPECT_EQ(v[i], expectV[i]) << "colour " << i;
  }
}

TEST(YuvConverter, TopRowFirstGammaAndOddSizes) {
  // 3 x 3, bottom row white, the rest black; stride wider than the picture.
  const int w = 3, h = 3, s = 4;
  std::vector<std::uint16_t> frame(static_cast<std::size_t>(s) * h, 0);
  for (int x = 0; x < w; ++x) frame[x] = 0xFFFF;
  frame[3] = 0x1234;  // outside the picture
  YuvConverter converter;
  std::vector<std::uint8_t> yuv;
  converter.Convert(frame.data(), s, w, h, 1.0f, yuv);
  ASSERT_EQ(yuv.size(), static_cast<std::size_t>(9 + 2 * 4));
  for (int x = 0; x < w; ++x) {
    EXPECT_EQ(yuv[x], 16);           // top row: black
    EXPECT_EQ(yuv[6 + x], 235);      // bottom row: white
  }
  // The bottom-right chroma block holds one white pixel only.
  EXPECT_EQ(yuv[9 + 3], 128);
  // A gamma of 0 shows black; the table follows each frame's gamma.
  converter.Convert(frame.data(), s, w, h, 0.0f, yuv);
  EXPECT_EQ(yuv[6], 16);
  converter.Convert(frame.data(), s, w, h, 1.0f, yuv);
  EXPECT_EQ(yuv[6], 235);
}

}  // namespace
