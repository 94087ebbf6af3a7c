// Waveform commands: vibrato and tremolo waveforms with their retrigger bit,
// tremolo, tremor, fine vibrato and glissando, per tick as the device sees
// them. Expected values come from the half-sine table (0, 24, 49, .. 255),
// the ramp (8 per position) and the square (255), scaled by the depth.
#include <gtest/gtest.h>

#include <algorithm>

#include "sound/gmptables.h"
#include "tests/sound/support/command_fixture.h"

namespace {

using modbuild::At;
using V = std::vector<std::int64_t>;

class Waveforms : public Commands {};

// H84 (speed 8, depth 4) visits positions 0, 8, 16, 24, 32 on ticks 1..5;
// S3M periods move by wave × 4 >> 5.
TEST_F(Waveforms, S3mVibratoRampAndSquare) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdVibratoWaveform, 1)},
                          {At(0).Note(4, 0).Cmd(cmdVibrato, 0x84)},
                          {At(0).Cmd(cmdVibratoWaveform, 2)},
                          {At(0).Note(4, 0).Cmd(cmdVibrato, 0x84)},
                          {At(0).Cmd(cmdVibratoWaveform, 0)},
                          {At(0).Note(4, 0).Cmd(cmdVibrato, 0x84)}}));
  // Ramp: 0, -64, -128, -192, then the second half starts at +255 (the pitch
  // rises through the cycle, the other way round from MOD's).
  EXPECT_EQ(OutputsOfRow(2), (V{1712, 1712 - 8, 1712 - 16, 1712 - 24, 1712 + 31}));
  // Square: +255 for the first half, -255 for the second.
  EXPECT_EQ(OutputsOfRow(4), (V{1712 + 31, 1712 + 31, 1712 + 31, 1712 + 31, 1712 - 31}));
  // Sine again: 0, 180, 255, 180, then 0 at the start of the second half.
  EXPECT_EQ(OutputsOfRow(6), (V{1712, 1712 + 22, 1712 + 31, 1712 + 22, 1712}));
}

// ProTracker scale: periods move by wave × depth >> 7, the ramp's period
// rising through the first half. Its "random" wave is a square.
TEST_F(Waveforms, ModVibratoRampAndRandom) {
  Start(Song(modKindMOD, {{At(0).Cmd(cmdVibratoWaveform, 1)},
                          {At(0).Note(2, 0).Cmd(cmdVibrato, 0x88)},
                          {At(0).Cmd(cmdVibratoWaveform, 3)},
                          {At(0).Note(2, 0).Cmd(cmdVibrato, 0x88)}}));
  EXPECT_EQ(OutputsOfRow(2), (V{428, 428 + 4, 428 + 8, 428 + 12, 428 - 15}));
  EXPECT_EQ(OutputsOfRow(4), (V{428 + 15, 428 + 15, 428 + 15, 428 + 15, 428 - 15}));
}

// S3M's random wave moves within the depth and does not repeat one value.
TEST_F(Waveforms, S3mRandomVibratoStaysWithinTheDepth) {
  auto layout = Song(modKindS3M, {{At(0).Cmd(cmdVibratoWaveform, 3)}});
  for (int row = 2; row < 12; ++row) layout.patterns[0].rows[row] = {At(0).Cmd(cmdVibrato, 0x18)};
  Start(layout);
  std::vector<std::int64_t> seen;
  for (unsigned row = 2; row < 12; ++row) {
    for (std::int64_t out : OutputsOfRow(row)) {
      EXPECT_GE(out, 1712 - 63);
      EXPECT_LE(out, 1712 + 63);
      seen.push_back(out);
    }
  }
  std::sort(seen.begin(), seen.end());
  seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
  EXPECT_GT(seen.size(), 10u);
}

// Without bit 2 a note restarts the wave; with it the position runs on.
TEST_F(Waveforms, RetriggerBitKeepsThePositionAcrossNotes) {
  for (int waveform : {0, 4}) {
    Start(Song(modKindS3M, {{At(0).Cmd(cmdVibratoWaveform, waveform)},
                            {At(0).Cmd(cmdVibrato, 0x84)},   // positions 0 .. 32, then 40
                            {At(0).Note(4, 0)},
                            {At(0).Cmd(cmdVibrato, 0x80)}}));
    PlayTo(3);
    EXPECT_EQ(Ch(0).vibratoPosition, waveform == 4 ? 40 : 0);
    PlayTo(4, 1);
    // Position 40: second half, sine entry 8 (180).
    EXPECT_EQ(Output(), waveform == 4 ? 1712u - (180 * 4 >> 5) : 1712u) << "waveform " << waveform;
    Finish();
  }
}

// R48 at volume 20: speed 4, depth 8, volume ± wave × 8 >> 6 on ticks 1..5
// (positions 0, 4, .. 16, then 20 .. 36 on the next row through the memory).
// The channel's own volume stays 20; MOD, S3M and XM agree.
TEST_F(Waveforms, TremoloMovesTheSoundingVolume) {
  for (ModuleKind kind : {modKindS3M, modKindMOD, modKindXM}) {
    Start(Song(kind, {{At(0).Vol(20).Cmd(cmdTremolo, 0x48)}, {At(0).Cmd(cmdTremolo, 0x00)}}));
    EXPECT_EQ(VolumesOfRow(1), (V{20, 20 + 12, 20 + 22, 20 + 29, 20 + 31})) << "kind " << kind;
    EXPECT_EQ(VolumesOfRow(2), (V{20 + 29, 20 + 22, 20 + 12, 20, 20 - 12})) << "kind " << kind;
    EXPECT_EQ(Volume(), 20) << "kind " << kind;
    EXPECT_EQ(Ch(0).vibratoDepth, 0) << "kind " << kind;  // its memory is its own
    EXPECT_EQ(Ch(0).vibratoSpeed, 0) << "kind " << kind;
    Finish();
  }
}

