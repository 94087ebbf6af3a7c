// MOD layouts of other trackers: channel signature spellings, split "FLT8"
// patterns, 15-sample files and the checks that keep other data from passing
// as one, and a last sample cut short by the end of the file.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "sound/errors.h"
#include "sound/loadformats.h"
#include "sound/loadmod.h"
#include "sound/loads3m.h"
#include "sound/module.h"
#include "tests/sound/support/reader_fixture.h"
#include "tests/sound/support/reader_support.h"
#include "tools/modwriter/modwriter.h"

namespace {

class ModLayouts : public soundtest::ReaderFixture<gmpLoadMOD> {
protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    gmpSetStereoSeparation(64);
  }
};

// A 15-sample song with two patterns and two samples.
modwriter::Song OldSong() {
  modwriter::Song song;
  song.sampleCount = 15;
  song.name = "old song";
  song.songLength = 2;
  song.restart = 0x78;  // old trackers kept a tempo here
  song.orders[0] = 1;
  song.orders[1] = 0;
  song.samples[0].name = "first";
  song.samples[0].data.assign(16, 4);
  song.samples[0].volume = 40;
  song.samples[14].name = "last";
  song.samples[14].data.assign(32, -2);
  song.samples[14].loopStartWords = 4;
  song.samples[14].loopLengthWords = 8;  // bytes 8..24
  song.At(1, 0, 0) = {428, 1, 0xC, 0x20};
  song.At(1, 5, 3) = {214, 15, 0, 0};
  song.At(0, 63, 2) = {856, 16, 0, 0};  // no 16th sample record: no instrument
  return song;
}

bool LayoutOf(const std::vector<std::uint8_t>& bytes, ModLayout* layout) {
  return gmpModLayoutOf(bytes.data(), bytes.size(), bytes.size(), layout);
}

TEST_F(ModLayouts, SignatureSpellings) {
  auto channels = [](const char* sig) {
    return gmpModChannelsFromSignature(reinterpret_cast<const std::uint8_t*>(sig));
  };
  EXPECT_EQ(channels("2CHN"), 2);
  EXPECT_EQ(channels("8CHN"), 8);
  EXPECT_EQ(channels("10CH"), 10);
  EXPECT_EQ(channels("16CH"), 16);
  EXPECT_EQ(channels("CD61"), 6);
  EXPECT_EQ(channels("CD81"), 8);
  EXPECT_EQ(channels("FA04"), 4);
  EXPECT_EQ(channels("FA06"), 6);
  EXPECT_EQ(channels("FA08"), 8);
  EXPECT_EQ(channels("FEST"), 4);
  EXPECT_EQ(channels("M&K!"), 4);
  EXPECT_EQ(channels("FLT8"), 8);
  EXPECT_EQ(channels("FA05"), 0);
  EXPECT_EQ(channels("CD71"), 0);
  EXPECT_EQ(channels("00CH"), 0);
}

TEST_F(ModLayouts, OtherSignaturesLoadWithTheirChannels) {
  const std::pair<const char*, int> cases[] = {
      {"2CHN", 2}, {"CD61", 6}, {"CD81", 8}, {"FA08", 8}, {"FEST", 4}, {"M&K!", 4}, {"24CH", 24}};
  for (const auto& [signature, count] : cases) {
    modwriter::Song song;
    song.signature = signature;
    song.channels = count;
    song.At(0, 7, count - 1) = {856, 1, 0xF, 0x03};
    song.samples[0].data.assign(8, 1);
    ASSERT_EQ(Load(song), errOK) << signature;
    EXPECT_EQ(module->numChannels, static_cast<unsigned>(count)) << signature;
    EXPECT_EQ(module->numInstruments, 31u);
    const auto entries = Pattern(0);
    ASSERT_EQ(entries.size(), 1u) << signature;
    EXPECT_EQ(entries[0].row, 7u);
    EXPECT_EQ(entries[0].channel, static_cast<unsigned>(count - 1));
    EXPECT_EQ(entries[0].command, cmdSetSpeed);
  }
}

