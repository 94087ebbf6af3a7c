// IT pitch rules as the device hears them: linear slides in 1/768 octave,
// Amiga slides in period units, tone portamento, the memory E, F and G share
// unless compatible Gxx is set, IT's vibrato, and old effects' sample offset.
// An 8363 Hz sample plays C-5 at 14317056 / 1712 = 8362.8 Hz.
#include <gtest/gtest.h>

#include <cmath>

#include "sound/gmpitpitch.h"
#include "sound/gmptables.h"
#include "tests/sound/support/command_fixture.h"

namespace {

using modbuild::At;
using recdev::Op;

constexpr double c5 = 14317056.0 / 1712;

// Rate after `units` steps of 1/768 octave up from C-5.
double Up(double units) { return c5 * std::exp2(units / 768); }

modbuild::ModuleSpec ItSong(std::uint32_t flags, std::vector<modbuild::Row> rows) {
  auto layout = Song(modKindIT, std::move(rows));
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0).Vol(40)};
  layout.flags = flags;
  return layout;
}

class ItPitch : public Commands {};

TEST_F(ItPitch, LinearSlidesMoveByAFixedPartOfAnOctave) {
  Start(ItSong(modFlagLinear, {{At(0).Cmd(cmdPortamentoUp, 0x02)},     // F02: 8 units a tick
                               {At(0).Cmd(cmdPortamentoDown, 0xF3)},   // EF3: 12 units once
                               {At(0).Cmd(cmdPortamentoUp, 0xE5)}}));  // FE5: 5 units once
  PlayTo(1, 0);
  EXPECT_NEAR(RateOn(RowTick(1, 0)), c5, 1);  // the first tick leaves the pitch
  PlayTo(1, 5);
  EXPECT_NEAR(RateOn(RowTick(1, 5)), Up(40), 1);
  PlayTo(2, 5);
  EXPECT_NEAR(RateOn(RowTick(2, 0)), Up(28), 1);
  EXPECT_NEAR(RateOn(RowTick(2, 5)), Up(28), 1);
  PlayTo(3, 5);
  EXPECT_NEAR(RateOn(RowTick(3, 5)), Up(33), 1);
}

// Four octaves up (C-9, 133804 Hz) one unit is still heard: 0.09 %, within
// the period step there (1/6848).
TEST_F(ItPitch, ExtraFineLinearSlidesMoveHighNotes) {
  auto layout = ItSong(modFlagLinear, {{At(0).Note(9, 0)}, {At(0).Cmd(cmdPortamentoUp, 0xE1)}});
  Start(layout);
  PlayTo(2, 0);
  EXPECT_NEAR(RateOn(RowTick(2, 0)), 16 * c5 * std::exp2(1.0 / 768), 20);
  EXPECT_GT(RateOn(RowTick(2, 0)), 16 * c5 + 60);
}

TEST_F(ItPitch, AmigaSlidesMovePeriodsByFourUnits) {
  Start(ItSong(0, {{At(0).Cmd(cmdPortamentoUp, 0x02)}, {At(0).Cmd(cmdPortamentoDown, 0xE4)}}));
  PlayTo(1, 5);
  EXPECT_EQ(Period(), 1712u - 40);
  EXPECT_EQ(RateOn(RowTick(1, 5)), 14317056 / (1712 - 40));
  PlayTo(2, 0);
  EXPECT_EQ(Period(), 1712u - 36);
}

// G04 glides 16 units a tick: C-5 to C#5 (64 units) in four ticks, then stays
// (on the note table's C#5, 1616, within a hertz of 64 units).
TEST_F(ItPitch, LinearTonePortamentoReachesTheNoteExactly) {
  Start(ItSong(modFlagLinear, {{At(0).Note(5, 1).Cmd(cmdTonePortamento, 0x04)}}));
  PlayTo(1, 5);
  for (unsigned k = 1; k <= 3; ++k) {
    EXPECT_NEAR(RateOn(RowTick(1, k)), Up(16.0 * k), 1.5) << "tick " << k;
  }
  EXPECT_NEAR(RateOn(RowTick(1, 4)), Up(64), 1.5);
  EXPECT_EQ(RateOn(RowTick(1, 5)), RateOn(RowTick(1, 4)));
  EXPECT_EQ(Period(), Ch(0).targetPeriod);
}

// Without compatible Gxx, E, F and G share their memory: G00 after E05 glides
// at 5 (20 units a tick). With it, G00 has no speed of its own yet.
TEST_F(ItPitch, CompatibleGxxGivesGItsOwnMemory) {
  for (std::uint32_t compat : {0u, unsigned{modFlagItCompatibleGxx}}) {
    Start(ItSong(modFlagLinear | compat, {{At(0).Cmd(cmdPortamentoDown, 0x05)},
                                          {At(0).Note(5, 0).Cmd(cmdTonePortamento, 0x00)}}));
    PlayTo(2, 0);
    const double from = c5 * std::exp2(-100.0 / 768);  // E05 on five ticks: 100 units down
    EXPECT_NEAR(RateOn(RowTick(2, 0)), from, 1);
    PlayTo(2, 2);
    const double expected = compat ? from : from * std::exp2(40.0 / 768);
    EXPECT_NEAR(RateOn(RowTick(2, 2)), expected, 1) << "compatible " << compat;
    Finish();
  }
}

