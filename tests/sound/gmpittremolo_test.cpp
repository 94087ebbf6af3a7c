// IT tremolo as the device hears it: C-5 at volume 40, every other volume
// full, so the device volume is the note's. Rxy adds wave × y × 4 / 32 on
// IT's 0..256 volume scale (a quarter of that on 0..64) with the 256-step
// waves, the position moving on by x × 4 after each tick's read.
#include <gtest/gtest.h>

#include "tests/sound/support/command_fixture.h"

namespace {

using modbuild::At;
using V = std::vector<std::int64_t>;

class ItTremolo : public Commands {
 protected:
  V VolumesOfWholeRow(unsigned row) {
    V out;
    for (unsigned k = 0; k <= 5; ++k) {
      PlayTo(row, k);
      out.push_back(VolumeOn(RowTick(row, k)));
    }
    return out;
  }
};

// R48 at positions 0..80 (sine 0, 24, 45, 59, 64, 59): (160 + wave) / 4.
// A row without R plays the plain volume; R00 goes on from position 96 with
// speed and depth kept, and a note on its row does not reset the position.
TEST_F(ItTremolo, SwingsOnItsRowsAndRunsOnAcrossNotes) {
  Start(ItSong({{At(0).Cmd(cmdTremolo, 0x48)}, {}, {At(0).Note(5, 0).Cmd(cmdTremolo, 0x00)}}));
  EXPECT_EQ(VolumesOfWholeRow(1), (V{40, 46, 51, 54, 56, 54}));
  EXPECT_EQ(VolumesOfWholeRow(2), (V{40, 40, 40, 40, 40, 40}));
  // Positions 96..176: sine 45, 24, 0, -24, -45, -59.
  EXPECT_EQ(VolumesOfWholeRow(3), (V{51, 46, 40, 34, 28, 25}));
}

// S41 picks the ramp (64 - (position + 1) / 2); with old effects the first
// tick reads without moving on.
TEST_F(ItTremolo, WaveformFromS4xAndOldEffectsHoldTheFirstTick) {
  auto layout = ItSong({{At(0).Cmd(cmdTremoloWaveform, 1)}, {At(0).Cmd(cmdTremolo, 0x48)}});
  layout.flags = modFlagItOldEffects;
  Start(layout);
  // Positions 0, 0, 16, 32, 48, 64: ramp 64, 64, 56, 48, 40, 32, added to 160.
  EXPECT_EQ(VolumesOfWholeRow(2), (V{56, 56, 54, 52, 50, 48}));
}

// The swing is held to the volume range: volume 64 at depth 15 stays 64 at
// the crest, and the trough of volume 4 stays at 0.
TEST_F(ItTremolo, HeldToTheVolumeRange) {
  Start(ItSong({{At(0).Vol(64).Cmd(cmdTremolo, 0x8F)}, {At(0).Vol(4).Cmd(cmdTremolo, 0x8F)}}));
  // Speed 8: positions 0, 32, 64, 96, 128, 160.
  EXPECT_EQ(VolumesOfWholeRow(1), (V{64, 64, 64, 64, 64, 43}));
  // Positions 192..352 (wrapping at 256): sine -64, -45, 0, 45, 64, 45.
  EXPECT_EQ(VolumesOfWholeRow(2), (V{0, 0, 4, 25, 34, 25}));
}

}  // namespace
