// IT parameter memories, A00 and the envelope switches S77..S7C, observed on
// the channel and through the device. Speed 3: row r starts on tick 3r + 3.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/sound/support/player_fixture.h"

namespace {

using modbuild::At;

modbuild::ModuleSpec SlowSpec(const modbuild::InstrumentSpec& instrument = {}) {
  auto layout = ItInstrumentSpec(instrument);
  layout.speed = 3;
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  return layout;
}

std::int64_t PanningOn(unsigned tick) {
  auto e = recdev::Of(recdev::Op::SetPanning, 0, tick);
  return e.empty() ? -999 : e.back().value;
}

TEST_F(PlayerTest, ItVolumeSlidesShareOneMemoryThatVibratoDoesNotFeed) {
  auto layout = SlowSpec();
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0).Vol(40)};
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdVolumeSlide, 0x04)};                // 40 -> 32
  layout.patterns[0].rows[2] = {At(0).Cmd(cmdVibratoVolumeSlide, 0x00)};         // K00: -> 24
  layout.patterns[0].rows[3] = {At(0).Cmd(cmdTonePortamentoVolumeSlide, 0x00)};  // L00: -> 16
  layout.patterns[0].rows[4] = {At(0).Cmd(cmdVibrato, 0x12)};
  layout.patterns[0].rows[5] = {At(0).Cmd(cmdVolumeSlide, 0x00)};  // still 04, not 12: -> 8
  Start(layout);
  Ticks(8);
  EXPECT_EQ(Ch(0).volume, 32);
  Ticks(3);
  EXPECT_EQ(Ch(0).volume, 24);
  Ticks(3);
  EXPECT_EQ(Ch(0).volume, 16);
  Ticks(6);
  EXPECT_EQ(Ch(0).volume, 8);
}

TEST_F(PlayerTest, ItPortamentosShareTheirMemoryApartFromTheVolumeSlide) {
  auto layout = SlowSpec();
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdPortamentoDown, 0x05)};  // + 5 × 4, twice
  layout.patterns[0].rows[2] = {At(0).Cmd(cmdPortamentoUp, 0x00)};    // F00: - 5 × 4, twice
  layout.patterns[0].rows[3] = {At(0).Cmd(cmdVolumeSlide, 0x00)};     // D00: nothing remembered
  Start(layout);
  Ticks(3);
  const std::uint32_t start = Ch(0).period;
  ASSERT_NE(start, 0u);
  Ticks(5);
  EXPECT_EQ(Ch(0).period, start + 40);
  Ticks(3);
  EXPECT_EQ(Ch(0).period, start);
  Ticks(3);
  EXPECT_EQ(Ch(0).volume, 64);
}

// G's parameter feeds E00 unless the song asks for compatible Gxx. Amiga
// slides: E08 adds 8 × 4 to the period on ticks 1 and 2.
TEST_F(PlayerTest, ItTonePortamentoFeedsTheSlideMemoryOnlyWithoutCompatibleGxx) {
  for (std::uint32_t compat : {0u, unsigned{modFlagItCompatibleGxx}}) {
    auto layout = SlowSpec();
    layout.flags |= compat;
    layout.patterns[0].rows[1] = {At(0).Cmd(cmdTonePortamento, 0x08)};  // no note: stays
    layout.patterns[0].rows[2] = {At(0).Cmd(cmdPortamentoDown, 0x00)};
    Start(layout);
    Ticks(8);
    const std::uint32_t start = Ch(0).period;
    ASSERT_NE(start, 0u);
    Ticks(3);
    EXPECT_EQ(Ch(0).period, compat ? start : start + 64) << "compatible " << compat;
    ASSERT_EQ(gmpStopSong(handle), errOK);
    ASSERT_EQ(ModuleFree(module, nullptr), errOK);
    handle = nullptr;
    module = nullptr;
  }
}

TEST_F(PlayerTest, ItSpeedZeroIsIgnored) {
  auto layout = SlowSpec();
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdSetSpeed, 0)};
  Start(layout);
  Ticks(12);
  EXPECT_EQ(handle->speed, 3u);
  EXPECT_EQ(handle->loopCount, 0u);
  EXPECT_EQ(handle->position, 0u);
  EXPECT_EQ(handle->row, 4u);  // rows 0..3 read, the next is 4
}

