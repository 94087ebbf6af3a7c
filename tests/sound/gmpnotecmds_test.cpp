// Commands on a channel's note and instrument state: set fine tune, the XM
// set envelope position and key off at a tick, and the XM parameter
// memories of panning slide and multi retrigger.
#include <gtest/gtest.h>

#include "tests/sound/support/command_fixture.h"

namespace {

using modbuild::At;
using recdev::Op;

class NoteCommands : public Commands {
 protected:
  // An XM instrument whose volume envelope falls from 64 to 0 over 10 ticks.
  static modbuild::ModuleSpec WithFallingEnvelope(modbuild::ModuleSpec layout) {
    modbuild::InstrumentSpec ins;
    ins.samples = {0};
    ins.volumeEnvelope = modbuild::Envelope({{0, 64}, {10, 0}});
    layout.instruments = {ins};
    return layout;
  }
};

// S2x picks a C-4 rate from the fine-tune table (S20: 7895 Hz) for the note
// playing and the following ones; the next instrument brings the sample's
// rate back.
TEST_F(NoteCommands, S3mFineTuneSetsTheC4Rate) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdSetFineTune, 0x0)},
                          {At(0).Note(4, 0)},
                          {At(0).Note(4, 0).Cmd(cmdSetFineTune, 0xF)},
                          {At(0).Note(4, 0).Ins(0)}}));
  PlayTo(1);
  EXPECT_EQ(Period(), 14317456u / 7895);  // the C-4 of row 0, retuned at once
  EXPECT_EQ(recdev::Of(Op::PlaySound, 0).size(), 1u);
  EXPECT_EQ(RateOn(RowTick(1)), 14317056 / 1813);
  PlayTo(2);
  EXPECT_EQ(Period(), 14317456u / 7895);  // 1813
  EXPECT_EQ(RateOn(RowTick(2)), 14317056 / 1813);
  PlayTo(3);
  EXPECT_EQ(Period(), 14317456u / 8757);  // S2F: 1634
  PlayTo(4);
  EXPECT_EQ(Period(), 1712u);
}

// E5x with a note on the same row tunes that note: MOD rows of the period
// table (E5F = -1: C-2 431, E57: 407); XM fine tune x × 16 - 128.
TEST_F(NoteCommands, ModAndXmFineTune) {
  Start(Song(modKindMOD, {{At(0).Note(2, 0).Cmd(cmdSetFineTune, 0xF)},
                          {At(0).Note(2, 0).Cmd(cmdSetFineTune, 0x7)},
                          {At(0).Note(2, 0).Ins(0)}}));
  PlayTo(1);
  EXPECT_EQ(Period(), 1724u >> 2);
  PlayTo(2);
  EXPECT_EQ(Period(), 1628u >> 2);
  PlayTo(3);
  EXPECT_EQ(Period(), 428u);
  Finish();

  // Linear XM periods: 7680 - 64 × 48 - fine / 2 for C-4.
  auto layout = Song(modKindXM, {{At(0).Note(4, 0).Cmd(cmdSetFineTune, 0x0)},
                                 {At(0).Note(4, 0)},
                                 {At(0).Note(4, 0).Ins(0).Cmd(cmdSetFineTune, 0xF)},
                                 {At(0).Note(4, 0).Ins(0)}});
  layout.flags = modFlagLinear;
  Start(layout);
  PlayTo(1);
  EXPECT_EQ(Period(), 4608u + 64);
  PlayTo(2);
  EXPECT_EQ(Period(), 4608u + 64);  // still tuned without an instrument
  PlayTo(3);
  EXPECT_EQ(Period(), 4608u - 56);
  PlayTo(4);
  EXPECT_EQ(Period(), 4608u);
}

// L05 on row 1: the envelope, at tick 6 after the note, goes on from tick 5:
// 64 - 6.4 × 5 → volume 40 × 8194 >> 14 = 20, then 16 at tick 6.
TEST_F(NoteCommands, XmSetEnvelopePosition) {
  Start(WithFallingEnvelope(Song(modKindXM, {{At(0).Cmd(cmdSetEnvelopePosition, 5)}})));
  PlayTo(0, 5);
  EXPECT_EQ(VolumeOn(RowTick(0, 5)), (40 * (16384 - 1638 * 5)) >> 14);  // 20, position 5
  PlayTo(1, 1);
  EXPECT_EQ(VolumeOn(RowTick(1)), 20);
  EXPECT_EQ(VolumeOn(RowTick(1, 1)), 16);
}

