// modplay -o to FLAC and Ogg Vorbis, decoded back by an independent reader
// (sox's soxi): length, channels, rate, sample width and the title tag.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "tests/modplay/modplay_run.h"

using namespace modplaytest;
namespace fs = std::filesystem;

namespace {

// soxi's answer for one field (-D duration, -c channels, -r rate, -b bits,
// -a tags) of a file; empty when soxi fails.
std::string Soxi(const std::string& flag, const std::string& path) {
  const std::string command = "soxi " + flag + " '" + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string text;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
  return pclose(pipe) == 0 ? text : std::string();
}

double Number(const std::string& text) { return text.empty() ? -1 : std::stod(text); }

class ModplayEncoded : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v soxi >/dev/null") != 0) {
      GTEST_SKIP() << "soxi (sox) is not installed";
    }
    s3m::Song song = ShortSong();
    song.name = "encoded tune";
    module = dir.Write("song.s3m", s3m::Write(song));
  }
  TempDir dir;
  std::string module;
};

TEST_F(ModplayEncoded, FlacAndOggDecodeToTheWholeSongWithItsTitle) {
  struct Case {
    const char* name;
    std::vector<std::string> extra;
    const char* channels;
    const char* rate;
  };
  for (const Case& c : {Case{"a.flac", {}, "2", "44100"}, Case{"b.ogg", {}, "2", "44100"},
                        Case{"c.flac", {"--mono", "--rate", "22050"}, "1", "22050"},
                        Case{"d.oga", {"--mono", "--rate", "32000"}, "1", "32000"}}) {
    SCOPED_TRACE(c.name);
    const std::string out = dir.File(c.name);
    std::vector<std::string> args = {module, "--quiet", "-o", out};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const ToolRun run = Modplay(args);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_NEAR(Number(Soxi("-D", out)), 7.68, 0.05) << "the whole song";
    EXPECT_EQ(Soxi("-c", out), std::string(c.channels) + "\n");
    EXPECT_EQ(Soxi("-r", out), std::string(c.rate) + "\n");
    EXPECT_NE(Soxi("-a", out).find("encoded tune"), std::string::npos) << Soxi("-a", out);
  }
}

TEST_F(ModplayEncoded, TheFormatOptionWinsOverTheNameAndEightBitFlacKeepsItsWidth) {
  const std::string out = dir.File("named.wav");
  ASSERT_EQ(Modplay({module, "--quiet", "--format", "flac", "--8bit", "-o", out}).status, 0);
  const std::vector<std::uint8_t> bytes = Slurp(out);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "fLaC");
  EXPECT_EQ(Soxi("-b", out), "8\n");
  EXPECT_NEAR(Number(Soxi("-D", out)), 7.68, 0.05);
}

TEST_F(ModplayEncoded, FlacOnStandardOutputStillDecodes) {
  const std::string redirected = dir.File("stdout.flac");
  const ToolRun run = Modplay({module, "--quiet", "--format", "flac", "-o", "-"}, redirected);
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NEAR(Number(Soxi("-D", redirected)), 7.68, 0.05);
}

TEST_F(ModplayEncoded, AFullDeviceFailsAnEncodedRenderToo) {
  const ToolRun run = Modplay({module, "--format", "ogg", "-o", "/dev/full"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find("cannot write /dev/full"), std::string::npos) << run.errors;
  EXPECT_FALSE(fs::exists(dir.File("song.ogg")));
}

}  // namespace
