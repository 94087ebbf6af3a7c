// IT channels the header puts in surround, as the device hears them. Speed 3:
// row r starts on tick 3r + 3.
#include <gtest/gtest.h>

#include "tests/sound/support/player_fixture.h"

namespace {

using modbuild::At;

constexpr int kSurround = 0x80;  // the device's surround panning

std::int64_t PanningOn(unsigned tick, int channel = 0) {
  auto e = recdev::Of(recdev::Op::SetPanning, channel, tick);
  return e.empty() ? -999 : e.back().value;
}

modbuild::ModuleSpec TwoChannels() {
  auto layout = ItInstrumentSpec({});
  layout.channels = 2;
  layout.speed = 3;
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0), At(1).Note(5, 0).Ins(0)};
  return layout;
}

// A surround channel plays in the centre with its right side inverted until
// a panning is set; its neighbour stays where it was.
TEST_F(PlayerTest, ItSurroundChannelsKeepSurroundUntilAPanningIsSet) {
  auto layout = TwoChannels();
  layout.surroundChannels = 0b01;
  layout.patterns[0].rows[2] = {At(0).Cmd(cmdSetPanning, 16)};
  Start(layout);
  Ticks(9);
  EXPECT_EQ(PanningOn(3), kSurround);
  EXPECT_EQ(PanningOn(8), kSurround);
  EXPECT_EQ(PanningOn(9), 2 * 16 - 64);
  EXPECT_EQ(PanningOn(3, 1), 0);
  EXPECT_EQ(Ch(0).itPanning.surround, 0);
}

// The volume column's panning and S8x end surround too.
TEST_F(PlayerTest, ItSurroundEndsWithTheVolumeColumnsOrS8xPanning) {
  auto layout = TwoChannels();
  layout.surroundChannels = 0b11;
  layout.patterns[0].rows[1] = {At(0).Vol(128 + 64), At(1).Cmd(cmdSetPanning4Bit, 0)};
  Start(layout);
  Ticks(6);
  EXPECT_EQ(PanningOn(5), kSurround);
  EXPECT_EQ(PanningOn(5, 1), kSurround);
  EXPECT_EQ(PanningOn(6), 64);
  EXPECT_EQ(PanningOn(6, 1), -64);
}

}  // namespace