// K03: the note sounds until tick 3 of its row, then is keyed off: silent
// at once without a volume envelope, released into the envelope with one.
TEST_F(NoteCommands, XmKeyOffAtATick) {
  Start(Song(modKindXM, {{At(0).Note(4, 0).Ins(0).Vol(40).Cmd(cmdKeyOff, 3)}}));
  PlayTo(1, 2);
  EXPECT_EQ(VolumeOn(RowTick(1, 2)), 40);
  EXPECT_EQ(Ch(0).released, 0);
  PlayTo(1, 3);
  EXPECT_EQ(VolumeOn(RowTick(1, 3)), 0);
  EXPECT_EQ(Ch(0).released, 1);
  Finish();

  auto layout = Song(modKindXM, {{At(0).Cmd(cmdKeyOff, 2)}});
  layout.instruments = {modbuild::InstrumentSpec{}};
  layout.instruments[0].samples = {0};
  layout.instruments[0].volumeEnvelope = modbuild::Envelope({{0, 64}, {100, 64}}, 0);
  Start(layout);
  PlayTo(1, 1);
  EXPECT_EQ(Ch(0).released, 0);
  PlayTo(1, 2);
  EXPECT_EQ(Ch(0).released, 1);
  EXPECT_EQ(VolumeOn(RowTick(1, 2)), 40);  // the envelope carries on
}

// P00 repeats the last panning slide: 3 to the right on ticks 1..5, twice.
TEST_F(NoteCommands, XmPanningSlideMemory) {
  Start(Song(modKindXM, {{At(0).Cmd(cmdPanningSlide, 0x30)},
                         {At(0).Cmd(cmdPanningSlide, 0x00)},
                         {At(0).Cmd(cmdPanningSlide, 0x04)},
                         {At(0).Cmd(cmdPanningSlide, 0x00)}}));
  PlayTo(1, 5);
  EXPECT_EQ(Ch(0).panning, 128 + 15);
  PlayTo(2, 5);
  EXPECT_EQ(Ch(0).panning, 128 + 30);
  PlayTo(4, 5);
  EXPECT_EQ(Ch(0).panning, 128 + 30 - 40);
}

// R93: every third tick a retrigger with volume + 1. R00 repeats it; R01
// keeps the volume nibble (9) and retriggers on every tick. Each retrigger
// starts the volume envelope again.
TEST_F(NoteCommands, XmMultiRetriggerMemoryAndEnvelopes) {
  Start(WithFallingEnvelope(Song(modKindXM, {{At(0).Cmd(cmdRetriggerVolumeChange, 0x93)},
                                             {At(0).Cmd(cmdRetriggerVolumeChange, 0x00)},
                                             {At(0).Cmd(cmdRetriggerVolumeChange, 0x01)}})));
  PlayTo(1, 2);
  EXPECT_EQ(VolumeOn(RowTick(1, 2)), (40 * (16384 - 1638 * 8)) >> 14);  // envelope at 8
  PlayTo(1, 3);
  EXPECT_EQ(VolumeOn(RowTick(1, 3)), 41);  // retriggered: the envelope is back at 64
  auto retrigs = recdev::Of(Op::SetPosition, 0);
  ASSERT_EQ(retrigs.size(), 1u);
  EXPECT_EQ(retrigs[0].tick, RowTick(1, 3));
  PlayTo(2, 5);
  retrigs = recdev::Of(Op::SetPosition, 0);
  ASSERT_EQ(retrigs.size(), 2u);
  EXPECT_EQ(retrigs[1].tick, RowTick(2, 3));
  PlayTo(3, 5);
  EXPECT_EQ(recdev::Of(Op::SetPosition, 0).size(), 2u + 5);
  EXPECT_EQ(Volume(), 40 + 7);
  EXPECT_EQ(VolumeOn(RowTick(3, 5)), 47);
}

}  // namespace
