// IT background voices: new-note actions, duplicate checks, past-note
// actions, the bounded pool and the end of background notes, observed
// through the device calls of the recording device. Song channels play on
// device channels 0.., the voices start on 10...
#include <gtest/gtest.h>

#include <vector>

#include "sound/gmpvoices.h"
#include "tests/sound/support/player_fixture.h"

namespace {

using modbuild::At;
using recdev::Op;

constexpr unsigned firstVoiceChannel = 10;

// One IT channel in instrument mode at speed 1, looping samples that never end.
modbuild::ModuleSpec VoiceSpec(std::uint8_t nna, std::uint8_t dct = 0, std::uint8_t dca = 0) {
  modbuild::InstrumentSpec ins;
  ins.newNoteAction = nna;
  ins.dupCheckType = dct;
  ins.dupCheckAction = dca;
  return ItInstrumentSpec(ins);
}

class VoicesTest : public PlayerTest {
 protected:
  void StartVoices(const modbuild::ModuleSpec& layout, unsigned voices) {
    Start(layout);
    std::vector<unsigned> channels(voices);
    for (unsigned i = 0; i < voices; ++i) channels[i] = firstVoiceChannel + i;
    ASSERT_EQ(gmpSetVoiceChannels(handle, voices, channels.data()), errOK);
  }
  std::size_t Count(Op op, int channel, unsigned tick) {
    return recdev::Of(op, channel, tick).size();
  }
};

TEST_F(VoicesTest, DeviceChannelsAskedForPerKind) {
  auto layout = VoiceSpec(gmpNoteActionContinue);
  layout.channels = 5;
  module = modbuild::Build(layout);
  EXPECT_EQ(gmpDeviceChannelsFor(module), 5u + gmpBackgroundVoices);
  module->flags = 0;  // sample mode: every new note cuts
  EXPECT_EQ(gmpDeviceChannelsFor(module), 5u);
  module->kind = modKindS3M;
  EXPECT_EQ(gmpDeviceChannelsFor(module), 5u);
  module->kind = modKindXM;
  EXPECT_EQ(gmpDeviceChannelsFor(module), 5u);
  EXPECT_EQ(gmpDeviceChannelsFor(nullptr), 0u);
}

TEST_F(VoicesTest, VoiceChannelArgumentsAreChecked) {
  Start(VoiceSpec(gmpNoteActionContinue));
  EXPECT_EQ(gmpSetVoiceChannels(nullptr, 0, nullptr), errInvalidArguments);
  EXPECT_EQ(gmpSetVoiceChannels(handle, 2, nullptr), errInvalidArguments);
  const unsigned wide[] = {1, 0x10000};
  EXPECT_EQ(gmpSetVoiceChannels(handle, 2, wide), errInvalidArguments);
  std::vector<unsigned> many(200, 3);
  ASSERT_EQ(gmpSetVoiceChannels(handle, 200, many.data()), errOK);
  EXPECT_EQ(handle->numVoices, gmpBackgroundVoices);
  ASSERT_EQ(gmpSetVoiceChannels(handle, 0, nullptr), errOK);
  EXPECT_EQ(handle->numVoices, 0u);
}

TEST_F(VoicesTest, ContinueKeepsTheOldNoteOnItsDeviceChannel) {
  auto layout = VoiceSpec(gmpNoteActionContinue);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};
  StartVoices(layout, 4);
  Ticks(3);
  const auto oldRate = RateOn(1, 0);
  // The new note starts on the first voice channel; the old one plays on.
  EXPECT_EQ(Count(Op::PlaySound, firstVoiceChannel, 2), 1u);
  EXPECT_EQ(Count(Op::PlaySound, 0, 2), 0u);
  EXPECT_TRUE(recdev::Of(Op::StopSound, 0).empty());
  EXPECT_EQ(RateOn(3, 0), oldRate);
  EXPECT_GT(RateOn(3, firstVoiceChannel), oldRate);  // G-5 above C-5
  EXPECT_EQ(VolumeOn(3, 0), 64);
  EXPECT_EQ(Ch(0).deviceChannel, firstVoiceChannel);
  // The sample goes to the new device channel before the note starts.
  EXPECT_EQ(recdev::Last(Op::SetSample, firstVoiceChannel), 1);
}

TEST_F(VoicesTest, CutAndMissingVoicesReplaceTheOldNote) {
  for (const bool withVoices : {true, false}) {
    SCOPED_TRACE(withVoices);
    auto layout = VoiceSpec(withVoices ? gmpNoteActionCut : gmpNoteActionContinue);
    layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
    layout.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};
    StartVoices(layout, withVoices ? 4 : 0);
    Ticks(2);
    EXPECT_EQ(Count(Op::PlaySound, 0, 2), 1u);
    EXPECT_TRUE(recdev::Of(Op::SetVolume, firstVoiceChannel).empty());
    EXPECT_EQ(Ch(0).deviceChannel, 0u);
    TearDown();
    handle = nullptr;
    module = nullptr;
    recdev::Reset();
    ticks = 0;
  }
}