// A glide to an instrument restarts its envelope only with compatible Gxx.
TEST_F(ItPitch, CompatibleGxxRestartsTheEnvelopeOfAGlide) {
  for (std::uint32_t compat : {0u, unsigned{modFlagItCompatibleGxx}}) {
    modbuild::InstrumentSpec ins;
    ins.volumeEnvelope = modbuild::Envelope({{0, 64}, {4, 0}});
    auto layout = ItInstrumentSpec(ins);
    layout.flags |= compat;
    layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
    layout.patterns[0].rows[2] = {At(0).Note(5, 2).Ins(0).Cmd(cmdTonePortamento, 4)};
    Start(layout);
    Ticks(3);
    EXPECT_EQ(VolumeOn(3), compat ? 64 : 32) << "compatible " << compat;
    Finish();
  }
}

// IT's own effects mode moves the vibrato on the first tick as well, and
// moves the position (by speed × 4 of 256) before it reads the wave: H44
// reaches position 96 in a row of six ticks (80 with old effects). With
// linear slides tick 1 reads position 32 (sine 45): 45 × 16 / 64 = 11 units,
// higher.
TEST_F(ItPitch, VibratoActsOnTheFirstTickWithoutOldEffects) {
  for (std::uint32_t old : {0u, unsigned{modFlagItOldEffects}}) {
    Start(ItSong(modFlagLinear | old, {{At(0).Cmd(cmdVibrato, 0x44)}}));
    PlayTo(1, 5);
    EXPECT_EQ(Ch(0).vibratoPosition, old ? 80 : 96) << "old " << old;
    if (!old) {
      EXPECT_NEAR(RateOn(RowTick(1, 1)), c5 * std::exp2(11.0 / 768), 1);
    }
    Finish();
  }
}

// Old effects double the depth and lower the pitch first: at position 80
// (sine 59) 59 × 16 / 32 = 29, which IT's coarse table takes as 28 units.
TEST_F(ItPitch, OldEffectsDoubleTheLinearVibrato) {
  Start(ItSong(modFlagLinear | modFlagItOldEffects, {{At(0).Cmd(cmdVibrato, 0x44)}}));
  PlayTo(1, 5);
  EXPECT_NEAR(RateOn(RowTick(1, 5)), c5 * std::exp2(-28.0 / 768), 1);
}

// An offset past the sample's end (1000 frames) is ignored in IT's own mode;
// with old effects the note starts there, at the end.
TEST_F(ItPitch, SampleOffsetPastTheEndDependsOnOldEffects) {
  for (std::uint32_t old : {0u, unsigned{modFlagItOldEffects}}) {
    Start(ItSong(old, {{At(0).Note(5, 0).Cmd(cmdSampleOffset, 0x10)},
                       {At(0).Note(5, 0).Cmd(cmdSampleOffset, 0x03)}}));
    PlayTo(2, 0);
    auto moves = recdev::Of(Op::SetPosition, 0);
    ASSERT_EQ(moves.size(), old ? 2u : 1u) << "old " << old;
    EXPECT_EQ(moves.back().value, 0x300);
    if (old) {
      EXPECT_EQ(moves.front().value, 0x1000);
    }
    Finish();
  }
}

// SAx gives the offsets of later O commands (and O00's memory) bits 16..19.
TEST_F(ItPitch, HighSampleOffset) {
  auto layout = ItSong(0, {{At(0).Cmd(cmdHighOffset, 1)},
                           {At(0).Note(5, 0).Cmd(cmdSampleOffset, 0x02)},
                           {At(0).Note(5, 0).Cmd(cmdSampleOffset, 0x00)},
                           {At(0).Cmd(cmdHighOffset, 0)},
                           {At(0).Note(5, 0).Cmd(cmdSampleOffset, 0x00)}});
  layout.samples[0].length = 0x30000;
  Start(layout);
  PlayTo(5, 0);
  std::vector<std::int64_t> moves;
  for (const auto& e : recdev::Of(Op::SetPosition, 0)) moves.push_back(e.value);
  EXPECT_EQ(moves, (std::vector<std::int64_t>{0x10200, 0x10200, 0x200}));
}

TEST(ItPitchRule, SlidePeriodHalvesAnOctaveUp) {
  EXPECT_EQ(gmpItSlidePeriod(109568, 768), 54784u);
  EXPECT_EQ(gmpItSlidePeriod(109568, -768), 219136u);
  EXPECT_EQ(gmpItSlidePeriod(109568, 0), 109568u);
  EXPECT_EQ(gmpItSlidePeriod(0, 100), 0u);
}

}  // namespace
