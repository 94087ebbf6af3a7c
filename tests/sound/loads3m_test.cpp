// S3M reader: header, order list, panning, pattern conversion, samples, and
// malformed files that must fail cleanly without leaks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sound/errors.h"
#include "sound/loads3m.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "sound/sdevice.h"
#include "tests/sound/support/recording_device.h"
#include "tools/s3mwriter/s3mwriter.h"

namespace {

std::string TempPath(const std::string& name) {
  return testing::TempDir() + "loads3m_" + name + ".s3m";
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  if (!bytes.empty()) {
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  }
  std::fclose(f);
}

// A two-channel song with one instrument playing C-4 on row 0.
s3m::Song BasicSong() {
  s3m::Song song("basic", 2);
  song.orders = {0};
  song.AddInstrument("lead", s3m::SineWave(100), 8363, 40);
  song.Pattern(0).At(0, 0) = s3m::Cell::Play(s3m::Note("C-4"), 1);
  return song;
}

class S3mReader : public testing::Test {
 protected:
  void SetUp() override {
    recdev::Reset();
    gmpSetStereoSeparation(64);
    blocksBefore = memBlocksInUse();
  }
  void TearDown() override {
    if (module != nullptr) {
      EXPECT_EQ(ModuleFree(module, recdev::Device()), errOK);
      module = nullptr;
    }
    EXPECT_EQ(memBlocksInUse(), blocksBefore) << "blocks leaked";
    EXPECT_EQ(recdev::LiveSamples(), 0u) << "device samples left behind";
  }

  int LoadBytes(const std::vector<std::uint8_t>& bytes, const std::string& name,
                int addSamples = 1) {
    const std::string path = TempPath(name);
    WriteBytes(path, bytes);
    int error = gmpLoadS3M(path.c_str(), recdev::Device(), addSamples, nullptr, &module);
    std::remove(path.c_str());
    return error;
  }
  int Load(const s3m::Song& song, const std::string& name, int addSamples = 1) {
    return LoadBytes(s3m::Write(song), name, addSamples);
  }

  // The converted pattern's entries as (row, flags, bytes...) for inspection.
  std::vector<std::vector<std::uint8_t>> Rows(std::uint32_t pattern) {
    std::vector<std::vector<std::uint8_t>> rows;
    const PackedPattern* p = module->patterns[pattern];
    const std::uint8_t* b = PatternRows(p);
    const std::uint8_t* end = reinterpret_cast<const std::uint8_t*>(p) + p->length;
    while (b < end) {
      std::vector<std::uint8_t> row;
      while (b < end && *b != 0) {
        const std::uint8_t flags = *b;
        const int size = 1 + ((flags & pattNoteInst) ? 2 : 0) + ((flags & pattVolume) ? 1 : 0) +
                         ((flags & pattCommand) ? 2 : 0);
        row.insert(row.end(), b, b + size);
        b += size;
      }
      ++b;
      rows.push_back(row);
    }
    return rows;
  }

