// The capture tool as a program: its arguments, single pictures, PNG frames with a
// WAV soundtrack, and a video with its sound in step; the same input gives the
// same output.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "content.h"

using testcontent::Content;
using testcontent::TempDir;

namespace {

struct Outcome {
  int code = -1;
  std::string output;  // standard output and standard error together
};

Outcome Capture(const std::string& arguments) {
  Outcome outcome;
  FILE* pipe = popen(("'" CAPTURE_PROGRAM "' " + arguments + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return outcome;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.output.append(buffer, n);
  int status = pclose(pipe);
  outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

std::vector<std::uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CaptureTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Content::Default().WriteArchive(data.Path()));
    ASSERT_TRUE(data.Write("music.s3m", testcontent::Music()));
  }
  std::string Data() const { return " --data '" + data.Path() + "'"; }
  TempDir data, out;
};

TEST_F(CaptureTest, ArgumentsAreCheckedBeforeAnythingRuns) {
  Outcome help = Capture("--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.output.find("Usage: democapture [OPTIONS] [OUTPUT]"), std::string::npos) << help.output;

  const char* const bad[] = {"",  // no output
                             "-o x.mp4 --fps 0", "-o x.mp4 --fps many", "-o x.mp4 --from 20 --to 10",
                             "-o x.mp4 --from -1", "-o x.png --frame 3 --from 2", "-o x.mp4 --colour red",
                             "-o"};
  for (const char* arguments : bad) {
    SCOPED_TRACE(arguments);
    Outcome outcome = Capture(arguments);
    EXPECT_EQ(outcome.code, 2);
    EXPECT_NE(outcome.output.find("democapture: "), std::string::npos);
    EXPECT_EQ(outcome.output.find("3D engine"), std::string::npos) << "the start-up ran";
  }
}

TEST_F(CaptureTest, CommandLineErrorsSayWhatIsWrong) {
  const struct {
    const char* arguments;
    const char* says;
  } cases[] = {
      {"", "an output file is needed (-o)"},
      {"-o", "--output: 1 required FILE missing"},
      {"-o x.mp4 --fps 1001", "--fps: Value 1001 not in range"},
      {"-o x.mp4 --from -1", "--from: takes a time in seconds, 0 or more, not \"-1\""},
      {"-o x.mp4 --to nan", "--to: takes a time in seconds"},
      {"-o x.mp4 --from 20 --to 10", "--to must lie after --from"},
      {"-o x.png --frame 3 --fps 10", "--frame takes no --fps"},
      {"-o x.png --frame 3 --to 10", "--frame takes no --from or --to"},
      {"-o x.mp4 --frame 3", "--frame writes a PNG picture: name it .png"},
      {"-o a.mp4 b.mp4", "one output only: \"a.mp4\" and \"b.mp4\""},
      {"-o x.mp4 --data ''", "--data: must not be empty"},
      {"-o x.mp4 --colour red", "was not expected: --colour"},
      {"-o x.mp4 --draw-threads 3", "--draw-threads: Value 3 not in range"},
      {"-o x.mp4 --draw-threads 0", "--draw-threads: Value 0 not in range"},
      {"-o x.mp4 --draw-threads two", "--draw-threads"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    Outcome outcome = Capture(c.arguments);
    EXPECT_EQ(outcome.code, 2);
    EXPECT_EQ(outcome.output.rfind("democapture: ", 0), 0u) << outcome.output;
    EXPECT_NE(outcome.output.find(c.says), std::string::npos) << outcome.output;
  }
  Outcome version = Capture("--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.output.rfind("democapture ", 0), 0u) << version.output;
}

TEST_F(CaptureTest, MissingDataIsReportedAsAFailure) {
  Outcome nowhere = Capture("--frame 1 -o '" + out.File("a.png") + "' --data '" + out.File("none") + "'");
  EXPECT_EQ(nowhere.code, 1);
  EXPECT_NE(nowhere.output.find("cannot enter"), std::string::npos);

  Outcome empty = Capture("--frame 1 -o '" + out.File("a.png") + "' --data '" + out.Path() + "'");
  EXPECT_EQ(empty.code, 1);
  EXPECT_NE(empty.output.find("Cannot open file library!"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(out.File("a.png")));

  Outcome late = Capture("--frame 218 -o '" + out.File("a.png") + "'" + Data());
  EXPECT_EQ(late.code, 1);
}

TEST_F(CaptureTest, OnePictureIsTheSameEveryTime) {
  const std::string a = out.File("a.png"), b = out.File("b.png"), logo = out.File("logo.png");
  ASSERT_EQ(Capture("--frame 7.25 -o '" + a + "'" + Data()).code, 0);
  Outcome quiet = Capture("--quiet --frame 7.25 -o '" + b + "'" + Data());
  ASSERT_EQ(quiet.code, 0) << quiet.output;
  EXPECT_EQ(quiet.output.find("wrote"), std::string::npos) << quiet.output;
  ASSERT_EQ(Capture("--frame 17.5 -o '" + logo + "'" + Data()).code, 0);
  std::vector<std::uint8_t> first = Bytes(a);
  ASSERT_GT(first.size(), 8u);
  EXPECT_EQ(first, Bytes(b));
  EXPECT_NE(first, Bytes(logo));
}

TEST_F(CaptureTest, PngFramesAndWavSoundtrackWithoutFfmpeg) {
  const std::string target = out.File("clip.mp4");
  Outcome outcome = Capture("--png --fps 10 --from 14.5 --to 16 -o '" + target + "'" + Data());
  ASSERT_EQ(outcome.code, 0) << outcome.output;
  // Frames at 14.5, 14.6, ... 15.9 s.
  for (int i = 0; i < 15; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "clip_frames/frame_%06d.png", i);
    EXPECT_TRUE(std::filesystem::exists(out.File(name))) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(out.File("clip_frames/frame_000015.png")));
  // The intro at 14.5 s is at half brightness; the logo at 15.0 s starts black.
  EXPECT_NE(Bytes(out.File("clip_frames/frame_000000.png")), Bytes(out.File("clip_frames/frame_000005.png")));

  // 1.5 s of 44.1 kHz stereo 16-bit, and not all silence: the music plays.
  std::vector<std::uint8_t> wav = Bytes(out.File("clip.wav"));
  ASSERT_EQ(wav.size(), 44u + 66150u * 4u);
  EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
  bool sound = false;
  for (std::size_t i = 44; i + 1 < wav.size() && !sound; i += 2) {
    const int sample = static_cast<std::int16_t>(wav[i] | wav[i + 1] << 8);
    sound = sample > 256 || sample < -256;
  }
  EXPECT_TRUE(sound);

  // The same stretch again gives the same soundtrack.
  const std::string again = out.File("again.mp4");
  ASSERT_EQ(Capture("--png --fps 10 --from 14.5 --to 16 -o '" + again + "'" + Data()).code, 0);
  EXPECT_EQ(Bytes(out.File("again.wav")), wav);
}

// The worker thread of the accelerator shares the rows of a frame; one thread or
// two, every frame comes out the same, byte for byte.
TEST_F(CaptureTest, OneOrTwoDrawingThreadsDrawTheSameFrames) {
  // 15.5 s onwards: the logo, textured and blended, over many rows.
  for (const char* threads : {"1", "2"}) {
    const std::string target = out.File(std::string("t") + threads + ".mp4");
    Outcome outcome = Capture(std::string("--png --no-audio --fps 10 --from 15.5 --to 16 --draw-threads ") + threads +
                              " -o '" + target + "'" + Data());
    ASSERT_EQ(outcome.code, 0) << outcome.output;
  }
  for (int i = 0; i < 5; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "_frames/frame_%06d.png", i);
    SCOPED_TRACE(name);
    const std::vector<std::uint8_t> one = Bytes(out.File(std::string("t1") + name));
    ASSERT_GT(one.size(), 8u);
    EXPECT_EQ(one, Bytes(out.File(std::string("t2") + name)));
  }
  // The logo fades in: the frames compared are not all one picture.
  EXPECT_NE(Bytes(out.File("t1_frames/frame_000000.png")), Bytes(out.File("t1_frames/frame_000004.png")));
}

std::string Probe(const std::string& entries, const std::string& file) {
  FILE* probe = popen(("ffprobe -v error -show_entries " + entries + " -of csv=p=0 '" + file + "'").c_str(), "r");
  if (probe == nullptr) return "";
  char line[256];
  std::string text;
  while (std::fgets(line, sizeof line, probe)) text += line;
  pclose(probe);
  return text;
}

TEST_F(CaptureTest, VideoWithSoundInStep) {
  if (std::system("command -v ffprobe >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffprobe is not installed";
  const std::string target = out.File("clip.mp4");
  Outcome outcome = Capture("--fps 30 --from 15 --to 17 -o '" + target + "'" + Data());
  ASSERT_EQ(outcome.code, 0) << outcome.output;
  EXPECT_NE(outcome.output.find("60 frames"), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("with sound"), std::string::npos) << outcome.output;
  // Nothing left behind but the video.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(out.Path())) names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"clip.mp4"});
  const std::string streams = Probe("stream=codec_type,nb_frames", target);
  EXPECT_NE(streams.find("video,60"), std::string::npos) << streams;
  EXPECT_NE(streams.find("audio"), std::string::npos) << streams;

  // Picture and sound start together and last the same two seconds.
  const std::string timing = Probe("stream=codec_name,start_time,duration", target);
  double videoStart = -1, videoLength = -1, audioStart = -1, audioLength = -1;
  ASSERT_EQ(std::sscanf(timing.c_str(), "h264,%lf,%lf\naac,%lf,%lf", &videoStart, &videoLength, &audioStart,
                        &audioLength), 4) << timing;
  EXPECT_NEAR(videoStart, 0.0, 0.001);
  EXPECT_NEAR(audioStart, 0.0, 0.001);
  EXPECT_NEAR(videoLength, 2.0, 0.04);
  EXPECT_NEAR(audioLength, 2.0, 0.03);
}

}  // namespace
