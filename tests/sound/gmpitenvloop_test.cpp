// IT envelope loops as the device hears them: one channel at speed 1 (tick
// n + 1 plays envelope position n), a looping sample at full volumes, so the
// volume sent is the volume envelope's value. IT plays a loop's end point
// before it jumps back; a sustain loop of one point holds it.
#include <gtest/gtest.h>

#include "tests/sound/support/player_fixture.h"

namespace {

using modbuild::At;

modbuild::ModuleSpec EnvelopeSong(ModuleEnvelope env) {
  env.inclusiveLoops = 1;
  modbuild::InstrumentSpec ins;
  ins.volumeEnvelope = env;
  auto layout = ItInstrumentSpec(ins);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  return layout;
}

class ItEnvelopeLoops : public PlayerTest {
 protected:
  std::vector<std::int64_t> Volumes(int count) {
    std::vector<std::int64_t> out;
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(Tick(), errOK);
      out.push_back(VolumeOn(ticks));
    }
    return out;
  }
};

// Points at 0, 2 and 4 looped from the first to the last: positions 0..4,
// then 0 again.
TEST_F(ItEnvelopeLoops, LoopPlaysItsEndPoint) {
  Start(EnvelopeSong(modbuild::Envelope({{0, 0}, {2, 32}, {4, 64}}, 0xFF, 0, 2)));
  EXPECT_EQ(Volumes(11), (std::vector<std::int64_t>{0, 16, 32, 48, 64, 0, 16, 32, 48, 64, 0}));
}

// A sustain loop on the first point alone holds it while the key is down;
// the key off (row 4) lets the envelope run on to its last point.
TEST_F(ItEnvelopeLoops, OnePointSustainLoopHolds) {
  auto env = modbuild::Envelope({{0, 64}, {2, 0}});
  env.sustainLoopStart = 0;
  env.sustainLoopEnd = 0;
  auto layout = EnvelopeSong(env);
  layout.patterns[0].rows[4] = {At(0).Raw(noteCut)};
  Start(layout);
  EXPECT_EQ(Volumes(7), (std::vector<std::int64_t>{64, 64, 64, 64, 64, 32, 0}));
}

}  // namespace
