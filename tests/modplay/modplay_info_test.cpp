// modplay --info: the facts of modules built here, in text and JSON, and the
// messages for files that are not modules or are broken.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/modplay/modplay_run.h"
#include "tools/itwriter/itcompress.h"
#include "tools/itwriter/itwriter.h"
#include "tools/xmwriter/xmwriter.h"

using namespace modplaytest;

namespace {

class ModplayInfo : public ::testing::Test {
 protected:
  std::string WriteSong(const s3m::Song& song, const std::string& name = "song.s3m") {
    return dir.Write(name, s3m::Write(song));
  }
  nlohmann::json Json(const std::string& path) {
    const ToolRun run = Modplay({"--info", "--json", path});
    EXPECT_EQ(run.status, 0) << run.errors;
    return nlohmann::json::parse(run.output, nullptr, false);
  }
  TempDir dir;
};

TEST_F(ModplayInfo, JsonGivesTheKindByNameAndTheFileDeclaredChannels) {
  const nlohmann::json facts = Json(WriteSong(ShortSong(16, 4)));
  ASSERT_FALSE(facts.is_discarded());
  EXPECT_EQ(facts["kind"], "S3M");
  EXPECT_EQ(facts["kind_id"], 2);
  EXPECT_EQ(facts["name"], "test tune");
  EXPECT_EQ(facts["channels"], 16);
  EXPECT_EQ(facts["channels_used"], 4);
  EXPECT_EQ(facts["orders"], 1);
  EXPECT_EQ(facts["patterns"], 1);
  EXPECT_EQ(facts["instruments"], 1);
  EXPECT_EQ(facts["samples"], 1);
  EXPECT_EQ(facts["loops_forever"], false);
  // 64 rows of 6 ticks at 125 BPM (20 ms a tick).
  EXPECT_NEAR(facts["duration"].get<double>(), 7.68, 0.001);
}

TEST_F(ModplayInfo, SamplesAreThoseHoldingData) {
  xmwriter::Song song;
  song.channels = 2;
  song.patterns.resize(1);
  song.At(0, 0, 0) = {49, 1, 0, 0, 0};
  song.At(0, 1, 1) = {49, 3, 0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    xmwriter::Instrument instrument;
    instrument.name = "ins " + std::to_string(i);
    xmwriter::Sample sample;
    sample.values.assign(64, 20);
    if (i != 1) instrument.samples.push_back(sample);
    song.instruments.push_back(instrument);
  }
  const std::string path = dir.Write("song.xm", song.Build());
  const nlohmann::json facts = Json(path);
  EXPECT_EQ(facts["kind"], "XM");
  EXPECT_EQ(facts["kind_id"], 3);
  EXPECT_EQ(facts["instruments"], 3);
  EXPECT_EQ(facts["samples"], 2) << "the 16 slots an XM instrument may hold are not all samples";
  EXPECT_EQ(facts["channels"], 2);
}

TEST_F(ModplayInfo, TextNamesTheKindAndSaysWhenASongNeverEnds) {
  ToolRun run = Modplay({"--info", WriteSong(ShortSong(16, 4))});
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.output.find("kind:        S3M\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("channels:    16 (highest used: 4)"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("duration:    7.680 s"), std::string::npos) << run.output;

  const std::string endless = WriteSong(EndlessSong(), "endless.s3m");
  run = Modplay({"--info", endless});
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.output.find("duration:    loops for ever"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("3600"), std::string::npos) << run.output;
  const nlohmann::json facts = Json(endless);
  EXPECT_EQ(facts["loops_forever"], true);
  EXPECT_TRUE(facts["duration"].is_null());
}

TEST_F(ModplayInfo, NamesArePrintedWithoutControlBytes) {
  s3m::Song song = ShortSong();
  song.name = "evil\x1b[2Jname";
  const ToolRun run = Modplay({"--info", WriteSong(song)});
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.output.find('\x1b'), std::string::npos);
  EXPECT_NE(run.output.find("evil?[2Jname"), std::string::npos) << run.output;
}

TEST_F(ModplayInfo, FilesThatAreNoModulesSaySoAndFail) {
  struct Case {
    std::string path;
    const char* message;
  };
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  png.resize(4000, 0x55);
  std::vector<std::uint8_t> truncated = s3m::Write(ShortSong());
  truncated.resize(200);
  std::filesystem::create_directory(dir.File("folder"));
  for (const Case& c : {Case{dir.File("folder"), "is a folder"},
                        Case{dir.Write("picture.png", png), "is not a module of a kind modplay reads"},
                        Case{dir.Write("tiny.mod", {1, 2, 3}), "is not a module of a kind modplay reads"},
                        Case{dir.File("absent.s3m"), "No such file or directory"},
                        Case{dir.Write("cut.s3m", truncated), "Unexpected end of file"}}) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--info", c.path},
                                                 std::vector<std::string>{c.path, "-o", dir.File("out.wav")}}) {
      const ToolRun run = Modplay(args);
      EXPECT_EQ(run.status, 1) << c.path;
      EXPECT_NE(run.errors.find(c.path + ": " + c.message), std::string::npos) << run.errors;
      EXPECT_TRUE(run.output.empty()) << run.output;
      EXPECT_FALSE(std::filesystem::exists(dir.File("out.wav")));
    }
  }
}

TEST_F(ModplayInfo, CompressedItSamplesAreReadAndBrokenOnesFail) {
  itwriter::Song song;
  song.flags = 0x01;  // sample mode
  song.samples.resize(1);
  std::vector<std::int8_t> wave(3000);
  for (std::size_t i = 0; i < wave.size(); ++i) wave[i] = static_cast<std::int8_t>(i * 7 % 120);
  itwriter::SetCompressed8(song.samples[0], wave, false);
  itwriter::PatternWriter w;
  w.Entry(0, 0x03, 60, 1).EndRow();
  song.patterns.push_back({true, 1, w.bytes});
  const std::vector<std::uint8_t> good = song.Build();
  const nlohmann::json facts = Json(dir.Write("packed.it", good));
  EXPECT_EQ(facts["kind"], "IT");
  EXPECT_EQ(facts["samples"], 1);

  // The first block's first value changes the width to 256 bits.
  std::vector<std::uint8_t> broken = good;
  const std::size_t data = good.size() - song.samples[0].bytes.size();
  broken[data + 2] = 0xFF;
  broken[data + 3] = static_cast<std::uint8_t>(broken[data + 3] | 1);
  const std::string path = dir.Write("broken.it", broken);
  const ToolRun run = Modplay({"--info", path});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find(path + ": Invalid instrument in module"), std::string::npos)
      << run.errors;
}

}  // namespace
