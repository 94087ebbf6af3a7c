// IT sample auto-vibrato as the device hears it. C-5 on an 8363 Hz sample
// plays at 14317056 / 1712 Hz; the vibrato moves it in 1/768 octave. With
// speed 64 the wave is read at positions 0, 64, 128, 192, ...; with rate 255
// the depth reaches n (n + 1) × 255 / 256 on the note's tick n.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "sound/gmpitpitchvib.h"
#include "tests/sound/support/command_fixture.h"

namespace {

using modbuild::At;

constexpr double c5 = 14317056.0 / 1712;

double Shifted(int units) { return c5 * std::exp2(units / 768.0); }

modbuild::ModuleSpec VibratoSong(std::uint32_t flags, std::uint8_t type,
                                 std::vector<modbuild::Row> rows = {}) {
  auto layout = Song(modKindIT, std::move(rows));
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0).Vol(40)};
  layout.flags = flags;
  layout.samples[0].length = 100000;
  layout.samples[0].vibSpeed = 64;
  layout.samples[0].vibDepth = 16;
  layout.samples[0].vibRate = 255;
  layout.samples[0].vibType = type;
  return layout;
}

class ItAutoVibrato : public Commands {
 protected:
  // The rate sent on ticks first .. first + count - 1 after the note's start.
  std::vector<double> Rates(unsigned first, unsigned count) {
    std::vector<double> out;
    for (unsigned n = first; n < first + count; ++n) {
      while (ticks < RowTick(0) + n) Tick();
      out.push_back(static_cast<double>(RateOn(RowTick(0) + n)));
    }
    return out;
  }
  void ExpectUnits(const std::vector<double>& rates, const std::vector<int>& units, double slack) {
    ASSERT_EQ(rates.size(), units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
      EXPECT_NEAR(rates[i], Shifted(units[i]), slack) << "tick " << i;
    }
  }
};

// The sine rises first; the depth sweeps in by the rate and stops at the
// sample's depth (16 from the 17th tick on).
TEST_F(ItAutoVibrato, SineSweepsInToTheSampleDepth) {
  Start(VibratoSong(modFlagLinear, 0));
  ExpectUnits(Rates(0, 6), {0, 1, 0, -3, 0, 5}, 1.5);
  ExpectUnits(Rates(17, 4), {16, 0, -16, 0}, 1.5);
  ExpectUnits(Rates(21, 4), {16, 0, -16, 0}, 1.5);
}

// The vibrato acts on the frequency in Amiga-slide songs too; their coarser
// periods round to the nearest step.
TEST_F(ItAutoVibrato, AmigaSlidesVibrateAlike) {
  Start(VibratoSong(0, 0));
  ExpectUnits(Rates(17, 4), {16, 0, -16, 0}, 5);
}

TEST_F(ItAutoVibrato, RampDownAndSquareWaves) {
  Start(VibratoSong(modFlagLinear, 1));
  ExpectUnits(Rates(17, 4), {8, 0, -8, 16}, 1.5);  // 32, 0, -32, 64 at depth 16
  Finish();
  Start(VibratoSong(modFlagLinear, 2));
  ExpectUnits(Rates(17, 4), {16, 0, 0, 16}, 1.5);  // IT's square is 64 or 0
}

TEST_F(ItAutoVibrato, RandomWaveStaysWithinTheDepth) {
  Start(VibratoSong(modFlagLinear, 3));
  std::set<double> seen;
  for (double rate : Rates(17, 40)) {
    EXPECT_GE(rate, Shifted(-16) - 1.5);
    EXPECT_LE(rate, Shifted(15) + 1.5);
    seen.insert(rate);
  }
  EXPECT_GT(seen.size(), 4u);
}

// A new note starts the sweep and the wave again.
TEST_F(ItAutoVibrato, NewNoteSweepsAgain) {
  Start(VibratoSong(modFlagLinear, 0, {{}, {}, {At(0).Note(5, 0)}}));
  const unsigned start = RowTick(3) - RowTick(0);
  ExpectUnits(Rates(start, 4), {0, 1, 0, -3}, 1.5);
}

// No depth, no speed, or no rate: the note keeps its pitch.
TEST_F(ItAutoVibrato, MissingSettingsLeaveThePitch) {
  for (int which = 0; which < 3; ++which) {
    auto layout = VibratoSong(modFlagLinear, 0);
    if (which == 0) layout.samples[0].vibDepth = 0;
    if (which == 1) layout.samples[0].vibSpeed = 0;
    if (which == 2) layout.samples[0].vibRate = 0;
    Start(layout);
    ExpectUnits(Rates(17, 4), {0, 0, 0, 0}, 1.5);
    Finish();
  }
}

TEST(ItAutoVibratoWave, TablesOverOneCycle) {
  EXPECT_EQ(gmpItAutoVibratoWave(0, 0), 0);
  EXPECT_EQ(gmpItAutoVibratoWave(0, 1), 2);
  EXPECT_EQ(gmpItAutoVibratoWave(0, 64), 64);
  EXPECT_EQ(gmpItAutoVibratoWave(0, 192), -64);
  EXPECT_EQ(gmpItAutoVibratoWave(1, 0), 64);
  EXPECT_EQ(gmpItAutoVibratoWave(1, 255), -64);
  EXPECT_EQ(gmpItAutoVibratoWave(2, 127), 64);
  EXPECT_EQ(gmpItAutoVibratoWave(2, 128), 0);
}

}  // namespace
