// Test fixture for the effect commands: a two-channel song at speed 6 with
// C-4 (period 1712 on an 8363 Hz sample; MOD C-2, period 428) on row 0 at
// volume 40, then the rows a test gives.
#pragma once

#include <vector>

#include "tests/sound/support/player_fixture.h"

// Speed 6: row r is read on tick 6 (r + 1); tick k of row r is 6 (r + 1) + k.
constexpr unsigned RowTick(unsigned row, unsigned tick = 0) { return 6 * (row + 1) + tick; }

inline modbuild::ModuleSpec Song(ModuleKind kind, std::vector<modbuild::Row> rows,
                                 bool noteOnRow0 = true) {
  using modbuild::At;
  modbuild::ModuleSpec layout;
  layout.kind = kind;
  layout.channels = 2;
  layout.speed = 6;
  if (kind == modKindXM) layout.samples[0].basePitch = 0;
  const int octave = kind == modKindMOD ? 2 : 4;  // period 428 for MOD
  if (noteOnRow0) layout.patterns[0].rows[0] = {At(0).Note(octave, 0).Ins(0).Vol(40)};
  for (std::size_t i = 0; i < rows.size(); ++i) layout.patterns[0].rows[i + 1] = rows[i];
  return layout;
}

// An IT song of the fixture with C-5 on row 0, the note the IT tests start from.
inline modbuild::ModuleSpec ItSong(std::vector<modbuild::Row> rows) {
  auto layout = Song(modKindIT, std::move(rows));
  layout.patterns[0].rows[0] = {modbuild::At(0).Note(5, 0).Ins(0).Vol(40)};
  return layout;
}

class Commands : public PlayerTest {
 protected:
  // Plays up to and including tick `k` of row `row`.
  void PlayTo(unsigned row, unsigned k = 0) {
    while (ticks < RowTick(row, k)) ASSERT_EQ(Tick(), errOK);
  }
  int Volume() { return Ch(0).volume; }
  std::uint32_t Period() { return Ch(0).period; }
  std::uint32_t Output() { return Ch(0).outputPeriod; }
  // Output period (or volume sent) on ticks 1..5 of a row.
  std::vector<std::int64_t> OutputsOfRow(unsigned row) {
    std::vector<std::int64_t> out;
    for (unsigned k = 1; k <= 5; ++k) {
      PlayTo(row, k);
      out.push_back(Output());
    }
    return out;
  }
  std::vector<std::int64_t> VolumesOfRow(unsigned row) {
    std::vector<std::int64_t> out;
    for (unsigned k = 1; k <= 5; ++k) {
      PlayTo(row, k);
      out.push_back(VolumeOn(RowTick(row, k)));
    }
    return out;
  }
};
