// Effect commands: what each does to the channel state and to the calls the
// player makes on the device, per module kind.
#include <gtest/gtest.h>

#include "sound/gmptables.h"
#include "tests/sound/support/command_fixture.h"

namespace {

using modbuild::At;
using modbuild::Entry;
using recdev::Op;

TEST_F(Commands, S3mVolumeSlides) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdVolumeSlide, 0x0F)},     // D0F: down 15 per later tick
                          {At(0).Vol(20).Cmd(cmdVolumeSlide, 0xF0)},  // DF0: up 15
                          {At(0).Vol(20).Cmd(cmdVolumeSlide, 0x3F)},  // D3F: fine up 3
                          {At(0).Cmd(cmdVolumeSlide, 0xF3)},     // DF3: fine down 3
                          {At(0).Vol(40).Cmd(cmdVolumeSlide, 0x01)},  // D01
                          {At(0).Cmd(cmdVolumeSlide, 0x00)}}));       // D00: 1 again
  PlayTo(1, 0);
  EXPECT_EQ(Volume(), 40);
  PlayTo(1, 2);
  EXPECT_EQ(Volume(), 10);
  PlayTo(1, 3);
  EXPECT_EQ(Volume(), 0);
  PlayTo(2, 5);
  EXPECT_EQ(Volume(), 63);  // 20 + 15 × 5, capped
  PlayTo(3, 0);
  EXPECT_EQ(Volume(), 23);
  PlayTo(3, 5);
  EXPECT_EQ(Volume(), 23);  // fine slides act once
  PlayTo(4, 5);
  EXPECT_EQ(Volume(), 20);
  PlayTo(5, 5);
  EXPECT_EQ(Volume(), 35);
  PlayTo(6, 5);
  EXPECT_EQ(Volume(), 30);
}

TEST_F(Commands, S3mFastVolumeSlidesActOnTheFirstTick) {
  auto layout = Song(modKindS3M, {{At(0).Cmd(cmdVolumeSlide, 0x04)}});
  layout.flags = modFlagFastVolSlides;
  Start(layout);
  PlayTo(1, 0);
  EXPECT_EQ(Volume(), 36);
}

TEST_F(Commands, SharedParameterMemoryFeedsArpeggio) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdVolumeSlide, 0x37)}, {At(0).Cmd(cmdArpeggio, 0x00)}}));
  PlayTo(2, 0);
  EXPECT_EQ(Output(), 1712u);
  PlayTo(2, 1);
  EXPECT_EQ(Output(), 1440u);  // + 3 semitones
  PlayTo(2, 2);
  EXPECT_EQ(Output(), 1140u);  // + 7 semitones
  PlayTo(2, 3);
  EXPECT_EQ(Output(), 1712u);
  EXPECT_EQ(Period(), 1712u);
}

// Only D, E, F, I, J, K, L, Q and R share the S3M parameter memory: a D00
// after a vibrato or a sample offset slides by the last D, not by their
// parameters.
TEST_F(Commands, S3mMemoryIsSharedOnlyByTheCommandsThatUseIt) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdVolumeSlide, 0x02)},
                          {At(0).Cmd(cmdVibrato, 0x48)},
                          {At(0).Cmd(cmdVolumeSlide, 0x00)},
                          {At(0).Cmd(cmdSampleOffset, 0x30)},
                          {At(0).Cmd(cmdVolumeSlide, 0x00)}}));
  PlayTo(1, 5);
  EXPECT_EQ(Volume(), 30);  // 40 - 5 × 2
  PlayTo(2, 5);
  EXPECT_EQ(Volume(), 30);
  PlayTo(3, 5);
  EXPECT_EQ(Volume(), 20);  // D00 is D02 again
  PlayTo(5, 5);
  EXPECT_EQ(Volume(), 10);
}

