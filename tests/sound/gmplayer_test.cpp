// Player engine: tick timing, order handling, handles, volume and pitch
// conversion, and the XM/IT instrument machinery (envelopes, fade-out,
// automatic vibrato, note maps, key off), observed through the device calls.
#include <gtest/gtest.h>

#include <cmath>

#include "sound/gmptables.h"
#include "tests/sound/support/player_fixture.h"

namespace {

using modbuild::At;
using recdev::Op;

// Pattern-break rows: every row of a pattern jumps to the next order.
modbuild::PatternSpec BreakPattern(int note = -1) {
  modbuild::PatternSpec p;
  auto e = At(0).Cmd(cmdPatternBreak, 0);
  if (note >= 0) e.Note(4, note).Ins(0);
  p.rows[0] = {e};
  return p;
}

TEST(PlayerTables, FirstAndLastEntries) {
  EXPECT_EQ(gmpPeriodTableMod[0], 1712);
  EXPECT_EQ(gmpPeriodTableMod[11], 907);
  EXPECT_EQ(gmpPeriodTableMod[12], 1700);
  EXPECT_EQ(gmpPeriodTableMod[24], 1688);
  EXPECT_EQ(gmpPeriodTableMod[15 * 12], 1724);
  EXPECT_EQ(gmpPeriodTableMod[191], 914);
  // Every row lies within 3 of the tempered value for its fine tune (rows
  // 8..15 are -8..-1 eighths of a semitone).
  for (int row = 0; row < 16; ++row) {
    const int fine = row < 8 ? row : row - 16;
    for (int s = 0; s < 12; ++s) {
      const double expected = 1712.0 * std::exp2(-(s + fine / 8.0) / 12.0);
      EXPECT_NEAR(gmpPeriodTableMod[row * 12 + s], expected, 3.0) << row << " " << s;
    }
  }
  EXPECT_EQ(gmpPeriodTableXm[0], 856);
  EXPECT_EQ(gmpPeriodTableXm[3], 838);
  EXPECT_EQ(gmpPeriodTableXm[103], 407);
  for (std::size_t i = 1; i < gmpPeriodTableXm.size(); ++i) {
    EXPECT_LT(gmpPeriodTableXm[i], gmpPeriodTableXm[i - 1]) << i;
  }
  EXPECT_EQ(gmpLinearFreqTable[0], 535232u);
  EXPECT_EQ(gmpLinearFreqTable[1], 534749u);
  EXPECT_EQ(gmpLinearFreqTable[2], 534266u);
  EXPECT_EQ(gmpLinearFreqTable[766], 268099u);
  EXPECT_EQ(gmpLinearFreqTable[767], 267857u);
  EXPECT_EQ(gmpAutoVibratoSine[0], 0);
  EXPECT_EQ(gmpAutoVibratoSine[1], -2);
  EXPECT_EQ(gmpAutoVibratoSine[64], -64);
  EXPECT_EQ(gmpAutoVibratoSine[192], 64);
  EXPECT_EQ(gmpAutoVibratoSine[255], 2);
  EXPECT_EQ(gmpVibratoTable[16], 255);
  EXPECT_EQ(gmpVibratoTable[31], 24);
}

TEST_F(PlayerTest, InitAsksForTempo125) {
  ASSERT_FALSE(recdev::events.empty());
  EXPECT_EQ(recdev::events.back().op, Op::SetUpdRate);
  EXPECT_EQ(recdev::events.back().value, 5000);
}

TEST_F(PlayerTest, FirstRowIsReadOnTheSpeedthTick) {
  auto layout = FastSpec();
  layout.speed = 6;
  layout.tempo = 150;
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(4, 2).Ins(0)};
  Start(layout);
  EXPECT_EQ(recdev::Last(Op::SetUpdRate, 0), 6000);  // tempo × 40
  Ticks(12);
  auto plays = recdev::Of(Op::PlaySound, 0);
  ASSERT_EQ(plays.size(), 2u);
  EXPECT_EQ(plays[0].tick, 6u);
  EXPECT_EQ(plays[1].tick, 12u);
  // Every tick updates the device, before the first row too.
  EXPECT_EQ(recdev::Of(Op::SetVolume, 0).size(), 12u);
  EXPECT_EQ(RateOn(5), -1);  // no period before the first note
  EXPECT_EQ(RateOn(7), 8362);
}

