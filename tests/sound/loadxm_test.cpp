// XM reader: header checks, pattern unpacking and effect mapping, instruments
// with note maps and envelopes, delta-coded samples, device upload, and
// malformed files.
#include "sound/loadxm.h"

#include <gtest/gtest.h>

#include "sound/errors.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "tests/sound/support/reader_fixture.h"
#include "tests/sound/support/reader_support.h"
#include "tools/xmwriter/xmwriter.h"

namespace {

using soundtest::RecordingDevice;

class XmReader : public soundtest::ReaderFixture<gmpLoadXM> {
protected:

  // A song with one instrument of one 8-bit sample, used on the first row.
  static xmwriter::Song BasicSong() {
    xmwriter::Song song;
    song.At(0, 0, 0) = {49, 1, 0, 0, 0};
    xmwriter::Instrument ins;
    ins.name = "lead";
    xmwriter::Sample s;
    s.name = "wave";
    s.values = {0, 10, 20, -20, 127, -128};
    ins.samples.push_back(s);
    song.instruments.push_back(ins);
    return song;
  }
};

TEST_F(XmReader, HeaderAndOrders) {
  xmwriter::Song song = BasicSong();
  song.name = "exactly twenty chars";
  song.channels = 6;
  song.orders = {0, 3, 0};
  song.restart = 1;
  song.speed = 3;
  song.tempo = 150;
  song.flags = 1;
  song.patterns.resize(2);
  ASSERT_EQ(Load(song), errOK);
  EXPECT_STREQ(module->name, "exactly twenty chars");
  EXPECT_EQ(module->kind, modKindXM);
  EXPECT_EQ(module->songLength, 3u);
  EXPECT_EQ(module->restartPosition, 1u);
  EXPECT_EQ(module->numChannels, 6u);
  EXPECT_EQ(module->speed, 3u);
  EXPECT_EQ(module->tempo, 150u);
  EXPECT_EQ(module->globalVolume, 64u);
  EXPECT_EQ(module->flags, static_cast<std::uint32_t>(modFlagLinear));
  EXPECT_EQ(module->orders[1], 3u);
  // Two stored patterns, but the order list names pattern 3.
  EXPECT_EQ(module->numPatterns, 4u);
  EXPECT_EQ(module->patterns[2]->rows, 64u);
  EXPECT_EQ(module->patterns[3]->length, 72u);
  for (int c = 0; c < 32; ++c) EXPECT_EQ(module->panning[c], 128);

  song.flags = 0;
  song.restart = 3;  // not inside the order list
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->flags, 0u);
  EXPECT_EQ(module->restartPosition, 0u);
}

TEST_F(XmReader, LargerHeaderIsSkipped) {
  xmwriter::Song song = BasicSong();
  song.headerSize = 300;
  ASSERT_EQ(Load(song), errOK);
  auto entries = Pattern(0);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].note, 0x40);
  EXPECT_STREQ(module->instruments[0]->name, "lead");
}

TEST_F(XmReader, RejectedHeaders) {
  xmwriter::Song song = BasicSong();
  song.version = 0x0101;  // 1.02 and 1.03 load (loadxmold_test.cpp)
  EXPECT_EQ(Load(song), errInvalidModule);
  song = BasicSong();
  song.channels = 33;  // the packed form has five bits of channel
  EXPECT_EQ(Load(song), errInvalidModule);
  song.channels = 0;
  EXPECT_EQ(Load(song), errInvalidModule);
  song = BasicSong();
  song.songLengthOverride = 0;
  EXPECT_EQ(Load(song), errInvalidModule);
  auto bytes = BasicSong().Build();
  bytes[9] = 'm';  // "Extended module: "
  EXPECT_EQ(LoadBytes(bytes), errInvalidModule);
  EXPECT_EQ(module, nullptr);
  song = BasicSong();
  song.channels = 32;
  EXPECT_EQ(Load(song), errOK);
}

