// Where a song ends: the row that wraps it plays out, its pattern-delay
// repeats included, both for a play that may not loop and for the measured
// song length; commands that only look like an end (MOD's F00) do not end it.
#include <gtest/gtest.h>

#include "sound/gmprender.h"
#include "tests/sound/support/player_fixture.h"

namespace {

using modbuild::At;
using recdev::Op;

// Speed 6 at tempo 125: 20 ms a tick, 120 ms a row.
constexpr double rowSeconds = 6 * 0.02;

double Duration(const modbuild::ModuleSpec& layout) {
  Module* module = modbuild::Build(layout);
  double seconds = -1;
  EXPECT_EQ(gmpSongDuration(module, &seconds), errOK);
  EXPECT_EQ(ModuleFree(module, nullptr), errOK);
  return seconds;
}

modbuild::ModuleSpec SixTickSong(ModuleKind kind) {
  modbuild::ModuleSpec layout;
  layout.kind = kind;
  layout.channels = 2;
  layout.speed = 6;
  return layout;
}

TEST(SongLength, PatternDelayOnTheLastRowCounts) {
  for (ModuleKind kind : {modKindMOD, modKindS3M, modKindXM}) {
    auto layout = SixTickSong(kind);
    EXPECT_NEAR(Duration(layout), 64 * rowSeconds, 1e-9) << kind;
    layout.patterns[0].rows[63] = {At(1).Cmd(cmdPatternDelay, 3)};
    EXPECT_NEAR(Duration(layout), 67 * rowSeconds, 1e-9) << kind;  // row 63 four times
  }
}

TEST(SongLength, DelayedRowThatJumpsBackEndsTheSongAfterItsRepeats) {
  auto layout = SixTickSong(modKindMOD);
  layout.orders = {0, 1};
  layout.patterns.resize(2);
  layout.patterns[1].rows[9] = {At(0).Cmd(cmdPositionJump, 0), At(1).Cmd(cmdPatternDelay, 2)};
  EXPECT_NEAR(Duration(layout), (64 + 10 + 2) * rowSeconds, 1e-9);
}

TEST(SongLength, DelayedForwardJumpIsTakenOnce) {
  auto layout = SixTickSong(modKindMOD);
  layout.orders = {0, 1, 2};
  layout.patterns.resize(3);
  layout.patterns[0].rows[0] = {At(0).Cmd(cmdPositionJump, 2), At(1).Cmd(cmdPatternDelay, 1)};
  EXPECT_NEAR(Duration(layout), (2 + 64) * rowSeconds, 1e-9);  // row 0 twice, then pattern 2
}

TEST(SongLength, ModSpeedZeroDoesNotEndTheSong) {
  auto layout = SixTickSong(modKindMOD);
  layout.patterns[0].rows[14] = {At(0).Cmd(cmdSetSpeed, 0)};
  EXPECT_NEAR(Duration(layout), 64 * rowSeconds, 1e-9);
}

// A song that may not loop: the wrapping row's later ticks and its delay
// repeat still run (the volume slide goes on), then the device hears no more.
TEST_F(PlayerTest, SongWithoutLoopingPlaysItsLastRowOut) {
  auto layout = SixTickSong(modKindS3M);
  layout.channels = 3;
  layout.patterns[0].rows[0] = {At(0).Note(4, 0).Ins(0).Vol(40)};
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdVolumeSlide, 0x01), At(1).Cmd(cmdPatternBreak, 0),
                                At(2).Cmd(cmdPatternDelay, 1)};
  Start(layout, 0);
  Ticks(30);
  // Row 1 is read on tick 12 and wraps the song; ticks 13-17 slide, tick 18
  // repeats the row (no slide on its first tick), ticks 19-23 slide again.
  EXPECT_EQ(handle->loopCount, 1u);
  EXPECT_EQ(VolumeOn(12), 40);
  EXPECT_EQ(VolumeOn(17), 35);
  EXPECT_EQ(VolumeOn(18), 35);
  EXPECT_EQ(VolumeOn(23), 30);
  EXPECT_TRUE(recdev::Of(Op::SetVolume, 0, 24u).empty());
  EXPECT_TRUE(recdev::Of(Op::SetVolume, 0, 30u).empty());
  EXPECT_TRUE(gmpSongWrapped(handle));
}

}  // namespace
