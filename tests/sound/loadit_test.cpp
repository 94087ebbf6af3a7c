// IT reader: header and orders, channel-masked pattern conversion, samples
// and their loops, both instrument modes and layouts, device upload, and
// malformed files.
#include "sound/loadit.h"

#include <gtest/gtest.h>

#include "sound/errors.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "tools/itwriter/itwriter.h"
#include "tests/sound/support/reader_fixture.h"
#include "tests/sound/support/reader_support.h"

namespace {

using itwriter::PatternWriter;
using soundtest::Entry;
using soundtest::RecordingDevice;

class ItReader : public soundtest::ReaderFixture<gmpLoadIT> {
protected:

  // Instrument mode, one instrument and one 8-bit sample, one note played.
  static itwriter::Song BasicSong() {
    itwriter::Song song;
    itwriter::Sample s;
    s.name = "square";
    s.bytes = {0x00, 0x7F, 0x80, 0xFF};
    song.samples.push_back(s);
    itwriter::Instrument ins;
    ins.name = "lead";
    song.instruments.push_back(ins);
    itwriter::Pattern p;
    PatternWriter w;
    w.Entry(0, 0x03, 60, 1).EndRow();
    p.packed = w.bytes;
    p.rows = 1;
    song.patterns.push_back(p);
    return song;
  }
};

TEST_F(ItReader, HeaderAndOrders) {
  itwriter::Song song = BasicSong();
  song.name = "a name of twenty-six chars";
  song.speed = 4;
  song.tempo = 140;
  song.orders = {0, 254, 2, 250, 253, 255, 255};
  ASSERT_EQ(Load(song), errOK);
  EXPECT_STREQ(module->name, "a name of twenty-six chars");
  EXPECT_EQ(module->kind, modKindIT);
  EXPECT_EQ(module->globalVolume, 128u);  // IT's 0..128 scale
  EXPECT_EQ(module->speed, 4u);
  EXPECT_EQ(module->tempo, 140u);
  EXPECT_EQ(module->restartPosition, 0u);
  EXPECT_EQ(module->flags, static_cast<std::uint32_t>(modFlagInstrumentMode | modFlagLinear));
  // Trailing end markers are dropped; 250..254 are skipped.
  ASSERT_EQ(module->songLength, 5u);
  EXPECT_EQ(module->orders[0], 0u);
  EXPECT_EQ(module->orders[1], orderSkip);
  EXPECT_EQ(module->orders[2], 2u);
  EXPECT_EQ(module->orders[3], orderSkip);
  EXPECT_EQ(module->orders[4], orderSkip);
  EXPECT_EQ(module->numPatterns, 3u);
  EXPECT_EQ(module->patterns[1]->length, 72u);
  EXPECT_EQ(module->panning[0], 32);
  EXPECT_EQ(module->panning[63], 32);  // 160: disabled, at 32

  song.flags = 0x01;  // sample mode, Amiga slides
  song.orders = {0, 255, 1};
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->flags, 0u);
  EXPECT_EQ(module->songLength, 3u);
  EXPECT_EQ(module->orders[1], orderEnd);

  song.flags = 0x01 | 0x10 | 0x20;  // old effects, compatible Gxx
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->flags, static_cast<std::uint32_t>(modFlagItOldEffects | modFlagItCompatibleGxx));
}

TEST_F(ItReader, SongGlobalVolumeOnTheModuleScale) {
  itwriter::Song song = BasicSong();
  // IT's own 0..128 scale, kept whole: 1 no longer reads as silence.
  for (auto [stored, expected] : {std::pair{128, 128}, {80, 80}, {1, 1}, {0, 0}, {255, 128}}) {
    song.globalVolume = static_cast<std::uint8_t>(stored);
    ASSERT_EQ(Load(song), errOK);
    EXPECT_EQ(module->globalVolume, static_cast<std::uint32_t>(expected)) << stored;
  }
}

TEST_F(ItReader, MixingAndChannelVolumes) {
  itwriter::Song song = BasicSong();
  song.mixingVolume = 200;  // held at 128
  song.channelVolumes[0] = 20;
  song.channelVolumes[1] = 0;
  song.channelVolumes[2] = 99;  // held at 64
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->mixingVolume, 128u);
  EXPECT_EQ(module->channelVolume[0], 20u);
  EXPECT_EQ(module->channelVolume[1], 0u);
  EXPECT_EQ(module->channelVolume[2], 64u);
  EXPECT_EQ(module->channelVolume[63], 64u);
  song.mixingVolume = 48;
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->mixingVolume, 48u);
}

