// MOD reader: header and channel signatures, period-to-note search, effect
// mapping, sample loops and data, device upload, and malformed files. The
// layouts of other trackers (15-sample files, split patterns) are tested in
// loadmodlayout_test.cpp.
#include "sound/loadmod.h"

#include <gtest/gtest.h>

#include "sound/errors.h"
#include "sound/loads3m.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "tools/modwriter/modwriter.h"
#include "tests/sound/support/reader_fixture.h"
#include "tests/sound/support/reader_support.h"

namespace {

using soundtest::RecordingDevice;

class ModReader : public soundtest::ReaderFixture<gmpLoadMOD> {
protected:
  void SetUp() override {
    ReaderFixture::SetUp();
    gmpSetStereoSeparation(64);
  }
};

TEST_F(ModReader, HeaderOrdersAndDefaults) {
  modwriter::Song song;
  song.name = "twenty characters!!!";
  song.songLength = 3;
  song.orders[0] = 0;
  song.orders[1] = 2;
  song.orders[2] = 1;
  song.orders[5] = 3;  // beyond the song length, still counts for the pattern count
  ASSERT_EQ(Load(song), errOK);
  EXPECT_STREQ(module->name, "twenty characters!!!");
  EXPECT_EQ(module->kind, modKindMOD);
  EXPECT_EQ(module->songLength, 3u);
  EXPECT_EQ(module->restartPosition, 0u);  // 0x7F
  EXPECT_EQ(module->numPatterns, 4u);
  EXPECT_EQ(module->orders[1], 2u);
  EXPECT_EQ(module->orders[2], 1u);
  EXPECT_EQ(module->numChannels, 4u);
  EXPECT_EQ(module->numInstruments, 31u);
  EXPECT_EQ(module->numSamples, 31u);
  EXPECT_EQ(module->speed, 6u);
  EXPECT_EQ(module->tempo, 125u);
  EXPECT_EQ(module->globalVolume, 64u);
  EXPECT_EQ(module->flags, 0u);
  for (unsigned p = 0; p < 4; ++p) {
    EXPECT_EQ(module->patterns[p]->rows, 64u);
    EXPECT_TRUE(Pattern(p).empty());
  }
}

TEST_F(ModReader, RestartPosition) {
  modwriter::Song song;
  song.songLength = 3;
  song.restart = 2;
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->restartPosition, 2u);
  ModuleFree(module, nullptr);
  module = nullptr;
  song.restart = 3;  // not below the song length
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->restartPosition, 0u);
}

TEST_F(ModReader, ChannelSignatures) {
  auto channels = [](const char* sig) {
    return gmpModChannelsFromSignature(reinterpret_cast<const std::uint8_t*>(sig));
  };
  EXPECT_EQ(channels("M.K."), 4);
  EXPECT_EQ(channels("M!K!"), 4);
  EXPECT_EQ(channels("FLT4"), 4);
  EXPECT_EQ(channels("OCTA"), 8);
  EXPECT_EQ(channels("6CHN"), 6);
  EXPECT_EQ(channels("12CH"), 12);
  EXPECT_EQ(channels("32CH"), 32);
  EXPECT_EQ(channels("TDZ3"), 3);
  EXPECT_EQ(channels("33CH"), 0);  // more than the packed form can address
  EXPECT_EQ(channels("0CHN"), 0);
  EXPECT_EQ(channels("M&K!"), 4);
  EXPECT_EQ(channels("FLT8"), 8);
  EXPECT_EQ(channels("xyCH"), 0);
}

TEST_F(ModReader, OctaChannelsAndPannings) {
  modwriter::Song song;
  song.signature = "OCTA";
  song.channels = 8;
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->numChannels, 8u);
  const int expected[8] = {0, 128, 128, 0, 0, 128, 128, 0};
  for (int c = 0; c < 8; ++c) EXPECT_EQ(module->panning[c], expected[c]) << "channel " << c;
  ModuleFree(module, nullptr);
  module = nullptr;
  gmpSetStereoSeparation(32);
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->panning[0], 32);
  EXPECT_EQ(module->panning[1], 96);
}