TEST_F(XmReader, NotesInstrumentsAndVolumes) {
  xmwriter::Song song = BasicSong();
  song.At(0, 1, 1) = {1, 0, 0x10, 0, 0};    // C-0, volume 0
  song.At(0, 2, 1) = {96, 0, 0x50, 0, 0};   // B-7, volume 64
  song.At(0, 3, 1) = {97, 0, 0x65, 0, 0};   // key off, volume column command
  song.At(0, 4, 1) = {0, 0, 0x05, 0, 0};    // a volume byte that means nothing
  song.At(0, 5, 1) = {0, 1, 0, 0, 0};       // instrument only
  song.At(0, 6, 3) = {13, 0, 0, 0, 0};      // C-1 on the last channel
  ASSERT_EQ(Load(song), errOK);
  auto e = Pattern(0);
  ASSERT_EQ(e.size(), 6u);
  EXPECT_EQ(e[0].note, 0x40);
  EXPECT_EQ(e[0].instrument, 0);
  EXPECT_EQ(e[0].volume, -1);
  EXPECT_EQ(e[1].note, 0x00);
  EXPECT_EQ(e[1].instrument, 0xFF);
  EXPECT_EQ(e[1].volume, 0);
  EXPECT_EQ(e[2].note, 0x7B);
  EXPECT_EQ(e[2].volume, 64);
  EXPECT_EQ(e[3].note, 0xFE);
  EXPECT_EQ(e[3].volume, 0x65);
  EXPECT_EQ(e[4].row, 5u);  // row 4 wrote nothing
  EXPECT_EQ(e[4].note, 0xFF);
  EXPECT_EQ(e[4].instrument, 0);
  EXPECT_EQ(e[5].channel, 3u);
  EXPECT_EQ(e[5].note, 0x10);
}

TEST_F(XmReader, FullAndMaskForms) {
  xmwriter::Song song = BasicSong();
  song.channels = 2;
  xmwriter::Pattern p;
  p.rows = 2;
  // Row 0: channel 0 in the full form, channel 1 an empty mask.
  // Row 1: channel 0 volume only, channel 1 effect parameter only.
  p.raw = std::vector<std::uint8_t>{25, 1, 0x30, 0x0C, 0x20, 0x80, 0x84, 0x40, 0x90, 0x33};
  song.patterns = {p};
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->patterns[0]->rows, 2u);
  auto e = Pattern(0);
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].row, 0u);
  EXPECT_EQ(e[0].note, 0x20);
  EXPECT_EQ(e[0].instrument, 0);
  EXPECT_EQ(e[0].volume, 0x20);
  EXPECT_EQ(e[0].command, cmdSetVolume);
  EXPECT_EQ(e[0].param, 0x20);
  EXPECT_EQ(e[1].row, 1u);
  EXPECT_EQ(e[1].volume, 0x30);
  EXPECT_EQ(e[1].note, -1);
  EXPECT_EQ(e[2].channel, 1u);
  EXPECT_EQ(e[2].command, cmdArpeggio);  // arpeggio 0x33
  EXPECT_EQ(e[2].param, 0x33);
}

