// The generated soundtrack: its bytes read back as a module file, its length
// and section marks walked row by row the way the player walks them, the
// score builder's own checks, and the instruments' loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sound/errors.h"
#include "sound/gmprender.h"
#include "sound/module.h"
#include "tools/mkcontent/music.h"
#include "tools/mkcontent/music_score.h"
#include "tools/mkcontent/music_synth.h"
#include "tools/s3mwriter/s3mwriter.h"

namespace {

unsigned Get16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return at + 1 < b.size() ? b[at] | (b[at + 1] << 8) : 0;
}
std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return Get16(b, at) | (static_cast<std::uint32_t>(Get16(b, at + 2)) << 16);
}

struct Entry {
  int channel = 0;
  int note = -1;
  int instrument = 0;
  int volume = -1;
  char command = 0;
  int info = 0;
};
using Row = std::vector<Entry>;

// The module file decoded just far enough to play its rows.
struct Decoded {
  bool ok = false;
  int speed = 0, tempo = 0;
  int enabledChannels = 0;
  std::vector<int> orders;
  std::vector<std::array<Row, 64>> patterns;
  struct Sample {
    std::vector<std::uint8_t> data;
    std::uint32_t loopStart = 0, loopEnd = 0, rate = 0;
    bool looped = false;
  };
  std::vector<Sample> samples;
};

Decoded Decode(const std::vector<std::uint8_t>& b) {
  Decoded d;
  if (b.size() < 96 || std::string(b.begin() + 44, b.begin() + 48) != "SCRM") return d;
  const unsigned orderCount = Get16(b, 32), instruments = Get16(b, 34), patterns = Get16(b, 36);
  d.speed = b[49];
  d.tempo = b[50];
  for (int c = 0; c < 32; ++c) d.enabledChannels += b[64 + c] < 16 ? 1 : 0;
  std::size_t at = 96;
  for (unsigned i = 0; i < orderCount; ++i) d.orders.push_back(b.at(at++));
  const std::size_t insPointers = at, patPointers = at + 2 * instruments;
  for (unsigned i = 0; i < instruments; ++i) {
    const std::size_t rec = Get16(b, insPointers + 2 * i) * 16u;
    if (rec + 80 > b.size()) return d;
    Decoded::Sample s;
    const std::size_t data = ((static_cast<std::size_t>(b[rec + 13]) << 16) | Get16(b, rec + 14)) * 16u;
    const std::uint32_t length = Get32(b, rec + 16);
    if (data + length > b.size()) return d;
    s.data.assign(b.begin() + static_cast<std::ptrdiff_t>(data),
                  b.begin() + static_cast<std::ptrdiff_t>(data + length));
    s.loopStart = Get32(b, rec + 20);
    s.loopEnd = Get32(b, rec + 24);
    s.looped = (b[rec + 31] & 1) != 0;
    s.rate = Get32(b, rec + 32);
    d.samples.push_back(std::move(s));
  }
  for (unsigned p = 0; p < patterns; ++p) {
    std::array<Row, 64> rows{};
    std::size_t q = Get16(b, patPointers + 2 * p) * 16u;
    if (q == 0 || q + 2 > b.size()) return d;
    const std::size_t end = q + Get16(b, q);
    q += 2;
    for (int r = 0; r < 64; ++r) {
      while (true) {
        if (q >= end || q >= b.size()) return d;
        const std::uint8_t what = b[q++];
        if (what == 0) break;
        Entry e;
        e.channel = what & 31;
        if ((what & 0x20) != 0) {
          e.note = b.at(q);
          e.instrument = b.at(q + 1);
          q += 2;
        }
        if ((what & 0x40) != 0) e.volume = b.at(q++);
        if ((what & 0x80) != 0) {
          e.command = static_cast<char>('A' - 1 + b.at(q));
          e.info = b.at(q + 1);
          q += 2;
        }
        rows[static_cast<std::size_t>(r)].push_back(e);
      }
    }
    d.patterns.push_back(std::move(rows));
  }
  d.ok = true;
  return d;
}