TEST_F(PlayerTest, ItVolumeEnvelopeSwitchesOffAndOnUntilAnInstrument) {
  modbuild::InstrumentSpec ins;
  ins.volumeEnvelope = modbuild::Envelope({{0, 64}, {8, 0}});  // 8 down a tick
  auto layout = SlowSpec(ins);
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdNoteAction, 7)};  // S77 off
  layout.patterns[0].rows[2] = {At(0).Cmd(cmdNoteAction, 8)};  // S78 on, where it stood
  layout.patterns[0].rows[3] = {At(0).Cmd(cmdNoteAction, 7)};
  layout.patterns[0].rows[4] = {At(0).Note(5, 0).Ins(0)};      // the instrument: on again
  Start(layout);
  Ticks(16);
  EXPECT_EQ(VolumeOn(3), 64);
  EXPECT_EQ(VolumeOn(5), 48);
  EXPECT_EQ(VolumeOn(6), 64);  // no envelope: the note's volume
  EXPECT_EQ(VolumeOn(8), 64);
  EXPECT_EQ(VolumeOn(9), 40);  // position 3: the envelope did not move while off
  EXPECT_EQ(VolumeOn(10), 32);
  EXPECT_EQ(VolumeOn(12), 64);
  EXPECT_EQ(VolumeOn(15), 64);
  EXPECT_EQ(VolumeOn(16), 56);
}

TEST_F(PlayerTest, ItPanningEnvelopeSwitchesOffAndOn) {
  modbuild::InstrumentSpec ins;
  ins.panningEnvelope = modbuild::Envelope({{0, 0}, {10, 0}});  // hard left
  auto layout = SlowSpec(ins);
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdNoteAction, 9)};   // S79 off
  layout.patterns[0].rows[2] = {At(0).Cmd(cmdNoteAction, 10)};  // S7A on
  Start(layout);
  Ticks(9);
  EXPECT_EQ(PanningOn(3), -64);
  EXPECT_EQ(PanningOn(6), 0);  // the channel's own centre
  EXPECT_EQ(PanningOn(9), -64);
}

TEST_F(PlayerTest, ItEnvelopeSwitchOutsideItsRangeChangesNothing) {
  modbuild::InstrumentSpec ins;
  ins.volumeEnvelope = modbuild::Envelope({{0, 64}, {8, 0}});
  auto layout = SlowSpec(ins);
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdNoteAction, 13)};
  Start(layout);
  Ticks(6);
  EXPECT_EQ(Ch(0).itVolume.envelopesOff, 0);
  EXPECT_EQ(VolumeOn(6), 40);
}

// After S77 a key off starts the fade-out at once, as with no envelope.
TEST_F(PlayerTest, ItKeyOffFadesAtOnceWhenTheVolumeEnvelopeIsOff) {
  modbuild::InstrumentSpec ins;
  ins.volumeEnvelope = modbuild::Envelope({{0, 64}, {100, 64}});
  ins.fadeOut = 256;  // a quarter of 1024 a tick
  auto layout = ItInstrumentSpec(ins);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0).Cmd(cmdNoteAction, 7)};
  layout.speed = 1;
  layout.patterns[0].rows[1] = {At(0).Raw(noteCut)};
  Start(layout);
  Ticks(4);
  EXPECT_EQ(Ch(0).fading, 1);
  EXPECT_EQ(VolumeOn(2), 64);
  EXPECT_EQ(VolumeOn(3), 48);
  EXPECT_EQ(VolumeOn(4), 32);
}

// S7B holds the pitch envelope where it stands and plays the plain pitch; S7C
// goes on from there. Speed 1: tick n + 1 plays envelope position n.
TEST_F(PlayerTest, ItPitchEnvelopeSwitchesOffAndOn) {
  modbuild::InstrumentSpec ins;
  ins.thirdEnvelope = modbuild::Envelope({{0, 32}, {4, 48}});  // 128 units a tick
  auto layout = ItInstrumentSpec(ins);
  layout.flags |= modFlagLinear;
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[2] = {At(0).Cmd(cmdNoteAction, 11)};  // S7B off
  layout.patterns[0].rows[4] = {At(0).Cmd(cmdNoteAction, 12)};  // S7C on
  Start(layout);
  Ticks(6);
  const double c5 = 14317056.0 / 1712;
  const int units[] = {0, 128, 0, 0, 256, 384};
  for (unsigned n = 0; n < 6; ++n) {
    EXPECT_NEAR(static_cast<double>(RateOn(n + 1)), c5 * std::exp2(units[n] / 768.0), 1.5)
        << "tick " << n + 1;
  }
}

}  // namespace