TEST_F(ModReader, PatternsOfOtherChannelCounts) {
  modwriter::Song song;
  song.signature = "6CHN";
  song.channels = 6;
  song.At(0, 63, 5) = {856, 2, 0xC, 0x20};
  song.samples[1].data.assign(4, 0);
  ASSERT_EQ(Load(song), errOK);
  auto entries = Pattern(0);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].row, 63u);
  EXPECT_EQ(entries[0].channel, 5u);
  EXPECT_EQ(entries[0].note, 0x10);
  EXPECT_EQ(entries[0].instrument, 1);
  EXPECT_EQ(entries[0].command, cmdSetVolume);
  EXPECT_EQ(entries[0].param, 0x20);
}

TEST_F(ModReader, PeriodsBecomeNotes) {
  modwriter::Song song;
  const std::uint16_t periods[] = {856, 428, 113, 500, 214, 855};
  const int notes[] = {0x10, 0x20, 0x3B, 0x1A, 0x30, 0x11};
  for (int i = 0; i < 6; ++i) song.At(0, i, 0).period = periods[i];
  ASSERT_EQ(Load(song), errOK);
  auto entries = Pattern(0);
  ASSERT_EQ(entries.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(entries[i].note, notes[i]) << "period " << periods[i];
    EXPECT_EQ(entries[i].instrument, 0xFF);
  }
  EXPECT_EQ(module->flags & modFlagExtOctaves, 0u);
}

TEST_F(ModReader, ExtendedOctavesSetTheFlag) {
  for (std::uint16_t period : {1712, 907, 107, 28}) {
    modwriter::Song song;
    song.At(0, 0, 0).period = period;
    ASSERT_EQ(Load(song), errOK) << period;
    EXPECT_NE(module->flags & modFlagExtOctaves, 0u) << period;
    ModuleFree(module, nullptr);
    module = nullptr;
  }
  modwriter::Song song;
  song.At(0, 0, 0).period = 1712;
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(Pattern(0)[0].note, 0x00);
}

TEST_F(ModReader, PeriodBelowTheTableOrInstrumentAbove31AreInvalid) {
  modwriter::Song song;
  song.At(0, 10, 2).period = 27;
  EXPECT_EQ(Load(song), errInvalidPattern);
  EXPECT_EQ(module, nullptr);
  modwriter::Song song2;
  song2.At(0, 0, 0) = {0, 32, 0, 0};
  EXPECT_EQ(Load(song2), errInvalidPattern);
  EXPECT_EQ(module, nullptr);
}

TEST_F(ModReader, EffectMapping) {
  struct Case {
    std::uint8_t effect, param;
    int command, result;  // command -1: no command written
  };
  const Case cases[] = {
      {0x0, 0x37, cmdArpeggio, 0x37},         {0x1, 0x05, cmdPortamentoUp, 0x05},
      {0x3, 0x10, cmdTonePortamento, 0x10},   {0x8, 0x80, cmdSetPanning, 0x80},
      {0x8, 0xA4, cmdSetPanning, 0xA4},       {0x8, 0x81, -1, 0},
      {0x9, 0x02, cmdSampleOffset, 0x02},     {0xA, 0x0F, cmdVolumeSlide, 0x0F},
      {0xB, 0x01, cmdPositionJump, 0x01},     {0xC, 0x40, cmdSetVolume, 0x40},
      {0xD, 0x12, cmdPatternBreak, 0x12},     {0xE, 0x15, cmdFinePortamentoUp, 0x05},
      {0xE, 0x63, cmdPatternLoop, 0x03},      {0xE, 0xC2, cmdNoteCut, 0x02},
      {0xE, 0xEF, cmdPatternDelay, 0x0F},     {0xE, 0x05, -1, 0},
      {0xE, 0x31, cmdGlissandoControl, 0x01}, {0xF, 0x20, cmdSetSpeed, 0x20},
      {0xF, 0x21, cmdSetTempo, 0x21},         {0xF, 0x00, cmdSetSpeed, 0x00},
      {0x7, 0x00, cmdTremolo, 0x00},
      {0xE, 0x46, cmdVibratoWaveform, 0x06},  {0xE, 0x5F, cmdSetFineTune, 0x0F},
      {0xE, 0x72, cmdTremoloWaveform, 0x02},  {0xE, 0xF1, -1, 0},
  };
  modwriter::Song song;
  int row = 0;
  for (const Case& c : cases) song.At(0, row++, 1) = {0, 0, c.effect, c.param};
  ASSERT_EQ(Load(song), errOK);
  auto entries = Pattern(0);
  std::size_t e = 0;
  row = 0;
  for (const Case& c : cases) {
    if (c.command < 0) {
      EXPECT_TRUE(e == entries.size() || entries[e].row != static_cast<unsigned>(row))
          << "effect " << int(c.effect) << " param " << int(c.param) << " should be dropped";
    } else {
      ASSERT_LT(e, entries.size());
      EXPECT_EQ(entries[e].row, static_cast<unsigned>(row));
      EXPECT_EQ(entries[e].command, c.command) << "effect " << int(c.effect);
      EXPECT_EQ(entries[e].param, c.result) << "effect " << int(c.effect);
      EXPECT_EQ(entries[e].note, -1);
      ++e;
    }
    ++row;
  }
  EXPECT_EQ(e, entries.size());
}