TEST_F(XmReader, EffectMapping) {
  struct Case {
    std::uint8_t type, param;
    int command, result;  // command -1: none written
  };
  const Case cases[] = {
      {0x1, 0x08, cmdPortamentoUp, 0x08},           {0x3, 0x20, cmdTonePortamento, 0x20},
      {0x8, 0xC0, cmdSetPanning, 0xC0},             {0xC, 0x40, cmdSetVolume, 0x40},
      {0xE, 0x1A, cmdFinePortamentoUp, 0x0A},       {0xE, 0xA3, cmdFineVolumeSlideUp, 0x03},
      {0xE, 0x31, cmdGlissandoControl, 0x01},       {0xF, 0x1F, cmdSetSpeed, 0x1F},
      {0xF, 0x20, cmdSetTempo, 0x20},               {16, 0x30, cmdSetGlobalVolume, 0x30},
      {17, 0x21, cmdGlobalVolumeSlide, 0x21},       {21, 0x05, cmdSetEnvelopePosition, 0x05},
      {25, 0x0F, cmdPanningSlide, 0x0F},            {27, 0x41, cmdRetriggerVolumeChange, 0x41},
      {32, 0x42, cmdSync, 0x42},                    {33, 0x15, cmdExtraFinePortamentoUp, 0x05},
      {33, 0x2F, cmdExtraFinePortamentoDown, 0x0F}, {33, 0x35, -1, 0},
      {29, 0x11, cmdTremor, 0x11},                  {35, 0x01, -1, 0},
      {20, 0x03, cmdKeyOff, 0x03},                  {0xE, 0x4C, cmdVibratoWaveform, 0x0C},
      {0xE, 0x58, cmdSetFineTune, 0x08},            {0xE, 0x77, cmdTremoloWaveform, 0x07},
      {0xE, 0x01, -1, 0},                           {18, 0x01, -1, 0},
      {36, 0x01, -1, 0},                            {200, 0x01, -1, 0},
  };
  xmwriter::Song song = BasicSong();
  song.patterns[0].rows = 64;
  int row = 1;
  for (const Case& c : cases) song.At(0, row++, 2) = {0, 0, 0, c.type, c.param};
  ASSERT_EQ(Load(song), errOK);
  auto e = Pattern(0);
  std::size_t k = 1;  // entry 0 is the note on row 0
  row = 1;
  for (const Case& c : cases) {
    if (c.command < 0) {
      EXPECT_TRUE(k == e.size() || e[k].row != static_cast<unsigned>(row))
          << "type " << int(c.type) << " should be dropped";
    } else {
      ASSERT_LT(k, e.size());
      EXPECT_EQ(e[k].row, static_cast<unsigned>(row));
      EXPECT_EQ(e[k].command, c.command) << "type " << int(c.type);
      EXPECT_EQ(e[k].param, c.result) << "type " << int(c.type);
      ++k;
    }
    ++row;
  }
  EXPECT_EQ(k, e.size());
}

// K00 is a key-off note; Kxx keeps the row's note and keys it off on tick xx.
TEST_F(XmReader, KeyOffEffectAtOnceOrOnItsTick) {
  xmwriter::Song song = BasicSong();
  song.At(0, 1, 0) = {0, 0, 0, 20, 0};
  song.At(0, 2, 0) = {49, 1, 0, 20, 3};
  ASSERT_EQ(Load(song), errOK);
  auto e = Pattern(0);
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[1].note, 0xFE);
  EXPECT_EQ(e[1].instrument, 0xFF);
  EXPECT_EQ(e[1].command, -1);
  EXPECT_EQ(e[2].note, 0x40);
  EXPECT_EQ(e[2].instrument, 0);
  EXPECT_EQ(e[2].command, cmdKeyOff);
  EXPECT_EQ(e[2].param, 3);
}

TEST_F(XmReader, PatternRowCounts) {
  xmwriter::Song song = BasicSong();
  song.patterns[0].rows = 0;
  song.patterns[0].cells.clear();
  EXPECT_EQ(Load(song), errInvalidModule);
  song.patterns[0].rows = 257;
  EXPECT_EQ(Load(song), errInvalidModule);
  song.patterns[0].rows = 256;
  song.At(0, 255, 3) = {1, 0, 0, 0, 0};
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->patterns[0]->rows, 256u);
  // A stored pattern without data is all empty rows.
  xmwriter::Song empty = BasicSong();
  empty.patterns[0] = xmwriter::Pattern{};
  empty.patterns[0].rows = 32;
  ASSERT_EQ(Load(empty), errOK);
  EXPECT_EQ(module->patterns[0]->rows, 32u);
  EXPECT_EQ(module->patterns[0]->length, 8u + 32u);
  // A longer pattern header is skipped.
  xmwriter::Song longHeader = BasicSong();
  longHeader.patterns[0].headerLength = 20;
  ASSERT_EQ(Load(longHeader), errOK);
  EXPECT_EQ(Pattern(0)[0].note, 0x40);
}

