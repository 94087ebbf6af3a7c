// IT volume rules observed through the device volume: the sample's and the
// instrument's global volumes, the channel volume (header, M, N) and the
// global volume slide (W), each with values worked out by hand from
// device volume = volume × SV/64 × IV/128 × CV/64 × GV/128, rounded up.
#include <gtest/gtest.h>

#include "sound/gmpvoices.h"
#include "tests/sound/support/player_fixture.h"

namespace {

using modbuild::At;

// One IT channel in instrument mode, speed 3, a note on row 0. The first
// row is read on tick 3, so row r starts on tick 3r + 3.
modbuild::ModuleSpec NoteSpec() {
  auto layout = ItInstrumentSpec(modbuild::InstrumentSpec{});
  layout.speed = 3;
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  return layout;
}

TEST_F(PlayerTest, ItSampleAndInstrumentGlobalVolumesScaleTheOutput) {
  struct Case {
    std::uint32_t sampleGlobal, instrumentGlobal, songGlobal;
    int expected;
  };
  const Case cases[] = {
      {64, 128, 128, 64},  // all full
      {32, 128, 128, 32},  // sample at half
      {64, 64, 128, 32},   // instrument at half of its 0..128
      {32, 64, 128, 16},   // both
      {16, 32, 64, 2},     // 64 × 1/4 × 1/4 × 1/2
      {1, 1, 1, 1},        // a tiny product stays audible
      {0, 128, 128, 0},
      {99, 200, 128, 64},  // out-of-range values are held to full
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.sampleGlobal << " " << k.instrumentGlobal << " "
                                    << k.songGlobal);
    auto layout = NoteSpec();
    layout.samples[0].globalVolume = k.sampleGlobal;
    layout.instruments[0].globalVolume = k.instrumentGlobal;
    layout.globalVolume = static_cast<std::uint8_t>(k.songGlobal);
    Start(layout);
    Ticks(3);
    EXPECT_EQ(VolumeOn(3), k.expected);
    TearDown();
    handle = nullptr;
    module = nullptr;
    recdev::Reset();
    ticks = 0;
  }
}

TEST_F(PlayerTest, ItProductKeepsPrecisionBetweenFactors) {
  // Volume 48 (volume column), sample 40, instrument 100, global 100:
  // 48 × 40/64 × 100/128 × 100/128 = 18.31, rounded up to 19 only at the end.
  auto layout = NoteSpec();
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0).Vol(48)};
  layout.samples[0].globalVolume = 40;
  layout.instruments[0].globalVolume = 100;
  layout.globalVolume = 100;
  Start(layout);
  Ticks(3);
  EXPECT_EQ(VolumeOn(3), 19);
}

TEST_F(PlayerTest, ItBackgroundVoiceKeepsItsGlobalVolumes) {
  // A note moved to the background by NNA continue still plays at its own
  // sample's global volume.
  auto layout = NoteSpec();
  layout.instruments[0].newNoteAction = 1;  // continue
  layout.samples[0].globalVolume = 16;
  layout.patterns[0].rows[1] = {At(0).Note(5, 2).Ins(0)};
  Start(layout);
  const unsigned voiceChannel = 8;
  ASSERT_EQ(gmpSetVoiceChannels(handle, 1, &voiceChannel), errOK);
  Ticks(6);
  EXPECT_EQ(VolumeOn(6, 0), 16);
  EXPECT_EQ(VolumeOn(6, voiceChannel), 16);
}

TEST_F(PlayerTest, ItHeaderChannelVolumeAndM) {
  auto layout = NoteSpec();
  layout.channelVolumes = {32};
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdSetChannelVolume, 16)};
  layout.patterns[0].rows[2] = {At(0).Cmd(cmdSetChannelVolume, 65)};  // ignored
  layout.patterns[0].rows[3] = {At(0).Cmd(cmdSetChannelVolume, 64)};
  Start(layout);
  Ticks(14);
  EXPECT_EQ(VolumeOn(3), 32);
  EXPECT_EQ(VolumeOn(6), 16);
  EXPECT_EQ(VolumeOn(9), 16);
  EXPECT_EQ(VolumeOn(12), 64);
  EXPECT_EQ(Ch(0).volume, 64);  // the note's own volume is untouched
}