TEST_F(Waveforms, TremoloSquareAndItsVolumeLimits) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdTremoloWaveform, 2)},
                          {At(0).Note(4, 0).Vol(50).Cmd(cmdTremolo, 0x8F)},
                          {At(0).Vol(10).Cmd(cmdTremolo, 0x00)}}));
  // Depth 15: 255 × 15 >> 6 = 59; S3M volumes stop at 63 and 0.
  EXPECT_EQ(VolumesOfRow(2), (V{63, 63, 63, 63, 0}));
  // Positions 40 .. 56 are in the second half, 64 and 72 in the next cycle's first.
  EXPECT_EQ(VolumesOfRow(3), (V{0, 0, 0, 63, 63}));
}

// I12 / T12: on for 2 ticks, off for 3, counted across rows; I00 (S3M's shared
// memory) and T00 (XM's own) repeat it. S3M counts every tick, XM the ticks
// after the first (the first keeps the state).
TEST_F(Waveforms, TremorSwitchesTheSoundOnAndOff) {
  Start(Song(modKindS3M, {{At(0).Vol(30).Cmd(cmdTremor, 0x12)}, {At(0).Cmd(cmdTremor, 0x00)}}));
  PlayTo(1);
  EXPECT_EQ(VolumeOn(RowTick(1)), 30);
  EXPECT_EQ(VolumesOfRow(1), (V{30, 0, 0, 0, 30}));
  PlayTo(2);
  EXPECT_EQ(VolumeOn(RowTick(2)), 30);
  EXPECT_EQ(VolumesOfRow(2), (V{0, 0, 0, 30, 30}));
  EXPECT_EQ(Volume(), 30);
  Finish();

  Start(Song(modKindXM, {{At(0).Vol(30).Cmd(cmdTremor, 0x12)}, {At(0).Cmd(cmdTremor, 0x00)}}));
  EXPECT_EQ(VolumesOfRow(1), (V{30, 30, 0, 0, 0}));
  PlayTo(2);
  EXPECT_EQ(VolumeOn(RowTick(2)), 0);
  EXPECT_EQ(VolumesOfRow(2), (V{30, 30, 0, 0, 0}));
  EXPECT_EQ(Volume(), 30);
}

// U is H with a quarter of the depth: positions 0, 8, .. 32 give sine 0, 180,
// 255, 180, 0 × 4 >> 7. IT's U with old effects reads its 256-step sine at
// 32, 64, .. 160 (45, 64, 45, 0, -45) × 4 / 32, H × 16 / 32, the pitch
// falling first.
TEST_F(Waveforms, FineVibratoIsAQuarterOfVibrato) {
  for (ModuleKind kind : {modKindS3M, modKindIT}) {
    auto layout = Song(kind, {{At(0).Cmd(cmdFineVibrato, 0x84)},
                              {At(0).Note(4, 0).Cmd(cmdVibrato, 0x84)}});
    if (kind == modKindIT) layout.flags = modFlagItOldEffects;
    Start(layout);
    PlayTo(1);
    const std::int64_t p = Period();  // 1712 for S3M; IT rates are for C-5
    const bool it = kind == modKindIT;
    const V fine = it ? V{p + 5, p + 8, p + 5, p, p - 5} : V{p, p + 5, p + 7, p + 5, p};
    const V full = it ? V{p + 22, p + 32, p + 22, p, p - 22} : V{p, p + 22, p + 31, p + 22, p};
    EXPECT_EQ(OutputsOfRow(1), fine) << "kind " << kind;
    EXPECT_EQ(OutputsOfRow(2), full) << "kind " << kind;
    Finish();
  }
}

// Glissando: the slide itself is smooth, but it sounds in semitones: C-4
// (1712) up to D-4 (1524) at 64 per tick passes 1648 and 1584, heard as C#4
// (1616) and D-4. Switched off, the output follows the period again.
TEST_F(Waveforms, GlissandoRoundsTonePortamentoToSemitones) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdGlissandoControl, 1)},
                          {At(0).Note(4, 2).Cmd(cmdTonePortamento, 0x10)},
                          {At(0).Cmd(cmdGlissandoControl, 0)},
                          {At(0).Note(4, 0).Cmd(cmdTonePortamento, 0x10)}}));
  EXPECT_EQ(OutputsOfRow(2), (V{1616, 1524, 1524, 1524, 1524}));
  EXPECT_EQ(Period(), 1524u);
  EXPECT_EQ(OutputsOfRow(4), (V{1588, 1652, 1712, 1712, 1712}));
}

TEST_F(Waveforms, ModGlissandoUsesTheFineTunedScale) {
  // C-2 (428) down to D-2 (381) at 10 per tick: 418 rounds to C#2 (404),
  // 408 too, 398 and below to D-2.
  Start(Song(modKindMOD, {{At(0).Cmd(cmdGlissandoControl, 1)},
                          {At(0).Note(2, 2).Cmd(cmdTonePortamento, 0x0A)}}));
  EXPECT_EQ(OutputsOfRow(2), (V{404, 404, 381, 381, 381}));
}

}  // namespace