TEST_F(PlayerTest, OrderListSkipsMarkersAndWrapsAtTheEnd) {
  auto layout = FastSpec();
  layout.orders = {0, orderSkip, 1, orderEnd, 2};
  layout.patterns = {BreakPattern(0), BreakPattern(2), BreakPattern(4)};
  Start(layout);
  std::vector<std::uint32_t> read;
  for (int i = 0; i < 4; ++i) {
    read.push_back(handle->pattern);
    ASSERT_EQ(Tick(), errOK);
    if (i == 1) {
      EXPECT_EQ(handle->loopCount, 1u);
    }
  }
  EXPECT_EQ(read, (std::vector<std::uint32_t>{0, 1, 0, 1}));
  EXPECT_EQ(handle->loopCount, 2u);
}

TEST_F(PlayerTest, PatternEndAdvancesAndWrapResetsGlobalVolume) {
  auto layout = FastSpec();
  layout.orders = {0, 1};
  layout.patterns.resize(2);
  layout.globalVolume = 40;
  layout.patterns[1].rows[3] = {At(0).Cmd(cmdSetGlobalVolume, 10)};  // global volume 10
  Start(layout);
  Ticks(64);
  EXPECT_EQ(handle->position, 1u);
  EXPECT_EQ(handle->row, 0u);
  EXPECT_EQ(handle->loopCount, 0u);
  Ticks(10);
  EXPECT_EQ(handle->globalVolume, 10);
  Ticks(54);
  EXPECT_EQ(handle->position, 0u);
  EXPECT_EQ(handle->loopCount, 1u);
  EXPECT_EQ(handle->globalVolume, 40);
}

TEST_F(PlayerTest, SongWithoutLoopingStopsAtTheWrap) {
  auto layout = FastSpec();
  layout.patterns = {BreakPattern(0)};
  Start(layout, 0);
  Ticks(1);
  EXPECT_EQ(handle->loopCount, 1u);
  const std::size_t events = recdev::events.size();
  Ticks(5);
  EXPECT_EQ(recdev::events.size(), events);  // held: no more ticks
}

TEST_F(PlayerTest, PartialPlayUsesGivenEndAndRestart) {
  auto layout = FastSpec();
  layout.orders = {0, 1, 2, 3};
  layout.patterns = {BreakPattern(), BreakPattern(), BreakPattern(), BreakPattern()};
  module = modbuild::Build(layout);
  unsigned channel = 0;
  ASSERT_EQ(gmpPlaySong(module, 1, 2, 2, 1, -1, &channel, &handle), errOK);
  std::vector<std::uint32_t> read;
  for (int i = 0; i < 4; ++i) {
    read.push_back(handle->position);
    ASSERT_EQ(Tick(), errOK);
  }
  EXPECT_EQ(read, (std::vector<std::uint32_t>{1, 2, 2, 2}));
}

TEST_F(PlayerTest, FinalVolumeIsTheRoundedProductOfFourFactors) {
  auto layout = FastSpec(modKindXM);
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0)};
  Start(layout);
  Ticks(1);
  EXPECT_EQ(VolumeOn(1), 64);
  ASSERT_EQ(gmpSetMasterVolume(handle, 0), errOK);
  Ticks(1);
  EXPECT_EQ(VolumeOn(2), 0);
  ASSERT_EQ(gmpSetMasterVolume(handle, 64), errOK);
  handle->globalVolume = 1;
  Ticks(1);
  EXPECT_EQ(VolumeOn(3), 1);  // 1 × 64 × 64 × 64 rounds up
  handle->globalVolume = 64;
  ASSERT_EQ(gmpSetChannelVolume(handle, 0, 32), errOK);
  Ticks(1);
  EXPECT_EQ(VolumeOn(4), 32);
  EXPECT_EQ(gmpSetChannelVolume(handle, 1, 32), errInvalidChannel);
}

