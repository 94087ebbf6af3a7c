// The capture's output names: the same file is found through links, a name is
// checked before any work, temporary names stay in the output's folder, and the
// PNG fallback leaves nothing when it is discarded.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "content.h"
#include "tools/common/samefile.h"
#include "tools/democapture/output_file.h"
#include "tools/democapture/png_sink.h"

using testcontent::TempDir;
using toolio::SameFile;

namespace {

class OutputFile : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir.Write("demo.dat", {1, 2, 3})); }
  TempDir dir;
};

TEST_F(OutputFile, TheSameFileIsFoundThroughLinks) {
  const std::string input = dir.File("demo.dat");
  std::filesystem::create_symlink(input, dir.File("soft.png"));
  std::filesystem::create_hard_link(input, dir.File("hard.png"));
  ASSERT_TRUE(dir.Write("other.png", {1, 2, 3}));
  EXPECT_TRUE(SameFile(input, dir.File("soft.png")));
  EXPECT_TRUE(SameFile(input, dir.File("hard.png")));
  EXPECT_TRUE(SameFile(input, dir.Path() + "/./demo.dat"));
  EXPECT_FALSE(SameFile(input, dir.File("other.png")));  // equal bytes, another file
  EXPECT_FALSE(SameFile(input, dir.File("missing.png")));
}

TEST_F(OutputFile, NamesAreCheckedBeforeAnyWork) {
  const std::vector<std::string> inputs = {dir.File("demo.dat")};
  EXPECT_EQ(CheckWritable(dir.File("new.mp4"), inputs), "");
  EXPECT_NE(CheckWritable(dir.File("demo.dat"), inputs).find("is the input"), std::string::npos);
  EXPECT_NE(CheckWritable(dir.File("no/such/a.mp4"), inputs), "");
  EXPECT_NE(CheckWritable(dir.Path() + "/", inputs).find("names a folder"), std::string::npos);
  std::filesystem::create_directory(dir.File("sub"));
  EXPECT_NE(CheckWritable(dir.File("sub"), inputs).find("is a folder"), std::string::npos);
  EXPECT_NE(CheckWritable(dir.File("demo.dat/a.mp4"), inputs).find("not a folder"), std::string::npos);
  if (geteuid() != 0) {  // root writes anywhere
    chmod(dir.File("sub").c_str(), 0500);
    EXPECT_NE(CheckWritable(dir.File("sub/a.mp4"), inputs), "");
    chmod(dir.File("sub").c_str(), 0700);
  }
}

TEST_F(OutputFile, ExtensionsStemsAndTemporaryNames) {
  EXPECT_EQ(ExtensionOf("/a/b/Clip.MP4"), "mp4");
  EXPECT_EQ(ExtensionOf("/a.d/clip"), "");
  EXPECT_EQ(ExtensionOf("/a/.hidden"), "");
  EXPECT_EQ(StemOf("/a/b/clip.mp4"), "/a/b/clip");
  EXPECT_EQ(StemOf("/a.d/clip"), "/a.d/clip");
  const std::string partial = PartialName("/a/b/clip.mp4");
  EXPECT_EQ(partial.rfind("/a/b/.clip.mp4.partial-", 0), 0u) << partial;
  EXPECT_EQ(PartialName("clip.mp4").rfind("./.clip.mp4.partial-", 0), 0u);
}

CapturedFrame RedFrame(std::int64_t number) {
  CapturedFrame frame;
  frame.number = number;
  frame.width = 4;
  frame.height = 2;
  frame.pixels.assign(8, 0xF800);
  frame.sound.assign(40, 0);  // ten stereo 16-bit sample frames
  return frame;
}

TEST_F(OutputFile, PngFramesArePutInPlaceOnlyWhenComplete) {
  SinkSettings settings;
  settings.output = dir.File("clip.mp4");
  settings.sound = SoundFormat{44100, 2, 16};
  std::string error;
  std::unique_ptr<CaptureSink> sink = CreatePngSink(settings, error);
  ASSERT_NE(sink, nullptr) << error;
  for (int n = 0; n < 3; ++n) ASSERT_EQ(sink->Write(RedFrame(n)), "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("clip_frames")));
  ASSERT_EQ(sink->Finish(), "");
  EXPECT_TRUE(std::filesystem::exists(dir.File("clip_frames/frame_000002.png")));
  EXPECT_EQ(std::filesystem::file_size(dir.File("clip.wav")), 44u + 120u);

  // A folder of frames already there is not mixed into or thrown away.
  EXPECT_EQ(CreatePngSink(settings, error), nullptr);
  EXPECT_NE(error.find("already exists"), std::string::npos) << error;
}

TEST_F(OutputFile, DiscardedPngFramesLeaveNothing) {
  SinkSettings settings;
  settings.output = dir.File("clip.mp4");
  std::string error;
  std::unique_ptr<CaptureSink> sink = CreatePngSink(settings, error);
  ASSERT_NE(sink, nullptr) << error;
  ASSERT_EQ(sink->Write(RedFrame(0)), "");
  sink->Discard();
  sink.reset();
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"demo.dat"});
}

}  // namespace