TEST_F(VoicesTest, SilentNoteIsNotKept) {
  auto layout = VoiceSpec(gmpNoteActionContinue);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0).Vol(0)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};
  StartVoices(layout, 4);
  Ticks(2);
  EXPECT_EQ(Count(Op::PlaySound, 0, 2), 1u);
  EXPECT_EQ(handle->voices[0].active, 0);
}

TEST_F(VoicesTest, NoteOffReleasesTheBackgroundNote) {
  auto layout = VoiceSpec(gmpNoteActionOff);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};
  StartVoices(layout, 4);
  Ticks(2);
  EXPECT_EQ(Count(Op::ReleaseSound, 0, 2), 1u);
  EXPECT_EQ(handle->voices[0].state.released, 1);
  EXPECT_EQ(Ch(0).released, 0);
}

TEST_F(VoicesTest, NoteFadeFadesOutAndEnds) {
  auto layout = VoiceSpec(gmpNoteActionFade);
  layout.instruments[0].fadeOut = 128;
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};
  StartVoices(layout, 4);
  Ticks(10);
  // 1024 less 128 a tick: 64 × 1024/1024, × 896/1024, ...; at 0 the voice stops.
  EXPECT_EQ(VolumeOn(2, 0), 64);
  EXPECT_EQ(VolumeOn(3, 0), 56);
  EXPECT_EQ(VolumeOn(4, 0), 48);
  EXPECT_EQ(VolumeOn(8, 0), 16);
  EXPECT_EQ(VolumeOn(9, 0), 8);
  EXPECT_EQ(Count(Op::StopSound, 0, 9), 1u);
  EXPECT_EQ(VolumeOn(10, 0), -1);  // no longer updated
  EXPECT_EQ(handle->voices[0].active, 0);
  EXPECT_EQ(VolumeOn(10, firstVoiceChannel), 64);  // the new note does not fade
}

TEST_F(VoicesTest, FullPoolGivesUpTheQuietestVoice) {
  auto layout = VoiceSpec(gmpNoteActionContinue);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0).Vol(40)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 2).Ins(0).Vol(10)};
  layout.patterns[0].rows[2] = {At(0).Note(5, 4).Ins(0).Vol(30)};
  layout.patterns[0].rows[3] = {At(0).Note(5, 5).Ins(0).Vol(50)};
  StartVoices(layout, 2);
  Ticks(4);
  // Row 1 moved the first note to device channel 0, row 2 the second to 10;
  // row 3 finds the pool full and takes the quieter second note's voice.
  EXPECT_TRUE(recdev::Of(Op::StopSound, 0).empty());
  EXPECT_EQ(Count(Op::StopSound, firstVoiceChannel, 4), 1u);
  EXPECT_EQ(Count(Op::PlaySound, firstVoiceChannel, 4), 1u);
  EXPECT_EQ(VolumeOn(4, 0), 40);
  EXPECT_EQ(VolumeOn(4, firstVoiceChannel + 1), 30);
  EXPECT_EQ(VolumeOn(4, firstVoiceChannel), 50);
}

TEST_F(VoicesTest, FullPoolGivesUpTheOldestOfEquallyQuietVoices) {
  auto layout = VoiceSpec(gmpNoteActionContinue);
  for (int row = 0; row < 4; ++row) {
    layout.patterns[0].rows[row] = {At(0).Note(5, row).Ins(0)};
  }
  StartVoices(layout, 2);
  Ticks(4);
  EXPECT_EQ(Count(Op::StopSound, 0, 4), 1u);  // the first note, moved first
  EXPECT_EQ(Count(Op::PlaySound, 0, 4), 1u);
  EXPECT_TRUE(recdev::Of(Op::StopSound, firstVoiceChannel).empty());
}

TEST_F(VoicesTest, DuplicateNoteCutsTheSameNoteOnly) {
  auto layout = VoiceSpec(gmpNoteActionContinue, gmpDuplicateNote, gmpDuplicateActionCut);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};  // another note: kept
  layout.patterns[0].rows[2] = {At(0).Note(5, 0).Ins(0)};  // C-5 again: cut
  StartVoices(layout, 4);
  Ticks(3);
  EXPECT_TRUE(recdev::Of(Op::StopSound, 0, 2u).empty());
  EXPECT_EQ(Count(Op::StopSound, 0, 3), 1u);  // the background C-5
  // The G-5 on the channel is no duplicate: it moves into the voice set free.
  EXPECT_EQ(handle->voices[0].active, 1);
  EXPECT_EQ(handle->voices[0].state.lastNote, 0x57);
  EXPECT_EQ(handle->voices[0].state.deviceChannel, firstVoiceChannel);
  EXPECT_EQ(handle->voices[1].active, 0);
}