TEST_F(Commands, S3mPortamentoKinds) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdPortamentoUp, 0xF2)},    // fine: 2 << 2 on tick 0
                          {At(0).Cmd(cmdPortamentoUp, 0xE2)},    // extra fine: 2
                          {At(0).Cmd(cmdPortamentoUp, 0x02)},    // 8 on each later tick
                          {At(0).Cmd(cmdPortamentoDown, 0xF1)}}));  // fine down 4
  PlayTo(1, 0);
  EXPECT_EQ(Period(), 1704u);
  PlayTo(1, 5);
  EXPECT_EQ(Period(), 1704u);
  PlayTo(2, 5);
  EXPECT_EQ(Period(), 1702u);
  PlayTo(3, 0);
  EXPECT_EQ(Period(), 1702u);
  PlayTo(3, 5);
  EXPECT_EQ(Period(), 1702u - 40);
  PlayTo(4, 0);
  EXPECT_EQ(Period(), 1666u);
  EXPECT_EQ(RateOn(RowTick(4)), 14317056 / 1666);
}

TEST_F(Commands, TonePortamentoSlidesWithoutRestarting) {
  Start(Song(modKindS3M, {{At(0).Note(4, 2).Ins(0).Cmd(cmdTonePortamento, 0x10)},
                          {At(0).Cmd(cmdTonePortamento, 0)}}));
  PlayTo(1, 0);
  EXPECT_EQ(Ch(0).targetPeriod, 1524u);
  EXPECT_EQ(Period(), 1712u);
  PlayTo(1, 1);
  EXPECT_EQ(Period(), 1648u);  // 0x10 << 2 per tick
  PlayTo(1, 2);
  EXPECT_EQ(Period(), 1584u);
  PlayTo(1, 3);
  EXPECT_EQ(Period(), 1524u);  // the last step stops on the target
  PlayTo(2, 5);
  EXPECT_EQ(Period(), 1524u);
  EXPECT_EQ(recdev::Of(Op::PlaySound, 0).size(), 1u);
}

TEST_F(Commands, TonePortamentoWithoutAPreviousNoteLeavesThePitchAlone) {
  auto layout = Song(modKindS3M, {{At(0).Cmd(cmdTonePortamento, 0x10)}}, false);
  Start(layout);
  PlayTo(1, 5);
  EXPECT_EQ(Period(), 0u);
  EXPECT_EQ(Ch(0).portamentoSpeed, 0);  // S3M keeps no speed without a target
  EXPECT_TRUE(recdev::Of(Op::PlaySound).empty());
}

TEST_F(Commands, VibratoAndItsCombinations) {
  Start(Song(modKindS3M,
             {{At(0).Cmd(cmdVibrato, 0x24)},             // speed 2, depth 4
              {At(0).Cmd(cmdVibratoVolumeSlide, 0x01)},  // vibrato continues, volume down 1
              {At(0).Note(4, 0).Ins(0).Vol(40)}}));
  PlayTo(1, 1);
  EXPECT_EQ(Output(), 1712u);  // position 0: sine 0
  PlayTo(1, 2);
  EXPECT_EQ(Output(), 1712u + (49 * 4 >> 5));
  PlayTo(1, 3);
  EXPECT_EQ(Output(), 1712u + (97 * 4 >> 5));
  PlayTo(2, 5);
  EXPECT_EQ(Volume(), 40 - 5);
  EXPECT_EQ(Ch(0).vibratoPosition, 2 * 5 + 2 * 5);  // K steps on the later ticks, as H
  PlayTo(3, 0);
  EXPECT_EQ(Ch(0).vibratoPosition, 0);  // reset by the note start
  EXPECT_EQ(Output(), 1712u);
}

