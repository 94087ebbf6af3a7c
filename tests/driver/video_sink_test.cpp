// The video sink fed as a capture feeds it: frames converted on the drawing
// side and lent to the encoder make a complete file, and a picture of another
// size than the video's is refused rather than read past.

#include <gtest/gtest.h>

#include <filesystem>

#include "content.h"
#include "tools/democapture/video_sink.h"

using testcontent::TempDir;

namespace {

class VideoSinkTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!VideoEncodingAvailable()) GTEST_SKIP() << "built without an H.264 encoder";
    settings.output = dir.File("clip.mp4");
    settings.width = 64;
    settings.height = 48;
  }

  // A grey frame with a bright square that moves with the frame number.
  CapturedFrame Taken(CaptureSink& sink, int number, int width, int height) {
    std::vector<std::uint16_t> pixels(static_cast<std::size_t>(width + 8) * height, 0x8410);
    for (int y = 0; y < 8 && y < height; ++y) {
      for (int x = 0; x < 8; ++x) pixels[static_cast<std::size_t>(y * (width + 8) + (number + x) % width)] = 0xFFFF;
    }
    CapturedFrame slot;
    sink.Take(ShownFrame{pixels.data(), width + 8, width, height, 1.0f}, slot);
    slot.number = number;
    slot.width = width;
    slot.height = height;
    return slot;
  }

  TempDir dir;
  SinkSettings settings;
};

TEST_F(VideoSinkTest, FramesTakenAsYuvMakeACompleteFile) {
  std::string error;
  std::unique_ptr<CaptureSink> sink = CreateVideoSink(settings, error);
  ASSERT_NE(sink, nullptr) << error;
  for (int n = 0; n < 30; ++n) {
    CapturedFrame frame = Taken(*sink, n, 64, 48);
    EXPECT_EQ(frame.yuv.size(), 64u * 48u * 3u / 2u);
    EXPECT_TRUE(frame.pixels.empty());
    ASSERT_EQ(sink->Write(frame), "");
    frame.yuv.assign(frame.yuv.size(), 0);  // the encoder has its own copy by now
  }
  ASSERT_EQ(sink->Finish(), "");
  EXPECT_GT(std::filesystem::file_size(dir.File("clip.mp4")), 0u);
}

TEST_F(VideoSinkTest, APictureOfAnotherSizeIsRefused) {
  std::string error;
  std::unique_ptr<CaptureSink> sink = CreateVideoSink(settings, error);
  ASSERT_NE(sink, nullptr) << error;
  CapturedFrame small = Taken(*sink, 0, 32, 48);
  EXPECT_NE(sink->Write(small).find("another size"), std::string::npos);
  CapturedFrame cut = Taken(*sink, 0, 64, 48);
  cut.yuv.resize(cut.yuv.size() - 1);
  EXPECT_NE(sink->Write(cut).find("another size"), std::string::npos);
  sink->Discard();
  EXPECT_FALSE(std::filesystem::exists(dir.File("clip.mp4")));
}

}  // namespace