TEST_F(VoicesTest, DuplicateOnTheChannelItselfStopsTheMove) {
  auto layout = VoiceSpec(gmpNoteActionContinue, gmpDuplicateNote, gmpDuplicateActionCut);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 0).Ins(0)};
  StartVoices(layout, 4);
  Ticks(2);
  EXPECT_EQ(Count(Op::StopSound, 0, 2), 1u);
  EXPECT_EQ(Count(Op::PlaySound, 0, 2), 1u);
  EXPECT_EQ(handle->voices[0].active, 0);
}

TEST_F(VoicesTest, DuplicateSampleComparesTheMappedSample) {
  auto layout = VoiceSpec(gmpNoteActionContinue, gmpDuplicateSample, gmpDuplicateActionCut);
  layout.samples.push_back(layout.samples[0]);
  layout.instruments[0].samples = {0, 1};
  for (int n = 0; n < 120; ++n) {  // D-5 plays the second sample, the rest the first
    layout.instruments[0].noteMap.push_back(static_cast<std::uint8_t>(n));
    layout.instruments[0].noteMap.push_back(n == 62 ? 1 : 0);
  }
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 2).Ins(0)};  // the other sample
  layout.patterns[0].rows[2] = {At(0).Note(5, 4).Ins(0)};  // the first sample again
  StartVoices(layout, 4);
  Ticks(3);
  EXPECT_TRUE(recdev::Of(Op::StopSound, 0, 2u).empty());
  EXPECT_EQ(Count(Op::StopSound, 0, 3), 1u);
  EXPECT_EQ(handle->voices[0].state.sample, 1);  // the D-5, moved into the freed voice
  EXPECT_EQ(handle->voices[0].active, 1);
}

TEST_F(VoicesTest, DuplicateInstrumentReleasesOrFades) {
  for (const std::uint8_t action : {gmpDuplicateActionOff, gmpDuplicateActionFade}) {
    SCOPED_TRACE(static_cast<int>(action));
    auto layout = VoiceSpec(gmpNoteActionContinue, gmpDuplicateInstrument, action);
    layout.samples.push_back(layout.samples[0]);
    auto other = layout.instruments[0];
    other.samples = {1};
    layout.instruments.push_back(other);
    layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
    layout.patterns[0].rows[1] = {At(0).Note(5, 0).Ins(1)};  // another instrument
    layout.patterns[0].rows[2] = {At(0).Note(5, 4).Ins(0)};  // the first again
    StartVoices(layout, 4);
    Ticks(3);
    const PlayerVoice& first = handle->voices[0];
    EXPECT_EQ(first.active, 1);
    EXPECT_EQ(first.state.instrument, 0);
    if (action == gmpDuplicateActionOff) {
      EXPECT_EQ(Count(Op::ReleaseSound, 0, 3), 1u);
      EXPECT_EQ(first.state.released, 1);
    } else {
      EXPECT_TRUE(recdev::Of(Op::ReleaseSound, 0).empty());
      EXPECT_EQ(first.state.fading, 1);
    }
    EXPECT_EQ(handle->voices[1].state.released, 0);  // instrument 1: no duplicate
    EXPECT_EQ(handle->voices[1].state.fading, 0);
    TearDown();
    handle = nullptr;
    module = nullptr;
    recdev::Reset();
    ticks = 0;
  }
}

TEST_F(VoicesTest, PastNoteActions) {
  const std::pair<int, Op> cases[] = {{0, Op::StopSound}, {1, Op::ReleaseSound}};
  for (const auto& [action, op] : cases) {
    SCOPED_TRACE(action);
    auto layout = VoiceSpec(gmpNoteActionContinue);
    layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
    layout.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};
    layout.patterns[0].rows[2] = {At(0).Cmd(cmdNoteAction, action)};
    StartVoices(layout, 4);
    Ticks(3);
    EXPECT_EQ(Count(op, 0, 3), 1u);
    EXPECT_TRUE(recdev::Of(op, firstVoiceChannel).empty());  // the channel's own note stays
    TearDown();
    handle = nullptr;
    module = nullptr;
    recdev::Reset();
    ticks = 0;
  }
  auto layout = VoiceSpec(gmpNoteActionContinue);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};
  layout.patterns[0].rows[2] = {At(0).Cmd(cmdNoteAction, 2)};
  StartVoices(layout, 4);
  Ticks(3);
  EXPECT_EQ(handle->voices[0].state.fading, 1);
  EXPECT_EQ(Ch(0).fading, 0);
}

