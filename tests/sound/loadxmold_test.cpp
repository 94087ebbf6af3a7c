// XM files of versions 1.02 and 1.03 (instruments before the patterns, sample
// data after them; 1.02's short pattern header), and a last sample cut short
// by the end of the file.
#include <gtest/gtest.h>

#include <vector>

#include "sound/errors.h"
#include "sound/loadxm.h"
#include "sound/module.h"
#include "tests/sound/support/reader_fixture.h"
#include "tests/sound/support/reader_support.h"
#include "tools/xmwriter/xmwriter.h"

namespace {

class XmVersions : public soundtest::ReaderFixture<gmpLoadXM> {};

// Two patterns of different lengths and two instruments, one with an 8-bit
// and a 16-bit sample, one with a looped 8-bit sample.
xmwriter::Song RichSong(std::uint16_t version) {
  xmwriter::Song song;
  song.version = version;
  song.orders = {1, 0, 1};
  song.patterns.resize(2);
  song.patterns[1].rows = 32;
  song.At(0, 0, 0) = {49, 1, 0x20, 0, 0};
  song.At(0, 63, 3) = {61, 2, 0, 0xA, 0x0F};
  song.At(1, 31, 2) = {97, 0, 0, 0xF, 0x03};
  song.At(1, 5, 1) = {13, 1, 0x50, 0, 0};

  xmwriter::Instrument first;
  first.name = "pair";
  first.noteMap.fill(0);
  first.noteMap[60] = 1;
  xmwriter::Sample low;
  low.name = "low";
  low.values = {0, 1, 2, 3, -4, -5};
  xmwriter::Sample high;
  high.name = "high";
  high.sixteen = true;
  high.values = {1000, -1000, 32767, -32768};
  first.samples = {low, high};
  xmwriter::Instrument second;
  second.name = "loop";
  xmwriter::Sample looped;
  looped.values = {10, 20, 30, 40, 50, 60, 70, 80};
  looped.loopBits = 1;
  looped.loopStart = 2;
  looped.loopLength = 4;
  second.samples = {looped};
  song.instruments = {first, second};
  return song;
}

struct Loaded {
  std::vector<std::vector<soundtest::Entry>> patterns;
  std::vector<unsigned> rows;
  std::vector<std::vector<std::uint8_t>> samples;
};

class XmVersionsCompare : public XmVersions {
protected:
  Loaded Snapshot() {
    Loaded l;
    for (unsigned p = 0; p < module->numPatterns; ++p) {
      l.patterns.push_back(Pattern(p));
      l.rows.push_back(module->patterns[p]->rows);
    }
    for (unsigned s = 0; s < module->numSamples; ++s) {
      const ModuleSample* sample = module->samples[s];
      if (sample == nullptr) continue;
      l.samples.emplace_back(sample->data, sample->data + sample->length);
    }
    return l;
  }
};

TEST_F(XmVersionsCompare, OlderLayoutsReadAsTheCurrentOne) {
  ASSERT_EQ(Load(RichSong(0x0104)), errOK);
  const Loaded current = Snapshot();
  ASSERT_EQ(current.patterns.size(), 2u);
  ASSERT_EQ(current.samples.size(), 3u);
  EXPECT_EQ(current.rows[1], 32u);

  for (std::uint16_t version : {0x0102, 0x0103}) {
    SCOPED_TRACE(version);
    const auto bytes = RichSong(version).Build();
    ASSERT_EQ(LoadBytes(bytes), errOK);
    EXPECT_EQ(module->numInstruments, 2u);
    EXPECT_STREQ(module->instruments[0]->name, "pair");
    EXPECT_NE(module->instruments[0]->noteMap, nullptr);
    EXPECT_STREQ(module->instruments[1]->samples[0]->name, "");
    EXPECT_EQ(module->instruments[1]->samples[0]->loopType, loopTypeForward);
    EXPECT_EQ(module->instruments[1]->samples[0]->loopEnd, 6u);
    EXPECT_EQ(module->instruments[0]->samples[1]->sampleType, smp16bitMono);
    const Loaded old = Snapshot();
    EXPECT_EQ(old.rows, current.rows);
    ASSERT_EQ(old.patterns.size(), current.patterns.size());
    for (std::size_t p = 0; p < old.patterns.size(); ++p) {
      ASSERT_EQ(old.patterns[p].size(), current.patterns[p].size()) << "pattern " << p;
      for (std::size_t e = 0; e < old.patterns[p].size(); ++e) {
        EXPECT_EQ(old.patterns[p][e].row, current.patterns[p][e].row);
        EXPECT_EQ(old.patterns[p][e].channel, current.patterns[p][e].channel);
        EXPECT_EQ(old.patterns[p][e].note, current.patterns[p][e].note);
        EXPECT_EQ(old.patterns[p][e].instrument, current.patterns[p][e].instrument);
        EXPECT_EQ(old.patterns[p][e].command, current.patterns[p][e].command);
      }
    }
    EXPECT_EQ(old.samples, current.samples);
  }
}

TEST_F(XmVersions, ShortPatternHeaderCountsRowsLessOne) {
  xmwriter::Song song = RichSong(0x0102);
  song.patterns[0].rows = 256;  // stored as 255
  song.patterns[1].rows = 1;    // stored as 0
  song.patterns[1].cells.clear();
  song.At(0, 255, 0) = {50, 1, 0, 0, 0};
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->patterns[0]->rows, 256u);
  EXPECT_EQ(module->patterns[1]->rows, 1u);
  const auto entries = Pattern(0);
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.back().row, 255u);
  // 1.03 has the two-byte row count: the same bytes read as 1.02 are wrong.
  auto bytes = song.Build();
  bytes[58] = 0x03;
  EXPECT_NE(LoadBytes(bytes), errOK);
  EXPECT_EQ(module, nullptr);
}