TEST_F(PlayerTest, NotePitchesPerKind) {
  modbuild::SampleSpec s;
  s.basePitch = 8363;
  auto* m = modbuild::Build(FastSpec());
  m->kind = modKindS3M;
  ModuleSample* smp = m->samples[0];
  smp->basePitch = 8363;
  std::uint32_t f = 0;
  EXPECT_EQ(gmpNotePeriod(m, smp, 0x40), 1712u);
  ASSERT_EQ(gmpPeriodToFrequency(m, 1712, &f), errOK);
  EXPECT_EQ(f, 8362u);
  EXPECT_EQ(gmpNotePeriod(m, smp, 0x50), 856u);
  EXPECT_EQ(gmpNotePeriod(m, smp, 0x4C), 0u);  // no semitone 12
  EXPECT_EQ(gmpPeriodToFrequency(m, 0, &f), errInvalidPattern);
  smp->basePitch = 0;
  EXPECT_EQ(gmpNotePeriod(m, smp, 0x40), 0u);

  m->kind = modKindIT;  // C-5 rate: C-5 plays at that rate
  smp->basePitch = 8363;
  ASSERT_EQ(gmpPeriodToFrequency(m, gmpNotePeriod(m, smp, 0x50), &f), errOK);
  EXPECT_NEAR(f, 8363, 2);

  m->kind = modKindMOD;
  smp->fineTune = 0;
  EXPECT_EQ(gmpNotePeriod(m, smp, 0x10), 856u);
  smp->fineTune = 15;
  EXPECT_EQ(gmpNotePeriod(m, smp, 0x00), 1724u);
  ASSERT_EQ(gmpPeriodToFrequency(m, 428, &f), errOK);
  EXPECT_EQ(f, 3546895u / 428);

  m->kind = modKindXM;
  smp->basePitch = 0;
  smp->fineTune = 0;
  EXPECT_EQ(gmpNotePeriod(m, smp, 0x40), 1712u);  // Amiga mode C-4
  ASSERT_EQ(gmpPeriodToFrequency(m, 1712, &f), errOK);
  EXPECT_EQ(f, 8363u);
  smp->basePitch = 12;  // relative note: one octave up
  EXPECT_EQ(gmpNotePeriod(m, smp, 0x40), 856u);
  smp->basePitch = 0;
  smp->fineTune = 64;  // half a semitone up lies between C and C#
  const std::uint32_t half = gmpNotePeriod(m, smp, 0x40);
  EXPECT_LT(half, 1712u);
  EXPECT_GT(half, 1616u);
  smp->fineTune = -128;  // a semitone below C-0 (27392)
  EXPECT_NEAR(gmpNotePeriod(m, smp, 0x00), 27392 * std::exp2(1.0 / 12), 40);
  m->flags = modFlagLinear;
  smp->fineTune = 0;
  EXPECT_EQ(gmpNotePeriod(m, smp, 0x40), 4608u);
  ASSERT_EQ(gmpPeriodToFrequency(m, 4608, &f), errOK);
  EXPECT_EQ(f, 8363u);
  ASSERT_EQ(gmpPeriodToFrequency(m, 54784, &f), errOK);  // shift beyond 31 bits
  EXPECT_EQ(f, 0u);
  ModuleFree(m, nullptr);
}