TEST_F(XmReader, PackedDataCutShortLeavesTheRestEmpty) {
  xmwriter::Song song = BasicSong();
  xmwriter::Pattern p;
  p.rows = 4;
  p.raw = std::vector<std::uint8_t>{0x83, 49, 1, 0x81};  // second cell lacks its note
  song.patterns = {p};
  ASSERT_EQ(Load(song), errOK);
  auto e = Pattern(0);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].note, 0x40);
}

TEST_F(XmReader, NoteMapsAndKeptSamples) {
  xmwriter::Song song;
  song.At(0, 0, 0) = {49, 1, 0, 0, 0};
  song.At(0, 1, 0) = {49, 2, 0, 0, 0};
  // Instrument 1: three stored samples, the note map uses only sample 0.
  xmwriter::Instrument one;
  for (int i = 0; i < 3; ++i) {
    xmwriter::Sample s;
    s.values = {static_cast<std::int16_t>(i)};
    one.samples.push_back(s);
  }
  // Instrument 2: the note map names samples 0 and 2 of four.
  xmwriter::Instrument two = one;
  two.samples.push_back(one.samples[0]);
  two.noteMap[40] = 2;
  two.noteMap[41] = 1;
  // Instrument 3: stored but never used.
  xmwriter::Instrument three = one;
  song.instruments = {one, two, three};
  ASSERT_EQ(Load(song), errOK);
  ASSERT_EQ(module->numInstruments, 3u);
  EXPECT_EQ(module->numSamples, 48u);
  const ModuleInstrument* a = module->instruments[0];
  EXPECT_EQ(a->numSamples, 1u);
  EXPECT_EQ(a->noteMap, nullptr);
  EXPECT_EQ(a->used, 1u);
  const ModuleInstrument* b = module->instruments[1];
  ASSERT_EQ(b->numSamples, 3u);
  ASSERT_NE(b->noteMap, nullptr);
  EXPECT_EQ(b->noteMap[40], 2u);
  EXPECT_EQ(b->noteMap[41], 1u);
  EXPECT_EQ(b->samples[2], module->samples[16 + 2]);
  EXPECT_EQ(module->samples[16 + 3], nullptr);
  // Each kept sample's data comes from its own place in the file.
  EXPECT_EQ(b->samples[2]->data[0], 0x82);
  EXPECT_EQ(b->samples[1]->data[0], 0x81);
  const ModuleInstrument* c = module->instruments[2];
  EXPECT_EQ(c->numSamples, 0u);
  EXPECT_EQ(c->used, 0u);
  EXPECT_EQ(module->samples[32], nullptr);
}

TEST_F(XmReader, MapSlotsBeyondTheStoredSamplesStayEmpty) {
  xmwriter::Song song = BasicSong();
  xmwriter::Instrument& ins = song.instruments[0];
  for (int n = 48; n < 96; ++n) ins.noteMap[static_cast<std::size_t>(n)] = 1;  // a deleted sample
  ASSERT_EQ(Load(song), errOK);
  const ModuleInstrument* a = module->instruments[0];
  ASSERT_EQ(a->numSamples, 2u);
  ASSERT_NE(a->noteMap, nullptr);
  EXPECT_NE(a->samples[0], nullptr);
  EXPECT_EQ(a->samples[1], nullptr);  // notes mapped there play nothing
}

TEST_F(XmReader, MoreThan255InstrumentsLoad) {
  // Patterns can name 255 instruments; the rest are stored but never used.
  xmwriter::Song song = BasicSong();
  song.instruments.resize(300);
  ASSERT_EQ(Load(song), errOK);
  ASSERT_EQ(module->numInstruments, 300u);
  EXPECT_EQ(module->instruments[0]->used, 1u);
  EXPECT_EQ(module->instruments[299]->used, 0u);
  EXPECT_EQ(module->instruments[299]->numSamples, 0u);
}