TEST_F(ItReader, HighPatternNumbersAreNotMarkers) {
  itwriter::Song song = BasicSong();
  song.orders = {0, 200, 255};
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->orders[1], 200u);
  EXPECT_EQ(module->numPatterns, 201u);
}

TEST_F(ItReader, OrderListsWithoutAPattern) {
  itwriter::Song song = BasicSong();
  song.orders = {255, 255};
  EXPECT_EQ(Load(song), errInvalidModule);
  song.orders = {254, 251, 255};
  EXPECT_EQ(Load(song), errInvalidModule);
  song.orders = {};
  EXPECT_EQ(Load(song), errInvalidModule);
  auto bytes = BasicSong().Build();
  bytes[3] = 'N';
  EXPECT_EQ(LoadBytes(bytes), errInvalidModule);
  EXPECT_EQ(module, nullptr);
}

TEST_F(ItReader, EnabledChannelsAndChannelCount) {
  itwriter::Song song = BasicSong();
  song.panning.fill(128 + 32);
  song.panning[0] = 0;
  song.panning[1] = 128;  // disabled
  song.panning[2] = 64;   // the last enabled channel
  PatternWriter w;
  w.Entry(1, 0x01, 60).Entry(3, 0x01, 61).Entry(4, 0x01, 62).EndRow();
  song.patterns[0].packed = w.bytes;
  ASSERT_EQ(Load(song), errOK);
  auto e = Pattern(0);
  // Channel 3 (one past the last enabled) is kept, channel 4 dropped.
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].channel, 1u);
  EXPECT_EQ(e[1].channel, 3u);
  EXPECT_EQ(module->numChannels, 4u);

  EXPECT_EQ(module->panning[0], 0);
  EXPECT_EQ(module->panning[1], 0);  // 128: disabled, at 0
  EXPECT_EQ(module->panning[2], 64);

  EXPECT_EQ(module->surroundChannels, 0u);

  // Surround has no place on the 0..64 scale: the centre, marked apart.
  song.panning[0] = 100;
  song.panning[2] = 100;
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->panning[0], 32);
  EXPECT_EQ(module->panning[2], 32);
  EXPECT_EQ(module->surroundChannels, 0b101u);
  EXPECT_EQ(module->numChannels, 4u);

  // Fewer channels used than enabled.
  song.panning.fill(32);
  PatternWriter w2;
  w2.Entry(5, 0x01, 60).EndRow();
  song.patterns[0].packed = w2.bytes;
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->numChannels, 6u);

  // Channels 32 and above cannot be packed.
  PatternWriter w3;
  w3.Entry(40, 0x01, 60).Entry(2, 0x01, 60).EndRow();
  song.patterns[0].packed = w3.bytes;
  ASSERT_EQ(Load(song), errOK);
  e = Pattern(0);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].channel, 2u);
  EXPECT_EQ(module->numChannels, 3u);

  // No notes at all still gives one channel.
  song.patterns[0].packed = {0};
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->numChannels, 1u);
}

TEST_F(ItReader, NotesInstrumentsAndVolumes) {
  itwriter::Song song = BasicSong();
  song.instruments.resize(3);
  PatternWriter w;
  w.Entry(0, 0x01, 0).EndRow();
  w.Entry(0, 0x01, 119).EndRow();
  w.Entry(0, 0x01, 255).EndRow();   // note off
  w.Entry(0, 0x01, 254).EndRow();   // note cut
  w.Entry(0, 0x03, 246, 2).EndRow();  // note fade
  w.Entry(0, 0x02, 0, 3).EndRow();
  w.Entry(0, 0x02, 0, 4).EndRow();  // beyond the three instruments
  w.Entry(0, 0x04, 0, 0, 64).EndRow();
  w.Entry(0, 0x04, 0, 0, 0xC0).EndRow();  // volume-column panning, passed through
  w.Entry(0, 0x02, 0, 0).EndRow();
  song.patterns[0].packed = w.bytes;
  song.patterns[0].rows = 10;
  ASSERT_EQ(Load(song), errOK);
  auto e = Pattern(0);
  ASSERT_EQ(e.size(), 8u);
  EXPECT_EQ(e[0].note, 0x00);
  EXPECT_EQ(e[0].instrument, 0xFF);
  EXPECT_EQ(e[1].note, 0x9B);
  EXPECT_EQ(e[2].note, 0xFE);
  EXPECT_EQ(e[3].note, 0xFD);
  EXPECT_EQ(e[4].note, noteFade);
  EXPECT_EQ(e[4].instrument, 1);
  EXPECT_EQ(e[5].instrument, 2);
  EXPECT_EQ(e[6].row, 7u);  // instrument 4 named nothing: no entry on row 6
  EXPECT_EQ(e[6].volume, 64);
  EXPECT_EQ(e[7].volume, 0xC0);
  EXPECT_EQ(module->instruments[1]->used, 1u);
  EXPECT_EQ(module->instruments[2]->used, 1u);
  EXPECT_EQ(module->numInstruments, 3u);
}