TEST_F(ModLayouts, SplitPatternsJoinIntoEightChannels) {
  modwriter::Song song;
  song.signature = "FLT8";
  song.channels = 8;
  song.songLength = 3;
  // Orders count 4-channel halves: 2 and 3 both mean pattern 1.
  song.orders[0] = 0;
  song.orders[1] = 2;
  song.orders[2] = 3;
  song.At(0, 0, 0) = {856, 1, 0, 0};
  song.At(0, 0, 7) = {428, 1, 0, 0};
  song.At(1, 40, 3) = {214, 1, 0xA, 0x01};
  song.At(1, 40, 4) = {0, 0, 0xC, 0x10};
  song.At(1, 63, 6) = {113, 1, 0, 0};
  song.samples[0].data.assign(8, 1);
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->numChannels, 8u);
  ASSERT_EQ(module->numPatterns, 2u);
  EXPECT_EQ(module->orders[0], 0u);
  EXPECT_EQ(module->orders[1], 1u);
  EXPECT_EQ(module->orders[2], 1u);

  auto first = Pattern(0);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].channel, 0u);
  EXPECT_EQ(first[0].note, 0x10);
  EXPECT_EQ(first[1].channel, 7u);
  EXPECT_EQ(first[1].note, 0x20);
  auto second = Pattern(1);
  ASSERT_EQ(second.size(), 3u);
  EXPECT_EQ(second[0].row, 40u);
  EXPECT_EQ(second[0].channel, 3u);
  EXPECT_EQ(second[0].command, cmdVolumeSlide);
  EXPECT_EQ(second[1].row, 40u);
  EXPECT_EQ(second[1].channel, 4u);
  EXPECT_EQ(second[1].command, cmdSetVolume);
  EXPECT_EQ(second[2].row, 63u);
  EXPECT_EQ(second[2].channel, 6u);

  // Both halves of the last pattern must be in the file.
  const auto bytes = song.Build();
  EXPECT_EQ(LoadBytes(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 1084 + 3000)),
            errEndOfFile);
}

TEST_F(ModLayouts, FifteenSampleFile) {
  const auto song = OldSong();
  const auto bytes = song.Build();
  ASSERT_EQ(bytes.size(), 600u + 2 * 1024 + 16 + 32);
  ModLayout layout;
  ASSERT_TRUE(LayoutOf(bytes, &layout));
  EXPECT_EQ(layout.sampleCount, 15u);
  EXPECT_EQ(layout.headerSize, 600u);
  EXPECT_EQ(layout.channels, 4u);

  ASSERT_EQ(LoadBytes(bytes), errOK);
  EXPECT_STREQ(module->name, "old song");
  EXPECT_EQ(module->numChannels, 4u);
  EXPECT_EQ(module->numInstruments, 15u);
  EXPECT_EQ(module->numSamples, 15u);
  EXPECT_EQ(module->songLength, 2u);
  EXPECT_EQ(module->restartPosition, 0u);
  EXPECT_EQ(module->orders[0], 1u);
  ASSERT_EQ(module->numPatterns, 2u);

  const auto zero = Pattern(0);
  ASSERT_EQ(zero.size(), 1u);
  EXPECT_EQ(zero[0].note, 0x10);
  EXPECT_EQ(zero[0].instrument, instNone);
  const auto one = Pattern(1);
  ASSERT_EQ(one.size(), 2u);
  EXPECT_EQ(one[0].note, 0x20);
  EXPECT_EQ(one[0].instrument, 0);
  EXPECT_EQ(one[0].command, cmdSetVolume);
  EXPECT_EQ(one[1].instrument, 14);

  ASSERT_NE(module->samples[0], nullptr);
  EXPECT_EQ(module->samples[0]->length, 16u);
  EXPECT_EQ(module->samples[0]->volume, 40u);
  EXPECT_EQ(module->samples[0]->data[0], 0x84);
  const ModuleSample* last = module->samples[14];
  ASSERT_NE(last, nullptr);
  EXPECT_STREQ(last->name, "last");
  EXPECT_EQ(last->loopStart, 8u);
  EXPECT_EQ(last->loopEnd, 24u);
  EXPECT_EQ(last->loopMode, loopModeSwapLoop);
  EXPECT_EQ(last->data[0], 0x7E);
}

TEST_F(ModLayouts, FormatTableTriesModLast) {
  const auto bytes = OldSong().Build();
  EXPECT_EQ(moduleFormats[moduleFormatCount - 1], &modModuleFormat);
  EXPECT_EQ(gmpMatchModuleFormat(bytes.data(), bytes.size(), bytes.size()), &modModuleFormat);
  // The first 48 bytes alone show no layout.
  EXPECT_EQ(gmpMatchModuleFormat(bytes.data(), moduleProbeBytes, bytes.size()), nullptr);

  soundtest::ScratchFile file(bytes);
  ModuleStart start;
  ASSERT_EQ(gmpReadModuleStart(file.path(), &start), errOK);
  EXPECT_EQ(start.size, moduleStartBytes);
  EXPECT_EQ(start.fileLength, bytes.size());
  EXPECT_EQ(gmpProbeModuleFormat(start), &modModuleFormat);

  // An XM file whose bytes would also pass as a MOD is read as XM.
  auto xm = bytes;
  std::memcpy(xm.data(), "Extended Module:", 16);
  EXPECT_EQ(gmpMatchModuleFormat(xm.data(), xm.size(), xm.size()), &xmModuleFormat);
}