// A MOD note whose fine-tuned period lies beyond the period range keeps it
// from row to row; only a portamento slide holds it to the range, on the
// side it slides to (as ProTracker does), and a tone portamento reaches it.
TEST_F(PlayerTest, ModNoteOutsideThePeriodRangeKeepsItsPitch) {
  auto layout = FastSpec();
  layout.kind = modKindMOD;
  layout.speed = 6;  // row r is read on tick 6 (r + 1)
  layout.samples[0].fineTune = 8;  // -8: C-1 lies at 907, above the range's 856
  layout.patterns[0].rows[0] = {At(0).Note(1, 0).Ins(0)};
  layout.patterns[0].rows[2] = {At(0).Cmd(cmdPortamentoUp, 1)};
  layout.patterns[0].rows[3] = {At(0).Cmd(cmdPortamentoDown, 0x40)};
  layout.patterns[0].rows[4] = {At(0).Note(1, 0).Cmd(cmdTonePortamento, 0x20)};
  Start(layout);
  Ticks(36);
  auto rate = [](int period) { return 3546895 / period; };
  EXPECT_EQ(RateOn(6), rate(907));
  EXPECT_EQ(RateOn(12), rate(907));  // the next row leaves it alone
  EXPECT_EQ(RateOn(18), rate(907));
  EXPECT_EQ(RateOn(19), rate(906));  // sliding up from where it is
  EXPECT_EQ(RateOn(23), rate(902));
  EXPECT_EQ(RateOn(24), rate(902));
  EXPECT_EQ(RateOn(25), rate(856));  // 902 + 64 stops at the range's end
  EXPECT_EQ(RateOn(31), rate(888));
  EXPECT_EQ(RateOn(32), rate(907));  // the target is the note's own period
  EXPECT_EQ(RateOn(35), rate(907));
  EXPECT_EQ(recdev::Of(Op::PlaySound, 0).size(), 1u);
}

TEST_F(PlayerTest, InstrumentSetsSampleAndDefaultVolume) {
  auto layout = FastSpec();
  layout.samples[0].volume = 64;  // S3M caps at 63
  layout.samples.push_back(layout.samples[0]);
  layout.samples[1].volume = 20;
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(1)};
  layout.patterns[0].rows[1] = {At(0).Ins(0)};  // instrument alone: no restart
  Start(layout);
  Ticks(2);
  auto samples = recdev::Of(Op::SetSample, 0);
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[0].value, 2);
  EXPECT_EQ(samples[1].value, 1);
  EXPECT_EQ(recdev::Of(Op::PlaySound, 0).size(), 1u);
  EXPECT_EQ(Ch(0).volume, 63);
}

TEST_F(PlayerTest, NotesWithoutASampleAreSilent) {
  auto layout = FastSpec(modKindS3M, 2);
  modbuild::InstrumentSpec empty;  // never used: no sample
  modbuild::InstrumentSpec full;
  full.samples = {0};
  layout.instruments = {full, empty};
  layout.samples.push_back(layout.samples[0]);
  layout.samples[1].basePitch = 0;  // a C-4 rate of 0
  modbuild::InstrumentSpec zeroRate;
  zeroRate.samples = {1};
  layout.instruments.push_back(zeroRate);
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0), At(1).Note(4, 0).Ins(2)};
  layout.patterns[0].rows[1] = {At(0).Note(4, 0).Ins(1)};
  Start(layout);
  Ticks(2);
  EXPECT_EQ(recdev::Of(Op::PlaySound, 0).size(), 1u);
  EXPECT_EQ(recdev::Of(Op::StopSound, 0, 2u).size(), 1u);
  EXPECT_TRUE(recdev::Of(Op::PlaySound, 1).empty());
  EXPECT_EQ(recdev::Of(Op::StopSound, 1, 1u).size(), 1u);
}