// Every note value from 120 to 253 is a note fade.
TEST_F(ItReader, NoteFadeValues) {
  itwriter::Song song = BasicSong();
  PatternWriter w;
  for (std::uint8_t n : {120, 200, 246, 253}) w.Entry(0, 0x01, n).EndRow();
  song.patterns[0].packed = w.bytes;
  song.patterns[0].rows = 4;
  ASSERT_EQ(Load(song), errOK);
  auto e = Pattern(0);
  ASSERT_EQ(e.size(), 4u);
  for (const auto& entry : e) EXPECT_EQ(entry.note, noteFade) << "row " << entry.row;
}

TEST_F(ItReader, CommandMapping) {
  struct Case {
    std::uint8_t letter, param;
    int command, result;  // command -1: none written
  };
  const Case cases[] = {
      {'A' - 64, 0x03, cmdSetSpeed, 0x03},
      {'B' - 64, 0x02, cmdPositionJump, 0x02},
      {'C' - 64, 0x10, cmdPatternBreak, 0x10},
      {'D' - 64, 0x0F, cmdVolumeSlide, 0x0F},
      {'E' - 64, 0xF2, cmdPortamentoDown, 0xF2},
      {'F' - 64, 0x08, cmdPortamentoUp, 0x08},
      {'G' - 64, 0x20, cmdTonePortamento, 0x20},
      {'H' - 64, 0x44, cmdVibrato, 0x44},
      {'I' - 64, 0x11, -1, 0},
      {'J' - 64, 0x37, cmdArpeggio, 0x37},
      {'K' - 64, 0x01, cmdVibratoVolumeSlide, 0x01},
      {'L' - 64, 0x01, cmdTonePortamentoVolumeSlide, 0x01},
      {'M' - 64, 0x20, cmdSetChannelVolume, 0x20},
      {'N' - 64, 0xF1, cmdChannelVolumeSlide, 0xF1},
      {'O' - 64, 0x10, cmdSampleOffset, 0x10},
      {'P' - 64, 0xF1, cmdPanningSlide, 0xF1},
      {'Q' - 64, 0x13, cmdRetriggerVolumeChange, 0x13},
      {'R' - 64, 0x11, cmdTremolo, 0x11},
      {'S' - 64, 0x8A, cmdSetPanning4Bit, 0x0A},
      {'S' - 64, 0xB2, cmdPatternLoop, 0x02},
      {'S' - 64, 0xC3, cmdNoteCut, 0x03},
      {'S' - 64, 0xD1, cmdNoteDelay, 0x01},
      {'S' - 64, 0xE4, cmdPatternDelay, 0x04},
      {'S' - 64, 0x91, cmdSurround, 0x01},
      {'S' - 64, 0x52, cmdPanbrelloWaveform, 0x02},
      {'S' - 64, 0x63, cmdFinePatternDelay, 0x03},
      {'S' - 64, 0xA2, cmdHighOffset, 0x02},
      {'S' - 64, 0x11, cmdGlissandoControl, 0x01},
      {'S' - 64, 0x32, cmdVibratoWaveform, 0x02},
      {'S' - 64, 0x21, -1, 0},  // IT has no fine-tune command
      {'S' - 64, 0x41, cmdTremoloWaveform, 0x01},
      {'T' - 64, 0x80, cmdSetTempo, 0x80},
      {'U' - 64, 0x11, cmdFineVibrato, 0x11},
      {'V' - 64, 0x40, cmdSetGlobalVolume, 0x40},
      {'W' - 64, 0x10, cmdGlobalVolumeSlide, 0x10},
      {'X' - 64, 0x80, cmdSetPanning, 32},
      {'X' - 64, 0xFF, cmdSetPanning, 64},
      {'X' - 64, 0x00, cmdSetPanning, 0},
      {'Y' - 64, 0x11, cmdPanbrello, 0x11},
      {'Z' - 64, 0x42, cmdSync, 0x42},
      {0, 0x11, -1, 0},
      {27, 0x11, -1, 0},
  };
  itwriter::Song song = BasicSong();
  PatternWriter w;
  for (const Case& c : cases) w.Entry(1, 0x08, 0, 0, 0, c.letter, c.param).EndRow();
  song.patterns[0].packed = w.bytes;
  song.patterns[0].rows = static_cast<std::uint16_t>(std::size(cases));
  ASSERT_EQ(Load(song), errOK);
  auto e = Pattern(0);
  std::size_t k = 0;
  unsigned row = 0;
  for (const Case& c : cases) {
    if (c.command < 0) {
      EXPECT_TRUE(k == e.size() || e[k].row != row) << "letter " << int(c.letter);
    } else {
      ASSERT_LT(k, e.size());
      EXPECT_EQ(e[k].row, row);
      EXPECT_EQ(e[k].command, c.command) << "letter " << int(c.letter);
      EXPECT_EQ(e[k].param, c.result) << "letter " << int(c.letter);
      ++k;
    }
    ++row;
  }
  EXPECT_EQ(k, e.size());
}

