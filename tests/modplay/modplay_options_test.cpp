// modplay's command line: conflicting or missing options are refused with a
// message naming the option, and nothing is written; --help, --version, --.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <set>

#include <filesystem>

#include "tests/modplay/modplay_run.h"

using namespace modplaytest;
namespace fs = std::filesystem;

namespace {

class ModplayOptions : public ::testing::Test {
 protected:
  void SetUp() override { module = dir.Write("song.s3m", s3m::Write(ShortSong())); }
  TempDir dir;
  std::string module;
};

TEST_F(ModplayOptions, MistakesAreRefusedNamingTheOption) {
  const std::string out = dir.File("out.wav");
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  for (const Case& c : {
           Case{{"--info", module, "-o", out}, "--info excludes --output"},
           Case{{"--setup", module, "-o", out}, "--output excludes --setup"},
           Case{{"--setup", "--info", module}, "--info excludes --setup"},
           Case{{module, "-o", ""}, "--output: must not be empty"},
           Case{{"--json", module}, "--json requires --info"},
           Case{{"--format", "raw", module}, "--format requires --output"},
           Case{{"--format", "mp3", module, "-o", out}, "--format"},
           Case{{"--8bit", module, "-o", dir.File("out.ogg")}, "--8bit: Ogg Vorbis keeps no sample width"},
           Case{{"--rate", "7999", module, "-o", out}, "--rate"},
           Case{{"--rate", "fast", module, "-o", out}, "--rate"},
           Case{{"--filter", "4", module, "-o", out}, "--filter"},
           Case{{module, "-o"}, "--output"},
           Case{{"--frobnicate", module}, "--frobnicate"},
           Case{{}, "FILE is required"},
           Case{{module, module, "-o", out}, "--output: with several modules -o names a folder"},
           Case{{"--seed", "4", module}, "--seed requires --shuffle"},
           Case{{"--loop", "-2", module}, "--loop"},
       }) {
    const ToolRun run = Modplay(c.args);
    EXPECT_EQ(run.status, 2) << c.message;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("--help"), std::string::npos) << "points to --help";
    EXPECT_TRUE(run.output.empty()) << run.output;
    EXPECT_FALSE(fs::exists(out));
  }
}

TEST_F(ModplayOptions, HelpListsEveryOptionAndVersionAnswers) {
  ToolRun run = Modplay({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* option : {"--info", "--json", "-o,--output", "--format", "--rate", "--mono", "--8bit",
                             "--interpolate", "--filter", "--quiet", "--setup", "--verbose", "--version", "--loop",
                             "--shuffle", "--seed"}) {
    EXPECT_NE(run.output.find(option), std::string::npos) << option;
  }
  run = Modplay({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output.rfind("modplay ", 0), 0u) << run.output;
}

TEST_F(ModplayOptions, DoubleDashEndsTheOptions) {
  const std::string dashed = dir.Write("-odd.s3m", s3m::Write(ShortSong()));
  fs::current_path(dir.Path());
  const ToolRun run = Modplay({"--info", "--", "-odd.s3m"});
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.output.find("kind:        S3M"), std::string::npos) << run.output;
}

TEST_F(ModplayOptions, SetupWithoutADisplaySaysSo) {
  if (getenv("DISPLAY") != nullptr || getenv("WAYLAND_DISPLAY") != nullptr) {
    GTEST_SKIP() << "a display is set";
  }
  const ToolRun run = Modplay({"--setup", module});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find("needs a display"), std::string::npos) << run.errors;
}

}  // namespace

namespace {

TEST_F(ModplayOptions, PcmIsNotPouredOntoATerminal) {
  // script(1) runs modplay with a pseudo-terminal as its standard output.
  const std::string command = "script -qec '" + std::string(MODPLAY_PATH) + " " + module + " -o -' /dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string seen;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) seen.append(buf, n);
  const int status = pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << seen;
  EXPECT_NE(seen.find("standard output is a terminal"), std::string::npos) << seen;
  EXPECT_LT(seen.size(), 1000u) << "no PCM on the terminal";
}

}  // namespace

namespace {

// The long options named in a text: "--name" in --help, "\-\-name" in roff.
std::set<std::string> LongOptions(std::string text) {
  for (std::size_t at = text.find("\\-"); at != std::string::npos; at = text.find("\\-", at)) text.erase(at, 1);
  std::set<std::string> names;
  for (std::size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
    std::size_t end = at + 2;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) != 0 || text[end] == '-')) ++end;
    if (end > at + 2) names.insert(text.substr(at, end - at));
  }
  return names;
}

TEST(ModplayManPage, NamesTheSameOptionsAsHelp) {
  const ToolRun help = Modplay({"--help"});
  ASSERT_EQ(help.status, 0);
  const std::vector<std::uint8_t> page = Slurp(MODPLAY_MAN_PAGE);
  ASSERT_FALSE(page.empty()) << MODPLAY_MAN_PAGE;
  std::set<std::string> inHelp = LongOptions(help.output);
  const std::set<std::string> inPage = LongOptions(std::string(page.begin(), page.end()));
  EXPECT_EQ(inPage, inHelp);
  EXPECT_TRUE(inHelp.count("--loop") == 1 && inHelp.count("--format") == 1) << "the list was read at all";
}

}  // namespace