TEST_F(PlayerTest, InitialPanningPerKind) {
  auto layout = FastSpec(modKindS3M, 3);
  layout.panning = {0, 164, 96};
  Start(layout);
  EXPECT_EQ(recdev::Last(Op::SetPanning, 0), -64);
  EXPECT_EQ(recdev::Last(Op::SetPanning, 1), 0x80);
  EXPECT_EQ(recdev::Last(Op::SetPanning, 2), 32);
  gmpStopSong(handle);
  handle = nullptr;
  ModuleFree(module, nullptr);
  recdev::Reset();

  auto it = FastSpec(modKindIT, 1);
  it.panning = {16};
  Start(it);
  EXPECT_EQ(recdev::Last(Op::SetPanning, 0), -32);
  gmpStopSong(handle);
  handle = nullptr;
  ModuleFree(module, nullptr);
  recdev::Reset();

  auto xm = FastSpec(modKindXM, 1);
  xm.panning = {255};
  Start(xm);
  EXPECT_TRUE(recdev::Of(Op::SetPanning).empty());  // XM sends it each tick
  Ticks(1);
  EXPECT_EQ(recdev::Last(Op::SetPanning, 0), 63);
}

TEST_F(PlayerTest, SixteenSongsAtMost) {
  auto layout = FastSpec();
  module = modbuild::Build(layout);
  unsigned channel = 0;
  std::vector<PlayerHandle*> all;
  for (int i = 0; i < gmpMaxHandles; ++i) {
    PlayerHandle* h = nullptr;
    ASSERT_EQ(gmpPlaySong(module, -1, -1, -1, 1, -1, &channel, &h), errOK);
    all.push_back(h);
  }
  PlayerHandle* extra = nullptr;
  EXPECT_EQ(gmpPlaySong(module, -1, -1, -1, 1, -1, &channel, &extra), errOutOfResources);
  EXPECT_EQ(all[0]->slot, 15u);  // the last free slot is taken first
  EXPECT_EQ(gmpStopSong(all[3]), errOK);
  ASSERT_EQ(gmpPlaySong(module, -1, -1, -1, 1, -1, &channel, &extra), errOK);
  all[3] = extra;
  EXPECT_EQ(gmpClose(), errOK);
}

TEST_F(PlayerTest, StartFailingOnTheDeviceLeavesNoSongBehind) {
  module = modbuild::Build(FastSpec(modKindS3M, 2));
  const unsigned channels[] = {0, 1};
  PlayerHandle* failed = nullptr;
  recdev::FailOn(Op::SetUpdRate, errInvalidChannel);
  EXPECT_EQ(gmpPlaySong(module, -1, -1, -1, 1, -1, channels, &failed), errInvalidChannel);
  recdev::FailOn(Op::SetPanning, errInvalidChannel, 1);  // the second channel's panning
  EXPECT_EQ(gmpPlaySong(module, -1, -1, -1, 1, -1, channels, &failed), errInvalidChannel);
  EXPECT_EQ(failed, nullptr);
  recdev::Reset();
  // The slot is free again and the player is not left busy: the next song
  // takes the same slot and plays.
  ASSERT_EQ(gmpPlaySong(module, -1, -1, -1, 1, -1, channels, &handle), errOK);
  EXPECT_EQ(handle->slot, 15u);
  Ticks(1);
  EXPECT_EQ(handle->row, 1u);
}

unsigned lastTempoRate = 0;
void TempoCallback(unsigned rate) { lastTempoRate = rate; }

TEST_F(PlayerTest, TempoCallbackHearsEveryChange) {
  auto layout = FastSpec();
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdSetTempo, 0x40)};
  Start(layout);
  lastTempoRate = 0;
  ASSERT_EQ(gmpSetTempoCallback(TempoCallback), errOK);
  EXPECT_EQ(lastTempoRate, 125u * 40);
  Ticks(2);
  EXPECT_EQ(lastTempoRate, 64u * 40);
  EXPECT_EQ(recdev::Last(Op::SetUpdRate, 0), 2560);
  // The tempo stays what it last was after the song stops.
  ASSERT_EQ(gmpStopSong(handle), errOK);
  handle = nullptr;
  lastTempoRate = 0;
  ASSERT_EQ(gmpSetTempoCallback(TempoCallback), errOK);
  EXPECT_EQ(lastTempoRate, 64u * 40);
  gmpSetTempoCallback(nullptr);
}