TEST_F(ModReader, InstrumentWithoutNoteAndUsedMarks) {
  modwriter::Song song;
  song.At(0, 0, 3) = {0, 17, 0, 0};
  song.samples[16].data = {1, 2, 3, 4};
  song.samples[16].name = "used";
  song.samples[2].name = "unused";
  ASSERT_EQ(Load(song), errOK);
  auto entries = Pattern(0);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].note, 0xFF);
  EXPECT_EQ(entries[0].instrument, 16);
  EXPECT_EQ(module->instruments[16]->used, 1u);
  EXPECT_EQ(module->instruments[16]->numSamples, 1u);
  EXPECT_STREQ(module->instruments[16]->name, "used");
  EXPECT_EQ(module->instruments[2]->used, 0u);
  EXPECT_EQ(module->instruments[2]->numSamples, 0u);
  EXPECT_STREQ(module->instruments[2]->name, "unused");
  EXPECT_EQ(module->samples[2], nullptr);
}

TEST_F(ModReader, SampleDataLoopsAndOffsets) {
  modwriter::Song song;
  // Sample 1 is unused but its data still comes first in the file.
  song.samples[0].data = {9, 9, 9, 9, 9, 9};
  song.samples[1].data = {0, 1, -1, -128, 127, 64, 3, 3};
  song.samples[1].loopStartWords = 0;
  song.samples[1].loopLengthWords = 1;  // loop end 2: no loop
  song.samples[1].fineTune = 0xF7;     // only the low nibble counts
  song.samples[1].volume = 48;
  song.samples[2].data.assign(20, 5);
  song.samples[2].loopStartWords = 2;
  song.samples[2].loopLengthWords = 4;  // bytes 4..12: the data is cut there
  song.samples[3].data.assign(10, 1);
  song.samples[3].loopStartWords = 3;
  song.samples[3].loopLengthWords = 10;  // reaches past the data
  song.At(0, 0, 0).instrument = 2;
  song.At(0, 1, 0).instrument = 3;
  song.At(0, 2, 0).instrument = 4;
  ASSERT_EQ(Load(song), errOK);

  const ModuleSample* s = module->samples[1];
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->length, 8u);
  EXPECT_EQ(s->sampleType, smp8bitMono);
  EXPECT_EQ(s->loopMode, loopModeSwapNone);
  EXPECT_EQ(s->loopType, loopTypeNone);
  EXPECT_EQ(s->fineTune, 7);
  EXPECT_EQ(s->volume, 48u);
  ASSERT_NE(s->data, nullptr);
  const std::uint8_t expected[8] = {0x80, 0x81, 0x7F, 0x00, 0xFF, 0xC0, 0x83, 0x83};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(s->data[i], expected[i]) << i;

  const ModuleSample* looped = module->samples[2];
  EXPECT_EQ(looped->loopMode, loopModeSwapLoop);
  EXPECT_EQ(looped->loopType, loopTypeForward);
  EXPECT_EQ(looped->loopStart, 4u);
  EXPECT_EQ(looped->loopEnd, 12u);
  EXPECT_EQ(looped->length, 12u);
  EXPECT_EQ(looped->data[0], 0x85);

  const ModuleSample* clamped = module->samples[3];
  EXPECT_EQ(clamped->loopStart, 6u);
  EXPECT_EQ(clamped->loopEnd, 10u);
  EXPECT_EQ(clamped->loopMode, loopModeSwapLoop);
  EXPECT_EQ(clamped->data[9], 0x81);
}

struct CallbackLog {
  static inline int calls = 0;
  static inline int failAt = -1;
  static int Callback(const SampleDescriptor* descriptor, ModuleSample* sample) {
    EXPECT_NE(descriptor, nullptr);
    EXPECT_NE(sample->sdHandle, 0u);
    return calls++ == failAt ? errInvalidSampleHandle : errOK;
  }
};

