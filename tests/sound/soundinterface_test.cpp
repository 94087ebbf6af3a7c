// The calling interface: options, device choice, start-up and orderly shutdown,
// channels, module loading and the playing slots.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/win32.h"
#include "sound/dsmnsnd.h"
#include "sound/dsound.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "sound/sound.h"
#include "sound/winwave.h"
#include "tools/s3mwriter/s3mwriter.h"

namespace {

DWORD fakeNow = 0;
DWORD FakeTicks() { return fakeNow; }

std::string ScratchPath(const std::string& name) {
  return ::testing::TempDir() + "soundinterface_" + name;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A short song: `channels` channels, one looped square-ish instrument, two patterns.
std::vector<std::uint8_t> SmallSong(int channels) {
  s3m::Song song("interface test", channels);
  song.orders = {0, 1};
  std::vector<std::uint8_t> wave(64);
  for (int i = 0; i < 64; ++i) wave[static_cast<std::size_t>(i)] = i < 32 ? 200 : 56;
  song.AddInstrument("square", wave, 8363, 64).SetLoop(0, 64);
  for (int row = 0; row < 64; row += 4) {
    song.Pattern(0).At(row, 0) = s3m::Cell::Play(s3m::Note("C-4"), 1, 48);
    song.Pattern(1).At(row, 1 % channels) = s3m::Cell::Play(s3m::Note("G-4"), 1, 48);
  }
  return s3m::Write(song);
}

class SoundInterface : public ::testing::Test {
protected:
  void SetUp() override {
    Win32UseVirtualAudio(true, 1);
    SoundStartup();
    baseline_ = Win32LiveGlobalBlocks();
    songPath_ = ScratchPath(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".s3m";
    WriteBytes(songPath_, SmallSong(2));
  }
  void TearDown() override {
    EXPECT_EQ(SoundClose(), 1);
    EXPECT_EQ(Win32VirtualAudioOpenCount(), 0u);
    EXPECT_EQ(Win32LiveGlobalBlocks(), baseline_);
    Win32UseVirtualAudio(false);
    Win32SetTickSource(nullptr);
    std::remove(songPath_.c_str());
  }
  long baseline_ = 0;
  std::string songPath_;
};

TEST_F(SoundInterface, OptionsHaveTheirDefaultsAndRules) {
  const std::intptr_t defaults[14] = {0, 44100, 0, 500, 16, 0, 0, 0, 100, 1, 3, 0, 64, 0};
  for (int option = 1; option <= 13; ++option) EXPECT_EQ(SoundGetOption(option), defaults[option]) << option;
  EXPECT_EQ(SoundSetOption(soundOptInterpolation, 1), 1);
  EXPECT_EQ(SoundGetOption(soundOptInterpolation), 1);
  SoundSetOption(soundOptInterpolation, 5);  // anything but 1 stores 0
  EXPECT_EQ(SoundGetOption(soundOptInterpolation), 0);
  EXPECT_EQ(SoundSetOption(0, 9), 1);
  EXPECT_EQ(SoundSetOption(14, 9), 1);
  EXPECT_EQ(SoundGetOption(14), 0);
  EXPECT_EQ(SoundGetOption(-3), 0);
  SoundSetOption(soundOptReserved, 77);
  EXPECT_EQ(SoundGetOption(soundOptReserved), 77);
  // Start-up puts everything back.
  SoundSetOption(soundOptMixRate, 8000);
  SoundSetDevice(soundDeviceNoSound);
  SoundStartup();
  EXPECT_EQ(SoundGetOption(soundOptMixRate), 44100);
  EXPECT_EQ(SoundGetDevice(), soundDeviceAuto);
  EXPECT_STREQ(SoundVersion(), "1.1.2");
  EXPECT_EQ(SoundLastError(), 0);
}

TEST_F(SoundInterface, CloseRightAfterStartupDoesNothing) {
  EXPECT_EQ(SoundClose(), 1);
  EXPECT_EQ(SoundCurrentDevice(), nullptr);
  EXPECT_EQ(Win32VirtualAudioOpenLog().size(), 0u);
}

TEST_F(SoundInterface, DetectionTakesTheFirstPresentDeviceInTableOrder) {
  ASSERT_EQ(SoundInit(), 1);
  EXPECT_EQ(SoundCurrentDevice(), &WinWaveDevice);  // DirectSound is off by default
  SoundClose();

  Win32UseVirtualAudio(true, 0);  // no card: the no-sound device
  ASSERT_EQ(SoundInit(), 1);
  EXPECT_EQ(SoundCurrentDevice(), &NoSoundDevice);
  SoundClose();

  int window = 0;
  Win32UseVirtualAudio(true, 1);
  SoundSetOption(soundOptDSoundMode, 1);
  SoundSetOption(soundOptDSoundHwnd, reinterpret_cast<std::intptr_t>(&window));
  ASSERT_EQ(SoundInit(), 1);
  EXPECT_EQ(SoundCurrentDevice(), &DirectSoundDevice);
  SoundClose();

  SoundSetOption(soundOptDSoundHwnd, 0);  // asked for DirectSound without a window
  EXPECT_EQ(SoundInit(), 0);
  EXPECT_EQ(SoundLastError(), errNoDSoundWindow);
  EXPECT_EQ(SoundCurrentDevice(), nullptr);
}

TEST_F(SoundInterface, DetectDeviceAnswersWithoutStartingAnything) {
  EXPECT_EQ(SoundDetectDevice(), 1);
  EXPECT_EQ(SoundCurrentDevice(), &WinWaveDevice);
  EXPECT_EQ(Win32VirtualAudioOpenCount(), 0u);
  SoundSetOption(soundOptDSoundMode, 1);  // DirectSound asked for, but no window
  EXPECT_EQ(SoundDetectDevice(), 0);
  EXPECT_EQ(SoundLastError(), errNoDSoundWindow);
}

TEST_F(SoundInterface, ForcedNoSoundWinsOverAPresentCard) {
  SoundSetOption(soundOptForceNoSound, 1);
  ASSERT_EQ(SoundInit(), 1);
  EXPECT_EQ(SoundCurrentDevice(), &NoSoundDevice);
  EXPECT_EQ(Win32VirtualAudioOpenLog().size(), 0u);
  EXPECT_EQ(SoundInit(), 0);  // already running
  EXPECT_EQ(SoundLastError(), errDeviceBusy);
}

TEST_F(SoundInterface, ChosenDeviceIsStillAskedAndOverridesReachItsRecord) {
  SoundSetDevice(soundDeviceWinWave);
  Win32UseVirtualAudio(true, 0);
  // Detection is asked (its "absent" ignored), so Init runs and fails on the missing card.
  EXPECT_EQ(SoundInit(), 0);
  EXPECT_EQ(SoundLastError(), errDeviceNotAvailable);
  EXPECT_EQ(SoundClose(), 1);

  SoundSetDevice(soundDeviceNoSound);
  SoundSetHardwareOverride(1, 0x220);
  SoundSetHardwareOverride(3, 1);
  ASSERT_EQ(SoundInit(), 1);
  EXPECT_EQ(NoSoundDevice.hwResource[1], 0x220);
  EXPECT_EQ(NoSoundDevice.hwResource[0], 0);
  EXPECT_EQ(SoundSetHardwareOverride(4, 1), 0);
  NoSoundDevice.hwResource[1] = 0;
}

TEST_F(SoundInterface, CloseAfterAFailedInitLeavesNothingOpen) {
  Win32VirtualAudioSetAcceptor([](const WAVEFORMATEX&, bool) -> MMRESULT { return WAVERR_BADFORMAT; });
  EXPECT_EQ(SoundInit(), 0);
  EXPECT_EQ(SoundLastError(), errBadMode);
  EXPECT_EQ(SoundClose(), 1);
  EXPECT_EQ(SoundCurrentDevice(), nullptr);
  // The library can start again afterwards.
  Win32VirtualAudioSetAcceptor(nullptr);
  EXPECT_EQ(SoundInit(), 1);
}

TEST_F(SoundInterface, OperationsBeforeInitFailCleanly) {
  EXPECT_EQ(SoundOpenChannels(4), 0);
  EXPECT_EQ(SoundLastError(), errInvalidDevice);
  EXPECT_EQ(SoundAllocEffectChannel(), 0xFFFFu);
  EXPECT_EQ(SoundLastError(), errNoChannels);
  EXPECT_EQ(SoundLoadModule(songPath_.c_str()), nullptr);
  EXPECT_EQ(SoundSuspend(), 0);
  EXPECT_EQ(SoundPoll(), 1);  // takes and releases the lock, nothing more
  EXPECT_EQ(SoundStopModule(3), 0);
  EXPECT_EQ(SoundLastError(), errNoModulePlaying);
  EXPECT_EQ(SoundStopModule(0), 0);
  EXPECT_EQ(SoundStopModule(17), 0);
  EXPECT_EQ(SoundLastError(), errInvalidArguments);
}

TEST_F(SoundInterface, EffectChannelsAndAmplification) {
  SoundSetDevice(soundDeviceNoSound);
  ASSERT_EQ(SoundInit(), 1);
  EXPECT_EQ(SoundFreeEffectChannel(0), 0);
  EXPECT_EQ(SoundLastError(), errNoChannels);
  ASSERT_EQ(SoundOpenChannels(8), 1);
  unsigned amplification = 0;
  NoSoundDevice.GetAmplification(&amplification);
  EXPECT_EQ(amplification, 14u * 8);
  EXPECT_EQ(SoundSetAmplification(50), 1);
  NoSoundDevice.GetAmplification(&amplification);
  EXPECT_EQ(amplification, 14u * 8 / 2);
  for (unsigned i = 0; i < 8; ++i) EXPECT_EQ(SoundAllocEffectChannel(), i);
  EXPECT_EQ(SoundAllocEffectChannel(), 0xFFFFu);
  EXPECT_EQ(SoundLastError(), errOutOfChannels);
  EXPECT_EQ(SoundFreeEffectChannel(5), 1);
  EXPECT_EQ(SoundAllocEffectChannel(), 5u);
  EXPECT_EQ(SoundFreeEffectChannel(8), 0);
  EXPECT_EQ(SoundCloseChannels(), 1);
  // The percentage is applied again when channels are opened next.
  ASSERT_EQ(SoundOpenChannels(2), 1);
  NoSoundDevice.GetAmplification(&amplification);
  EXPECT_EQ(amplification, 32u);
}

TEST_F(SoundInterface, AmplificationIsScaledWideAndHeldToTheLargestValue) {
  SoundSetDevice(soundDeviceNoSound);
  ASSERT_EQ(SoundInit(), 1);
  ASSERT_EQ(SoundOpenChannels(8), 1);  // default amplification 112
  unsigned amplification = 0;
  // 38347923 × 112 passes 2^32 by 80: in 32 bits the result would be 0.
  EXPECT_EQ(SoundSetAmplification(38347923u), 1);
  NoSoundDevice.GetAmplification(&amplification);
  EXPECT_EQ(amplification, 42949673u);
  EXPECT_EQ(SoundSetAmplification(0xFFFFFFFFu), 1);
  NoSoundDevice.GetAmplification(&amplification);
  EXPECT_EQ(amplification, 0xFFFFFFFFu);
  // The same when the percentage is applied as channels open.
  EXPECT_EQ(SoundCloseChannels(), 1);
  EXPECT_EQ(SoundSetAmplification(38347923u), 1);
  ASSERT_EQ(SoundOpenChannels(8), 1);
  NoSoundDevice.GetAmplification(&amplification);
  EXPECT_EQ(amplification, 42949673u);
}

// Each allocation a play makes fails in turn: the play fails with "out of memory"
// and leaves no channels open and no block behind, so a later play or channel
// request works.
TEST_F(SoundInterface, AFailedAllocationInAPlayLeavesNothingOpen) {
  SoundSetDevice(soundDeviceNoSound);
  ASSERT_EQ(SoundInit(), 1);
  Module* module = SoundLoadModule(songPath_.c_str());
  ASSERT_NE(module, nullptr);
  const std::size_t blocks = memBlocksInUse();
  int failures = 0;
  for (int n = 1; n < 100; ++n) {
    SCOPED_TRACE(n);
    memFailAllocation(n);
    unsigned handle = SoundPlayModule(module, 0);
    memFailAllocation(0);
    if (handle != 0) {
      EXPECT_EQ(SoundStopModule(handle), 1);
      break;
    }
    ++failures;
    EXPECT_EQ(SoundLastError(), errOutOfMemory);
    EXPECT_EQ(memBlocksInUse(), blocks);
    ASSERT_EQ(SoundOpenChannels(2), 1);
    EXPECT_EQ(SoundCloseChannels(), 1);
  }
  EXPECT_GE(failures, 3);  // the channel table, the play record and the player's own
  EXPECT_EQ(memBlocksInUse(), blocks);
  EXPECT_EQ(SoundFreeModule(module), 1);
}

TEST_F(SoundInterface, ModuleKindIsChosenByHeaderWithXmFirst) {
  SoundSetDevice(soundDeviceNoSound);
  ASSERT_EQ(SoundInit(), 1);
  Module* module = SoundLoadModule(songPath_.c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module->kind, 2u);
  EXPECT_EQ(module->numChannels, 2);
  EXPECT_EQ(SoundFreeModule(module), 1);

  // The same file with an XM signature in front goes to the XM reader, which
  // refuses it; the S3M reader would have taken it.
  std::vector<std::uint8_t> bytes = SmallSong(2);
  std::memcpy(bytes.data(), "Extended Module:", 16);
  WriteBytes(songPath_, bytes);
  EXPECT_EQ(SoundLoadModule(songPath_.c_str()), nullptr);
  int xmError = SoundLastError();
  EXPECT_NE(xmError, errOK);
  // "IMPM" in front of an S3M: the S3M test comes before the IT one.
  std::memcpy(bytes.data(), "IMPMxxxxxxxxxxxx", 16);
  WriteBytes(songPath_, bytes);
  module = SoundLoadModule(songPath_.c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module->kind, 2u);
  EXPECT_EQ(SoundFreeModule(module), 1);
  std::memcpy(bytes.data() + 44, "XXXX", 4);
  WriteBytes(songPath_, bytes);
  EXPECT_EQ(SoundLoadModule(songPath_.c_str()), nullptr);  // the IT reader's refusal
  EXPECT_NE(SoundLastError(), errOK);
}

TEST_F(SoundInterface, ShortAndMissingFilesFailBeforeAnyReader) {
  SoundSetDevice(soundDeviceNoSound);
  ASSERT_EQ(SoundInit(), 1);
  WriteBytes(songPath_, std::vector<std::uint8_t>(47, 'S'));
  EXPECT_EQ(SoundLoadModule(songPath_.c_str()), nullptr);
  EXPECT_EQ(SoundLastError(), errEndOfFile);
  EXPECT_EQ(SoundLoadModule((songPath_ + ".absent").c_str()), nullptr);
  EXPECT_EQ(SoundLastError(), errFileNotFound);
  EXPECT_EQ(SoundLoadModule(nullptr), nullptr);
  EXPECT_EQ(SoundLastError(), errInvalidArguments);
  // 48 bytes of nothing in particular go to the MOD reader, which refuses them.
  WriteBytes(songPath_, std::vector<std::uint8_t>(48, 0));
  EXPECT_EQ(SoundLoadModule(songPath_.c_str()), nullptr);
  EXPECT_NE(SoundLastError(), errOK);
}

TEST_F(SoundInterface, SixteenSlotsThenTheSeventeenthPlayFails) {
  SoundSetDevice(soundDeviceNoSound);
  ASSERT_EQ(SoundInit(), 1);
  Module* module = SoundLoadModule(songPath_.c_str());
  ASSERT_NE(module, nullptr);
  ASSERT_EQ(SoundOpenChannels(2 * 17), 1);
  std::vector<unsigned> handles;
  for (int i = 0; i < 16; ++i) {
    unsigned handle = SoundPlayModule(module, 0);
    ASSERT_EQ(handle, static_cast<unsigned>(i + 1));
    handles.push_back(handle);
  }
  EXPECT_EQ(SoundPlayModule(module, 0), 0u);
  EXPECT_EQ(SoundLastError(), errOutOfResources);
  // The 17th asked for no channels: the last two are still free.
  EXPECT_EQ(SoundAllocEffectChannel(), 32u);
  EXPECT_EQ(SoundStopModule(handles[3]), 1);
  EXPECT_EQ(SoundPlayModule(module, 0), 4u);  // the first empty slot again
  EXPECT_EQ(SoundFreeModule(module), 1);      // stops every slot playing it first
  EXPECT_EQ(SoundStopModule(1), 0);
  EXPECT_EQ(SoundLastError(), errNoModulePlaying);
}

TEST_F(SoundInterface, ChannelsOpenedForAModuleCloseWithIt) {
  SoundSetDevice(soundDeviceNoSound);
  ASSERT_EQ(SoundInit(), 1);
  Module* module = SoundLoadModule(songPath_.c_str());
  ASSERT_NE(module, nullptr);
  unsigned handle = SoundPlayModule(module, 0);
  ASSERT_EQ(handle, 1u);
  EXPECT_EQ(SoundAllocEffectChannel(), 0xFFFFu);  // exactly the song's two channels
  EXPECT_EQ(SoundLastError(), errOutOfChannels);
  EXPECT_EQ(SoundStopModule(handle), 1);
  EXPECT_EQ(SoundAllocEffectChannel(), 0xFFFFu);
  EXPECT_EQ(SoundLastError(), errNoChannels);  // closed again
  EXPECT_EQ(SoundFreeModule(module), 1);
}

TEST_F(SoundInterface, TheSongAdvancesInRealTimeOnTheNoSoundDevice) {
  fakeNow = 50000;
  Win32SetTickSource(FakeTicks);
  SoundSetDevice(soundDeviceNoSound);
  ASSERT_EQ(SoundInit(), 1);
  Module* module = SoundLoadModule(songPath_.c_str());
  ASSERT_NE(module, nullptr);
  unsigned handle = SoundPlayModule(module, 0);
  ASSERT_NE(handle, 0u);
  SoundPlayInfo info{};
  // Tempo 125, speed 6: 50 ticks a second, a row every 120 ms.
  for (int i = 0; i < 60; ++i) {
    fakeNow += 20;
    SoundPoll();
  }
  ASSERT_EQ(SoundGetPlayInfo(handle, &info), 1);
  EXPECT_EQ(info.position, 0u);
  EXPECT_EQ(info.row, 10u);  // 1.2 s
  EXPECT_EQ(info.tempo, 125u);
  EXPECT_EQ(info.speed, 6u);
  SoundSuspend();
  fakeNow += 1000;
  SoundPoll();
  SoundGetPlayInfo(handle, &info);
  EXPECT_EQ(info.row, 10u);  // suspended: the song waits
  SoundResume();
  EXPECT_EQ(SoundStopModule(handle), 1);
  EXPECT_EQ(SoundGetPlayInfo(handle, &info), 0);
  EXPECT_EQ(SoundFreeModule(module), 1);
}

TEST_F(SoundInterface, CloseStopsWhatIsStillPlaying) {
  ASSERT_EQ(SoundInit(), 1);  // the wave device
  Module* module = SoundLoadModule(songPath_.c_str());
  ASSERT_NE(module, nullptr);
  ASSERT_NE(SoundPlayModule(module, 1), 0u);
  SoundPoll();
  EXPECT_EQ(SoundClose(), 1);  // stops the slot, closes player, channels and device
  EXPECT_EQ(SoundCurrentDevice(), nullptr);
  EXPECT_EQ(Win32VirtualAudioOpenCount(), 0u);
  SoundPoll();  // after close: nothing happens
  // The samples went with the device; the module's records are still ours to free.
  EXPECT_EQ(ModuleFree(module, nullptr), 0);
}

}  // namespace