TEST_F(VoicesTest, NoteActionCommandOverridesTheInstrument) {
  // S73 on a continuing instrument cuts; S74 on a cutting one continues.
  auto layout = VoiceSpec(gmpNoteActionContinue);
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0).Cmd(cmdNoteAction, 3)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};
  layout.patterns[0].rows[2] = {At(0).Note(5, 9).Ins(0)};
  StartVoices(layout, 4);
  Ticks(3);
  EXPECT_EQ(Count(Op::PlaySound, 0, 2), 1u);  // cut: same device channel
  EXPECT_EQ(Count(Op::PlaySound, firstVoiceChannel, 3), 1u);  // the next note moved
  TearDown();
  handle = nullptr;
  module = nullptr;
  recdev::Reset();
  ticks = 0;

  auto cutting = VoiceSpec(gmpNoteActionCut);
  cutting.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0).Cmd(cmdNoteAction, 4)};
  cutting.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};
  cutting.patterns[0].rows[2] = {At(0).Note(5, 9).Ins(0)};
  StartVoices(cutting, 4);
  Ticks(3);
  EXPECT_EQ(Count(Op::PlaySound, firstVoiceChannel, 2), 1u);  // continued
  EXPECT_EQ(Count(Op::PlaySound, firstVoiceChannel, 3), 1u);  // then cut again
  EXPECT_EQ(handle->voices[0].active, 1);
  EXPECT_EQ(handle->voices[1].active, 0);
}

TEST_F(VoicesTest, VoiceEndsWhenItsSampleHasPlayed) {
  auto layout = VoiceSpec(gmpNoteActionContinue);
  layout.samples[0].loop = false;
  layout.samples[0].length = 1000;
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};
  StartVoices(layout, 4);
  Ticks(12);
  // Each tick of 2.5/125 s plays rate/50 frames; the voice stops on the tick
  // that passes frame 1000.
  const std::int64_t rate = RateOn(1, 0);
  unsigned endTick = 0;
  std::uint64_t played = 0;
  for (unsigned tick = 1; endTick == 0; ++tick) {
    played += static_cast<std::uint64_t>(rate) * 640 / 125;
    if ((played >> 8) >= 1000) endTick = tick;
  }
  ASSERT_GE(endTick, 2u);
  auto stops = recdev::Of(Op::StopSound, 0);
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_EQ(stops[0].tick, endTick);
}

TEST_F(VoicesTest, VoiceEndsWhenItsEnvelopeEndsInSilence) {
  auto layout = VoiceSpec(gmpNoteActionContinue);
  layout.instruments[0].volumeEnvelope = modbuild::Envelope({{0, 64}, {4, 0}});
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};
  StartVoices(layout, 4);
  Ticks(6);
  // Positions 0..3 sound on ticks 1..4; then the envelope stands on its last
  // point at zero.
  EXPECT_EQ(VolumeOn(4, 0), 16);
  auto stops = recdev::Of(Op::StopSound, 0);
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_EQ(stops[0].tick, 4u);
}

// S77 after the envelope ended at zero: the note sounds at its own volume
// again, so it is kept in the background rather than dropped as silent.
TEST_F(VoicesTest, VoiceWhoseEnvelopeIsSwitchedOffIsKept) {
  auto layout = VoiceSpec(gmpNoteActionContinue);
  layout.instruments[0].volumeEnvelope = modbuild::Envelope({{0, 64}, {2, 0}});
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[3] = {At(0).Cmd(cmdNoteAction, 7)};  // S77
  layout.patterns[0].rows[4] = {At(0).Note(5, 7).Ins(0)};
  StartVoices(layout, 4);
  Ticks(7);
  EXPECT_EQ(VolumeOn(3, 0), 0);
  EXPECT_EQ(VolumeOn(4, 0), 64);
  EXPECT_EQ(VolumeOn(7, 0), 64);  // in the background since tick 5
  EXPECT_TRUE(recdev::Of(Op::StopSound, 0).empty());
  EXPECT_EQ(Count(Op::PlaySound, firstVoiceChannel, 5), 1u);  // the new note
}

TEST_F(VoicesTest, OtherKindsNeverUseVoices) {
  auto layout = VoiceSpec(gmpNoteActionContinue);
  layout.flags = 0;  // IT sample mode
  layout.patterns[0].rows[0] = {At(0).Note(5, 0).Ins(0)};
  layout.patterns[0].rows[1] = {At(0).Note(5, 7).Ins(0)};
  StartVoices(layout, 4);
  Ticks(2);
  EXPECT_EQ(Count(Op::PlaySound, 0, 2), 1u);
  EXPECT_TRUE(recdev::Of(Op::SetVolume, firstVoiceChannel).empty());
}

}  // namespace