TEST_F(ItReader, RememberedMasksAndValues) {
  itwriter::Song song = BasicSong();
  PatternWriter w;
  // Row 0: full entry on channel 2. Row 1: the same mask without a mask byte.
  // Row 2: bits 4..7 reuse note, instrument, volume and command.
  w.Entry(2, 0x0F, 48, 1, 30, 'D' - 64, 0x02).EndRow();
  w.Repeat(2, 50, 1, 20, 'A' - 64, 0x05).EndRow();
  w.Entry(2, 0xF0).EndRow();
  w.Entry(2, 0x10 | 0x04, 0, 0, 10).EndRow();
  song.patterns[0].packed = w.bytes;
  song.patterns[0].rows = 4;
  ASSERT_EQ(Load(song), errOK);
  auto e = Pattern(0);
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e[1].note, 0x42);
  EXPECT_EQ(e[1].volume, 20);
  EXPECT_EQ(e[1].command, cmdSetSpeed);
  EXPECT_EQ(e[2].note, 0x42);
  EXPECT_EQ(e[2].instrument, 0);
  EXPECT_EQ(e[2].volume, 20);
  EXPECT_EQ(e[2].command, cmdSetSpeed);
  EXPECT_EQ(e[2].param, 0x05);
  EXPECT_EQ(e[3].note, 0x42);
  EXPECT_EQ(e[3].instrument, 0xFF);
  EXPECT_EQ(e[3].volume, 10);
  EXPECT_EQ(e[3].command, -1);
}

TEST_F(ItReader, PatternShapes) {
  itwriter::Song song = BasicSong();
  song.patterns[0].rows = 0;
  EXPECT_EQ(Load(song), errInvalidPattern);
  song.patterns[0].rows = 200;
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->patterns[0]->rows, 200u);
  // A pattern without an offset is 64 empty rows.
  song.patterns.push_back(itwriter::Pattern{});
  song.patterns[1].present = false;
  song.orders = {0, 1};
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->patterns[1]->length, 72u);
  // Rows missing at the end of the data are empty.
  song.patterns[0].rows = 8;
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(Pattern(0).size(), 1u);
  // A row naming one channel over and over cannot overflow the work buffer.
  PatternWriter w;
  for (int i = 0; i < 60; ++i) w.Entry(0, 0x0F, 60, 1, 30, 1, 1);
  w.EndRow();
  song.patterns[0].packed = w.bytes;
  song.patterns[0].rows = 1;
  EXPECT_EQ(Load(song), errInvalidPattern);
  EXPECT_EQ(module, nullptr);
}

TEST_F(ItReader, SampleData) {
  itwriter::Song song = BasicSong();
  song.samples[0].convert = 1;  // signed 8-bit
  itwriter::Sample unsigned8;
  unsigned8.convert = 0;
  unsigned8.bytes = {0x00, 0x80, 0xFF};
  itwriter::Sample signed16;
  signed16.flags = 0x03;
  signed16.bytes = {0x34, 0x12, 0x00, 0x80};
  itwriter::Sample unsigned16 = signed16;
  unsigned16.convert = 0;
  itwriter::Sample noData;
  noData.flags = 0x00;
  noData.bytes = {1, 2, 3};
  song.samples.push_back(unsigned8);
  song.samples.push_back(signed16);
  song.samples.push_back(unsigned16);
  song.samples.push_back(noData);
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->numSamples, 5u);
  const ModuleSample* s = module->samples[0];
  EXPECT_EQ(s->sampleType, smp8bitMono);
  ASSERT_EQ(s->length, 4u);
  EXPECT_EQ(s->data[0], 0x80);
  EXPECT_EQ(s->data[1], 0xFF);
  EXPECT_EQ(s->data[2], 0x00);
  EXPECT_EQ(s->data[3], 0x7F);
  EXPECT_EQ(module->samples[1]->data[1], 0x80);
  EXPECT_EQ(module->samples[1]->data[2], 0xFF);
  const ModuleSample* w16 = module->samples[2];
  EXPECT_EQ(w16->sampleType, smp16bitMono);
  EXPECT_EQ(w16->length, 4u);
  EXPECT_EQ(w16->data[1], 0x12);
  EXPECT_EQ(w16->data[3], 0x80);
  const ModuleSample* u16 = module->samples[3];
  EXPECT_EQ(u16->data[0], 0x34);
  EXPECT_EQ(u16->data[1], 0x92);
  EXPECT_EQ(u16->data[3], 0x00);
  EXPECT_EQ(module->samples[4]->length, 0u);
  EXPECT_EQ(module->samples[4]->data, nullptr);
}

