// IT player rules observed through the device calls: what a new note restarts
// and how the fade-out counts and when it starts. Values follow IT's rules:
// the fade-out runs from 1024 down by the instrument's value each tick.
#include <gtest/gtest.h>

#include "tests/sound/support/player_fixture.h"

namespace {

using modbuild::At;
using recdev::Op;

modbuild::ModuleSpec ItSpec(std::uint32_t fadeOut) {
  modbuild::InstrumentSpec ins;
  ins.fadeOut = fadeOut;
  return ItInstrumentSpec(ins);
}

TEST_F(PlayerTest, ItNoteWithoutInstrumentRestartsReleaseAndFade) {
  auto layout = ItSpec(256);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Raw(noteCut)};  // key off: fades 256 a tick
  layout.patterns[0].rows[2] = {At(0).Note(5, 0)};
  Start(layout);
  Ticks(4);
  EXPECT_EQ(VolumeOn(2), 64);
  EXPECT_EQ(VolumeOn(3), 64);  // not 48: the fade-out starts again from 1024
  EXPECT_EQ(VolumeOn(4), 64);
  EXPECT_EQ(Ch(0).released, 0);
  EXPECT_EQ(Ch(0).fading, 0);
}

TEST_F(PlayerTest, ItNoteWithoutInstrumentRestartsTheEnvelope) {
  auto layout = ItSpec(0);
  layout.instruments[0].volumeEnvelope = modbuild::Envelope({{0, 64}, {4, 0}});
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[2] = {At(0).Note(5, 0)};
  Start(layout);
  Ticks(4);
  EXPECT_EQ(VolumeOn(1), 64);
  EXPECT_EQ(VolumeOn(2), 48);
  EXPECT_EQ(VolumeOn(3), 64);  // position 0 again
  EXPECT_EQ(VolumeOn(4), 48);
}

TEST_F(PlayerTest, ItNoteWithTonePortamentoKeepsTheEnvelope) {
  auto layout = ItSpec(0);
  layout.instruments[0].volumeEnvelope = modbuild::Envelope({{0, 64}, {4, 0}});
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[2] = {At(0).Note(5, 2).Cmd(cmdTonePortamento, 4)};
  Start(layout);
  Ticks(3);
  EXPECT_EQ(VolumeOn(3), 32);  // the envelope runs on through the glide
}

// A note fade fades the note out as a key off would, but keeps it held: the
// instrument's fade-out runs from 1024 by 256 a tick.
TEST_F(PlayerTest, ItNoteFadeFadesWithoutReleasing) {
  auto layout = ItSpec(256);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Raw(noteFade)};
  Start(layout);
  Ticks(4);
  EXPECT_EQ(VolumeOn(2), 64);  // 1024/1024 on the fade's own tick, as at a key off
  EXPECT_EQ(VolumeOn(3), 48);
  EXPECT_EQ(VolumeOn(4), 32);
  EXPECT_EQ(Ch(0).released, 0);
  EXPECT_EQ(Ch(0).fading, 1);
  EXPECT_TRUE(recdev::Of(recdev::Op::ReleaseSound, 0).empty());
  EXPECT_EQ(recdev::Of(recdev::Op::PlaySound, 0).size(), 1u);  // no new note
}

// A note delay holds a note fade back to its tick, as it would a note: at
// speed 4 row 1 starts on tick 8, so SD2 fades from tick 10 on.
TEST_F(PlayerTest, ItNoteFadeWaitsForANoteDelay) {
  auto layout = ItSpec(256);
  layout.speed = 4;
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Raw(noteFade).Cmd(cmdNoteDelay, 2)};
  Start(layout);
  Ticks(9);
  EXPECT_EQ(Ch(0).fading, 0);
  Ticks(2);
  EXPECT_EQ(VolumeOn(10), 64);  // full on the fade's own tick
  EXPECT_EQ(VolumeOn(11), 48);
  EXPECT_EQ(Ch(0).released, 0);
  EXPECT_EQ(recdev::Of(recdev::Op::PlaySound, 0).size(), 1u);  // no new note
}

TEST_F(PlayerTest, ItFadeOutCountsAgainst1024) {
  auto layout = ItSpec(256);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Raw(noteCut)};
  Start(layout);
  Ticks(6);
  EXPECT_EQ(VolumeOn(2), 64);  // 1024/1024 on the key off's tick
  EXPECT_EQ(VolumeOn(3), 48);  // 768/1024
  EXPECT_EQ(VolumeOn(4), 32);
  EXPECT_EQ(VolumeOn(5), 16);
  EXPECT_EQ(VolumeOn(6), 0);
}

TEST_F(PlayerTest, ItFadeOutWaitsForAVolumeEnvelopeWithoutLoop) {
  auto layout = ItSpec(256);
  layout.instruments[0].volumeEnvelope = modbuild::Envelope({{0, 64}, {6, 64}});
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Raw(noteCut)};
  Start(layout);
  Ticks(8);
  EXPECT_EQ(Ch(0).released, 1);
  // Ticks 1..6 play positions 0..5; the envelope then stands at its end and
  // the fade-out begins.
  EXPECT_EQ(VolumeOn(5), 64);
  EXPECT_EQ(VolumeOn(6), 64);
  EXPECT_EQ(VolumeOn(7), 64);
  EXPECT_EQ(VolumeOn(8), 48);
}

TEST_F(PlayerTest, ItFadeOutStartsAtKeyOffWithALoopingEnvelope) {
  auto layout = ItSpec(256);
  layout.instruments[0].volumeEnvelope = modbuild::Envelope({{0, 64}, {4, 64}}, 0xFF, 0, 1);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Raw(noteCut)};
  Start(layout);
  Ticks(3);
  EXPECT_EQ(VolumeOn(2), 64);
  EXPECT_EQ(VolumeOn(3), 48);
}

TEST_F(PlayerTest, ItOneShotEnvelopeFadesWithoutKeyOff) {
  auto layout = ItSpec(512);
  layout.instruments[0].volumeEnvelope = modbuild::Envelope({{0, 64}, {2, 64}});
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  Start(layout);
  Ticks(5);
  // Positions 0 and 1 on ticks 1 and 2, the end on tick 2; then 1024 - 512.
  EXPECT_EQ(VolumeOn(3), 64);
  EXPECT_EQ(VolumeOn(4), 32);
  EXPECT_EQ(VolumeOn(5), 0);
  EXPECT_EQ(Ch(0).released, 0);
}

}  // namespace

namespace {

TEST_F(PlayerTest, ItGlobalVolumeCountsTo128) {
  const std::pair<int, int> cases[] = {{0x40, 32}, {0x80, 64}, {0xFF, 64}, {0x20, 16}, {0, 0}};
  for (const auto& [parameter, expected] : cases) {
    SCOPED_TRACE(parameter);
    auto layout = ItSpec(0);
    layout.patterns[0].rows[0] = {
        modbuild::At(0).Note(5, 0).Ins(0).Cmd(cmdSetGlobalVolume, parameter)};
    Start(layout);
    Ticks(1);
    EXPECT_EQ(VolumeOn(1), expected);
    TearDown();
    handle = nullptr;
    module = nullptr;
    recdev::Reset();
    ticks = 0;
  }
}

}  // namespace