TEST_F(PlayerTest, ItChannelVolumeSlideFormsAndMemory) {
  auto layout = NoteSpec();
  layout.channelVolumes = {32};
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdChannelVolumeSlide, 0x04)};  // -4 on ticks 2, 3
  layout.patterns[0].rows[2] = {At(0).Cmd(cmdChannelVolumeSlide, 0x00)};  // again -4, -4
  layout.patterns[0].rows[3] = {At(0).Cmd(cmdChannelVolumeSlide, 0x3F)};  // +3 once, on tick 1
  layout.patterns[0].rows[4] = {At(0).Cmd(cmdChannelVolumeSlide, 0xF2)};  // -2 once
  layout.patterns[0].rows[5] = {At(0).Cmd(cmdChannelVolumeSlide, 0x00)};  // the fine -2 again
  layout.patterns[0].rows[6] = {At(0).Cmd(cmdChannelVolumeSlide, 0x90)};  // +9, +9: held at 64
  layout.patterns[0].rows[7] = {At(0).Cmd(cmdSetChannelVolume, 64)};
  layout.patterns[0].rows[8] = {At(0).Cmd(cmdChannelVolumeSlide, 0x40)};  // 64: stays
  Start(layout);
  Ticks(29);
  EXPECT_EQ(VolumeOn(6), 32);
  EXPECT_EQ(VolumeOn(7), 28);
  EXPECT_EQ(VolumeOn(8), 24);
  EXPECT_EQ(VolumeOn(9), 24);
  EXPECT_EQ(VolumeOn(11), 16);
  EXPECT_EQ(VolumeOn(12), 19);
  EXPECT_EQ(VolumeOn(14), 19);
  EXPECT_EQ(VolumeOn(15), 17);
  EXPECT_EQ(VolumeOn(18), 15);
  EXPECT_EQ(VolumeOn(20), 15);
  EXPECT_EQ(VolumeOn(22), 24);
  EXPECT_EQ(VolumeOn(23), 33);
  EXPECT_EQ(VolumeOn(29), 64);
  EXPECT_EQ(Ch(0).itVolume.channelVolume, 64);
}

TEST_F(PlayerTest, ItChannelVolumeSlideDownStopsAtZero) {
  auto layout = NoteSpec();
  layout.channelVolumes = {6};
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdChannelVolumeSlide, 0x04)};
  Start(layout);
  Ticks(8);
  EXPECT_EQ(VolumeOn(7), 2);
  EXPECT_EQ(VolumeOn(8), 0);
  EXPECT_EQ(Ch(0).itVolume.channelVolume, 0);
}

TEST_F(PlayerTest, ItGlobalVolumeSlideFormsAndMemory) {
  auto layout = NoteSpec();
  layout.globalVolume = 64;
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdGlobalVolumeSlide, 0x08)};  // -8, -8
  layout.patterns[0].rows[2] = {At(0).Cmd(cmdGlobalVolumeSlide, 0x00)};  // -8, -8
  layout.patterns[0].rows[3] = {At(0).Cmd(cmdGlobalVolumeSlide, 0xFF)};  // +15 once (xF)
  layout.patterns[0].rows[4] = {At(0).Cmd(cmdGlobalVolumeSlide, 0xF4)};  // -4 once
  layout.patterns[0].rows[5] = {At(0).Cmd(cmdGlobalVolumeSlide, 0x40)};  // +4, +4
  Start(layout);
  Ticks(20);
  EXPECT_EQ(handle->globalVolume, 64 - 32 + 15 - 4 + 8);
  EXPECT_EQ(VolumeOn(8), 24);  // global 48 of 128: 64 × 48/128
  EXPECT_EQ(VolumeOn(11), 16);  // 32
  EXPECT_EQ(VolumeOn(12), 24);  // 47: 23.5 rounded up
  EXPECT_EQ(VolumeOn(15), 22);  // 43: 21.5 rounded up
  EXPECT_EQ(VolumeOn(20), 26);  // 51
  EXPECT_EQ(Ch(0).volume, 64);
}

TEST_F(PlayerTest, ItGlobalVolumeSlideHeldTo128) {
  auto layout = NoteSpec();
  layout.globalVolume = 120;
  layout.patterns[0].rows[1] = {At(0).Cmd(cmdGlobalVolumeSlide, 0x60)};
  Start(layout);
  Ticks(8);
  EXPECT_EQ(handle->globalVolume, 128);
  EXPECT_EQ(VolumeOn(8), 64);
}

}  // namespace