TEST_F(ItReader, SampleFieldsAndLoops) {
  itwriter::Song song = BasicSong();
  itwriter::Sample base;
  base.flags = 0x03;  // 16-bit
  base.bytes.assign(200, 0);  // 100 samples
  base.volume = 50;
  base.globalVolume = 40;
  base.c5Speed = 22050;
  base.vibSpeed = 1;
  base.vibDepth = 2;
  base.vibRate = 3;
  base.vibType = 4;
  base.loopBegin = 10;
  base.loopEnd = 20;
  base.susBegin = 30;
  base.susEnd = 40;
  itwriter::Sample loopOnly = base;
  loopOnly.flags |= 0x10 | 0x40;
  itwriter::Sample sustainOnly = base;
  sustainOnly.flags |= 0x20;
  itwriter::Sample both = base;
  both.flags |= 0x10 | 0x20 | 0x80;
  itwriter::Sample pastEnd = base;
  pastEnd.flags = 0x01 | 0x10;
  pastEnd.bytes.assign(50, 0);
  pastEnd.loopEnd = 400;
  itwriter::Sample empty = base;
  empty.flags |= 0x10;
  empty.loopBegin = 20;
  empty.loopEnd = 20;
  song.samples = {base, loopOnly, sustainOnly, both, pastEnd, empty};
  ASSERT_EQ(Load(song), errOK);

  const ModuleSample* s = module->samples[0];
  EXPECT_EQ(s->length, 200u);
  EXPECT_EQ(s->loopMode, loopModeNone);
  EXPECT_EQ(s->loopType, loopTypeNone);
  EXPECT_EQ(s->loop2Type, loopTypeNone);
  EXPECT_EQ(s->volume, 50u);
  EXPECT_EQ(s->globalVolume, 40u);
  EXPECT_EQ(s->panning, -1);
  EXPECT_EQ(s->basePitch, 22050);
  EXPECT_EQ(s->fineTune, 0);
  EXPECT_EQ(s->vibType, 4u);
  EXPECT_EQ(s->vibRate, 3u);
  EXPECT_EQ(s->vibDepth, 2u);
  EXPECT_EQ(s->vibSpeed, 1u);

  // The ordinary loop alone stays on after the release as well.
  s = module->samples[1];
  EXPECT_EQ(s->loopMode, loopModeRelease);
  EXPECT_EQ(s->loopType, loopTypePingPong);
  EXPECT_EQ(s->loopStart, 20u);
  EXPECT_EQ(s->loopEnd, 40u);
  EXPECT_EQ(s->loop2Type, loopTypePingPong);
  EXPECT_EQ(s->loop2Start, 20u);
  EXPECT_EQ(s->loop2End, 40u);

  // The sustain loop plays first; nothing follows it.
  s = module->samples[2];
  EXPECT_EQ(s->loopMode, loopModeReleaseAlt);
  EXPECT_EQ(s->loopType, loopTypeForward);
  EXPECT_EQ(s->loopStart, 60u);
  EXPECT_EQ(s->loopEnd, 80u);
  EXPECT_EQ(s->loop2Type, loopTypeNone);

  // Sustain loop, then the ordinary loop after the release.
  s = module->samples[3];
  EXPECT_EQ(s->loopMode, loopModeReleaseAlt);
  EXPECT_EQ(s->loopType, loopTypePingPong);
  EXPECT_EQ(s->loopStart, 60u);
  EXPECT_EQ(s->loopEnd, 80u);
  EXPECT_EQ(s->loop2Type, loopTypeForward);
  EXPECT_EQ(s->loop2Start, 20u);
  EXPECT_EQ(s->loop2End, 40u);

  s = module->samples[4];
  EXPECT_EQ(s->sampleType, smp8bitMono);
  EXPECT_EQ(s->loopStart, 10u);
  EXPECT_EQ(s->loopEnd, 50u);

  EXPECT_EQ(module->samples[5]->loopMode, loopModeNone);
}