// Walks the song as the player does (speed, tempo, breaks, jumps, pattern
// loops and delays) until it wraps. Returns the seconds it lasts and, per
// sync value, the second at which its row began.
struct Walk {
  bool ok = false;
  double seconds = 0;
  std::map<int, double> syncs;
  std::set<std::string> commands;  // "D", "SB", "DxF"...
};

Walk PlayThrough(const Decoded& d) {
  Walk w;
  int speed = d.speed, tempo = d.tempo;
  int pos = 0, row = 0, loopStart = 0, loopCounter = 0;
  const int length = static_cast<int>(d.orders.size());
  auto patternAt = [&](int p) { return p < length ? d.orders[static_cast<std::size_t>(p)] : 255; };
  for (int guard = 0; guard < 100000; ++guard) {
    while (patternAt(pos) == 254) ++pos;
    const int pattern = patternAt(pos);
    if (pattern == 255 || pattern >= static_cast<int>(d.patterns.size())) {
      w.ok = true;  // the song wraps here
      return w;
    }
    int jump = -1, breakRow = -1, delay = 0;
    bool loopBack = false;
    for (const Entry& e : d.patterns[static_cast<std::size_t>(pattern)][static_cast<std::size_t>(row)]) {
      if (e.command == 0) continue;
      const int x = e.info >> 4, y = e.info & 15;
      std::string name(1, e.command);
      if (e.command == 'S') name += "0123456789ABCDEF"[x];
      if (e.command == 'D' && y == 15 && x != 0) name = "DxF";
      if (e.command == 'D' && x == 15 && y != 0) name = "DFx";
      w.commands.insert(name);
      switch (e.command) {
        case 'A': if (e.info != 0) speed = e.info; break;
        case 'T': if (e.info >= 0x20) tempo = e.info; break;
        case 'B': jump = e.info; break;
        case 'C': breakRow = std::min(63, x * 10 + y); break;
        case 'W': w.syncs.emplace(e.info, w.seconds); break;
        case 'S':
          if (x == 0xB && y == 0) loopStart = row;
          if (x == 0xB && y != 0) {
            if (loopCounter == 0) {
              loopCounter = y;
              loopBack = true;
            } else if (--loopCounter > 0) {
              loopBack = true;
            }
          }
          if (x == 0xE) delay = y;
          break;
        default: break;
      }
    }
    w.seconds += (1 + delay) * speed * 2.5 / tempo;
    if (jump >= 0) {
      if (jump <= pos || jump >= length) {
        w.ok = true;  // a jump back ends one pass through the song
        return w;
      }
      pos = jump;
      row = 0;
      loopStart = 0;
    } else if (breakRow >= 0) {
      ++pos;
      row = breakRow;
      loopStart = 0;
    } else if (loopBack) {
      row = loopStart;
    } else if (++row == 64) {
      row = 0;
      loopStart = 0;
      ++pos;
    }
  }
  return w;
}

class Soundtrack : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    bytes_ = new std::vector<std::uint8_t>(ComposeSoundtrack());
    decoded_ = new Decoded(Decode(*bytes_));
  }
  static void TearDownTestSuite() {
    delete decoded_;
    delete bytes_;
  }
  static std::vector<std::uint8_t>* bytes_;
  static Decoded* decoded_;
};
std::vector<std::uint8_t>* Soundtrack::bytes_ = nullptr;
Decoded* Soundtrack::decoded_ = nullptr;

TEST_F(Soundtrack, IsTheSameBytesEveryTime) {
  ASSERT_FALSE(bytes_->empty());
  EXPECT_TRUE(ComposeSoundtrack() == *bytes_);
}

TEST_F(Soundtrack, ReadsBackAsAModuleWithEnoughChannelsAndInstruments) {
  ASSERT_TRUE(decoded_->ok);
  EXPECT_GE(decoded_->enabledChannels, 8);
  EXPECT_GE(decoded_->samples.size(), 10u);
  for (const Decoded::Sample& s : decoded_->samples) {
    ASSERT_FALSE(s.data.empty());
    EXPECT_GT(s.rate, 0u);
    // Synthesised, not silent: the data swings well away from the midpoint.
    const auto [lo, hi] = std::minmax_element(s.data.begin(), s.data.end());
    EXPECT_GT(*hi - *lo, 100);
    if (s.looped) {
      EXPECT_LT(s.loopStart, s.loopEnd);
      EXPECT_LE(s.loopEnd, s.data.size());
    }
  }
}

