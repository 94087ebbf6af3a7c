// IT row timing as the player runs it: T's tempo slides (told to the device
// as tempo × 40) and S6x's extra ticks. Speed 6, tempo 125; row r of the
// fixture is read on tick 6 (r + 1).
#include <gtest/gtest.h>

#include "tests/sound/support/command_fixture.h"

namespace {

using modbuild::At;
using recdev::Op;

class ItTiming : public Commands {
 protected:
  std::vector<std::int64_t> TemposOfRow(unsigned row) {
    std::vector<std::int64_t> out;
    for (unsigned k = 0; k <= 5; ++k) {
      PlayTo(row, k);
      out.push_back(handle->tempo);
    }
    return out;
  }
  // The tick on which channel 0's next note after row 0 started.
  unsigned SecondNoteTick() {
    auto starts = recdev::Of(Op::PlaySound, 0);
    return starts.size() < 2 ? 0u : starts[1].tick;
  }
};

// T0x lowers and T1x raises the tempo by x on the ticks after the first;
// T00 repeats the last T; T20 and above set it on the first tick.
TEST_F(ItTiming, TempoSlidesAfterTheFirstTick) {
  Start(ItSong({{At(0).Cmd(cmdSetTempo, 0x05)},
                {At(0).Cmd(cmdSetTempo, 0x00)},
                {At(0).Cmd(cmdSetTempo, 0x13)},
                {At(0).Cmd(cmdSetTempo, 0x40)}}));
  EXPECT_EQ(TemposOfRow(1), (std::vector<std::int64_t>{125, 120, 115, 110, 105, 100}));
  EXPECT_EQ(TemposOfRow(2), (std::vector<std::int64_t>{100, 95, 90, 85, 80, 75}));
  EXPECT_EQ(TemposOfRow(3), (std::vector<std::int64_t>{75, 78, 81, 84, 87, 90}));
  EXPECT_EQ(TemposOfRow(4), (std::vector<std::int64_t>{64, 64, 64, 64, 64, 64}));
  EXPECT_EQ(recdev::Of(Op::SetUpdRate).back().value, 64 * 40);
}

// The slides stop at 32 and at 255.
TEST_F(ItTiming, TempoSlidesAreHeldInRange) {
  Start(ItSong({{At(0).Cmd(cmdSetTempo, 0x22)},
                {At(0).Cmd(cmdSetTempo, 0x0F)},
                {At(0).Cmd(cmdSetTempo, 0xFA)},
                {At(0).Cmd(cmdSetTempo, 0x1F)}}));
  EXPECT_EQ(TemposOfRow(2), (std::vector<std::int64_t>{34, 32, 32, 32, 32, 32}));
  EXPECT_EQ(TemposOfRow(4), (std::vector<std::int64_t>{250, 255, 255, 255, 255, 255}));
}

// S63 makes its row 9 ticks long; S6x on two channels add up.
TEST_F(ItTiming, FinePatternDelayAddsTicks) {
  Start(ItSong({{At(0).Cmd(cmdFinePatternDelay, 3)}, {At(0).Note(5, 0)}}));
  Ticks(static_cast<int>(RowTick(2)) + 4);
  EXPECT_EQ(SecondNoteTick(), RowTick(2) + 3);
  Finish();

  Start(ItSong({{At(0).Cmd(cmdFinePatternDelay, 2), At(1).Cmd(cmdFinePatternDelay, 1)},
                {At(0).Note(5, 0)}}));
  Ticks(static_cast<int>(RowTick(2)) + 4);
  EXPECT_EQ(SecondNoteTick(), RowTick(2) + 3);
}

// With SE1 on the same row each of the two passes is 6 + 2 ticks long; the
// row after it has its usual 6.
TEST_F(ItTiming, FinePatternDelayRepeatsWithThePatternDelay) {
  Start(ItSong({{At(0).Cmd(cmdFinePatternDelay, 2), At(1).Cmd(cmdPatternDelay, 1)},
                {At(0).Note(5, 0)},
                {At(0).Note(5, 0)}}));
  Ticks(static_cast<int>(RowTick(1)) + 24);
  auto starts = recdev::Of(Op::PlaySound, 0);
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(starts[1].tick, RowTick(1) + 16);
  EXPECT_EQ(starts[2].tick, RowTick(1) + 22);
}

}  // namespace