TEST_F(ItReader, SampleDefaultPanningWhenEnabled) {
  itwriter::Song song = BasicSong();
  song.samples.resize(4, song.samples[0]);
  song.samples[0].defaultPan = 0x80 | 20;
  song.samples[1].defaultPan = 0x80 | 0;
  song.samples[2].defaultPan = 0x80 | 100;  // beyond the range: the right edge
  song.samples[3].defaultPan = 48;          // not enabled
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->samples[0]->panning, 20);
  EXPECT_EQ(module->samples[1]->panning, 0);
  EXPECT_EQ(module->samples[2]->panning, 64);
  EXPECT_EQ(module->samples[3]->panning, -1);
}

TEST_F(ItReader, MisreadCompressedAndOversizedSamples) {
  itwriter::Song song = BasicSong();
  // Plain bytes marked compressed: the first block's count (0x7F00) runs
  // past the file.
  song.samples[0].flags = 0x01 | 0x08;
  EXPECT_EQ(Load(song), errEndOfFile);
  EXPECT_EQ(module, nullptr);
  song.samples[0].flags = 0x08;  // compressed flag, but no data
  EXPECT_EQ(Load(song), errOK);

  song = BasicSong();
  song.samples[0].length = 0x7FFFFFF0;
  EXPECT_EQ(Load(song), errInvalidInstrument);
  song.samples[0].flags = 0x03;
  song.samples[0].length = 0x40000000;  // doubled for 16-bit
  EXPECT_EQ(Load(song), errInvalidInstrument);
  song.samples[0].flags = 0x01;
  song.samples[0].length = 0x7FFFFF00;  // far more than the file holds
  RecordingDevice device;
  EXPECT_EQ(Load(song, device.device(), 1), errEndOfFile);
  EXPECT_EQ(device.samples().size(), 0u);
}

TEST_F(ItReader, SampleMode) {
  itwriter::Song song = BasicSong();
  song.flags = 0x01;
  song.instruments.clear();
  song.samples.resize(3, song.samples[0]);
  song.samples[1].name = "second";
  PatternWriter w;
  w.Entry(0, 0x02, 0, 2).Entry(1, 0x02, 0, 4).EndRow();
  song.patterns[0].packed = w.bytes;
  ASSERT_EQ(Load(song), errOK);
  auto e = Pattern(0);
  ASSERT_EQ(e.size(), 1u);  // instrument 4 names no sample
  EXPECT_EQ(e[0].instrument, 1);
  EXPECT_EQ(module->numInstruments, 2u);
  const ModuleInstrument* i = module->instruments[1];
  ASSERT_EQ(i->numSamples, 1u);
  EXPECT_EQ(i->samples[0], module->samples[1]);
  EXPECT_STREQ(i->name, "second");
  EXPECT_EQ(i->noteMap, nullptr);
  EXPECT_EQ(i->volEnvelope, nullptr);
  EXPECT_EQ(i->globalVolume, 128u);  // full: sample mode has no instrument volume
  EXPECT_EQ(i->defaultPanning, 0xFFu);
  EXPECT_EQ(i->used, 1u);
  EXPECT_EQ(module->instruments[0]->used, 0u);

  // The header may count more instruments than samples: those have none.
  song.instruments.resize(5);
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->numInstruments, 5u);
  EXPECT_EQ(module->instruments[2]->numSamples, 1u);
  EXPECT_EQ(module->instruments[3]->numSamples, 0u);
  EXPECT_EQ(module->instruments[4]->numSamples, 0u);
}