TEST_F(Soundtrack, LastsTheTimelineAndChangesSectionOnEachSegmentStart) {
  ASSERT_TRUE(decoded_->ok);
  const Walk w = PlayThrough(*decoded_);
  ASSERT_TRUE(w.ok);
  EXPECT_NEAR(w.seconds, 218.0, 1e-6);
  const double starts[] = {0, 15, 20, 45, 67, 78, 90, 95, 98, 106, 116, 123, 133, 160};
  ASSERT_EQ(w.syncs.size(), std::size(starts));
  for (std::size_t i = 0; i < std::size(starts); ++i) {
    const auto found = w.syncs.find(static_cast<int>(i) + 1);
    ASSERT_NE(found, w.syncs.end()) << "section " << i + 1;
    EXPECT_NEAR(found->second, starts[i], 1e-6) << "section " << i + 1;
  }
}

// The same length measured by the system's own reader and player, from the file the
// build generated.
TEST_F(Soundtrack, ThePlayerPlaysTheGeneratedFileFor218SecondsOnAtLeast8Channels) {
  const std::string path = std::string(DEMO_CONTENT_DIR) + "/music.s3m";
  Module* module = nullptr;
  ASSERT_EQ(gmpLoadAnyModule(path.c_str(), nullptr, 0, &module), errOK) << path;
  EXPECT_EQ(module->kind, 2u) << "an S3M module";
  EXPECT_GE(module->numChannels, 8);
  double seconds = 0;
  EXPECT_EQ(gmpSongDuration(module, &seconds), errOK);
  EXPECT_NEAR(seconds, 218.0, 0.05);
  ModuleFree(module, nullptr);
}

TEST_F(Soundtrack, UsesTheWholeRangeOfPlayerCommands) {
  ASSERT_TRUE(decoded_->ok);
  const Walk w = PlayThrough(*decoded_);
  for (const char* wanted : {"A", "B", "C", "D", "DxF", "DFx", "E", "F", "G", "H", "J", "K", "L",
                             "O", "Q", "T", "V", "W", "X", "S8", "SB", "SC", "SD", "SE"}) {
    EXPECT_TRUE(w.commands.count(wanted) == 1) << wanted;
  }
}

TEST(ScoreBuilder, KeepsTheClockAndRefusesASectionThatEndsOffItsSecond) {
  s3m::Song song("t", 4);
  music::Score score(song, 3, 6, 120);  // 0.125 s a row
  score.Begin(40);
  score.Sync(0, 1);
  score.End(5.0);
  EXPECT_TRUE(score.Ok());
  score.Begin(20);
  score.Speed(0, 3);  // 0.0625 s a row
  score.End(6.25);
  EXPECT_TRUE(score.Ok());
  EXPECT_NEAR(score.Seconds(), 6.25, 1e-9);
  ASSERT_EQ(song.orders.size(), 2u);
  // The first section is broken off after its 40th row.
  EXPECT_EQ(song.Pattern(0).At(39, 3).command, 'C');
  EXPECT_EQ(song.Pattern(0).At(0, 3).command, 'W');

  score.Begin(16);
  score.End(7.0);  // 16 rows at speed 3 take 1 s, not 0.75
  EXPECT_FALSE(score.Ok());
}

TEST(ScoreBuilder, CountsLoopsAndDelaysAndPlacesCommandsOnFreeSlots) {
  s3m::Song song("t", 4);
  music::Score score(song, 3, 6, 120);
  score.Begin(24);
  score.Effect(0, 3, 'H', 0x51);  // control slot taken: the loop start moves down
  score.Loop(0, 15, 1);           // 16 rows twice
  score.Delay(20, 3);             // one row four times
  score.End((32 + 8 + 3) * 0.125);
  EXPECT_TRUE(score.Ok());
  EXPECT_EQ(song.Pattern(0).At(0, 3).command, 'H');
  EXPECT_EQ(song.Pattern(0).At(0, 2).command, 'S');
  EXPECT_EQ(song.Pattern(0).At(0, 2).info, 0xB0);
  EXPECT_EQ(song.Pattern(0).At(15, 3).info, 0xB1);
  EXPECT_EQ(song.Pattern(0).At(20, 3).info, 0xE3);
}