TEST_F(Commands, PanningCommands) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdSetPanning, 0x00)},
                          {At(0).Cmd(cmdSetPanning, 0x80)},
                          {At(0).Cmd(cmdSetPanning, 0xA4)},
                          {At(0).Cmd(cmdSetPanning4Bit, 0x0)},
                          {At(0).Cmd(cmdSetPanning4Bit, 0xF)},
                          {At(0).Cmd(cmdSetPanning4Bit, 0x7)}}));
  std::vector<std::int64_t> sent;
  for (unsigned row = 1; row <= 6; ++row) {
    PlayTo(row);
    sent.push_back(*recdev::Last(Op::SetPanning, 0));
  }
  EXPECT_EQ(sent, (std::vector<std::int64_t>{-64, 64, 0x80, -64, 64, 0}));
}

TEST_F(Commands, SampleOffsetAppliesToItsNoteOnly) {
  Start(Song(modKindS3M, {{At(0).Note(4, 0).Ins(0).Cmd(cmdSampleOffset, 0x02)},
                          {At(0).Note(4, 0)},
                          {At(0).Note(4, 0).Cmd(cmdSampleOffset, 0)}}));  // O00: the memory
  PlayTo(3);
  auto positions = recdev::Of(Op::SetPosition, 0);
  ASSERT_EQ(positions.size(), 2u);
  EXPECT_EQ(positions[0].value, 0x200);
  EXPECT_EQ(positions[0].tick, RowTick(1));
  EXPECT_EQ(positions[1].tick, RowTick(3));
  EXPECT_EQ(recdev::Of(Op::PlaySound, 0).size(), 4u);
}

TEST_F(Commands, ModSampleOffsetIsAddedTwice) {
  auto layout =
      Song(modKindMOD, {{At(0).Note(1, 0).Ins(0).Cmd(cmdSampleOffset, 0x01)}, {At(0).Note(1, 0)}});
  Start(layout);
  PlayTo(2);
  auto positions = recdev::Of(Op::SetPosition, 0);
  ASSERT_EQ(positions.size(), 2u);
  EXPECT_EQ(positions[0].value, 0x100);
  EXPECT_EQ(positions[1].value, 0x200);
}

TEST_F(Commands, PatternBreakReadsDecimalDigits) {
  auto layout = Song(modKindS3M, {{At(0).Cmd(cmdPatternBreak, 0x64)}});
  layout.orders = {0, 1, 1};
  layout.patterns.resize(2);
  layout.patterns[1].rows[63] = {At(1).Cmd(cmdPatternBreak, 0x12)};
  Start(layout);
  PlayTo(1);
  EXPECT_EQ(handle->position, 1u);
  EXPECT_EQ(handle->row, 63u);
  Ticks(6);
  EXPECT_EQ(handle->position, 2u);
  EXPECT_EQ(handle->row, 12u);
}

TEST_F(Commands, PositionJumps) {
  auto layout = Song(modKindS3M, {{At(0).Cmd(cmdPositionJump, 0x01)}});
  layout.orders = {0, orderSkip, 1, 2};
  layout.patterns.resize(3);
  layout.patterns[1].rows[0] = {At(0).Cmd(cmdPositionJump, 0x00),
                                At(1).Cmd(cmdPatternBreak, 0x05)};  // back, row 5
  layout.patterns[2].rows[0] = {At(0).Cmd(cmdPositionJump, 0x09)};  // past the end
  Start(layout);
  PlayTo(1);
  EXPECT_EQ(handle->position, 2u);  // the skip marker is stepped over
  EXPECT_EQ(handle->loopCount, 0u);
  Ticks(6);
  EXPECT_EQ(handle->position, 0u);
  EXPECT_EQ(handle->row, 5u);  // the break in a later channel sets the row
  EXPECT_EQ(handle->loopCount, 1u);
  handle->position = 3;
  handle->pattern = 2;
  handle->row = 0;
  handle->rowPointer = nullptr;
  Ticks(6);
  EXPECT_EQ(handle->position, 0u);
  EXPECT_EQ(handle->loopCount, 2u);
}

