// The IT pitch envelope as the device hears it: one channel at speed 1, C-5
// on an 8363 Hz sample (14317056 / 1712 Hz) on row 0, so tick n + 1 plays
// envelope position n. A value v of 0..64 bends the pitch by v - 32 half
// semitones, 32 units of 1/768 octave each.
#include <gtest/gtest.h>

#include <cmath>

#include "sound/gmpitpitchenv.h"
#include "tests/sound/support/player_fixture.h"

namespace {

using modbuild::At;

constexpr double c5 = 14317056.0 / 1712;

double Shifted(int units) { return c5 * std::exp2(units / 768.0); }

modbuild::ModuleSpec PitchSong(std::uint32_t flags, bool filter = false) {
  modbuild::InstrumentSpec ins;
  ins.thirdEnvelope = modbuild::Envelope({{0, 32}, {4, 48}, {8, 16}});
  ins.thirdIsFilter = filter;
  auto layout = ItInstrumentSpec(ins);
  layout.flags |= flags;
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  return layout;
}

class ItPitchEnvelope : public PlayerTest {
 protected:
  void ExpectUnits(const std::vector<int>& units, double slack) {
    for (std::size_t n = 0; n < units.size(); ++n) {
      ASSERT_EQ(Tick(), errOK);
      EXPECT_NEAR(static_cast<double>(RateOn(ticks)), Shifted(units[n]), slack) << "position " << n;
    }
  }
};

// Up four half semitones over four ticks, then down to eight below, held at
// the last point.
TEST_F(ItPitchEnvelope, BendsByHalfSemitones) {
  Start(PitchSong(modFlagLinear));
  ExpectUnits({0, 128, 256, 384, 512, 256, 0, -256, -512, -512, -512}, 1.5);
}

// The bend is on the frequency in Amiga-slide songs too (their periods round).
TEST_F(ItPitchEnvelope, AmigaSlidesBendAlike) {
  Start(PitchSong(0));
  ExpectUnits({0, 128, 256, 384, 512, 256, 0, -256, -512}, 6);
}

// A filter envelope leaves the pitch alone.
TEST_F(ItPitchEnvelope, FilterEnvelopeDoesNotBend) {
  Start(PitchSong(modFlagLinear, true));
  ExpectUnits({0, 0, 0, 0, 0, 0}, 1.5);
}

// A new note starts the envelope again.
TEST_F(ItPitchEnvelope, NewNoteRestartsTheEnvelope) {
  auto layout = PitchSong(modFlagLinear);
  layout.patterns[0].rows[3] = {At(0).Note(5, 0).Ins(0)};
  Start(layout);
  ExpectUnits({0, 128, 256, 0, 128}, 1.5);
}

}  // namespace
