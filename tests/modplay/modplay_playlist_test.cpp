// modplay given several modules: each handled in the order given (or
// shuffled), a bad one reported while the others go on, the exit status
// saying whether any failed; renders into a folder; --loop in a render.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/modplay/modplay_run.h"

using namespace modplaytest;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> noSoundCard = {"SDL_AUDIODRIVER=none-here"};

class ModplayPlaylist : public ::testing::Test {
 protected:
  void SetUp() override {
    one = Song("one.s3m", "first tune");
    bad = dir.Write("bad.mod", std::vector<std::uint8_t>(2000, 'x'));
    three = Song("three.s3m", "third tune");
  }
  std::string Song(const std::string& file, const std::string& name, int rows = 4) {
    s3m::Song song = ShortSong(4, 2, rows);
    song.name = name;
    return dir.Write(file, s3m::Write(song));
  }
  TempDir dir;
  std::string one, bad, three;
};

TEST_F(ModplayPlaylist, InfoDescribesEachInOrderAndGoesOnPastABadFile) {
  const ToolRun text = Modplay({"--info", one, bad, three});
  EXPECT_EQ(text.status, 1) << "one file failed";
  const std::size_t first = text.output.find("name:        first tune");
  const std::size_t third = text.output.find("name:        third tune");
  ASSERT_NE(first, std::string::npos) << text.output;
  ASSERT_NE(third, std::string::npos) << text.output;
  EXPECT_LT(first, third);
  EXPECT_NE(text.output.find("file:        " + bad), std::string::npos) << text.output;
  EXPECT_NE(text.errors.find(bad + ": is not a module"), std::string::npos) << text.errors;

  const ToolRun json = Modplay({"--info", "--json", one, bad, three});
  EXPECT_EQ(json.status, 1);
  const nlohmann::json all = nlohmann::json::parse(json.output, nullptr, false);
  ASSERT_TRUE(all.is_array()) << json.output;
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0]["name"], "first tune");
  EXPECT_EQ(all[0]["file"], one);
  EXPECT_EQ(all[1]["file"], bad);
  EXPECT_NE(all[1]["error"].get<std::string>().find("is not a module"), std::string::npos);
  EXPECT_EQ(all[2]["name"], "third tune");

  EXPECT_EQ(Modplay({"--info", "--json", one, three}).status, 0) << "all of them read";
}