  Module* module = nullptr;
  std::size_t blocksBefore = 0;
};

TEST_F(S3mReader, HeaderFieldsAndFlags) {
  s3m::Song song = BasicSong();
  song.name = "a song name of exactly 28 ch";  // fills the field, no terminator
  song.globalVolume = 48;
  song.speed = 3;
  song.tempo = 150;
  song.flags = 0x10;
  ASSERT_EQ(Load(song, "header"), errOK);
  EXPECT_STREQ(module->name, "a song name of exactly 28 ch");
  EXPECT_EQ(module->kind, static_cast<std::uint32_t>(modKindS3M));
  EXPECT_EQ(module->globalVolume, 48);
  EXPECT_EQ(module->speed, 3);
  EXPECT_EQ(module->tempo, 150);
  EXPECT_EQ(module->restartPosition, 0u);
  EXPECT_EQ(module->flags, static_cast<std::uint32_t>(modFlagAmigaLimits));
  EXPECT_EQ(module->numInstruments, 1u);
  EXPECT_EQ(module->numSamples, 1u);
}

TEST_F(S3mReader, OldTrackerVersionForcesFastSlides) {
  s3m::Song song = BasicSong();
  song.trackerVersion = 0x1300;
  ASSERT_EQ(Load(song, "oldversion"), errOK);
  EXPECT_EQ(module->flags, static_cast<std::uint32_t>(modFlagFastVolSlides));
  ModuleFree(module, recdev::Device());
  module = nullptr;
  song.trackerVersion = 0x1320;
  song.flags = 0x40;
  ASSERT_EQ(Load(song, "fastflag"), errOK);
  EXPECT_EQ(module->flags, static_cast<std::uint32_t>(modFlagFastVolSlides));
}

TEST_F(S3mReader, TrailingEndMarkersAreDropped) {
  s3m::Song song = BasicSong();
  song.orders = {0, 1, 255, 255};
  song.Pattern(1);
  ASSERT_EQ(Load(song, "trailing"), errOK);
  EXPECT_EQ(module->songLength, 2u);
  EXPECT_EQ(module->numPatterns, 2u);
  EXPECT_EQ(module->orders[0], 0);
  EXPECT_EQ(module->orders[1], 1);
}

TEST_F(S3mReader, MarkersWidenAndMissingPatternsAreEmpty) {
  s3m::Song song = BasicSong();
  song.orders = {3, 254, 1};
  song.Pattern(1).At(5, 0).Effect('A', 4);
  song.patterns.resize(2);  // patterns 2 and 3 are not stored
  ASSERT_EQ(Load(song, "markers"), errOK);
  ASSERT_EQ(module->songLength, 3u);
  EXPECT_EQ(module->orders[0], 3);
  EXPECT_EQ(module->orders[1], orderSkip);
  EXPECT_EQ(module->orders[2], 1);
  ASSERT_EQ(module->numPatterns, 4u);
  for (std::uint32_t p : {2u, 3u}) {
    EXPECT_EQ(module->patterns[p]->length, 72u);
    EXPECT_EQ(module->patterns[p]->rows, 64u);
  }
  EXPECT_EQ(Rows(1)[5], (std::vector<std::uint8_t>{0x80, 15, 4}));
}

TEST_F(S3mReader, EmptyOrderListIsRejected) {
  s3m::Song song = BasicSong();
  song.orders = {255, 255};
  EXPECT_EQ(Load(song, "allend"), errInvalidModule);
  song.orders = {254, 255};
  EXPECT_EQ(Load(song, "onlyskip"), errInvalidModule);
  EXPECT_EQ(module, nullptr);
}

TEST_F(S3mReader, DefaultPanningFromChannelSettings) {
  s3m::Song song = BasicSong();
  song.channelSettings.fill(255);
  song.channelSettings[0] = 3;    // left
  song.channelSettings[1] = 200;  // disabled
  song.channelSettings[2] = 12;   // right
  for (int c : {0, 1, 2}) song.Pattern(0).At(1, c).Volume(10);
  ASSERT_EQ(Load(song, "pan_default"), errOK);
  EXPECT_EQ(module->panning[0], 0);
  EXPECT_EQ(module->panning[1], 0);
  EXPECT_EQ(module->panning[2], 128);
  // The disabled channel in the middle keeps its data.
  EXPECT_EQ(module->numChannels, 3);
  EXPECT_EQ(Rows(0)[1], (std::vector<std::uint8_t>{0x40, 10, 0x41, 10, 0x42, 10}));
}

TEST_F(S3mReader, StereoSeparationNarrowsDefaults) {
  gmpSetStereoSeparation(32);
  ASSERT_EQ(Load(BasicSong(), "separation"), errOK);
  EXPECT_EQ(module->panning[0], 32);
  EXPECT_EQ(module->panning[1], 96);
}

TEST_F(S3mReader, PanningTable) {
  s3m::Song song = BasicSong();
  song.channelSettings.fill(255);
  for (int c = 0; c < 6; ++c) song.channelSettings[c] = static_cast<std::uint8_t>(c % 2 ? 8 : 0);
  song.channelSettings[6] = 0x80;  // disabled
  std::array<std::uint8_t, 32> pan{};
  pan[0] = 0x20 | 0;   // 0
  pan[1] = 0x20 | 6;   // 48
  pan[2] = 0x20 | 7;   // 64
  pan[3] = 0x20 | 9;   // 80
  pan[4] = 0x20 | 15;  // 128
  pan[5] = 0x07;       // no 0x20: default (right)
  pan[6] = 0x20 | 2;   // disabled anyway
  song.panning = pan;
  ASSERT_EQ(Load(song, "pan_table"), errOK);
  EXPECT_EQ(module->panning[0], 0);
  EXPECT_EQ(module->panning[1], 48);
  EXPECT_EQ(module->panning[2], 64);
  EXPECT_EQ(module->panning[3], 80);
  EXPECT_EQ(module->panning[4], 128);
  EXPECT_EQ(module->panning[5], 128);
  EXPECT_EQ(module->panning[6], 64);
}

TEST_F(S3mReader, ChannelCountIsTheSmallerOfEnabledAndUsed) {
  s3m::Song song("count", 8);
  song.orders = {0};
  song.Pattern(0).At(0, 2).Volume(5);
  ASSERT_EQ(Load(song, "count_used"), errOK);
  EXPECT_EQ(module->numChannels, 3);
  ModuleFree(module, recdev::Device());
  module = nullptr;

  s3m::Song narrow("narrow", 2);
  narrow.orders = {0};
  narrow.Pattern(0).At(0, 0).Volume(5);
  narrow.Pattern(0).At(0, 5).Volume(7);  // beyond the last enabled channel
  ASSERT_EQ(Load(narrow, "count_enabled"), errOK);
  EXPECT_EQ(module->numChannels, 2);
  EXPECT_EQ(Rows(0)[0], (std::vector<std::uint8_t>{0x40, 5}));
  ModuleFree(module, recdev::Device());
  module = nullptr;

  // An entry counts even when all it held was a dropped command.
  s3m::Song dropped("dropped", 8);
  dropped.orders = {0};
  dropped.Pattern(0).At(0, 1).Volume(5);
  dropped.Pattern(0).At(3, 6).Effect('S', 0x9F);
  ASSERT_EQ(Load(dropped, "count_dropped"), errOK);
  EXPECT_EQ(module->numChannels, 7);
  EXPECT_TRUE(Rows(0)[3].empty());
}

TEST_F(S3mReader, EntryConversion) {
  s3m::Song song = BasicSong();
  auto& p = song.Pattern(0);
  p.At(1, 0) = s3m::Cell::Play(s3m::Note("D-5"), 0);   // no instrument
  p.At(2, 0) = s3m::Cell::Play(0x9F, 1, 64);            // bad note, volume capped
  p.At(3, 0) = s3m::Cell::Play(s3m::noteCut, 7);        // instrument beyond the count
  p.At(4, 0).Effect('S', 0x8C);                         // set panning 4-bit
  p.At(5, 0).Effect('S', 0xB2);                         // pattern loop
  p.At(6, 0).Effect('S', 0x9F);                         // dropped sub-command: entry gone
  p.At(7, 0).Effect('M', 0x11).Volume(20);              // dropped letter, volume kept
  p.At(8, 0).Effect('Q', 0x34);
  p.At(9, 0).Effect('W', 0x42);
  p.At(10, 0).Effect('Z', 0x01);                        // letter outside A..Y
  p.At(11, 0).Effect('S', 0x11);                        // glissando on
  p.At(12, 0).Effect('S', 0x27);                        // fine tune 7
  p.At(13, 0).Effect('S', 0x36);                        // vibrato waveform 6
  p.At(14, 0).Effect('S', 0x42);                        // tremolo waveform 2
  ASSERT_EQ(Load(song, "entries"), errOK);
  auto rows = Rows(0);
  EXPECT_EQ(rows[0], (std::vector<std::uint8_t>{0x20, 0x40, 0}));
  EXPECT_EQ(rows[1], (std::vector<std::uint8_t>{0x20, 0x52, 0xFF}));
  EXPECT_EQ(rows[2], (std::vector<std::uint8_t>{0x60, 0xFF, 0, 63}));
  EXPECT_EQ(rows[3], (std::vector<std::uint8_t>{0x20, 0xFE, 0xFF}));
  EXPECT_EQ(rows[4], (std::vector<std::uint8_t>{0x80, 20, 0x0C}));
  EXPECT_EQ(rows[5], (std::vector<std::uint8_t>{0x80, 19, 0x02}));
  EXPECT_TRUE(rows[6].empty());
  EXPECT_EQ(rows[7], (std::vector<std::uint8_t>{0x40, 20}));
  EXPECT_EQ(rows[8], (std::vector<std::uint8_t>{0x80, 29, 0x34}));
  EXPECT_EQ(rows[9], (std::vector<std::uint8_t>{0x80, 30, 0x42}));
  EXPECT_TRUE(rows[10].empty());
  EXPECT_EQ(rows[11], (std::vector<std::uint8_t>{0x80, cmdGlissandoControl, 0x01}));
  EXPECT_EQ(rows[12], (std::vector<std::uint8_t>{0x80, cmdSetFineTune, 0x07}));
  EXPECT_EQ(rows[13], (std::vector<std::uint8_t>{0x80, cmdVibratoWaveform, 0x06}));
  EXPECT_EQ(rows[14], (std::vector<std::uint8_t>{0x80, cmdTremoloWaveform, 0x02}));
  EXPECT_EQ(rows.size(), 64u);
}

TEST_F(S3mReader, CommandLetterMapping) {
  s3m::Song song = BasicSong();
  const std::string letters = "ABCDEFGHIJKLMNOPQRTUVWXY";
  const std::vector<ModuleCommand> expected = {
      cmdSetSpeed,                   // A
      cmdPositionJump,               // B
      cmdPatternBreak,               // C
      cmdVolumeSlide,                // D
      cmdPortamentoDown,             // E
      cmdPortamentoUp,               // F
      cmdTonePortamento,             // G
      cmdVibrato,                    // H
      cmdTremor,                     // I
      cmdArpeggio,                   // J
      cmdVibratoVolumeSlide,         // K
      cmdTonePortamentoVolumeSlide,  // L
      cmdNone,                       // M
      cmdNone,                       // N
      cmdSampleOffset,               // O
      cmdNone,                       // P
      cmdRetriggerVolumeChange,      // Q
      cmdTremolo,                    // R
      cmdSetTempo,                   // T
      cmdFineVibrato,                // U
      cmdSetGlobalVolume,            // V
      cmdSync,                       // W
      cmdSetPanning,                 // X
      cmdNone,                       // Y
  };
  for (std::size_t i = 0; i < letters.size(); ++i) {
    song.Pattern(0).At(static_cast<int>(i) + 1, 1).Effect(letters[i], 0x21);
  }
  ASSERT_EQ(Load(song, "letters"), errOK);
  auto rows = Rows(0);
  for (std::size_t i = 0; i < letters.size(); ++i) {
    const auto& row = rows[i + 1];
    if (expected[i] == cmdNone) {
      EXPECT_TRUE(row.empty()) << letters[i];
    } else {
      EXPECT_EQ(row, (std::vector<std::uint8_t>{0x81, static_cast<std::uint8_t>(expected[i]),
                                                0x21}))
          << letters[i];
    }
  }
}

TEST_F(S3mReader, UnusedInstrumentsHaveNoSample) {
  s3m::Song song = BasicSong();
  song.AddInstrument("unused", s3m::SquareWave(64));
  ASSERT_EQ(Load(song, "unused"), errOK);
  ASSERT_EQ(module->numInstruments, 2u);
  EXPECT_EQ(module->instruments[0]->numSamples, 1u);
  EXPECT_EQ(module->instruments[0]->used, 1u);
  EXPECT_EQ(module->instruments[1]->numSamples, 0u);
  EXPECT_EQ(module->instruments[1]->used, 0u);
  EXPECT_EQ(module->instruments[1]->samples, nullptr);
  EXPECT_EQ(module->samples[1], nullptr);
  EXPECT_STREQ(module->instruments[1]->name, "unused");
  EXPECT_EQ(recdev::samples.size(), 1u);
}

TEST_F(S3mReader, InstrumentsFrom101OnAreNeverMarkedUsed) {
  s3m::Song song = BasicSong();
  for (int i = 1; i < 102; ++i) song.AddInstrument("x", s3m::SineWave(8));
  song.Pattern(0).At(1, 1) = s3m::Cell::Play(s3m::Note("C-4"), 101);  // index 100
  song.Pattern(0).At(2, 1) = s3m::Cell::Play(s3m::Note("C-4"), 102);  // index 101
  ASSERT_EQ(Load(song, "many"), errOK);
  EXPECT_EQ(module->instruments[100]->used, 1u);
  EXPECT_EQ(module->instruments[101]->used, 0u);
  EXPECT_EQ(Rows(0)[2], (std::vector<std::uint8_t>{0x21, 0x40, 101}));
}

TEST_F(S3mReader, SampleDescriptorAndLoops) {
  s3m::Song song = BasicSong();
  song.instruments[0].SetLoop(20, 80);
  song.instruments[0].c4Rate = 22050;
  auto& flat = song.AddInstrument("flatloop", s3m::SawWave(50), 8363, 33);
  flat.SetLoop(10, 10);  // equal ends: not looped
  song.AddInstrument("empty", {});
  song.Pattern(0).At(1, 1) = s3m::Cell::Play(s3m::Note("C-4"), 2);
  song.Pattern(0).At(2, 1) = s3m::Cell::Play(s3m::Note("C-4"), 3);
  ASSERT_EQ(Load(song, "samples"), errOK);
  ASSERT_EQ(recdev::samples.size(), 3u);

  const ModuleSample* looped = module->samples[0];
  EXPECT_EQ(looped->length, 80u);  // cut to the loop end
  EXPECT_EQ(looped->loopMode, loopModeSingle);
  EXPECT_EQ(looped->loopType, loopTypeForward);
  EXPECT_EQ(looped->basePitch, 22050);
  EXPECT_EQ(looped->volume, 40u);
  EXPECT_EQ(looped->data, nullptr);
  EXPECT_EQ(looped->sdHandle, 1u);
  const recdev::AddedSample& d0 = recdev::samples[0];
  EXPECT_EQ(d0.length, 80u);
  EXPECT_EQ(d0.loopStart, 20u);
  EXPECT_EQ(d0.loopEnd, 80u);
  EXPECT_EQ(d0.loopMode, loopModeSingle);
  EXPECT_EQ(d0.sampleType, smp8bitMono);
  EXPECT_EQ(d0.placement, sdSmpConv);
  std::vector<std::uint8_t> wave = s3m::SineWave(100);
  EXPECT_EQ(d0.data, std::vector<std::uint8_t>(wave.begin(), wave.begin() + 80));

  EXPECT_EQ(module->samples[1]->loopMode, loopModeNone);
  EXPECT_EQ(module->samples[1]->length, 50u);
  EXPECT_EQ(recdev::samples[1].loopType, loopTypeNone);

  EXPECT_EQ(recdev::samples[2].placement, sdNoData);
  EXPECT_EQ(recdev::samples[2].sampleType, smpNone);
  EXPECT_EQ(module->samples[2]->sampleType, smpNone);
}

TEST_F(S3mReader, LoopEndBeyondTheSampleIsHeldToItsLength) {
  s3m::Song song = BasicSong();
  song.instruments[0].SetLoop(10, 100);
  std::vector<std::uint8_t> bytes = s3m::Write(song);
  // Instrument record at parapointer; its loop end field (offset 24) says 5000.
  const std::size_t para = (bytes[96 + 2] | (bytes[96 + 3] << 8)) * 16u;
  bytes[para + 24] = 0x88;
  bytes[para + 25] = 0x13;
  ASSERT_EQ(LoadBytes(bytes, "loopend"), errOK);
  EXPECT_EQ(module->samples[0]->loopEnd, 100u);
  EXPECT_EQ(module->samples[0]->length, 100u);
  EXPECT_EQ(recdev::samples[0].loopEnd, 100u);
}

TEST_F(S3mReader, SixteenBitSignedAndAdlibInstruments) {
  s3m::Song song = BasicSong();
  auto& wide = song.AddInstrument("wide", {});
  wide.data16 = {0, 1000, -1000, 32767, -32768, 5};
  wide.SetLoop(1, 5);
  song.AddInstrument("adlib", s3m::SineWave(16));
  song.Pattern(0).At(1, 1) = s3m::Cell::Play(s3m::Note("C-4"), 2);
  song.Pattern(0).At(2, 1) = s3m::Cell::Play(s3m::Note("C-4"), 3);
  std::vector<std::uint8_t> bytes = s3m::Write(song);
  const std::size_t adlib = (bytes[96 + 2 + 4] | (bytes[96 + 2 + 5] << 8)) * 16u;
  bytes[adlib] = 2;  // an AdLib record: no sample fields
  bytes[adlib + 16] = 0xFF;
  bytes[adlib + 19] = 0xFF;
  ASSERT_EQ(LoadBytes(bytes, "wide"), errOK);
  const ModuleSample* s = module->samples[1];
  EXPECT_EQ(s->sampleType, smp16bitMono);
  EXPECT_EQ(s->length, 10u);  // cut to the loop end, in bytes
  EXPECT_EQ(s->loopStart, 2u);
  EXPECT_EQ(s->loopEnd, 10u);
  const std::vector<std::uint8_t> signedLe = {0, 0, 0xE8, 0x03, 0x18, 0xFC, 0xFF, 0x7F, 0, 0x80};
  EXPECT_EQ(recdev::samples[1].data, signedLe);
  EXPECT_EQ(recdev::samples[1].sampleType, smp16bitMono);
  EXPECT_EQ(module->samples[2]->length, 0u);
  EXPECT_EQ(recdev::samples[2].placement, sdNoData);
  ModuleFree(module, recdev::Device());
  module = nullptr;

  song.signedSamples = true;  // old files: 8-bit data stored signed
  ASSERT_EQ(Load(song, "signed"), errOK);
  EXPECT_EQ(recdev::samples[3].data, s3m::SineWave(100));  // delivered unsigned
  EXPECT_EQ(recdev::samples[4].data, signedLe);
}

TEST_F(S3mReader, SamplesKeptInTheModuleWithoutDevice) {
  ASSERT_EQ(Load(BasicSong(), "nodevice", 0), errOK);
  EXPECT_TRUE(recdev::events.empty());
  const ModuleSample* s = module->samples[0];
  ASSERT_NE(s->data, nullptr);
  EXPECT_EQ(s->sdHandle, 0u);
  std::vector<std::uint8_t> wave = s3m::SineWave(100);
  EXPECT_EQ(std::vector<std::uint8_t>(s->data, s->data + 100), wave);
}

// A paragraph number has 24 bits: the record's byte 13 holds the high part, so
// sample data beyond the first MiB of the file is read from its own place.
TEST_F(S3mReader, SampleDataBeyondTheFirstMebibyte) {
  s3m::Song song = BasicSong();
  song.AddInstrument("long", std::vector<std::uint8_t>(0x110000, 128));
  song.AddInstrument("after", s3m::SawWave(64));
  for (int i = 1; i <= 3; ++i) song.Pattern(0).At(i, 1) = s3m::Cell::Play(s3m::Note("C-4"), i);
  ASSERT_EQ(Load(song, "beyond1mib", 0), errOK);
  const ModuleSample* s = module->samples[2];
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->length, 64u);
  EXPECT_EQ(std::vector<std::uint8_t>(s->data, s->data + 64), s3m::SawWave(64));
}