TEST_F(ModReader, SamplesGoToTheDevice) {
  modwriter::Song song;
  song.samples[0].data = {-128, 0, 127, 1};
  song.samples[4].data = {};
  song.At(0, 0, 0).instrument = 1;
  song.At(0, 1, 0).instrument = 5;
  RecordingDevice device;
  CallbackLog::calls = 0;
  CallbackLog::failAt = -1;
  ASSERT_EQ(Load(song, device.device(), 1, &CallbackLog::Callback), errOK);
  EXPECT_EQ(CallbackLog::calls, 2);
  ASSERT_EQ(device.samples().size(), 2u);
  const auto& first = device.samples()[0];
  EXPECT_EQ(first.descriptor.placement, sdSmpConv);
  EXPECT_EQ(first.descriptor.sampleType, smp8bitMono);
  EXPECT_EQ(first.descriptor.sampleLength, 4u);
  EXPECT_EQ(first.descriptor.loopMode, loopModeSwapNone);
  EXPECT_EQ(first.data, (std::vector<std::uint8_t>{0x00, 0x80, 0xFF, 0x81}));
  EXPECT_EQ(module->samples[0]->sdHandle, first.handle);
  EXPECT_EQ(module->samples[0]->data, nullptr);
  // A sample of length 0 is still described, with no data.
  const auto& empty = device.samples()[1];
  EXPECT_EQ(empty.descriptor.placement, sdNoData);
  EXPECT_EQ(empty.descriptor.sampleType, smpNone);
  EXPECT_TRUE(empty.data.empty());
  EXPECT_EQ(ModuleFree(module, device.device()), errOK);
  module = nullptr;
  EXPECT_EQ(device.Live(), 0);
}

TEST_F(ModReader, CallbackOrDeviceFailureUndoesTheLoad) {
  modwriter::Song song;
  for (int i = 0; i < 4; ++i) {
    song.samples[i].data = {1, 2};
    song.At(0, i, 0).instrument = static_cast<std::uint8_t>(i + 1);
  }
  {
    RecordingDevice device;
    CallbackLog::calls = 0;
    CallbackLog::failAt = 2;
    EXPECT_EQ(Load(song, device.device(), 1, &CallbackLog::Callback), errInvalidSampleHandle);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(device.samples().size(), 3u);
    EXPECT_EQ(device.Live(), 0);
  }
  {
    RecordingDevice device;
    device.FailAfter(1, errNoSampleHandles);
    EXPECT_EQ(Load(song, device.device(), 1, nullptr), errNoSampleHandles);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(device.Live(), 0);
  }
}

TEST_F(ModReader, MalformedFilesFailCleanly) {
  modwriter::Song song;
  song.samples[0].data.assign(100, 1);
  song.At(0, 0, 0).instrument = 1;
  const auto good = song.Build();

  EXPECT_EQ(LoadBytes({}), errEndOfFile);
  EXPECT_EQ(LoadBytes(std::vector<std::uint8_t>(good.begin(), good.begin() + 1000)),
            errEndOfFile);
  // The header is whole but the pattern is cut.
  EXPECT_EQ(LoadBytes(std::vector<std::uint8_t>(good.begin(), good.begin() + 1500)),
            errEndOfFile);
  // The last sample's data is cut: it loads shortened (see LastSampleCutShort).
  EXPECT_EQ(LoadBytes(std::vector<std::uint8_t>(good.begin(), good.end() - 1)), errOK);

  auto unknown = good;
  unknown[1080] = 'X';
  EXPECT_EQ(LoadBytes(unknown), errInvalidModule);

  auto noSong = good;
  noSong[950] = 0;
  EXPECT_EQ(LoadBytes(noSong), errInvalidModule);

  // An order byte of 255 asks for 256 patterns the file does not hold.
  auto manyPatterns = good;
  manyPatterns[952 + 127] = 255;
  EXPECT_EQ(LoadBytes(manyPatterns), errEndOfFile);
  EXPECT_EQ(module, nullptr);

  // A song length above 128 reads only the 128 orders that exist.
  auto longSong = good;
  longSong[950] = 200;
  ASSERT_EQ(LoadBytes(longSong), errOK);
  EXPECT_EQ(module->songLength, 128u);
}

TEST_F(ModReader, MissingFile) {
  EXPECT_EQ(gmpLoadMOD("/nonexistent/dir/file.mod", nullptr, 0, nullptr, &module),
            errFileNotFound);
  EXPECT_EQ(module, nullptr);
}

}  // namespace
