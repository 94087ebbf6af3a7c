// The IT volume column's effects as the device hears them: a/b fine volume,
// c/d slides with their shared memory, e/f pitch slides (× 4 of E and F),
// g glides without restarting the note, h vibrates. C-5 on an 8363 Hz sample
// plays at 14317056 / 1712 Hz, at volume 40.
#include <gtest/gtest.h>

#include <cmath>

#include "sound/gmpitvolcol.h"
#include "tests/sound/support/command_fixture.h"

namespace {

using modbuild::At;
using recdev::Op;

constexpr double c5 = 14317056.0 / 1712;

modbuild::ModuleSpec ItSong(std::uint32_t flags, std::vector<modbuild::Row> rows) {
  auto layout = Song(modKindIT, std::move(rows));
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0).Vol(40)};
  layout.flags = flags;
  return layout;
}

class ItVolumeColumn : public Commands {};

TEST_F(ItVolumeColumn, FineVolumeActsOnceAndRemembers) {
  Start(ItSong(0, {{At(0).Vol(itVolFineUp + 3)},
                   {At(0).Vol(itVolFineUp)},          // a0: 3 again
                   {At(0).Vol(itVolFineDown + 2)},
                   {At(0).Vol(itVolFineDown)}}));     // b0: 2 again
  PlayTo(1, 0);
  EXPECT_EQ(Volume(), 43);
  PlayTo(1, 5);
  EXPECT_EQ(Volume(), 43);
  PlayTo(2, 5);
  EXPECT_EQ(Volume(), 46);
  PlayTo(3, 5);
  EXPECT_EQ(Volume(), 44);
  PlayTo(4, 5);
  EXPECT_EQ(Volume(), 42);
}

// 0x50 is b5 in an IT pattern, not an empty volume byte.
TEST_F(ItVolumeColumn, FineDownByFiveIsNotAnEmptyByte) {
  static_assert(itVolFineDown + 5 == volumeNone);
  Start(ItSong(0, {{At(0).Vol(itVolFineDown + 5)}}));
  PlayTo(1, 0);
  EXPECT_EQ(Volume(), 35);
  EXPECT_EQ(VolumeOn(RowTick(1, 0)), (35 * 64 * 64 * 64 + 0x3FFFF) >> 18);
}

// p0..p64 set the channel's panning from left through centre to right.
TEST_F(ItVolumeColumn, PanningSetsTheChannel) {
  Start(ItSong(0, {{At(0).Vol(itVolPanning)},
                   {At(0).Vol(itVolPanning + 32)},
                   {At(0).Vol(itVolPanning + 64)}}));
  std::vector<std::int64_t> sent;
  for (unsigned row = 1; row <= 3; ++row) {
    PlayTo(row);
    sent.push_back(*recdev::Last(Op::SetPanning, 0));
  }
  EXPECT_EQ(sent, (std::vector<std::int64_t>{-64, 0, 64}));
}

// c and d slide on the ticks after the first and share one memory.
TEST_F(ItVolumeColumn, SlidesShareTheirMemory) {
  Start(ItSong(0, {{At(0).Vol(itVolSlideUp + 2)}, {At(0).Vol(itVolSlideDown)}}));
  PlayTo(1, 0);
  EXPECT_EQ(Volume(), 40);
  PlayTo(1, 5);
  EXPECT_EQ(Volume(), 50);
  PlayTo(2, 5);
  EXPECT_EQ(Volume(), 40);  // d0 slides by c's 2
  EXPECT_EQ(VolumeOn(RowTick(2, 5)), (40 * 64 * 64 * 64 + 0x3FFFF) >> 18);
}

// f1 slides as F04 does: 16 units of 1/768 octave a tick with linear slides,
// 16 period units with Amiga slides; e0 repeats.
TEST_F(ItVolumeColumn, PitchSlidesAreFourTimesTheDigit) {
  Start(ItSong(modFlagLinear, {{At(0).Vol(itVolPitchUp + 1)}, {At(0).Vol(itVolPitchDown)}}));
  PlayTo(1, 5);
  EXPECT_NEAR(RateOn(RowTick(1, 5)), c5 * std::exp2(80.0 / 768), 1.5);
  PlayTo(2, 5);
  EXPECT_NEAR(RateOn(RowTick(2, 5)), c5, 1.5);
  Finish();

  Start(ItSong(0, {{At(0).Vol(itVolPitchUp + 1)}}));
  PlayTo(1, 5);
  EXPECT_EQ(Period(), 1712u - 80);
}

// g4 glides at 16 (64 units a tick) from C-5 to D-5 (the table's 1524 lies a
// little above 128 units), with no new start of the sample.
TEST_F(ItVolumeColumn, GlideMovesToTheNoteWithoutRestartingIt) {
  Start(ItSong(modFlagLinear, {{At(0).Note(5, 2).Vol(itVolGlide + 4)}}));
  PlayTo(1, 5);
  EXPECT_EQ(recdev::Of(Op::PlaySound, 0).size(), 1u);
  EXPECT_NEAR(RateOn(RowTick(1, 1)), c5 * std::exp2(64.0 / 768), 1.5);
  EXPECT_NEAR(RateOn(RowTick(1, 2)), c5 * std::exp2(128.0 / 768), 1.5);
  EXPECT_NEAR(RateOn(RowTick(1, 3)), 14317056.0 / 1524, 1.5);  // D-5
  EXPECT_EQ(Period(), Ch(0).targetPeriod);
  EXPECT_EQ(Ch(0).volume, 40);
}

// Without compatible Gxx g0 takes E's and F's memory: E01 then g0 glides at 1.
TEST_F(ItVolumeColumn, GlideSharesTheSlideMemory) {
  Start(ItSong(0, {{At(0).Cmd(cmdPortamentoDown, 0x01)},
                   {At(0).Note(5, 0).Vol(itVolGlide)}}));
  PlayTo(2, 0);
  EXPECT_EQ(Period(), 1712u + 20);
  PlayTo(2, 3);
  EXPECT_EQ(Period(), 1712u + 20 - 12);
}

// h4 uses the last vibrato speed (H40's 4) with depth 4, from the first tick.
TEST_F(ItVolumeColumn, VibratoTakesItsDepthFromTheDigit) {
  Start(ItSong(0, {{At(0).Cmd(cmdVibrato, 0x40)}, {At(0).Vol(itVolVibrato + 4)}}));
  PlayTo(1, 5);
  EXPECT_EQ(Output(), Period());  // depth 0 so far
  PlayTo(2, 0);
  EXPECT_EQ(Ch(0).vibratoDepth, 4);
  PlayTo(2, 5);
  EXPECT_EQ(Ch(0).vibratoPosition, 192);  // 12 ticks × 16 of IT's 256 steps
  EXPECT_NE(Output(), Period());
}

}  // namespace