TEST(ScoreBuilder, RefusesMisuse) {
  {
    s3m::Song song("t", 2);
    music::Score score(song, 1, 6, 120);
    score.Begin(80);
    score.Loop(60, 70, 1);  // a loop cannot cross a pattern
    EXPECT_FALSE(score.Ok());
  }
  {
    s3m::Song song("t", 2);
    music::Score score(song, 1, 6, 120);
    score.Begin(8);
    score.Note(8, 0, 48, 1);  // past the section
    EXPECT_FALSE(score.Ok());
  }
  {
    s3m::Song song("t", 2);
    music::Score score(song, 1, 6, 120);
    score.Begin(8);
    score.Effect(0, 0, 'D', 0);  // a zero would reuse the last parameter
    EXPECT_FALSE(score.Ok());
  }
  {
    s3m::Song song("t", 2);
    music::Score score(song, 1, 6, 120);
    score.Begin(16);
    score.Loop(8, 15, 1);  // ends where the section's break must go
    score.End(3.0);
    EXPECT_FALSE(score.Ok());
  }
  {
    s3m::Song song("t", 1);
    music::Score score(song, 0, 6, 120);
    score.Begin(8);
    score.Speed(0, 6);
    score.Tempo(0, 120);  // one channel, one slot: no room for both
    score.End(1.0);
    EXPECT_FALSE(score.Ok());
  }
}

TEST(ScoreBuilder, ReadsNoteNames) {
  EXPECT_EQ(music::NoteNumber("C-4"), 48);
  EXPECT_EQ(music::NoteNumber("A-4"), 57);
  EXPECT_EQ(music::NoteNumber("A#2"), 34);
  EXPECT_EQ(music::NoteNumber("^^"), -1);
  EXPECT_EQ(music::NoteNumber("H-4"), -1);
}

// A looped voice must join its loop without a step larger than the steps
// inside it, or it clicks on every pass.
TEST(Instruments, LoopsJoinWithoutAClick) {
  for (const s3m::Instrument& ins :
       {music::Bass(), music::Pad(), music::Lead(), music::SubDrone(), music::NoiseLoop()}) {
    ASSERT_TRUE(ins.looped) << ins.name;
    ASSERT_LE(ins.loopEnd, ins.data.size()) << ins.name;
    ASSERT_GT(ins.loopEnd, ins.loopStart + 2) << ins.name;
    int largest = 0;
    for (std::uint32_t i = ins.loopStart + 1; i < ins.loopEnd; ++i) {
      largest = std::max(largest, std::abs(ins.data[i] - ins.data[i - 1]));
    }
    const int join = std::abs(ins.data[ins.loopStart] - ins.data[ins.loopEnd - 1]);
    EXPECT_LE(join, largest + 1) << ins.name;
  }
}

TEST(Instruments, DrumsDecayToSilence) {
  for (const s3m::Instrument& ins : {music::Kick(), music::Snare(), music::ClosedHat(), music::Crash()}) {
    ASSERT_FALSE(ins.looped) << ins.name;
    ASSERT_GT(ins.data.size(), 64u) << ins.name;
    for (std::size_t i = ins.data.size() - 16; i < ins.data.size(); ++i) {
      EXPECT_NEAR(ins.data[i], 128, 3) << ins.name << " sample " << i;
    }
  }
}

TEST(Instruments, ScalingKeepsPeaksInsideEightBits) {
  const std::vector<std::uint8_t> s = music::ToUnsigned8({0.0, 2.0, -4.0, 1.0}, 1.0);
  EXPECT_EQ(s[0], 128);
  EXPECT_EQ(s[2], 1);    // -127 at the peak
  EXPECT_EQ(s[1], 192);  // half of it, rounded
  EXPECT_EQ(music::ToUnsigned8({0.0, 0.0}, 0.9), (std::vector<std::uint8_t>{128, 128}));
}

}  // namespace