TEST_F(Commands, SpeedAndTempo) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdSetSpeed, 3)},
                          {At(0).Cmd(cmdSetSpeed, 0)},
                          {At(0).Cmd(cmdSetTempo, 0x1F)},
                          {At(0).Cmd(cmdSetTempo, 0x20)}}));
  PlayTo(1);
  EXPECT_EQ(handle->speed, 3u);
  Ticks(3);
  EXPECT_EQ(handle->speed, 3u);  // A00 changes nothing
  EXPECT_EQ(handle->loopCount, 0u);
  Ticks(3);
  EXPECT_EQ(handle->tempo, 125u);  // T1F is ignored
  Ticks(3);
  EXPECT_EQ(handle->tempo, 32u);
  EXPECT_EQ(recdev::Last(Op::SetUpdRate, 0), 32 * 40);
}

// MOD's F00 changes nothing (the song plays on past it); XM's restarts the
// song and counts a loop.
TEST_F(Commands, SpeedZeroIsIgnoredInModAndRestartsXm) {
  for (ModuleKind kind : {modKindMOD, modKindXM}) {
    auto layout = Song(kind, {{At(0).Cmd(cmdSetSpeed, 0)}});
    layout.orders = {1, 0};
    layout.patterns.resize(2);
    layout.patterns[1] = layout.patterns[0];
    Start(layout);
    PlayTo(1);
    if (kind == modKindMOD) {
      EXPECT_EQ(handle->loopCount, 0u);
      EXPECT_EQ(handle->speed, 6u);
      EXPECT_EQ(handle->row, 2u);
    } else {
      EXPECT_EQ(handle->loopCount, 1u);
      EXPECT_EQ(handle->position, 0u);
      EXPECT_EQ(handle->row, 0u);
    }
    EXPECT_EQ(gmpStopSong(handle), errOK);
    handle = nullptr;
    EXPECT_EQ(ModuleFree(module, nullptr), errOK);
    module = nullptr;
    ticks = 0;
  }
}

TEST_F(Commands, PatternLoopRepeatsRows) {
  auto layout = Song(modKindS3M, {{At(0).Cmd(cmdPatternLoop, 0)}, {At(0).Cmd(cmdPatternLoop, 2)}});
  layout.speed = 1;
  Start(layout);
  std::vector<std::uint32_t> rows;
  for (int i = 0; i < 8; ++i) {
    rows.push_back(handle->row);
    ASSERT_EQ(Tick(), errOK);
  }
  EXPECT_EQ(rows, (std::vector<std::uint32_t>{0, 1, 2, 1, 2, 1, 2, 3}));
}

// IT keeps its loop start row across a jump or break into another pattern; S3M
// resets it there. Both reset it when a pattern ends by itself.
TEST_F(Commands, PatternLoopStartAfterJumpsAndBreaks) {
  for (ModuleKind kind : {modKindIT, modKindS3M}) {
    auto layout = Song(kind, {{At(0).Cmd(cmdPatternLoop, 0)},
                              {At(1).Cmd(cmdPatternBreak, 0x00)}});  // start at row 1, break
    layout.speed = 1;
    layout.orders = {0, 1};
    layout.patterns.resize(2);
    layout.patterns[1].rows[3] = {At(0).Cmd(cmdPatternLoop, 1)};  // loop once, no start of its own
    Start(layout);
    std::vector<std::uint32_t> rows;
    for (int i = 0; i < 8; ++i) {
      rows.push_back(handle->row);
      ASSERT_EQ(Tick(), errOK);
    }
    const std::vector<std::uint32_t> it{0, 1, 2, 0, 1, 2, 3, 1};
    const std::vector<std::uint32_t> s3m{0, 1, 2, 0, 1, 2, 3, 0};
    EXPECT_EQ(rows, kind == modKindIT ? it : s3m) << "kind " << kind;
    EXPECT_EQ(gmpStopSong(handle), errOK);
    handle = nullptr;
    EXPECT_EQ(ModuleFree(module, nullptr), errOK);
    module = nullptr;
  }
}