TEST_F(XmReader, Envelopes) {
  xmwriter::Song song = BasicSong();
  xmwriter::Instrument& ins = song.instruments[0];
  ins.volume.points = {{0, 64}, {10, 32}, {20, 0}};
  ins.volume.type = 1 | 2 | 4;
  ins.volume.sustain = 1;
  ins.volume.loopStart = 0;
  ins.volume.loopEnd = 2;
  ins.panning.points = {{0, 32}, {5, 0}};
  ins.panning.type = 1 | 4;
  ins.panning.loopStart = 1;
  ins.panning.loopEnd = 1;  // start = end: no loop
  ins.vibType = 1;
  ins.vibSweep = 2;
  ins.vibDepth = 3;
  ins.vibRate = 4;
  ins.fadeOut = 0x1234;
  ASSERT_EQ(Load(song), errOK);
  const ModuleInstrument* i = module->instruments[0];
  ASSERT_NE(i->volEnvelope, nullptr);
  EXPECT_EQ(i->volEnvelope->numPoints, 3u);
  EXPECT_EQ(i->volEnvelope->sustain, 1u);
  EXPECT_EQ(i->volEnvelope->loopStart, 0u);
  EXPECT_EQ(i->volEnvelope->loopEnd, 2u);
  EXPECT_EQ(i->volEnvelope->sustainLoopStart, 0xFFu);
  EXPECT_EQ(i->volEnvelope->points[1][0], 10u);
  EXPECT_EQ(i->volEnvelope->points[1][1], 32u);
  ASSERT_NE(i->panEnvelope, nullptr);
  EXPECT_EQ(i->panEnvelope->sustain, 0xFFu);
  EXPECT_EQ(i->panEnvelope->loopStart, 0xFFu);
  EXPECT_EQ(i->panEnvelope->loopEnd, 0xFFu);
  EXPECT_EQ(i->thirdEnvelope, nullptr);
  EXPECT_EQ(i->vibType, 1u);
  EXPECT_EQ(i->vibSweep, 2u);
  EXPECT_EQ(i->vibDepth, 3u);
  EXPECT_EQ(i->vibRate, 4u);
  EXPECT_EQ(i->fadeOut, 0x1234u);

  // Envelope off, and a point count beyond the twelve stored points.
  ins.volume.type = 0;
  ins.panning.type = 1 | 2 | 4;
  ins.panning.countOverride = 40;
  ins.panning.sustain = 30;
  ins.panning.loopStart = 3;
  ins.panning.loopEnd = 20;
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->instruments[0]->volEnvelope, nullptr);
  const ModuleEnvelope* pan = module->instruments[0]->panEnvelope;
  ASSERT_NE(pan, nullptr);
  EXPECT_EQ(pan->numPoints, 12u);
  EXPECT_EQ(pan->sustain, 0xFFu);
  EXPECT_EQ(pan->loopEnd, 0xFFu);
}

TEST_F(XmReader, PatternsNamingMoreInstrumentsThanStored) {
  xmwriter::Song song = BasicSong();
  song.instruments.resize(30, song.instruments[0]);
  song.At(0, 5, 1) = {49, 40, 0, 0, 0};
  ASSERT_EQ(Load(song), errOK);
  EXPECT_EQ(module->numInstruments, 40u);
  EXPECT_EQ(module->numSamples, 640u);
  for (unsigned i = 30; i < 40; ++i) {
    EXPECT_EQ(module->instruments[i]->numSamples, 0u) << i;
    EXPECT_EQ(module->instruments[i]->name[0], 0) << i;
  }
  EXPECT_EQ(module->instruments[39]->used, 1u);
  EXPECT_EQ(module->instruments[0]->numSamples, 1u);
}

