// Whole-song services: reader choice by header, song length, offline
// rendering through the memory device and the mixer, and the S3M writer's
// output read back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "sound/errors.h"
#include "sound/gmprender.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "tools/s3mwriter/s3mwriter.h"

namespace {

class WholeSong : public testing::Test {
 protected:
  void SetUp() override { blocksBefore = memBlocksInUse(); }
  void TearDown() override {
    for (const std::string& f : files) std::remove(f.c_str());
    EXPECT_EQ(memBlocksInUse(), blocksBefore);
  }
  std::string Write(const s3m::Song& song, const std::string& name) {
    std::string path = testing::TempDir() + "gmprender_" + name + ".s3m";
    EXPECT_TRUE(s3m::WriteFile(song, path));
    files.push_back(path);
    return path;
  }
  std::size_t blocksBefore = 0;
  std::vector<std::string> files;
};

// A loud looped square wave on one channel: C-4 plays the sample at its
// 22050 Hz rate, so a 100-sample period sounds at 220.5 Hz.
s3m::Song Tone(int rows) {
  s3m::Song song("tone", 1);
  song.orders = {0};
  song.AddInstrument("square", s3m::SquareWave(100, 100), 22050, 64).SetLoop(0, 100);
  song.Pattern(0).At(0, 0) = s3m::Cell::Play(s3m::Note("C-4"), 1);
  if (rows < 64) song.Pattern(0).At(rows - 1, 0).Effect('C', 0);
  return song;
}

struct Collected {
  std::vector<std::uint8_t> bytes;
};

bool Collect(const std::uint8_t* data, std::size_t bytes, double, void* user) {
  auto* c = static_cast<Collected*>(user);
  c->bytes.insert(c->bytes.end(), data, data + bytes);
  return true;
}

TEST_F(WholeSong, DurationCountsEveryRowOnceAtTheSongsTempo) {
  s3m::Song song = Tone(64);
  song.orders = {0, 0, 255};
  Module* module = nullptr;
  ASSERT_EQ(gmpLoadAnyModule(Write(song, "dur").c_str(), nullptr, 0, &module), errOK);
  double seconds = 0;
  ASSERT_EQ(gmpSongDuration(module, &seconds), errOK);
  EXPECT_NEAR(seconds, 2 * 64 * 6 * 0.02, 1e-9);  // 128 rows, 6 ticks of 20 ms
  ModuleFree(module, nullptr);

  song.tempo = 150;
  song.speed = 3;
  song.Pattern(0).At(10, 0).Effect('T', 0x40);  // from row 10 on: 64 bpm
  ASSERT_EQ(gmpLoadAnyModule(Write(song, "dur2").c_str(), nullptr, 0, &module), errOK);
  ASSERT_EQ(gmpSongDuration(module, &seconds), errOK);
  // Row 10 of the first pass at 150, then the rest at 64 (tempo survives the wrap).
  const double expected = 10 * 3 * (2.5 / 150) + (128 - 10) * 3 * (2.5 / 64);
  EXPECT_NEAR(seconds, expected, 1e-6);
  ModuleFree(module, nullptr);
}

TEST_F(WholeSong, SongsThatNeverEndStopAtTheCap) {
  // Two channels share the song's loop counter: the first sets it and jumps,
  // the second counts it back down, so rows 0 and 1 repeat for ever.
  s3m::Song song = Tone(64);
  song.SetChannels(2);
  song.Pattern(0).At(1, 0).Effect('S', 0xB1);
  song.Pattern(0).At(1, 1).Effect('S', 0xB1);
  Module* module = nullptr;
  ASSERT_EQ(gmpLoadAnyModule(Write(song, "endless").c_str(), nullptr, 0, &module), errOK);
  double seconds = 0;
  ASSERT_EQ(gmpSongDuration(module, &seconds), errOK);
  EXPECT_GE(seconds, gmpMaxSongSeconds);
  ModuleFree(module, nullptr);
}

TEST_F(WholeSong, ReaderChoiceAndShortFiles) {
  Module* module = nullptr;
  EXPECT_EQ(gmpLoadAnyModule((testing::TempDir() + "missing.s3m").c_str(), nullptr, 0, &module),
            errFileNotFound);
  std::vector<std::uint8_t> bytes = s3m::Write(Tone(8));
  const std::string shortFile = testing::TempDir() + "gmprender_short.bin";
  files.push_back(shortFile);
  std::FILE* f = std::fopen(shortFile.c_str(), "wb");
  std::fwrite(bytes.data(), 1, 47, f);
  std::fclose(f);
  EXPECT_EQ(gmpLoadAnyModule(shortFile.c_str(), nullptr, 0, &module), errEndOfFile);
  // Without "SCRM" the bytes go to the MOD reader, whose header is longer.
  bytes[44] = 'X';
  const std::string other = testing::TempDir() + "gmprender_other.bin";
  files.push_back(other);
  f = std::fopen(other.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  EXPECT_EQ(gmpLoadAnyModule(other.c_str(), nullptr, 0, &module), errEndOfFile);
  EXPECT_EQ(module, nullptr);
}

TEST_F(WholeSong, RenderMatchesTheDurationAndTheNotesPitch) {
  const std::string path = Write(Tone(16), "render");
  RenderSettings settings;
  settings.mono = true;
  settings.filter = 0;
  Collected out;
  double seconds = 0;
  ASSERT_EQ(gmpRenderModule(path.c_str(), settings, Collect, &out, &seconds), errOK);
  EXPECT_NEAR(seconds, 16 * 6 * 0.02, 1e-9);
  ASSERT_EQ(out.bytes.size(), static_cast<std::size_t>(16 * 6 * 882 * 2));
  // Count rising zero crossings over the first second: 220.5 Hz.
  std::vector<int> s(out.bytes.size() / 2);
  for (std::size_t i = 0; i < s.size(); ++i) {
    s[i] = static_cast<std::int16_t>(out.bytes[2 * i] | (out.bytes[2 * i + 1] << 8));
  }
  int crossings = 0;
  int peak = 0;
  for (std::size_t i = 1; i < 44100; ++i) {
    if (s[i - 1] < 0 && s[i] >= 0) ++crossings;
    peak = std::max(peak, std::abs(s[i]));
  }
  EXPECT_NEAR(crossings, 220, 2);
  EXPECT_GT(peak, 20000);  // one channel at full volume
}

TEST_F(WholeSong, RenderFormats) {
  const std::string path = Write(Tone(4), "formats");
  for (bool mono : {false, true}) {
    for (bool eightBit : {false, true}) {
      RenderSettings settings;
      settings.rate = 22050;
      settings.mono = mono;
      settings.eightBit = eightBit;
      settings.interpolate = eightBit;
      Collected out;
      ASSERT_EQ(gmpRenderModule(path.c_str(), settings, Collect, &out, nullptr), errOK);
      const std::size_t frames = 4 * 6 * 441;
      EXPECT_EQ(out.bytes.size(), frames * (mono ? 1 : 2) * (eightBit ? 1 : 2));
      if (!mono && !eightBit) {
        // Channel 0 of the song is a left channel: the right side is silent.
        int right = 0;
        for (std::size_t i = 2; i + 3 < out.bytes.size(); i += 4) {
          right = std::max(right, std::abs(static_cast<std::int16_t>(
                                      out.bytes[i] | (out.bytes[i + 1] << 8))));
        }
        EXPECT_EQ(right, 0);
      }
    }
  }
}

TEST_F(WholeSong, RenderFailsCleanlyOnBadFiles) {
  RenderSettings settings;
  Collected out;
  std::vector<std::uint8_t> bytes = s3m::Write(Tone(8));
  // The sample data cut away entirely (a last sample merely cut short loads
  // shortened): its pointer at the instrument record's bytes 13..15.
  const std::size_t orderCount = bytes[32] | (bytes[33] << 8);
  const std::size_t record = (bytes[96 + orderCount] | (bytes[97 + orderCount] << 8)) * 16u;
  const std::size_t dataStart =
      ((bytes[record + 13] << 16) | bytes[record + 14] | (bytes[record + 15] << 8)) * 16u;
  ASSERT_LT(dataStart, bytes.size());
  bytes.resize(dataStart);
  const std::string path = testing::TempDir() + "gmprender_cut.s3m";
  files.push_back(path);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  EXPECT_EQ(gmpRenderModule(path.c_str(), settings, Collect, &out, nullptr), errEndOfFile);
  EXPECT_TRUE(out.bytes.empty());
  settings.rate = 10;
  EXPECT_EQ(gmpRenderModule(path.c_str(), settings, Collect, &out, nullptr), errInvalidArguments);
}

TEST(S3mWriter, NoteNames) {
  EXPECT_EQ(s3m::Note("C-4"), 0x40);
  EXPECT_EQ(s3m::Note("C#4"), 0x41);
  EXPECT_EQ(s3m::Note("Bb3"), 0x3A);
  EXPECT_EQ(s3m::Note("Cb4"), 0x3B);  // wraps into the octave below
  EXPECT_EQ(s3m::Note("B#4"), 0x50);
  EXPECT_EQ(s3m::Note("^^"), s3m::noteCut);
  EXPECT_EQ(s3m::Note("H-4"), s3m::noNote);
  EXPECT_EQ(s3m::Note("C-"), s3m::noNote);
  EXPECT_EQ(s3m::Note("C?4"), s3m::noNote);
}

TEST(S3mWriter, LayoutIsParagraphAligned) {
  s3m::Song song = Tone(8);
  song.orders = {0, 1, 0};  // odd count: padded with an end marker
  song.Pattern(1);
  const std::vector<std::uint8_t> b = s3m::Write(song);
  ASSERT_EQ(b.size() % 16, 0u);
  EXPECT_EQ(std::string(b.begin() + 44, b.begin() + 48), "SCRM");
  EXPECT_EQ(b[32] | (b[33] << 8), 4);
  EXPECT_EQ(b[96 + 3], 255);
  const std::size_t ins = (b[100] | (b[101] << 8)) * 16u;
  EXPECT_EQ(std::string(b.begin() + static_cast<long>(ins) + 76, b.begin() + static_cast<long>(ins) + 80), "SCRS");
  const std::size_t data = (b[ins + 14] | (b[ins + 15] << 8)) * 16u;
  const std::vector<std::uint8_t> wave = s3m::SquareWave(100, 100);
  EXPECT_TRUE(std::equal(wave.begin(), wave.end(), b.begin() + static_cast<long>(data)));
  const std::size_t pattern = (b[102] | (b[103] << 8)) * 16u;
  const std::vector<std::uint8_t> packed = s3m::PackPattern(song.patterns[0]);
  EXPECT_TRUE(std::equal(packed.begin(), packed.end(), b.begin() + static_cast<long>(pattern)));
  EXPECT_EQ(packed[0] | (packed[1] << 8), static_cast<int>(packed.size()));
}

}  // namespace