int callbackCalls = 0;
int CountingCallback(const SampleDescriptor*, ModuleSample*) {
  ++callbackCalls;
  return callbackCalls == 2 ? errInvalidArguments : errOK;
}

TEST_F(S3mReader, CallbackFailureAbortsAndFreesEverything) {
  s3m::Song song = BasicSong();
  song.AddInstrument("second", s3m::SineWave(40));
  song.AddInstrument("third", s3m::SineWave(40));
  for (int i = 1; i <= 3; ++i) song.Pattern(0).At(i, 1) = s3m::Cell::Play(s3m::Note("C-4"), i);
  const std::string path = TempPath("callback");
  WriteBytes(path, s3m::Write(song));
  callbackCalls = 0;
  EXPECT_EQ(gmpLoadS3M(path.c_str(), recdev::Device(), 1, CountingCallback, &module),
            errInvalidArguments);
  std::remove(path.c_str());
  EXPECT_EQ(callbackCalls, 2);
  EXPECT_EQ(module, nullptr);
  EXPECT_EQ(recdev::samples.size(), 2u);  // both added samples were removed again
}

TEST_F(S3mReader, DeviceFailureIsPassedThrough) {
  recdev::FailOn(recdev::Op::AddSample, errNoSampleHandles);
  EXPECT_EQ(Load(BasicSong(), "devicefail"), errNoSampleHandles);
  EXPECT_EQ(module, nullptr);
}