TEST_F(PlayerTest, BadPatternDataFailsTheTick) {
  auto layout = FastSpec();
  layout.patterns[0].rows[0] = {At(0).Cmd(static_cast<ModuleCommand>(moduleCommandCount), 1)};
  Start(layout);
  EXPECT_EQ(Tick(), errInvalidPattern);
}

TEST_F(PlayerTest, DeviceFailureStopsTheTick) {
  auto layout = FastSpec();
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0)};
  Start(layout);
  recdev::FailOn(Op::PlaySound, errInvalidChannel);
  EXPECT_EQ(Tick(), errInvalidChannel);
}

TEST_F(PlayerTest, CutOffPatternBlockReadsSafely) {
  auto layout = FastSpec();
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0).Vol(30).Cmd(cmdVolumeSlide, 1)};
  Start(layout);
  module->patterns[0]->length = 12;  // ends inside the first entry
  Ticks(70);
  EXPECT_TRUE(recdev::Of(Op::PlaySound).empty());
}

// XM and IT instruments.

modbuild::ModuleSpec XmSpec() {
  auto layout = FastSpec(modKindXM);
  layout.instruments.resize(1);
  layout.instruments[0].samples = {0};
  return layout;
}

// An instrument of two samples, the second an octave up, mapped from note
// index `split` on.
modbuild::ModuleSpec XmTwoSampleSpec(int split) {
  auto layout = XmSpec();
  layout.samples.push_back(layout.samples[0]);
  layout.samples[1].basePitch = 12;
  layout.instruments[0].samples = {0, 1};
  layout.instruments[0].noteMap.assign(96, 0);
  for (int n = split; n < 96; ++n) layout.instruments[0].noteMap[n] = 1;
  return layout;
}

TEST_F(PlayerTest, XmVolumeEnvelopeSustainAndKeyOff) {
  auto layout = XmSpec();
  layout.instruments[0].volumeEnvelope = modbuild::Envelope({{0, 64}, {4, 32}, {8, 0}}, 1);
  layout.instruments[0].fadeOut = 0x2000;
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0)};
  layout.patterns[0].rows[10] = {At(0).Raw(noteCut)};
  Start(layout);
  Ticks(10);
  // 64, 56, 48, 40, then held at 32 on the sustain point.
  EXPECT_EQ(VolumeOn(1), 64);
  EXPECT_EQ(VolumeOn(2), 56);
  EXPECT_EQ(VolumeOn(4), 40);
  EXPECT_EQ(VolumeOn(5), 32);
  EXPECT_EQ(VolumeOn(10), 32);
  Ticks(3);
  // Released: the envelope moves on and the fade-out (2 × 0x2000 per tick)
  // scales it.
  EXPECT_EQ(Ch(0).released, 1);
  EXPECT_EQ(VolumeOn(11), 32);
  EXPECT_LT(VolumeOn(12), 28);
  EXPECT_LT(VolumeOn(13), VolumeOn(12));
  Ticks(10);
  EXPECT_EQ(VolumeOn(23), 0);
}

TEST_F(PlayerTest, XmKeyOffWithoutEnvelopeSilences) {
  auto layout = XmSpec();
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0)};
  layout.patterns[0].rows[2] = {At(0).Raw(noteCut)};
  Start(layout);
  Ticks(3);
  EXPECT_EQ(VolumeOn(2), 64);
  EXPECT_EQ(VolumeOn(3), 0);
  EXPECT_TRUE(recdev::Of(Op::StopSound).empty());
}

TEST_F(PlayerTest, XmEnvelopeLoop) {
  auto layout = XmSpec();
  layout.instruments[0].volumeEnvelope = modbuild::Envelope({{0, 0}, {2, 64}, {4, 32}}, 0xFF, 0, 2);
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0)};
  Start(layout);
  Ticks(8);
  // 0, 32, 64, 48; reaching the loop end (4) jumps back to its start (0).
  const std::vector<std::int64_t> expected = {0, 32, 64, 48, 0, 32, 64, 48};
  for (unsigned t = 1; t <= 8; ++t) EXPECT_EQ(VolumeOn(t), expected[t - 1]) << t;
}