TEST_F(ItReader, NewLayoutInstruments) {
  itwriter::Song song = BasicSong();
  song.samples.resize(4, song.samples[0]);
  itwriter::Instrument& ins = song.instruments[0];
  ins.nna = 1;
  ins.dct = 2;
  ins.dca = 3;
  ins.fadeOut = 256;
  ins.pps = 4;
  ins.ppc = 5;
  ins.gbv = 100;
  ins.dfp = 0x80 | 20;
  ins.rv = 6;
  ins.rp = 7;
  for (auto& pair : ins.noteMap) pair.second = 0;
  ins.noteMap[10] = {12, 3};
  ins.noteMap[11] = {13, 1};
  ins.noteMap[12] = {14, 3};
  ins.noteMap[13] = {15, 4};
  ins.noteMap[14] = {16, 9};  // no such sample
  ins.volume.flags = 1 | 2 | 4;
  ins.volume.nodes = {{64, 0}, {32, 10}, {0, 30}};
  ins.volume.loopBegin = 0;
  ins.volume.loopEnd = 2;
  ins.volume.susBegin = 1;
  ins.volume.susEnd = 1;
  ins.panning.flags = 1;
  ins.panning.nodes = {{-32, 0}, {32, 5}, {0, 9}};
  ins.pitch.flags = 1 | 2;
  ins.pitch.nodes = {{10, 0}};
  ins.pitch.countOverride = 30;
  ins.pitch.loopBegin = 0;
  ins.pitch.loopEnd = 26;  // beyond the points: no loop
  song.instruments.push_back(itwriter::Instrument{});
  song.instruments[1].volume.flags = 0;
  ASSERT_EQ(Load(song), errOK);

  const ModuleInstrument* i = module->instruments[0];
  ASSERT_EQ(i->numSamples, 3u);
  EXPECT_EQ(i->samples[0], module->samples[2]);
  EXPECT_EQ(i->samples[1], module->samples[0]);
  EXPECT_EQ(i->samples[2], module->samples[3]);
  ASSERT_NE(i->noteMap, nullptr);
  EXPECT_EQ(i->noteMap[0], 0u);
  EXPECT_EQ(i->noteMap[1], 0xFFu);
  EXPECT_EQ(i->noteMap[20], 12u);
  EXPECT_EQ(i->noteMap[21], 0u);
  EXPECT_EQ(i->noteMap[23], 1u);
  EXPECT_EQ(i->noteMap[25], 0u);
  EXPECT_EQ(i->noteMap[27], 2u);
  EXPECT_EQ(i->noteMap[28], 16u);
  EXPECT_EQ(i->noteMap[29], 0xFFu);
  EXPECT_STREQ(i->name, "lead");
  EXPECT_EQ(i->newNoteAction, 1u);
  EXPECT_EQ(i->dupCheckAction, 3u);
  EXPECT_EQ(i->fadeOut, 256u);
  EXPECT_EQ(i->globalVolume, 100u);
  EXPECT_EQ(i->defaultPanning, 0x80u | 20u);
  EXPECT_EQ(i->randomPanning, 7u);
  EXPECT_EQ(i->used, 1u);

  const ModuleEnvelope* v = i->volEnvelope;
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->numPoints, 3u);
  EXPECT_EQ(v->sustain, 0xFFu);
  EXPECT_EQ(v->loopStart, 0u);
  EXPECT_EQ(v->loopEnd, 2u);
  EXPECT_EQ(v->sustainLoopStart, 1u);
  EXPECT_EQ(v->sustainLoopEnd, 1u);
  EXPECT_EQ(v->inclusiveLoops, 1u);  // IT plays a loop's end point
  EXPECT_EQ(v->points[1][0], 10u);
  EXPECT_EQ(v->points[1][1], 32u);
  const ModuleEnvelope* p = i->panEnvelope;
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->loopStart, 0xFFu);
  EXPECT_EQ(p->sustainLoopStart, 0xFFu);
  EXPECT_EQ(p->points[0][1], 0u);
  EXPECT_EQ(p->points[1][1], 64u);
  EXPECT_EQ(p->points[2][1], 32u);
  const ModuleEnvelope* t = i->thirdEnvelope;
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->numPoints, 25u);
  EXPECT_EQ(t->loopStart, 0xFFu);
  EXPECT_EQ(t->points[0][1], 42u);

  const ModuleInstrument* second = module->instruments[1];
  EXPECT_EQ(second->volEnvelope, nullptr);
  EXPECT_EQ(second->panEnvelope, nullptr);
  EXPECT_EQ(second->used, 0u);
  EXPECT_EQ(second->numSamples, 1u);
}

TEST_F(ItReader, OldLayoutInstruments) {
  itwriter::Song song = BasicSong();
  song.cmwt = 0x0100;
  itwriter::Instrument& ins = song.instruments[0];
  ins.oldFlags = 1 | 2 | 4;
  ins.oldLoopBegin = 0;
  ins.oldLoopEnd = 2;
  ins.oldSusBegin = 1;
  ins.oldSusEnd = 5;  // beyond the points: dropped
  ins.oldNodes = {{0, 64}, {4, 80}, {9, 0}};
  ins.fadeOut = 30;
  ins.nna = 2;
  ins.dct = 1;
  ASSERT_EQ(Load(song), errOK);
  const ModuleInstrument* i = module->instruments[0];
  EXPECT_EQ(i->fadeOut, 60u);  // counted against 512 in this layout, stored against 1024
  EXPECT_EQ(i->newNoteAction, 2u);
  EXPECT_EQ(i->dupCheckType, 1u);
  EXPECT_EQ(i->globalVolume, 128u);  // full
  EXPECT_NE(i->defaultPanning & 0x80, 0);
  ASSERT_EQ(i->numSamples, 1u);
  const ModuleEnvelope* v = i->volEnvelope;
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->numPoints, 3u);
  EXPECT_EQ(v->loopStart, 0u);
  EXPECT_EQ(v->loopEnd, 2u);
  EXPECT_EQ(v->sustainLoopStart, 0xFFu);
  EXPECT_EQ(v->points[1][0], 4u);
  EXPECT_EQ(v->points[1][1], 64u);  // clamped
  EXPECT_EQ(i->panEnvelope, nullptr);
  ins.oldFlags = 0;
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->instruments[0]->volEnvelope, nullptr);
}