TEST_F(XmVersions, OlderLayoutsCutShort) {
  const auto good = RichSong(0x0103).Build();
  // The last sample's data (the looped one) is the file's last 8 bytes.
  const std::size_t lastData = good.size() - 8;
  for (std::size_t cut = 0; cut < lastData; ++cut) {
    EXPECT_NE(LoadBytes({good.begin(), good.begin() + cut}), errOK) << "cut at " << cut;
    EXPECT_EQ(module, nullptr);
  }
  ASSERT_EQ(LoadBytes({good.begin(), good.begin() + lastData + 5}), errOK);
  const ModuleSample* cut = module->instruments[1]->samples[0];
  EXPECT_EQ(cut->length, 5u);
  EXPECT_EQ(cut->loopStart, 2u);
  EXPECT_EQ(cut->loopEnd, 5u);
  EXPECT_EQ(cut->loopMode, loopModeSingle);
}

TEST_F(XmVersions, LastSampleCutShort) {
  xmwriter::Song song = RichSong(0x0104);
  // The 16-bit sample comes last: a cut inside a value keeps whole values.
  std::swap(song.instruments[0], song.instruments[1]);
  for (auto& pattern : song.patterns) {
    for (auto& cell : pattern.cells) {
      if (cell.instrument != 0) cell.instrument = static_cast<std::uint8_t>(3 - cell.instrument);
    }
  }
  const auto good = song.Build();
  ASSERT_EQ(LoadBytes({good.begin(), good.end() - 3}), errOK);
  const ModuleSample* high = module->instruments[1]->samples[1];
  EXPECT_EQ(high->length, 4u);
  EXPECT_EQ(high->sampleType, smp16bitMono);
  EXPECT_EQ(module->instruments[1]->samples[0]->length, 6u);

  // Nothing of the last sample left: it is empty, the others whole.
  ASSERT_EQ(LoadBytes({good.begin(), good.end() - 8}), errOK);
  EXPECT_EQ(module->instruments[1]->samples[1]->length, 0u);
  EXPECT_EQ(module->instruments[1]->samples[1]->sampleType, smpNone);
  EXPECT_EQ(module->instruments[1]->samples[0]->length, 6u);

  // The sample before it cut: refused.
  EXPECT_EQ(LoadBytes({good.begin(), good.end() - 9}), errEndOfFile);
  EXPECT_EQ(module, nullptr);
}

}  // namespace