TEST_F(PlayerTest, XmPanningEnvelopeAndNoteMap) {
  auto layout = XmTwoSampleSpec(48);
  layout.instruments[0].panningEnvelope = modbuild::Envelope({{0, 64}});
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(3, 0).Ins(0)};
  Start(layout);
  Ticks(2);
  auto samples = recdev::Of(Op::SetSample, 0);
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[0].value, 2);  // C-4 maps to the second sample
  EXPECT_EQ(samples[1].value, 1);
  EXPECT_EQ(recdev::Of(Op::PlaySound, 0)[0].value, 16726);  // one octave up
  // Centre panning pushed fully right by the envelope's top value.
  EXPECT_EQ(recdev::Last(Op::SetPanning, 0), 63);
}

// A note without an instrument takes its sample from the instrument's note
// map and the device is told to play it, whether the note starts on its row,
// after a note delay or through a sample offset.
TEST_F(PlayerTest, XmNoteWithoutInstrumentSwitchesTheDeviceSample) {
  auto layout = XmTwoSampleSpec(48);
  layout.speed = 6;  // row r is read on tick 6 (r + 1)
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0)};                    // second sample
  layout.patterns[0].rows[1] = {At(0).Note(3, 0)};                           // first sample
  layout.patterns[0].rows[2] = {At(0).Note(4, 0).Cmd(cmdNoteDelay, 2)};      // second, tick 2
  layout.patterns[0].rows[3] = {At(0).Note(3, 0).Cmd(cmdSampleOffset, 1)};  // first, at 256
  Start(layout);
  Ticks(24);
  // Handles: the first sample is 1, the second 2. C-4 of the second sample
  // (an octave up) sounds at 16726 Hz, C-3 of the first at 14317456 / 3424.
  const std::vector<std::pair<unsigned, std::int64_t>> samples = {{6, 2}, {12, 1}, {20, 2}, {24, 1}};
  const std::vector<std::pair<unsigned, std::int64_t>> plays = {
      {6, 16726}, {12, 4181}, {20, 16726}, {24, 4181}};
  const auto setSample = recdev::Of(Op::SetSample, 0);
  const auto playSound = recdev::Of(Op::PlaySound, 0);
  ASSERT_EQ(setSample.size(), samples.size());
  ASSERT_EQ(playSound.size(), plays.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    EXPECT_EQ(setSample[i].tick, samples[i].first) << i;
    EXPECT_EQ(setSample[i].value, samples[i].second) << i;
    EXPECT_EQ(playSound[i].tick, plays[i].first) << i;
    EXPECT_EQ(playSound[i].value, plays[i].second) << i;
  }
  EXPECT_EQ(recdev::Of(Op::SetPosition, 0, 24u).back().value, 256);
  EXPECT_EQ(RateOn(13), 4181);  // the rate that follows is the first sample's
  // The sample is set before the note starts on the device.
  std::size_t sampleAt = 0, playAt = 0;
  for (std::size_t i = 0; i < recdev::events.size(); ++i) {
    const recdev::Event& e = recdev::events[i];
    if (e.tick != 20 || e.channel != 0) continue;
    if (e.op == Op::SetSample) sampleAt = i;
    if (e.op == Op::PlaySound) playAt = i;
  }
  EXPECT_LT(sampleAt, playAt);
}