// Arguments are checked before the file is opened.
TEST_F(S3mReader, BadArgumentsAreRefused) {
  const std::string path = TempPath("arguments");
  WriteBytes(path, s3m::Write(BasicSong()));
  EXPECT_EQ(gmpLoadS3M(path.c_str(), recdev::Device(), 1, nullptr, nullptr), errInvalidArguments);
  EXPECT_EQ(gmpLoadS3M(nullptr, recdev::Device(), 1, nullptr, &module), errInvalidArguments);
  module = reinterpret_cast<Module*>(&module);  // a stale value the reader must clear
  EXPECT_EQ(gmpLoadS3M(path.c_str(), nullptr, 1, nullptr, &module), errInvalidArguments);
  EXPECT_EQ(module, nullptr);
  // A device that cannot take samples cannot be handed any.
  SoundDevice noSamples = *recdev::Device();
  noSamples.AddSample = nullptr;
  EXPECT_EQ(gmpLoadS3M(path.c_str(), &noSamples, 1, nullptr, &module), errInvalidArguments);
  EXPECT_EQ(module, nullptr);
  // Without samples for the device, no device is needed.
  EXPECT_EQ(gmpLoadS3M(path.c_str(), nullptr, 0, nullptr, &module), errOK);
  std::remove(path.c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_NE(module->samples[0]->data, nullptr);
  EXPECT_EQ(ModuleFree(module, nullptr), errOK);
  module = nullptr;
}

// Malformed files.

TEST_F(S3mReader, MissingFileAndWrongSignature) {
  EXPECT_EQ(gmpLoadS3M((testing::TempDir() + "no_such_file.s3m").c_str(), recdev::Device(), 1,
                       nullptr, &module),
            errFileNotFound);
  std::vector<std::uint8_t> bytes = s3m::Write(BasicSong());
  bytes[47] = 'X';
  EXPECT_EQ(LoadBytes(bytes, "signature"), errInvalidModule);
  EXPECT_EQ(LoadBytes(std::vector<std::uint8_t>(50, 0), "short"), errEndOfFile);
  EXPECT_EQ(module, nullptr);
}

TEST_F(S3mReader, CountsBeyondTheData) {
  std::vector<std::uint8_t> bytes(96, 0);
  std::memcpy(bytes.data() + 44, "SCRM", 4);
  bytes[32] = 0xFF;  // order count 0xFFFF
  bytes[33] = 0xFF;
  EXPECT_EQ(LoadBytes(bytes, "orders"), errEndOfFile);
  bytes[32] = 2;
  bytes[33] = 0;
  bytes.push_back(0);
  bytes.push_back(255);
  bytes[34] = 0x00;  // 0x4000 instruments whose pointers are not there
  bytes[35] = 0x40;
  EXPECT_EQ(LoadBytes(bytes, "instruments"), errEndOfFile);
}

TEST_F(S3mReader, PointersPastTheEnd) {
  std::vector<std::uint8_t> bytes = s3m::Write(BasicSong());
  std::vector<std::uint8_t> badInstrument = bytes;
  badInstrument[96 + 2] = 0xFF;  // instrument parapointer
  badInstrument[96 + 3] = 0xFF;
  EXPECT_EQ(LoadBytes(badInstrument, "instptr"), errEndOfFile);

  std::vector<std::uint8_t> badPattern = bytes;
  badPattern[96 + 4] = 0xFF;  // pattern parapointer
  badPattern[96 + 5] = 0x7F;
  EXPECT_EQ(LoadBytes(badPattern, "patptr"), errEndOfFile);

  std::vector<std::uint8_t> badSample = bytes;
  const std::size_t para = (bytes[96 + 2] | (bytes[96 + 3] << 8)) * 16u;
  badSample[para + 14] = 0xFF;  // sample data parapointer
  badSample[para + 15] = 0xFF;
  EXPECT_EQ(LoadBytes(badSample, "smpptr"), errEndOfFile);
}

TEST_F(S3mReader, SampleLengths) {
  std::vector<std::uint8_t> bytes = s3m::Write(BasicSong());
  const std::size_t para = (bytes[96 + 2] | (bytes[96 + 3] << 8)) * 16u;
  std::vector<std::uint8_t> past = bytes;
  past[para + 16] = 0x00;  // 0x100000 bytes: past the end of the file
  past[para + 17] = 0x00;
  past[para + 18] = 0x10;
  // The only sample is the file's last: it keeps the bytes the file holds.
  const std::size_t dataStart = ((bytes[para + 13] << 16) | bytes[para + 14] |
                                 (bytes[para + 15] << 8)) * 16u;
  ASSERT_EQ(LoadBytes(past, "smplen"), errOK);
  EXPECT_EQ(module->samples[0]->length, bytes.size() - dataStart);
  EXPECT_EQ(ModuleFree(module, recdev::Device()), errOK);
  module = nullptr;

  std::vector<std::uint8_t> huge = bytes;
  huge[para + 16] = 0xF0;  // 0x7FFFFFF0
  huge[para + 17] = 0xFF;
  huge[para + 18] = 0xFF;
  huge[para + 19] = 0x7F;
  EXPECT_EQ(LoadBytes(huge, "smphuge"), errInvalidInstrument);
}

TEST_F(S3mReader, OversizedPatternIsInvalidData) {
  s3m::Song song("full", 32);
  song.orders = {0};
  song.AddInstrument("i", s3m::SineWave(16));
  for (int r = 0; r < 64; ++r) {
    for (int c = 0; c < 32; ++c) {
      song.Pattern(0).At(r, c) = s3m::Cell::Play(s3m::Note("C-4"), 1, 30).Effect('D', 1);
    }
  }
  EXPECT_GT(s3m::PackPattern(song.patterns[0]).size(), s3mPatternReadMax);
  EXPECT_EQ(Load(song, "bigpattern"), errInvalidPattern);

  // Just below the limit: every second row full.
  for (int r = 1; r < 64; r += 2) {
    for (int c = 0; c < 32; ++c) song.Pattern(0).At(r, c) = s3m::Cell{};
  }
  ASSERT_EQ(Load(song, "halfpattern"), errOK);
  EXPECT_EQ(module->numChannels, 32);
}

TEST_F(S3mReader, LastPatternEndingTheFileLoads) {
  // No samples: the pattern is the last thing in the file, and its stored
  // length counts the length word itself.
  s3m::Song song("tail", 1);
  song.orders = {0};
  song.Pattern(0).At(63, 0).Volume(9);
  std::vector<std::uint8_t> bytes = s3m::Write(song);
  while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
  bytes.push_back(0);  // the last row's end
  ASSERT_EQ(LoadBytes(bytes, "tail"), errOK);
  EXPECT_EQ(Rows(0)[63], (std::vector<std::uint8_t>{0x40, 9}));
}

// A stored length short of the pattern's rows (as some trackers wrote it):
// the rows are read to their 64th end, so the last rows keep their commands.
TEST_F(S3mReader, PatternLengthShortOfItsRowsReadsEveryRow) {
  s3m::Song song = BasicSong();
  song.Pattern(0).At(62, 0).Effect('A', 0x20);
  song.Pattern(0).At(63, 0).Volume(9);
  std::vector<std::uint8_t> bytes = s3m::Write(song);
  const std::size_t orders = bytes[32] | (bytes[33] << 8);
  const std::size_t instruments = bytes[34] | (bytes[35] << 8);
  const std::size_t pointer = 96 + orders + 2 * instruments;
  const std::size_t pattern = (bytes[pointer] | (bytes[pointer + 1] << 8)) * 16u;
  bytes[pattern] = 12;  // a few bytes: the first row's entry only
  bytes[pattern + 1] = 0;
  ASSERT_EQ(LoadBytes(bytes, "shortlength"), errOK);
  const auto rows = Rows(0);
  ASSERT_EQ(rows.size(), 64u);
  EXPECT_EQ(rows[62], (std::vector<std::uint8_t>{0x80, cmdSetSpeed, 0x20}));
  EXPECT_EQ(rows[63], (std::vector<std::uint8_t>{0x40, 9}));
}

TEST_F(S3mReader, EveryTruncationFailsCleanly) {
  s3m::Song song = BasicSong();
  song.instruments[0].SetLoop(0, 100);
  song.Pattern(0).At(3, 1).Effect('D', 0x0F);
  std::vector<std::uint8_t> bytes = s3m::Write(song);
  const std::size_t para = (bytes[96 + 2] | (bytes[96 + 3] << 8)) * 16u;
  const std::size_t dataStart = ((bytes[para + 13] << 16) | bytes[para + 14] |
                                 (bytes[para + 15] << 8)) * 16u;
  for (std::size_t n = 0; n < bytes.size(); n += 3) {
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(n));
    int error = LoadBytes(cut, "truncated");
    if (error == errOK) {
      // Only the last sample's data (cut short, it loads shortened) and the
      // padding after it may go.
      EXPECT_GT(n, dataStart) << n;
      EXPECT_EQ(module->samples[0]->length, std::min<std::size_t>(n - dataStart, 100)) << n;
      ModuleFree(module, recdev::Device());
      module = nullptr;
    }
    ASSERT_EQ(memBlocksInUse(), blocksBefore) << n;
  }
}

