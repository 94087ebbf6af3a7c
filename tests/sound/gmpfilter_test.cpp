// Checks of the player's IT filters through the recording device: Zxx with the
// default macros, the filter staying on once used until a note starts open,
// the instrument's default cutoff and resonance, the filter envelope per tick,
// and no filter call for other kinds.
#include <gtest/gtest.h>

#include <vector>

#include "sound/mem.h"
#include "sound/sdevice.h"
#include "tests/sound/support/player_fixture.h"

namespace {

using modbuild::At;
using recdev::Op;

std::int64_t Setting(unsigned cutoff, unsigned resonance) { return cutoff * 256 + resonance; }

class FilterPlayerTest : public PlayerTest {
 protected:
  std::int64_t FilterOn(unsigned tick) {
    auto e = recdev::Of(Op::SetFilter, 0, tick);
    return e.empty() ? -1 : e.back().value;
  }
};

TEST_F(FilterPlayerTest, ZxxSetsCutoffAndResonanceAndAnOpenNoteTurnsItOff) {
  auto layout = FastSpec(modKindIT, 1);
  auto& rows = layout.patterns[0].rows;
  rows[0] = {At(0).Note(5, 0).Ins(0).Cmd(cmdSync, 0x40)};
  rows[1] = {At(0).Cmd(cmdSync, 0x84)};
  rows[2] = {At(0).Cmd(cmdSync, 0x7F)};
  rows[3] = {At(0).Cmd(cmdSync, 0x80)};
  rows[4] = {At(0).Cmd(cmdSync, 0x95)};  // an empty macro
  rows[5] = {At(0).Note(5, 2)};
  Start(layout);
  Ticks(6);
  EXPECT_EQ(FilterOn(1), Setting(128, 0));
  EXPECT_EQ(FilterOn(2), Setting(128, 32));
  EXPECT_EQ(FilterOn(3), Setting(254, 32));
  // Open again, but mid-note the filter stays on at its widest.
  EXPECT_EQ(FilterOn(4), Setting(254, 0));
  EXPECT_EQ(FilterOn(5), -1);  // nothing changed
  EXPECT_EQ(FilterOn(6), Setting(sdFilterOff, 0));
  EXPECT_EQ(handle->lastSyncValue, 0x95);  // Z still reports to the sync callback
}

TEST_F(FilterPlayerTest, OtherKindsNeverTouchTheFilter) {
  for (ModuleKind kind : {modKindS3M, modKindXM, modKindMOD}) {
    auto layout = FastSpec(kind, 1);
    layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0).Cmd(cmdSync, 0x10)};
    Start(layout);
    Ticks(3);
    EXPECT_TRUE(recdev::Of(Op::SetFilter).empty()) << kind;
    EXPECT_EQ(gmpStopSong(handle), errOK);
    handle = nullptr;
    EXPECT_EQ(ModuleFree(module, nullptr), errOK);
    module = nullptr;
    recdev::Reset();
  }
}

TEST_F(FilterPlayerTest, InstrumentDefaultsAndFilterEnvelopePerTick) {
  auto layout = FastSpec(modKindIT, 1);
  layout.flags = modFlagInstrumentMode;
  layout.instruments.resize(1);
  layout.instruments[0].samples = {0};
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  Start(layout);
  ModuleInstrument* ins = module->instruments[0];
  ins->filterCutoff = 0x80 | 64;
  ins->filterResonance = 0x80 | 16;
  ins->thirdIsFilter = 1;
  ASSERT_EQ(memAllocArray(1, &ins->thirdEnvelope), errOK);
  *ins->thirdEnvelope = modbuild::Envelope({{0, 32}, {4, 64}});
  Ticks(6);
  // Value v of 0..64 scales the cutoff to 64 × v / 32.
  EXPECT_EQ(FilterOn(1), Setting(64, 16));
  EXPECT_EQ(FilterOn(2), Setting(80, 16));
  EXPECT_EQ(FilterOn(3), Setting(96, 16));
  EXPECT_EQ(FilterOn(5), Setting(128, 16));
  EXPECT_EQ(FilterOn(6), -1);  // held at the last point
}

TEST_F(FilterPlayerTest, StoppingASongTurnsItsFiltersOff) {
  auto layout = FastSpec(modKindIT, 1);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0).Cmd(cmdSync, 0x20)};
  Start(layout);
  Ticks(1);
  ASSERT_EQ(FilterOn(1), Setting(64, 0));
  recdev::tick = 99;
  EXPECT_EQ(gmpStopSong(handle), errOK);
  handle = nullptr;
  EXPECT_EQ(FilterOn(99), Setting(sdFilterOff, 0));
}

}  // namespace