TEST_F(Commands, NoteCutAndDelay) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdNoteCut, 0)},
                          {At(0).Vol(40).Cmd(cmdNoteCut, 3)},
                          {At(0).Note(4, 2).Ins(0).Cmd(cmdNoteDelay, 3)},
                          {At(0).Note(4, 4).Cmd(cmdNoteDelay, 0)}}));
  PlayTo(1);
  EXPECT_EQ(Volume(), 0);  // SC0 cuts on the first tick
  PlayTo(2, 2);
  EXPECT_EQ(Volume(), 40);
  PlayTo(2, 3);
  EXPECT_EQ(Volume(), 0);
  PlayTo(4);
  auto plays = recdev::Of(Op::PlaySound, 0);
  ASSERT_EQ(plays.size(), 3u);
  EXPECT_EQ(plays[1].tick, RowTick(3, 3));
  EXPECT_EQ(plays[1].value, 14317056 / 1524);
  EXPECT_EQ(plays[2].tick, RowTick(4));  // SD0 plays at once
}

TEST_F(Commands, PatternDelayRepeatsTheRow) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdPatternDelay, 2)}, {At(0).Cmd(cmdVolumeSlide, 0x01)}}));
  PlayTo(1);
  Ticks(6 * 2);
  EXPECT_EQ(handle->row, 2u);  // row 1 was played three times
  Ticks(6);
  EXPECT_EQ(handle->row, 3u);
}

TEST_F(Commands, GlobalVolumeAndSync) {
  static unsigned syncValue, syncPosition, syncRow;
  Start(Song(modKindS3M, {{At(0).Cmd(cmdSetGlobalVolume, 0x20)}, {At(1).Cmd(cmdSync, 0x42)}}));
  gmpSetSyncCallback(handle, [](unsigned v, unsigned p, unsigned r) {
    syncValue = v;
    syncPosition = p;
    syncRow = r;
  });
  PlayTo(1);
  EXPECT_EQ(VolumeOn(RowTick(1)), (32 * 40 * 64 * 64 + 0x3FFFF) >> 18);
  PlayTo(2);
  EXPECT_EQ(syncValue, 0x42u);
  EXPECT_EQ(syncPosition, 0u);
  EXPECT_EQ(syncRow, 2u);
  EXPECT_EQ(handle->info->syncValue, 0x42);
}

TEST_F(Commands, RetriggerWithVolumeChange) {
  Start(Song(modKindS3M, {{At(0).Cmd(cmdRetriggerVolumeChange, 0x13)},
                          {At(0).Cmd(cmdRetriggerVolumeChange, 0x61)}}));
  PlayTo(1, 5);
  auto retrigs = recdev::Of(Op::SetPosition, 0);
  ASSERT_EQ(retrigs.size(), 1u);
  EXPECT_EQ(retrigs[0].tick, RowTick(1, 3));
  EXPECT_EQ(Volume(), 39);
  PlayTo(2, 5);
  EXPECT_EQ(recdev::Of(Op::SetPosition, 0).size(), 1u + 5);  // every later tick
  EXPECT_LT(Volume(), 39 * 10 / 16 + 1);
}