TEST_F(PlayerTest, ItNoteWithoutInstrumentSwitchesTheDeviceSample) {
  auto layout = FastSpec(modKindIT);
  layout.samples.push_back(layout.samples[0]);
  layout.samples[1].basePitch = 16726;  // its C-5 an octave above the first's
  layout.instruments.resize(1);
  layout.instruments[0].samples = {0, 1};
  layout.instruments[0].noteMap.assign(240, 0);
  for (int n = 0; n < 120; ++n) {
    layout.instruments[0].noteMap[n * 2] = static_cast<std::uint8_t>(n);
    layout.instruments[0].noteMap[n * 2 + 1] = n < 60 ? 0 : 1;  // C-5 and up: second
  }
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0)};  // first sample
  layout.patterns[0].rows[1] = {At(0).Note(5, 0)};          // second sample
  Start(layout);
  Ticks(2);
  const auto setSample = recdev::Of(Op::SetSample, 0);
  ASSERT_EQ(setSample.size(), 2u);
  EXPECT_EQ(setSample[1].tick, 2u);
  EXPECT_EQ(setSample[1].value, 2);
  ASSERT_EQ(recdev::Of(Op::PlaySound, 0, 2u).size(), 1u);
  EXPECT_NEAR(recdev::Of(Op::PlaySound, 0, 2u)[0].value, 16726, 3);  // C-5 at its own rate
}

TEST_F(PlayerTest, XmVolumeColumnPortamentoStillChoosesTheSample) {
  auto layout = XmTwoSampleSpec(60);
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 0).Ins(0).Vol(0xF8)};  // C-5 with portamento Fx
  Start(layout);
  Ticks(2);
  EXPECT_EQ(Ch(0).sample, 1);  // only a tone-portamento command keeps the old sample
  EXPECT_EQ(recdev::Of(Op::PlaySound, 0).size(), 1u);  // the note itself is not restarted
}

TEST_F(PlayerTest, XmAutomaticVibratoSweepsIn) {
  auto layout = XmSpec();
  layout.instruments[0].vibDepth = 8;
  layout.instruments[0].vibRate = 64;  // a quarter cycle per tick
  layout.instruments[0].vibSweep = 2;
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0)};
  Start(layout);
  Ticks(9);
  // Positions 64, 128, 192, 0: sine -64, 0, 64, 0; depth 4 × 256 then 8 × 256;
  // offset = sine × depth >> 14.
  EXPECT_EQ(Ch(0).autoVibratoDepth, 8u * 256);
  EXPECT_EQ(RateOn(1), 14317456 / (1712 - 4));
  EXPECT_EQ(RateOn(2), 8363);
  EXPECT_EQ(RateOn(3), 14317456 / (1712 + 8));
  EXPECT_EQ(RateOn(5), 14317456 / (1712 - 8));
}

TEST_F(PlayerTest, ItNoteMapReplacesTheNoteAndFadesAfterKeyOff) {
  auto layout = FastSpec(modKindIT);
  layout.instruments.resize(1);
  layout.instruments[0].samples = {0};
  layout.instruments[0].fadeOut = 0x100;
  layout.instruments[0].noteMap.assign(240, 0);
  for (int n = 0; n < 120; ++n) layout.instruments[0].noteMap[n * 2] = 60;  // always C-5
  layout.instruments[0].defaultPanning = 0x80 | 10;  // panning suppressed
  layout.patterns[0].rows[0] = {At(0).Note(3, 7).Ins(0)};
  layout.patterns[0].rows[2] = {At(0).Raw(noteCut)};
  Start(layout);
  Ticks(4);
  ASSERT_EQ(recdev::Of(Op::PlaySound, 0).size(), 1u);
  EXPECT_NEAR(recdev::Of(Op::PlaySound, 0)[0].value, 8363, 2);
  EXPECT_EQ(recdev::Of(Op::SetPanning, 0, 1u).back().value, 0);  // centre kept
  EXPECT_EQ(recdev::Of(Op::ReleaseSound, 0).size(), 1u);
  EXPECT_EQ(VolumeOn(3), 64);  // fade-out starts after the key off's tick
  EXPECT_EQ(VolumeOn(4), 48);  // 1024 - 0x100
}

}  // namespace
