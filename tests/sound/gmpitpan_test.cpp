// IT panbrello and surround as the device hears them: the channel pans at
// IT's 32 (the device's 0). A panbrello of depth d moves the panning on IT's
// 0..256 scale by (wave × d + 2) / 8 for a wave of ±64 from IT's 256-step
// tables, read every tick and moved on by the speed; the device's -64..64
// is half that.
#include <gtest/gtest.h>

#include "tests/sound/support/command_fixture.h"

namespace {

using modbuild::At;
using recdev::Op;

class ItPanning : public Commands {
 protected:
  std::int64_t PanOn(unsigned tick) {
    auto e = recdev::Of(Op::SetPanning, 0, tick);
    return e.empty() ? -999 : e.back().value;
  }
  std::vector<std::int64_t> PansOfRow(unsigned row) {
    std::vector<std::int64_t> out;
    for (unsigned k = 0; k <= 5; ++k) {
      PlayTo(row, k);
      out.push_back(PanOn(RowTick(row, k)));
    }
    return out;
  }
};

// Speed 15, depth 8 on the sine (0, 23, 43, 57, 64, 62 at positions 0..75);
// the last offset holds after the row until a note starts.
TEST_F(ItPanning, PanbrelloSwingsAndHoldsUntilTheNextNote) {
  Start(ItSong({{At(0).Cmd(cmdPanbrello, 0xF8)}, {}, {At(0).Note(5, 0)}}));
  EXPECT_EQ(PansOfRow(1), (std::vector<std::int64_t>{0, 11, 21, 28, 32, 31}));
  EXPECT_EQ(PansOfRow(2), (std::vector<std::int64_t>{31, 31, 31, 31, 31, 31}));
  EXPECT_EQ(PansOfRow(3), (std::vector<std::int64_t>{0, 0, 0, 0, 0, 0}));
}

// Y00 keeps speed and depth and goes on from the wave's position; a panning
// command drops the held offset.
TEST_F(ItPanning, PanbrelloMemoryAndPanningCommand) {
  Start(ItSong({{At(0).Cmd(cmdPanbrello, 0xF8)},
                {At(0).Cmd(cmdPanbrello, 0x00)},
                {At(0).Cmd(cmdSetPanning, 16)}}));
  PansOfRow(1);
  // Positions 90..165: 51, 34, 12, -11, -33, -50.
  EXPECT_EQ(PansOfRow(2), (std::vector<std::int64_t>{25, 17, 6, -5, -16, -24}));
  EXPECT_EQ(PansOfRow(3), (std::vector<std::int64_t>{-32, -32, -32, -32, -32, -32}));
}

// S51 ramps down from 64, S52 is a square of ±64; S53 holds each random
// value for `speed` ticks.
TEST_F(ItPanning, PanbrelloWaveforms) {
  Start(ItSong({{At(0).Cmd(cmdPanbrelloWaveform, 1)},
                {At(0).Cmd(cmdPanbrello, 0x48)},
                {At(0).Cmd(cmdPanbrelloWaveform, 2)},
                {At(0).Cmd(cmdPanbrello, 0xF8)}}));
  // Positions 0, 4, .., 20: 64 - (p + 1) / 2.
  EXPECT_EQ(PansOfRow(2), (std::vector<std::int64_t>{32, 31, 30, 29, 28, 27}));
  PlayTo(4, 0);
  EXPECT_EQ(PanOn(RowTick(4)), 32);  // position 24 of the square
  Finish();

  Start(ItSong({{At(0).Cmd(cmdPanbrelloWaveform, 3)}, {At(0).Cmd(cmdPanbrello, 0x3F)}}));
  const auto pans = PansOfRow(2);
  EXPECT_EQ(pans[0], pans[1]);
  EXPECT_EQ(pans[1], pans[2]);
  EXPECT_EQ(pans[3], pans[4]);
  EXPECT_EQ(pans[4], pans[5]);
  for (auto pan : pans) {
    EXPECT_GE(pan, -60);
    EXPECT_LE(pan, 60);
  }
}

// S91 sends the surround setting until a panning command; S90 and a new note
// leave it on.
TEST_F(ItPanning, SurroundUntilAPanningCommand) {
  Start(ItSong({{At(0).Cmd(cmdSurround, 1)},
                {At(0).Cmd(cmdSurround, 0)},
                {At(0).Note(5, 0)},
                {At(0).Cmd(cmdSetPanning, 48)}}));
  PlayTo(1, 5);
  EXPECT_EQ(PanOn(RowTick(1, 0)), 0x80);
  EXPECT_EQ(PanOn(RowTick(1, 5)), 0x80);
  PlayTo(3, 0);
  EXPECT_EQ(PanOn(RowTick(2, 3)), 0x80);
  EXPECT_EQ(PanOn(RowTick(3, 0)), 0x80);
  PlayTo(4, 1);
  EXPECT_EQ(PanOn(RowTick(4, 1)), 32);
}

}  // namespace