TEST_F(ModLayouts, CutOrBentFifteenSampleHeadersAreRefused) {
  const auto good = OldSong().Build();
  ModLayout layout;
  auto refused = [&](std::vector<std::uint8_t> bytes, const char* what) {
    EXPECT_FALSE(LayoutOf(bytes, &layout)) << what;
    EXPECT_EQ(gmpMatchModuleFormat(bytes.data(), bytes.size(), bytes.size()), nullptr) << what;
  };
  refused({good.begin(), good.begin() + 599}, "header cut short");
  refused({good.begin(), good.begin() + 600 + 1024}, "pattern missing");
  // Everything but the last sample must be there.
  refused({good.begin(), good.begin() + 600 + 2048 + 15}, "first sample cut");
  auto bent = good;
  bent[20 + 25] = 65;
  refused(bent, "volume above 64");
  bent = good;
  bent[20 + 24] = 16;
  refused(bent, "fine tune above 15");
  bent = good;
  bent[3] = 0x07;
  refused(bent, "song name not text");
  bent = good;
  bent[20 + 30 + 2] = 0x9B;
  refused(bent, "sample name not text");
  bent = good;
  bent[470] = 0;
  refused(bent, "no song");
  bent = good;
  bent[470] = 129;
  refused(bent, "song longer than the order list");
  bent = good;
  bent[472 + 100] = 128;
  refused(bent, "pattern number out of range");
  bent = good;
  bent[472 + 100] = 2;
  refused(bent, "a pattern the file does not hold");
  // With every sample empty there is nothing to play.
  modwriter::Song silent = OldSong();
  silent.samples[0].data.clear();
  silent.samples[14].data.clear();
  refused(silent.Build(), "no sample data");

  // The reader gives the same answers.
  EXPECT_EQ(LoadBytes({good.begin(), good.begin() + 599}), errEndOfFile);
  EXPECT_EQ(LoadBytes(bent), errInvalidModule);
  EXPECT_EQ(module, nullptr);
}

TEST_F(ModLayouts, RandomDataAndTextAreNotFifteenSampleFiles) {
  std::mt19937 random(1234);
  ModLayout layout;
  int taken = 0;
  for (int trial = 0; trial < 2000; ++trial) {
    std::vector<std::uint8_t> bytes(600 + 1024 * (1 + trial % 8) + trial * 7);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    if (LayoutOf(bytes, &layout)) ++taken;
  }
  EXPECT_EQ(taken, 0);
  // Text: a 3D model's vertex list, lines of printable numbers.
  std::string text;
  for (int v = 1; text.size() < 200000; ++v) {
    text += "v " + std::to_string(v) + "\t0." + std::to_string(v * 7919 % 100000) + "\t1.5\n";
  }
  const std::vector<std::uint8_t> bytes(text.begin(), text.end());
  EXPECT_FALSE(LayoutOf(bytes, &layout));
  EXPECT_EQ(LoadBytes(bytes), errInvalidModule);
  // All zeros has no song.
  EXPECT_FALSE(LayoutOf(std::vector<std::uint8_t>(100000, 0), &layout));
}

TEST_F(ModLayouts, LastSampleCutShort) {
  modwriter::Song song;
  song.samples[0].data.assign(100, 1);
  song.samples[3].data.assign(200, 2);
  song.samples[3].loopStartWords = 40;
  song.samples[3].loopLengthWords = 50;  // bytes 80..180
  song.At(0, 0, 0).instrument = 1;
  song.At(0, 1, 0).instrument = 4;
  const auto good = song.Build();
  const std::size_t lastStart = good.size() - 200;

  // Cut inside the loop: the loop ends where the data does.
  ASSERT_EQ(LoadBytes({good.begin(), good.begin() + lastStart + 120}), errOK);
  EXPECT_EQ(module->samples[0]->length, 100u);
  const ModuleSample* cut = module->samples[3];
  EXPECT_EQ(cut->length, 120u);
  EXPECT_EQ(cut->loopStart, 80u);
  EXPECT_EQ(cut->loopEnd, 120u);
  EXPECT_EQ(cut->loopMode, loopModeSwapLoop);
  EXPECT_EQ(cut->data[119], 0x82);

  // Cut before the loop: no loop is left.
  ASSERT_EQ(LoadBytes({good.begin(), good.begin() + lastStart + 50}), errOK);
  EXPECT_EQ(module->samples[3]->length, 50u);
  EXPECT_EQ(module->samples[3]->loopType, loopTypeNone);
  EXPECT_EQ(module->samples[3]->loopMode, loopModeSwapNone);

  // Cut at the start of its data: the sample is empty.
  ASSERT_EQ(LoadBytes({good.begin(), good.begin() + lastStart}), errOK);
  EXPECT_EQ(module->samples[3]->length, 0u);

  // An earlier sample cut short fails.
  EXPECT_EQ(LoadBytes({good.begin(), good.begin() + lastStart - 1}), errEndOfFile);
  EXPECT_EQ(module, nullptr);
}

}  // namespace
