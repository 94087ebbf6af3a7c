// The capture tool on odd use: outputs that would destroy an input, names it
// cannot write, conflicting options, a capture stopped by a signal, and music
// that does not load. Nothing the user has is lost, nothing is left half-written,
// and every refusal comes before the first frame.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "content.h"
#include "run_program.h"

using testcontent::Content;
using testcontent::TempDir;
using testprogram::Outcome;

namespace {

Outcome Capture(const std::string& arguments) { return testprogram::Run(CAPTURE_PROGRAM, arguments); }

std::vector<std::uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The start-up prints the accelerator's banner; a refusal must come before it.
bool StartUpRan(const Outcome& outcome) { return outcome.output.find("3D engine") != std::string::npos; }

class CaptureOutputTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Content::Default().WriteArchive(data.Path()));
    ASSERT_TRUE(data.Write("music.s3m", testcontent::Music()));
    archive = Bytes(data.File("demo.dat"));
  }
  std::string Data() const { return " --data '" + data.Path() + "'"; }
  TempDir data, out;
  std::vector<std::uint8_t> archive;
};

TEST_F(CaptureOutputTest, AnOutputThatIsAnInputIsRefused) {
  std::filesystem::create_symlink(data.File("demo.dat"), out.File("link.png"));
  const std::string targets[] = {data.File("demo.dat"), out.File("link.png"), data.File("music.s3m")};
  for (const std::string& target : targets) {
    SCOPED_TRACE(target);
    for (const char* mode : {"--frame 5", "--png", ""}) {
      Outcome outcome = Capture(std::string(mode) + " -o '" + target + "'" + Data());
      EXPECT_NE(outcome.code, 0) << outcome.output;
      // A picture must be named .png anyway; every other case is refused as the input.
      if (std::string(mode) != "--frame 5" || target.ends_with(".png")) {
        EXPECT_NE(outcome.output.find("is the input"), std::string::npos) << outcome.output;
      }
      EXPECT_FALSE(StartUpRan(outcome));
    }
  }
  EXPECT_EQ(Bytes(data.File("demo.dat")), archive);
  EXPECT_TRUE(std::filesystem::is_symlink(out.File("link.png")));
  EXPECT_GT(Bytes(data.File("music.s3m")).size(), 100u);
}

TEST_F(CaptureOutputTest, NamesThatCannotBeWrittenAreRefusedBeforeTheFirstFrame) {
  const struct {
    std::string arguments, says;
  } cases[] = {
      {"-o '" + out.File("myvideo") + "'", "give it an extension"},
      {"-o '" + out.File("clip.wav") + "'", "cannot hold H.264"},
      {"-o /no/such/dir/a.mp4", "cannot write /no/such/dir/a.mp4"},
      {"-o '" + out.Path() + "/'", "names a folder"},
      {"--frame 3 -o /no/such/dir/a.png", "cannot write"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    Outcome outcome = Capture(c.arguments + Data());
    EXPECT_EQ(outcome.code, 1) << outcome.output;
    EXPECT_NE(outcome.output.find(c.says), std::string::npos) << outcome.output;
    EXPECT_FALSE(StartUpRan(outcome)) << outcome.output;
  }
  EXPECT_TRUE(Names(out.Path()).empty());
}

TEST_F(CaptureOutputTest, ConflictingOptionsAreRefused) {
  const struct {
    const char* arguments;
    const char* says;
  } cases[] = {
      {"--frame 3 --fps 30 -o a.png", "--frame takes no --fps"},
      {"--frame 3 -o a.jpg", "name it .png"},
      {"-o ''", "an output file is needed"},
      {"-o a.mp4 b.mp4", "one output only"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    Outcome outcome = Capture(c.arguments);
    EXPECT_EQ(outcome.code, 2);
    EXPECT_NE(outcome.output.find(c.says), std::string::npos) << outcome.output;
  }
}

TEST_F(CaptureOutputTest, DoubleDashEndsTheOptions) {
  // A file whose name starts with a dash is written once the options are ended.
  const std::string cwd = std::filesystem::current_path();
  std::filesystem::current_path(out.Path());
  Outcome outcome = Capture("--frame 7 --data '" + data.Path() + "' -- -shot.png");
  std::filesystem::current_path(cwd);
  ASSERT_EQ(outcome.code, 0) << outcome.output;
  EXPECT_EQ(Names(out.Path()), std::vector<std::string>{"-shot.png"});
}

TEST_F(CaptureOutputTest, MusicThatDoesNotLoadIsNotCalledSound) {
  ASSERT_TRUE(data.Write("music.s3m", {'n', 'o', 't', ' ', 'm', 'u', 's', 'i', 'c'}));
  Outcome video = Capture("--fps 10 --from 15 --to 15.5 -o '" + out.File("a.mp4") + "'" + Data());
  ASSERT_EQ(video.code, 0) << video.output;
  EXPECT_NE(video.output.find("music.s3m did not load"), std::string::npos) << video.output;
  EXPECT_EQ(video.output.find("with sound"), std::string::npos) << video.output;
  EXPECT_NE(video.output.find("without sound"), std::string::npos) << video.output;

  Outcome frames = Capture("--png --fps 10 --from 15 --to 15.5 -o '" + out.File("b.mp4") + "'" + Data());
  ASSERT_EQ(frames.code, 0) << frames.output;
  EXPECT_EQ(frames.output.find("WAV soundtrack"), std::string::npos) << frames.output;
}

// Starts a long capture, waits until it writes, sends the signal; the process
// must end by that signal and leave the folder as it was.
void StopMidway(const std::vector<std::string>& arguments, const TempDir& out, int stop) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::vector<char*> argv{const_cast<char*>(CAPTURE_PROGRAM)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
    execv(CAPTURE_PROGRAM, argv.data());
    _exit(127);
  }
  bool writing = false;
  for (int i = 0; i < 600 && !writing; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (const std::string& name : Names(out.Path())) writing = writing || name.find(".partial-") != std::string::npos;
  }
  EXPECT_TRUE(writing) << "the capture never started writing";
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(child, stop);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == stop) << "status " << status;
  EXPECT_TRUE(Names(out.Path()).empty()) << Names(out.Path()).front();
}

TEST_F(CaptureOutputTest, AStoppedCaptureLeavesNothingBehind) {
  {
    SCOPED_TRACE("video, SIGTERM");
    StopMidway({"-o", out.File("clip.mp4"), "--data", data.Path()}, out, SIGTERM);
  }
  {
    SCOPED_TRACE("PNG frames, SIGINT");
    StopMidway({"--png", "-o", out.File("clip.mp4"), "--data", data.Path()}, out, SIGINT);
  }
}

}  // namespace
