// modplay -o: the WAVE header of each output mode checked field by field
// against the format, raw PCM and standard output, and the output rules that
// keep the user's files safe (never over the module, devices written
// through, nothing half-written after a signal).
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/modplay/modplay_run.h"

using namespace modplaytest;
namespace fs = std::filesystem;

namespace {

class ModplayRender : public ::testing::Test {
 protected:
  void SetUp() override { module = dir.Write("song.s3m", s3m::Write(ShortSong())); }
  TempDir dir;
  std::string module;
};

struct Mode {
  unsigned rate;
  unsigned channels;
  unsigned bits;
};

std::vector<std::string> ModeArgs(const Mode& m) {
  std::vector<std::string> args = {"--rate", std::to_string(m.rate)};
  if (m.channels == 1) args.push_back("--mono");
  if (m.bits == 8) args.push_back("--8bit");
  return args;
}

TEST_F(ModplayRender, WaveHeaderFollowsTheFormatInEveryOutputMode) {
  for (const Mode& m : {Mode{44100, 2, 16}, Mode{22050, 1, 16}, Mode{8000, 1, 8}, Mode{48000, 2, 8},
                        Mode{11025, 1, 8}}) {
    SCOPED_TRACE(std::to_string(m.rate) + " Hz, " + std::to_string(m.channels) + " ch, " + std::to_string(m.bits));
    const std::string out = dir.File("out.wav");
    std::vector<std::string> args = {module, "-o", out, "--quiet"};
    for (const std::string& a : ModeArgs(m)) args.push_back(a);
    const ToolRun run = Modplay(args);
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::vector<std::uint8_t> w = Slurp(out);
    ASSERT_GE(w.size(), 44u);
    const unsigned align = m.channels * m.bits / 8;
    EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(w, 4), w.size() - 8);
    EXPECT_EQ(std::string(w.begin() + 8, w.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le32(w, 16), 16u);
    EXPECT_EQ(Le16(w, 20), 1u) << "PCM";
    EXPECT_EQ(Le16(w, 22), m.channels);
    EXPECT_EQ(Le32(w, 24), m.rate);
    EXPECT_EQ(Le32(w, 28), m.rate * align) << "byte rate";
    EXPECT_EQ(Le16(w, 32), align) << "block align";
    EXPECT_EQ(Le16(w, 34), m.bits);
    EXPECT_EQ(std::string(w.begin() + 36, w.begin() + 40), "data");
    const std::uint32_t data = Le32(w, 40);
    EXPECT_EQ(data % align, 0u);
    EXPECT_EQ(w.size(), 44 + data + (data & 1)) << "a pad byte follows odd data, nothing else";
    EXPECT_NEAR(static_cast<double>(data) / (m.rate * align), 7.68, 0.1) << "the whole song";
    if (m.bits == 8) {
      double sum = 0;
      for (std::uint32_t i = 0; i < data; ++i) sum += w[44 + i];
      EXPECT_NEAR(sum / data, 128, 20) << "8-bit WAVE data is unsigned, centred on 128";
    }
    fs::remove(out);
  }
}

TEST_F(ModplayRender, RawPcmIsTheWaveDataAndGoesToStandardOutput) {
  const std::string wav = dir.File("a.wav");
  ASSERT_EQ(Modplay({module, "--quiet", "-o", wav}).status, 0);
  const std::vector<std::uint8_t> wave = Slurp(wav);
  const std::vector<std::uint8_t> data(wave.begin() + 44, wave.end());

  ASSERT_EQ(Modplay({module, "--quiet", "-o", dir.File("a.raw")}).status, 0);
  EXPECT_EQ(Slurp(dir.File("a.raw")), data) << "a .raw name writes frames only";

  const ToolRun raw = Modplay({module, "--quiet", "-o", "-"});
  ASSERT_EQ(raw.status, 0) << raw.errors;
  EXPECT_EQ(std::vector<std::uint8_t>(raw.output.begin(), raw.output.end()), data) << "- writes raw PCM";

  // Standard output redirected to a file can be finished like any file.
  const std::string redirected = dir.File("stdout.wav");
  ASSERT_EQ(Modplay({module, "--quiet", "--format", "wav", "-o", "-"}, redirected).status, 0);
  EXPECT_EQ(Slurp(redirected), wave);
}

TEST_F(ModplayRender, WaveToAPipeSaysItsLengthIsUnknown) {
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::uint8_t> received;
  std::thread reader([&] { received = Slurp(fifo); });
  const ToolRun run = Modplay({module, "--quiet", "-o", fifo});
  reader.join();
  ASSERT_EQ(run.status, 0) << run.errors;
  ASSERT_GT(received.size(), 44u);
  EXPECT_EQ(Le32(received, 4), 0xFFFFFFFFu);
  EXPECT_EQ(Le32(received, 40), 0xFFFFFFFFu);
  struct stat info {};
  ASSERT_EQ(stat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the FIFO is written through, not replaced";
}

TEST_F(ModplayRender, NeverWritesOverTheModule) {
  const std::vector<std::uint8_t> original = Slurp(module);
  fs::create_symlink(module, dir.File("link.s3m"));
  fs::create_hard_link(module, dir.File("hard.s3m"));
  for (const std::string& out : {module, dir.File("link.s3m"), dir.File("hard.s3m")}) {
    const ToolRun run = Modplay({module, "-o", out});
    EXPECT_EQ(run.status, 1) << out;
    EXPECT_NE(run.errors.find("is the module itself"), std::string::npos) << run.errors;
    EXPECT_EQ(Slurp(module), original) << out;
  }
  EXPECT_TRUE(fs::is_symlink(dir.File("link.s3m")));
}

TEST_F(ModplayRender, DevicesAreWrittenThroughAndAFullOneIsAnError) {
  ToolRun run = Modplay({module, "-o", "/dev/full"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find("cannot write /dev/full: No space left on device"), std::string::npos) << run.errors;
  run = Modplay({module, "--quiet", "-o", "/dev/null"});
  EXPECT_EQ(run.status, 0) << run.errors;
  for (const char* device : {"/dev/full", "/dev/null"}) {
    struct stat info {};
    ASSERT_EQ(stat(device, &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode)) << device << " is still a device";
  }
}

TEST_F(ModplayRender, ALinkIsFollowedAndAnOldFileReplacedOnlyWhenDone) {
  dir.Write("target.wav", {1, 2, 3});
  fs::create_symlink(dir.File("target.wav"), dir.File("link.wav"));
  ASSERT_EQ(Modplay({module, "--quiet", "-o", dir.File("link.wav")}).status, 0);
  EXPECT_TRUE(fs::is_symlink(dir.File("link.wav")));
  EXPECT_GT(fs::file_size(dir.File("target.wav")), 44u);

  fs::create_directory(dir.File("out"));
  const ToolRun run = Modplay({module, "-o", dir.File("out")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find("is a folder"), std::string::npos) << run.errors;
}

// The first file in the folder whose name starts with a dot: the render's
// temporary.
std::string Temporary(const std::string& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(".")) return entry.path().string();
  }
  return {};
}

TEST_F(ModplayRender, ASignalLeavesNoPartialOutput) {
  const std::string endless = dir.Write("endless.s3m", s3m::Write(EndlessSong()));
  fs::create_directory(dir.File("out"));
  const std::string out = dir.File("out/song.wav");
  std::string program = MODPLAY_PATH;
  std::vector<std::string> args = {program, endless, "--quiet", "-o", out};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
  // Wait for the render to be under way, then stop it as Ctrl-C or kill would.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::string temporary;
  while (temporary.empty() && std::chrono::steady_clock::now() < deadline) {
    temporary = Temporary(dir.File("out"));
    if (temporary.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FALSE(temporary.empty()) << "the render never started";
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the render ended on its own before the signal";
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_TRUE(fs::is_empty(dir.File("out"))) << "left behind: " << Temporary(dir.File("out"));
}

}  // namespace

namespace {

TEST_F(ModplayRender, ASongThatNeverEndsIsWrittenForAnHourAndSaysSo) {
  const std::string endless = dir.Write("endless.s3m", s3m::Write(EndlessSong()));
  const std::string out = dir.File("hour.raw");
  const ToolRun run = Modplay({endless, "--rate", "8000", "--mono", "--8bit", "-o", out});
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.errors.find("loops for ever; writing its first hour"), std::string::npos) << run.errors;
  EXPECT_NEAR(static_cast<double>(fs::file_size(out)), 3600.0 * 8000, 8000 * 0.1);
}

// A quiet render skips the pass that measures the song for the progress
// report: it must write the same bytes, for a song that ends and for one
// that never does (its first hour), and with --loop as well.
TEST_F(ModplayRender, AQuietRenderWritesWhatAReportedOneWrites) {
  const std::string song = dir.Write("song.s3m", s3m::Write(ShortSong(4, 2, 16)));
  const std::string endless = dir.Write("endless.s3m", s3m::Write(EndlessSong()));
  const std::vector<std::vector<std::string>> cases = {
      {song}, {song, "--loop", "2"}, {endless}, {endless, "--loop", "1"}};
  for (const auto& given : cases) {
    std::vector<std::uint8_t> renders[2];
    for (int quiet = 0; quiet < 2; quiet++) {
      std::vector<std::string> args = given;
      const std::string out = dir.File("out" + std::to_string(quiet) + ".raw");
      args.insert(args.end(), {"--rate", "8000", "--mono", "--8bit", "-o", out});
      if (quiet) args.push_back("--quiet");
      const ToolRun run = Modplay(args);
      ASSERT_EQ(run.status, 0) << run.errors;
      if (quiet) {
        EXPECT_TRUE(run.errors.empty()) << run.errors;
      }
      renders[quiet] = Slurp(out);
    }
    const std::string what = given[0] + (given.size() > 1 ? " --loop " + given[2] : "");
    EXPECT_GT(renders[0].size(), 8000u) << what;
    EXPECT_TRUE(renders[0] == renders[1]) << "quiet and reported renders differ: " << what;
  }
}

}  // namespace
