// IT note swing as the device hears it: random volume (RV) and random
// panning (RP) vary each new note from a source seeded by the song, and
// pitch-pan separation (PPS around PPC) pans notes by their pitch. One
// channel at speed 1: row r is read on tick r + 1.
#include <gtest/gtest.h>

#include <set>

#include "tests/sound/support/player_fixture.h"

namespace {

using modbuild::At;
using recdev::Op;

std::int64_t Last(Op op, unsigned tick) {
  auto e = recdev::Of(op, 0, tick);
  return e.empty() ? -999 : e.back().value;
}

// Sixteen rows, each starting C-5.
modbuild::ModuleSpec NoteRows(const modbuild::InstrumentSpec& instrument) {
  auto layout = ItInstrumentSpec(instrument);
  for (unsigned r = 0; r < 16; ++r) layout.patterns[0].rows[r] = {At(0).Note(5, 0).Ins(0)};
  return layout;
}

class ItSwing : public PlayerTest {
 protected:
  std::vector<std::int64_t> PerNote(const modbuild::ModuleSpec& layout, Op op) {
    Start(layout);
    Ticks(16);
    std::vector<std::int64_t> out;
    for (unsigned r = 0; r < 16; ++r) out.push_back(Last(op, r + 1));
    Finish();
    return out;
  }
};

// Instrument global volume 64 (half): 64 × 64 of 8192, swung by -99/199 ..
// 100/199 of itself at RV 50, so the device volume (volume 64 × 1/2 = 32)
// lies in 17..49. The same song gives the same volumes each time it plays.
TEST_F(ItSwing, RandomVolumeVariesNotesReproducibly) {
  modbuild::InstrumentSpec ins;
  ins.globalVolume = 64;
  ins.randomVolume = 50;
  const auto layout = NoteRows(ins);
  const auto first = PerNote(layout, Op::SetVolume);
  std::set<std::int64_t> distinct(first.begin(), first.end());
  EXPECT_GE(distinct.size(), 4u);
  for (auto v : first) {
    EXPECT_GE(v, 17);
    EXPECT_LE(v, 49);
  }
  EXPECT_EQ(PerNote(layout, Op::SetVolume), first);

  ins.randomVolume = 0;
  const auto plain = PerNote(NoteRows(ins), Op::SetVolume);
  EXPECT_EQ(std::set<std::int64_t>(plain.begin(), plain.end()), std::set<std::int64_t>{32});
}

// RP 16 swings the centre (128 of 256) by -64..63, the device's -32..31; a
// panning command drops the swing for the rest of the note.
TEST_F(ItSwing, RandomPanningUntilAPanningCommand) {
  modbuild::InstrumentSpec ins;
  ins.randomPanning = 16;
  auto layout = NoteRows(ins);
  const auto pans = PerNote(layout, Op::SetPanning);
  std::set<std::int64_t> distinct(pans.begin(), pans.end());
  EXPECT_GE(distinct.size(), 4u);
  for (auto p : pans) {
    EXPECT_GE(p, -32);
    EXPECT_LE(p, 31);
  }
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdSetPanning, 48)};
  layout.patterns[0].rows[2] = {};
  EXPECT_EQ(PerNote(layout, Op::SetPanning)[2], 2 * 48 - 64);
}

// PPS 8 around C-5: C-6 pans by 12 × 8 / 2 = 48 of 256 (the device's 24),
// C-4 as far the other way, C-5 stays centred; PPS -8 turns it round.
TEST_F(ItSwing, PitchPanSeparation) {
  modbuild::InstrumentSpec ins;
  ins.pitchPanSeparation = 8;
  ins.pitchPanCenter = 60;
  auto layout = ItInstrumentSpec(ins);
  layout.patterns[0].rows[0] = {At(0).Note(6, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(4, 0).Ins(0)};
  layout.patterns[0].rows[2] = {At(0).Note(5, 0).Ins(0)};
  auto pans = PerNote(layout, Op::SetPanning);
  EXPECT_EQ(pans[0], 24);
  EXPECT_EQ(pans[1], -24);
  EXPECT_EQ(pans[2], 0);
  layout.instruments[0].pitchPanSeparation = static_cast<std::uint8_t>(-8);
  EXPECT_EQ(PerNote(layout, Op::SetPanning)[0], -24);
}

}  // namespace
