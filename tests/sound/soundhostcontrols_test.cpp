// The host controls of a playing song on the no-sound device, with the clock
// driven by the test: the jump to an order, the end after the current
// play-through of a looping song, and the channels' volumes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/win32.h"
#include "sound/module.h"
#include "sound/sound.h"
#include "tools/s3mwriter/s3mwriter.h"

namespace {

DWORD fakeNow = 0;
DWORD FakeTicks() { return fakeNow; }

// Two orders of 16 rows; channel 0 plays in the first pattern, channel 1 in
// the second. Tempo 125, speed 6: a row every 120 ms.
std::vector<std::uint8_t> TwoOrderSong() {
  s3m::Song song("controls", 2);
  song.orders = {0, 1};
  std::vector<std::uint8_t> wave(64);
  for (int i = 0; i < 64; ++i) wave[static_cast<std::size_t>(i)] = i < 32 ? 200 : 56;
  song.AddInstrument("square", wave, 8363, 64).SetLoop(0, 64);
  song.Pattern(0).At(0, 0) = s3m::Cell::Play(s3m::Note("C-4"), 1, 48);
  song.Pattern(0).At(15, 0).Effect('C', 0);
  song.Pattern(1).At(0, 1) = s3m::Cell::Play(s3m::Note("G-4"), 1, 32);
  song.Pattern(1).At(15, 0).Effect('C', 0);
  return s3m::Write(song);
}

class SoundHostControls : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "hostcontrols_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".s3m";
    const std::vector<std::uint8_t> bytes = TwoOrderSong();
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    fakeNow = 50000;
    Win32SetTickSource(FakeTicks);
    SoundStartup();
    SoundSetDevice(soundDeviceNoSound);
    ASSERT_EQ(SoundInit(), 1);
    module_ = SoundLoadModule(path_.c_str());
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    if (handle_ != 0) SoundStopModule(handle_);
    if (module_ != nullptr) SoundFreeModule(module_);
    EXPECT_EQ(SoundClose(), 1);
    Win32SetTickSource(nullptr);
    std::remove(path_.c_str());
  }
  // Lets `ms` of time pass in polls of 20 ms.
  void Play(unsigned ms) {
    for (unsigned t = 0; t < ms; t += 20) {
      fakeNow += 20;
      SoundPoll();
    }
  }
  SoundPlayInfo Info() {
    SoundPlayInfo info{};
    EXPECT_EQ(SoundGetPlayInfo(handle_, &info), 1);
    return info;
  }
  std::string path_;
  Module* module_ = nullptr;
  unsigned handle_ = 0;
};

TEST_F(SoundHostControls, APositionJumpStartsThatOrderAtItsFirstRow) {
  handle_ = SoundPlayModule(module_, 0);
  ASSERT_NE(handle_, 0u);
  Play(600);
  ASSERT_EQ(Info().position, 0u);
  ASSERT_GT(Info().row, 2u);
  ASSERT_EQ(SoundSetModulePosition(handle_, 1), 1);
  EXPECT_EQ(Info().position, 1u);
  EXPECT_EQ(Info().row, 0u);
  Play(600);
  EXPECT_EQ(Info().position, 1u) << "plays on from there";
  EXPECT_GT(Info().row, 2u);

  EXPECT_EQ(SoundSetModulePosition(handle_, 2), 0) << "past the song";
  EXPECT_EQ(SoundLastError(), errInvalidArguments);
  EXPECT_EQ(Info().position, 1u);
  EXPECT_EQ(SoundSetModulePosition(handle_ + 1, 0), 0);
  EXPECT_EQ(SoundLastError(), errNoModulePlaying);
}

TEST_F(SoundHostControls, ChannelVolumesFollowTheNotes) {
  handle_ = SoundPlayModule(module_, 0);
  ASSERT_NE(handle_, 0u);
  Play(400);
  std::uint8_t volumes[4] = {99, 99, 99, 99};
  ASSERT_EQ(SoundGetChannelVolumes(handle_, volumes, 4), 2u) << "the song's two channels";
  EXPECT_GT(volumes[0], 0u);
  EXPECT_LE(volumes[0], 64u);
  EXPECT_EQ(volumes[1], 0u) << "silent in the first order";
  EXPECT_EQ(volumes[2], 99u) << "nothing written past the channels";
  SoundSetModulePosition(handle_, 1);
  Play(400);
  ASSERT_EQ(SoundGetChannelVolumes(handle_, volumes, 1), 1u) << "held to the capacity";
  ASSERT_EQ(SoundGetChannelVolumes(handle_, volumes, 2), 2u);
  EXPECT_GT(volumes[1], 0u);
  EXPECT_EQ(SoundGetChannelVolumes(handle_ + 1, volumes, 2), 0u);
  EXPECT_EQ(SoundGetChannelVolumes(handle_, nullptr, 2), 0u);
}

TEST_F(SoundHostControls, ALoopingSongEndsAfterThePlayThroughItIsIn) {
  handle_ = SoundPlayModule(module_, 1);
  ASSERT_NE(handle_, 0u);
  // 32 rows of 120 ms: one play-through in 3.84 s.
  Play(4200);
  ASSERT_EQ(Info().loopCount, 1u) << "looped once";
  ASSERT_EQ(SoundEndAtNextWrap(handle_), 1);
  EXPECT_EQ(Info().loopCount, 0u);
  Play(1000);
  EXPECT_EQ(Info().loopCount, 0u) << "still in the last play-through";
  Play(3500);
  const SoundPlayInfo ended = Info();
  EXPECT_EQ(ended.loopCount, 1u) << "wrapped again";
  Play(1000);
  EXPECT_EQ(Info().row, ended.row) << "and stopped there";
  EXPECT_EQ(Info().position, ended.position);
  EXPECT_EQ(SoundEndAtNextWrap(handle_ + 1), 0);
}

}  // namespace