// K is H with a volume slide: on the first tick only the slide acts, so both
// vibrate at the same rate (positions 0, 4, .. 16 on row 1, 20 .. 36 on row 2).
// IT follows that rule with old effects, at twice the depth.
TEST_F(Commands, S3mAndItVibratoVolumeSlideStepsLikeVibrato) {
  for (ModuleKind kind : {modKindS3M, modKindIT}) {
    auto layout =
        Song(kind, {{At(0).Cmd(cmdVibrato, 0x44)}, {At(0).Cmd(cmdVibratoVolumeSlide, 0x00)}});
    if (kind == modKindIT) layout.flags = modFlagItOldEffects;
    const int shift = kind == modKindIT ? 4 : 5;
    Start(layout);
    if (kind == modKindIT) {
      // IT's 256-step sine, moved on by 16 before each read on ticks 1..5;
      // old effects lower the pitch first: 45 × 16 / 32 = 22.
      PlayTo(2, 0);
      EXPECT_EQ(Ch(0).vibratoPosition, 80);
      EXPECT_EQ(Output(), Period());  // tick 0 leaves the pitch alone
      PlayTo(2, 1);
      EXPECT_EQ(Output(), Period() + 22);  // position 96
      PlayTo(2, 5);
      EXPECT_EQ(Ch(0).vibratoPosition, 160);
      EXPECT_EQ(Output(), Period() - 22);
      Finish();
      continue;
    }
    PlayTo(2, 0);
    EXPECT_EQ(Ch(0).vibratoPosition, 20) << "kind " << kind;
    EXPECT_EQ(Output(), Period()) << "kind " << kind;  // tick 0 leaves the pitch alone
    PlayTo(2, 1);
    EXPECT_EQ(Output(), Period() + (gmpVibratoTable[20] * 4 >> shift)) << "kind " << kind;
    PlayTo(2, 5);
    EXPECT_EQ(Ch(0).vibratoPosition, 40) << "kind " << kind;
    EXPECT_EQ(Output(), Period() - (gmpVibratoTable[4] * 4 >> shift)) << "kind " << kind;
    Finish();
  }
}

// L runs the volume slide on the first tick too, so its fine slides act.
TEST_F(Commands, S3mAndItTonePortamentoVolumeSlideKeepsFineSlides) {
  for (ModuleKind kind : {modKindS3M, modKindIT}) {
    Start(Song(kind, {{At(0).Note(4, 2).Ins(0).Vol(40).Cmd(cmdTonePortamento, 0x10)},
                      {At(0).Cmd(cmdTonePortamentoVolumeSlide, 0x3F)},     // fine up 3
                      {At(0).Cmd(cmdTonePortamentoVolumeSlide, 0xF2)},     // fine down 2
                      {At(0).Cmd(cmdTonePortamentoVolumeSlide, 0x02)}}));  // down 2 later
    PlayTo(2, 0);
    EXPECT_EQ(Volume(), 43) << "kind " << kind;
    PlayTo(2, 5);
    EXPECT_EQ(Volume(), 43) << "kind " << kind;
    PlayTo(3, 0);
    EXPECT_EQ(Volume(), 41) << "kind " << kind;
    PlayTo(4, 0);
    EXPECT_EQ(Volume(), 41) << "kind " << kind;  // an ordinary slide waits for tick 1
    PlayTo(4, 5);
    EXPECT_EQ(Volume(), 31) << "kind " << kind;
    EXPECT_EQ(Period(), Ch(0).targetPeriod) << "kind " << kind;  // the portamento still runs
    Finish();
  }
}

// MOD and XM.

TEST_F(Commands, ModPortamentoHasNoShift) {
  Start(Song(modKindMOD,
             {{At(0).Cmd(cmdPortamentoUp, 0x03)}, {At(0).Cmd(cmdFinePortamentoUp, 0x2)}}));
  PlayTo(1, 0);
  const std::uint32_t start = Period();
  EXPECT_EQ(start, 428u);
  PlayTo(1, 5);
  EXPECT_EQ(Period(), start - 15);
  PlayTo(2);
  EXPECT_EQ(Period(), start - 17);
}