TEST_F(S3mReader, CorruptedBytesNeverCrash) {
  s3m::Song song = BasicSong();
  song.AddInstrument("two", s3m::NoiseBurst(300));
  song.orders = {0, 1, 0};
  song.Pattern(1).At(0, 1) = s3m::Cell::Play(s3m::Note("E-5"), 2, 20).Effect('Q', 0x12);
  const std::vector<std::uint8_t> bytes = s3m::Write(song);
  std::uint32_t state = 12345;
  for (int round = 0; round < 300; ++round) {
    std::vector<std::uint8_t> bad = bytes;
    for (int k = 0; k < 4; ++k) {
      state = state * 1664525u + 1013904223u;
      bad[(state >> 8) % bad.size()] = static_cast<std::uint8_t>(state >> 24);
    }
    if (LoadBytes(bad, "corrupt") == errOK) {
      ModuleFree(module, recdev::Device());
      module = nullptr;
    }
    ASSERT_EQ(memBlocksInUse(), blocksBefore) << round;
  }
}

}  // namespace

namespace {

TEST_F(S3mReader, OnlyTheLastSampleInTheFileMayBeCutShort) {
  s3m::Song song = BasicSong();
  song.AddInstrument("bass", s3m::SineWave(60), 8363, 50);
  song.Pattern(0).At(1, 1) = s3m::Cell::Play(s3m::Note("C-3"), 2);
  const std::vector<std::uint8_t> bytes = s3m::Write(song);
  auto dataStart = [&](int instrument) {
    const std::size_t para = (bytes[96 + 2 + 2 * instrument] |
                              (bytes[96 + 3 + 2 * instrument] << 8)) * 16u;
    return ((bytes[para + 13] << 16) | bytes[para + 14] | (bytes[para + 15] << 8)) * 16u;
  };
  const std::size_t first = dataStart(0);
  const std::size_t second = dataStart(1);
  ASSERT_LT(first, second);
  ASSERT_EQ(LoadBytes({bytes.begin(), bytes.begin() + static_cast<long>(second + 25)}, "cut2"),
            errOK);
  EXPECT_EQ(module->samples[0]->length, 100u);
  EXPECT_EQ(module->samples[1]->length, 25u);
  EXPECT_EQ(ModuleFree(module, recdev::Device()), errOK);
  module = nullptr;
  EXPECT_EQ(LoadBytes({bytes.begin(), bytes.begin() + static_cast<long>(first + 50)}, "cut1"),
            errEndOfFile);
  EXPECT_EQ(module, nullptr);
}

}  // namespace