TEST_F(XmReader, SampleDataAndLoops) {
  xmwriter::Song song;
  song.At(0, 0, 0) = {49, 1, 0, 0, 0};
  xmwriter::Instrument ins;
  xmwriter::Sample eight;
  eight.values = {0, 1, -1, 127, -128, 5, 6, 7};
  eight.loopStart = 2;
  eight.loopLength = 4;
  eight.loopBits = 1;
  eight.volume = 40;
  eight.fineTune = -16;
  eight.panning = 200;
  eight.relativeNote = -12;
  xmwriter::Sample sixteen;
  sixteen.sixteen = true;
  sixteen.values = {0, 1000, -1000, 32767, -32768, 0};
  sixteen.loopStart = 4;
  sixteen.loopLength = 100;  // reaches past the 12 data bytes
  sixteen.loopBits = 2;
  xmwriter::Sample bits3 = eight;
  bits3.loopBits = 3;
  xmwriter::Sample empty;
  ins.samples = {eight, sixteen, bits3, empty};
  ins.noteMap[0] = 3;
  song.instruments = {ins};
  ASSERT_EQ(Load(song), errOK);

  const ModuleSample* a = module->samples[0];
  EXPECT_EQ(a->sampleType, smp8bitMono);
  EXPECT_EQ(a->length, 8u);
  EXPECT_EQ(a->loopMode, loopModeSingle);
  EXPECT_EQ(a->loopType, loopTypeForward);
  EXPECT_EQ(a->loopStart, 2u);
  EXPECT_EQ(a->loopEnd, 6u);
  EXPECT_EQ(a->volume, 40u);
  EXPECT_EQ(a->fineTune, -16);
  EXPECT_EQ(a->panning, 200);
  EXPECT_EQ(a->basePitch, -12);
  const std::uint8_t expected[8] = {0x80, 0x81, 0x7F, 0xFF, 0x00, 0x85, 0x86, 0x87};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(a->data[k], expected[k]) << k;

  const ModuleSample* b = module->samples[1];
  EXPECT_EQ(b->sampleType, smp16bitMono);
  EXPECT_EQ(b->length, 12u);
  EXPECT_EQ(b->loopType, loopTypePingPong);
  EXPECT_EQ(b->loopStart, 4u);
  EXPECT_EQ(b->loopEnd, 12u);
  const std::int16_t expected16[6] = {0, 1000, -1000, 32767, -32768, 0};
  for (int k = 0; k < 6; ++k) {
    const std::int16_t v = static_cast<std::int16_t>(b->data[2 * k] | (b->data[2 * k + 1] << 8));
    EXPECT_EQ(v, expected16[k]) << k;
  }
  EXPECT_EQ(b->fileOffset, a->fileOffset + 8);

  EXPECT_EQ(module->samples[2]->loopMode, loopModeNone);
  EXPECT_EQ(module->samples[2]->loopType, loopTypeNone);
  EXPECT_EQ(module->samples[3]->length, 0u);
  EXPECT_EQ(module->samples[3]->sampleType, smpNone);
  EXPECT_EQ(module->samples[3]->data, nullptr);
}

int CountingCallback(const SampleDescriptor*, ModuleSample* sample) {
  return sample->sdHandle == 3 ? errOutOfMemory : errOK;
}