TEST_F(ModplayPlaylist, SeveralRendersGoIntoAFolderOneFileEach) {
  const std::string out = dir.File("out");
  fs::create_directory(out);
  ToolRun run = Modplay({one, bad, three, "-o", out, "--quiet"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find(bad + ": is not a module"), std::string::npos) << run.errors;
  EXPECT_GT(fs::file_size(out + "/one.wav"), 44u);
  EXPECT_GT(fs::file_size(out + "/three.wav"), 44u);
  EXPECT_FALSE(fs::exists(out + "/bad.wav"));

  run = Modplay({one, three, "-o", out, "--format", "flac", "--quiet"});
  EXPECT_EQ(run.status, 0) << run.errors;
  const std::vector<std::uint8_t> flac = Slurp(out + "/three.flac");
  ASSERT_GE(flac.size(), 4u);
  EXPECT_EQ(std::string(flac.begin(), flac.begin() + 4), "fLaC");

  for (const std::string& notFolder : {dir.File("x.wav"), std::string("-"), one}) {
    run = Modplay({one, three, "-o", notFolder});
    EXPECT_EQ(run.status, 2) << notFolder;
    EXPECT_NE(run.errors.find("names a folder"), std::string::npos) << run.errors;
  }
  EXPECT_FALSE(fs::exists(dir.File("x.wav")));
}

TEST_F(ModplayPlaylist, ASecondModuleOfTheSameNameDoesNotReplaceTheFirstOutput) {
  fs::create_directory(dir.File("other"));
  const std::string twin = dir.Write("other/one.s3m", s3m::Write(ShortSong(4, 2, 8)));
  fs::create_directory(dir.File("out"));
  const ToolRun run = Modplay({one, twin, "-o", dir.File("out"), "--quiet", "--format", "raw"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find(twin + ": skipped"), std::string::npos) << run.errors;
  ASSERT_EQ(Modplay({one, "-o", dir.File("alone.raw"), "--quiet"}).status, 0);
  EXPECT_EQ(Slurp(dir.File("out/one.raw")), Slurp(dir.File("alone.raw"))) << "the first module's render";
}

TEST_F(ModplayPlaylist, LoopRepeatsTheSongInARender) {
  const std::string song = Song("song.s3m", "looped", 16);
  ASSERT_EQ(Modplay({song, "-o", dir.File("once.raw"), "--quiet", "--rate", "8000"}).status, 0);
  const ToolRun run = Modplay({song, "-o", dir.File("thrice.raw"), "--loop", "2", "--quiet", "--rate", "8000"});
  ASSERT_EQ(run.status, 0) << run.errors;
  const std::vector<std::uint8_t> once = Slurp(dir.File("once.raw"));
  const std::vector<std::uint8_t> thrice = Slurp(dir.File("thrice.raw"));
  ASSERT_FALSE(once.empty());
  EXPECT_NEAR(static_cast<double>(thrice.size()), 3.0 * once.size(), 4096 * 4.0) << "within one mixing block";
  EXPECT_TRUE(std::equal(once.begin(), once.begin() + once.size() / 2, thrice.begin())) << "starts as the song";

  const ToolRun endless = Modplay({song, "-o", dir.File("hour.raw"), "--loop", "-1", "--rate", "8000", "--mono",
                                   "--8bit"});
  ASSERT_EQ(endless.status, 0) << endless.errors;
  EXPECT_NE(endless.errors.find("repeats for ever (--loop -1); writing its first hour"), std::string::npos)
      << endless.errors;
  EXPECT_NEAR(static_cast<double>(fs::file_size(dir.File("hour.raw"))), 3600.0 * 8000, 8000 * 0.1);
}

std::vector<std::string> FilesInJson(const std::string& output) {
  std::vector<std::string> files;
  const nlohmann::json all = nlohmann::json::parse(output, nullptr, false);
  if (!all.is_array()) return files;
  for (const nlohmann::json& facts : all) files.push_back(facts["file"].get<std::string>());
  return files;
}

TEST_F(ModplayPlaylist, ShuffleIsAPermutationAndASeedRepeatsIt) {
  std::vector<std::string> files;
  for (int i = 0; i < 6; ++i) files.push_back(Song("s" + std::to_string(i) + ".s3m", "tune"));
  std::vector<std::string> args = {"--info", "--json", "--shuffle", "--seed", "11"};
  args.insert(args.end(), files.begin(), files.end());
  const std::vector<std::string> first = FilesInJson(Modplay(args).output);
  EXPECT_TRUE(std::is_permutation(first.begin(), first.end(), files.begin(), files.end()));
  EXPECT_EQ(FilesInJson(Modplay(args).output), first) << "the same seed, the same order";
  bool reordered = false;
  for (int seed = 1; seed <= 10 && !reordered; ++seed) {
    args[4] = std::to_string(seed);
    reordered = FilesInJson(Modplay(args).output) != files;
  }
  EXPECT_TRUE(reordered) << "ten seeds all kept the order given";
}

TEST_F(ModplayPlaylist, LivePlayGoesThroughTheListPastABadFile) {
  const std::string out = dir.File("stdout.txt");
  const ToolRun run = Modplay({one, bad, three, "--rate", "22050"}, out, noSoundCard);
  EXPECT_EQ(run.status, 1) << run.errors;
  EXPECT_NE(run.errors.find(bad + ": is not a module"), std::string::npos) << run.errors;
  const std::vector<std::uint8_t> bytes = Slurp(out);
  const std::string text(bytes.begin(), bytes.end());
  const std::size_t first = text.find("Playing \"first tune\"");
  const std::size_t third = text.find("Playing \"third tune\"");
  ASSERT_NE(first, std::string::npos) << text;
  ASSERT_NE(third, std::string::npos) << text;
  EXPECT_LT(first, third);
  EXPECT_NE(text.find("[3/3] " + three), std::string::npos) << text;
  EXPECT_EQ(text.find('\r'), std::string::npos) << "whole lines in a file";
  size_t said = 0;
  for (std::size_t at = run.errors.find("no sound output"); at != std::string::npos;
       at = run.errors.find("no sound output", at + 1)) {
    ++said;
  }
  EXPECT_EQ(said, 1u) << "said once for the whole list: " << run.errors;
}

}  // namespace