TEST_F(Commands, XmRetriggerFineSlidesAndMemory) {
  Start(Song(modKindXM, {{At(0).Cmd(cmdRetrigger, 2)},
                         {At(0).Cmd(cmdFineVolumeSlideUp, 5)},
                         {At(0).Cmd(cmdFineVolumeSlideUp, 0)},   // EA0: memory
                         {At(0).Cmd(cmdFineVolumeSlideDown, 3)},
                         {At(0).Cmd(cmdVolumeSlide, 0x02)},
                         {At(0).Cmd(cmdVolumeSlide, 0x00)}}));  // A00: XM volume-slide memory
  PlayTo(1, 5);
  auto retrigs = recdev::Of(Op::SetPosition, 0);
  ASSERT_EQ(retrigs.size(), 2u);
  EXPECT_EQ(retrigs[0].tick, RowTick(1, 2));
  EXPECT_EQ(retrigs[1].tick, RowTick(1, 4));
  PlayTo(3);
  EXPECT_EQ(Volume(), 50);
  PlayTo(4);
  EXPECT_EQ(Volume(), 47);
  PlayTo(6, 5);
  EXPECT_EQ(Volume(), 47 - 20);
}

TEST_F(Commands, XmGlobalSlideExtraFinePortaAndPanningSlide) {
  auto layout = Song(modKindXM, {{At(0).Cmd(cmdGlobalVolumeSlide, 0x02)},
                               {At(0).Cmd(cmdExtraFinePortamentoUp, 0x3)},
                               {At(0).Cmd(cmdExtraFinePortamentoDown, 0x1)},
                               {At(0).Cmd(cmdPanningSlide, 0x30)},
                               {At(0).Cmd(cmdSetPanning4Bit, 0xF)}});
  Start(layout);
  PlayTo(1, 5);
  EXPECT_EQ(handle->globalVolume, 64 - 10);
  PlayTo(2);
  EXPECT_EQ(Period(), 1712u - 3);
  PlayTo(3);
  EXPECT_EQ(Period(), 1712u - 2);
  PlayTo(4, 5);
  EXPECT_EQ(Ch(0).panning, 128 + 15);
  PlayTo(5);
  EXPECT_EQ(Ch(0).panning, 255);  // E8F pans fully right on the 0..255 scale
}

TEST_F(Commands, XmVolumeColumn) {
  auto layout = Song(modKindXM, {{At(0).Vol(0x62)},
                               {At(0).Vol(0x85)},
                               {At(0).Vol(0xC4)},
                               {At(0).Vol(0xA4)},
                               {At(0).Vol(0xB3)},
                               {At(0).Note(4, 2).Vol(0xF2)}});
  Start(layout);
  PlayTo(1, 5);
  EXPECT_EQ(Volume(), 30);
  PlayTo(2);
  EXPECT_EQ(Volume(), 25);
  PlayTo(3);
  EXPECT_EQ(Ch(0).panning, 0x44);
  PlayTo(4, 5);
  EXPECT_EQ(Output(), Period());  // speed alone does nothing
  PlayTo(5, 2);
  EXPECT_EQ(Output(), Period() + (gmpVibratoTable[4] * 3 >> 5));  // depth 3, speed 4
  PlayTo(6, 1);
  EXPECT_EQ(Period(), 1712u - 128);  // tone portamento, speed 0x20 << 2
  EXPECT_EQ(recdev::Of(Op::PlaySound, 0).size(), 1u);
}

// IT.

TEST_F(Commands, ItPanning) {
  auto layout = Song(modKindIT, {{At(0).Vol(128 + 48)},
                                 {At(0).Cmd(cmdSetPanning4Bit, 0xF)},
                                 {At(0).Cmd(cmdPanningSlide, 0xF2)}});
  Start(layout);
  PlayTo(1);
  EXPECT_EQ(recdev::Last(Op::SetPanning, 0), 2 * 48 - 64);
  PlayTo(2);
  EXPECT_EQ(Ch(0).panning, 64);  // S8F halved to 0..64
  PlayTo(3, 5);
  EXPECT_EQ(Ch(0).panning, 64);  // PF2: fine slide right, already at the edge
  handle->channels[0].panning = 30;
  handle->rowPointer = nullptr;
  handle->row = 3;
  PlayTo(4, 3);
  EXPECT_EQ(Ch(0).panning, 32);  // once, on the first tick
}

}  // namespace