TEST_F(ItReader, SamplesGoToTheDevice) {
  itwriter::Song song = BasicSong();
  itwriter::Sample looped;
  looped.flags = 0x03 | 0x10 | 0x20;
  looped.bytes.assign(40, 0);
  looped.loopBegin = 2;
  looped.loopEnd = 10;
  looped.susBegin = 4;
  looped.susEnd = 6;
  song.samples.push_back(looped);
  RecordingDevice device;
  ASSERT_EQ(Load(song, device.device(), 1), errOK);
  ASSERT_EQ(device.samples().size(), 2u);
  EXPECT_EQ(device.samples()[0].data, (std::vector<std::uint8_t>{0x80, 0xFF, 0x00, 0x7F}));
  const SampleDescriptor& d = device.samples()[1].descriptor;
  EXPECT_EQ(d.sampleType, smp16bitMono);
  EXPECT_EQ(d.sampleLength, 40u);
  EXPECT_EQ(d.loopMode, loopModeReleaseAlt);
  EXPECT_EQ(d.loop1Start, 8u);
  EXPECT_EQ(d.loop1End, 12u);
  EXPECT_EQ(d.loop2Start, 4u);
  EXPECT_EQ(d.loop2End, 20u);
  EXPECT_EQ(d.loop2Type, loopTypeForward);
  EXPECT_EQ(module->samples[1]->sdHandle, 2u);
  EXPECT_EQ(ModuleFree(module, device.device()), errOK);
  module = nullptr;
  EXPECT_EQ(device.Live(), 0);

  RecordingDevice failing;
  failing.FailAfter(1, errNoSampleHandles);
  EXPECT_EQ(Load(song, failing.device(), 1), errNoSampleHandles);
  EXPECT_EQ(module, nullptr);
  EXPECT_EQ(failing.Live(), 0);
}

TEST_F(ItReader, EveryTruncationFailsCleanly) {
  itwriter::Song song = BasicSong();
  song.instruments[0].volume.flags = 1;
  song.instruments[0].volume.nodes = {{64, 0}, {0, 8}};
  song.samples.push_back(song.samples[0]);
  song.samples[1].flags = 0x03;
  const auto good = song.Build();
  ASSERT_EQ(LoadBytes(good), errOK);
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    const int error = LoadBytes(std::vector<std::uint8_t>(good.begin(), good.begin() + cut));
    EXPECT_NE(error, errOK) << "cut at " << cut;
    EXPECT_EQ(module, nullptr);
  }
}

TEST_F(ItReader, CorruptedBytesNeverCrash) {
  itwriter::Song song = BasicSong();
  song.instruments[0].volume.flags = 7;
  song.instruments[0].volume.nodes = {{64, 0}, {0, 8}};
  song.samples.push_back(song.samples[0]);
  song.samples[1].flags = 0x03 | 0x10;
  song.samples[1].loopEnd = 2;
  PatternWriter w;
  w.Entry(0, 0xFF, 60, 1, 32, 4, 5).Entry(1, 0x0F, 61, 2, 1, 2, 3).EndRow();
  w.Repeat(0, 70, 1, 2, 3, 4).EndRow();
  song.patterns[0].packed = w.bytes;
  song.patterns[0].rows = 4;
  const auto good = song.Build();
  std::uint32_t seed = 777;
  auto random = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  int loaded = 0;
  for (int round = 0; round < 400; ++round) {
    auto bytes = good;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int f = 0; f < flips; ++f) {
      const std::size_t at = 4 + random() % (bytes.size() - 4);
      bytes[at] = static_cast<std::uint8_t>(random());
    }
    const int error = LoadBytes(bytes);
    EXPECT_GE(error, 0);
    EXPECT_LE(error, soundErrorCount);
    EXPECT_EQ(module == nullptr, error != errOK);
    loaded += error == errOK ? 1 : 0;
  }
  EXPECT_GT(loaded, 0);
}

}  // namespace