TEST_F(XmReader, SamplesGoToTheDevice) {
  xmwriter::Song song = BasicSong();
  xmwriter::Instrument& ins = song.instruments[0];
  ins.samples.push_back(ins.samples[0]);
  ins.samples[1].sixteen = true;
  ins.samples[1].loopBits = 1;
  ins.samples[1].loopLength = 4;
  ins.noteMap[10] = 1;
  RecordingDevice device;
  ASSERT_EQ(Load(song, device.device(), 1), errOK);
  ASSERT_EQ(device.samples().size(), 2u);
  const auto& s8 = device.samples()[0];
  EXPECT_EQ(s8.descriptor.sampleType, smp8bitMono);
  EXPECT_EQ(s8.descriptor.placement, sdSmpConv);
  EXPECT_EQ(s8.data, (std::vector<std::uint8_t>{0x80, 0x8A, 0x94, 0x6C, 0xFF, 0x00}));
  const auto& s16 = device.samples()[1];
  EXPECT_EQ(s16.descriptor.sampleType, smp16bitMono);
  EXPECT_EQ(s16.descriptor.sampleLength, 12u);
  EXPECT_EQ(s16.descriptor.loopMode, loopModeSingle);
  EXPECT_EQ(s16.descriptor.loop1End, 4u);
  EXPECT_EQ(module->samples[1]->sdHandle, 2u);
  EXPECT_EQ(module->samples[1]->data, nullptr);
  EXPECT_EQ(ModuleFree(module, device.device()), errOK);
  module = nullptr;
  EXPECT_EQ(device.Live(), 0);

  // A callback failure stops the load and the samples already added go.
  ins.samples.push_back(ins.samples[0]);
  ins.noteMap[11] = 2;
  RecordingDevice again;
  EXPECT_EQ(Load(song, again.device(), 1, &CountingCallback), errOutOfMemory);
  EXPECT_EQ(module, nullptr);
  EXPECT_EQ(again.samples().size(), 3u);
  EXPECT_EQ(again.Live(), 0);
}

TEST_F(XmReader, OversizedSamples) {
  xmwriter::Song song = BasicSong();
  song.instruments[0].samples[0].lengthOverride = 0x7FFFFFF0;
  EXPECT_EQ(Load(song), errInvalidInstrument);
  // Far more than the file holds, but not oversized: the file's last sample
  // is held to the bytes there before any buffer is taken.
  song.instruments[0].samples[0].lengthOverride = 0x7FFFFF00;
  RecordingDevice device;
  ASSERT_EQ(Load(song, device.device(), 1), errOK);
  EXPECT_EQ(module->samples[0]->length, 6u);
  FreeModule();
  // An earlier sample that claims so much leaves the next one outside the
  // file: refused.
  song.instruments[0].samples.push_back(song.instruments[0].samples[0]);
  song.instruments[0].samples[1].lengthOverride.reset();
  song.instruments[0].noteMap[10] = 1;
  EXPECT_EQ(Load(song, device.device(), 1), errEndOfFile);
  EXPECT_EQ(module, nullptr);
}

TEST_F(XmReader, EveryTruncationFailsCleanly) {
  xmwriter::Song song = BasicSong();
  song.instruments[0].volume.points = {{0, 64}, {4, 0}};
  song.instruments[0].volume.type = 1;
  song.instruments.push_back(song.instruments[0]);
  song.At(0, 1, 1) = {50, 2, 0x40, 0xE, 0x12};
  const auto good = song.Build();
  ASSERT_EQ(LoadBytes(good), errOK);
  // The last sample's six bytes may be cut short (loadxmold_test.cpp); a cut
  // anywhere before them fails.
  const std::size_t lastData = good.size() - 6;
  for (std::size_t cut = 0; cut < lastData; ++cut) {
    const int error =
        LoadBytes(std::vector<std::uint8_t>(good.begin(), good.begin() + cut));
    EXPECT_NE(error, errOK) << "cut at " << cut;
    EXPECT_EQ(module, nullptr);
  }
}

TEST_F(XmReader, CorruptedBytesNeverCrash) {
  xmwriter::Song song = BasicSong();
  song.instruments[0].volume.points = {{0, 64}, {4, 0}};
  song.instruments[0].volume.type = 7;
  song.instruments.push_back(song.instruments[0]);
  song.instruments[1].samples[0].sixteen = true;
  song.At(0, 1, 1) = {50, 2, 0x40, 0xE, 0x12};
  const auto good = song.Build();
  std::uint32_t seed = 12345;
  auto random = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  int loaded = 0;
  for (int round = 0; round < 400; ++round) {
    auto bytes = good;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int f = 0; f < flips; ++f) {
      // Keep the signature so that the corruption reaches past the header.
      const std::size_t at = 38 + random() % (bytes.size() - 38);
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
