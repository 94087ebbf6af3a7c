// The three output devices on the virtual audio device: the wave block ring and
// format negotiation, the no-sound clock, and the DirectSound buffer modes.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/win32/win32.h"
#include "platform/win32/win32_dsound.h"
#include "platform/win32/win32_window.h"
#include "sound/dsmnsnd.h"
#include "sound/dsound.h"
#include "sound/errors.h"
#include "sound/sound.h"
#include "sound/winwave.h"

namespace {

// Runs one poll pass by hand: StartPlay, then Play until it stops asking for the
// player. Returns the number of player ticks asked for.
int PollPass(SoundDevice& device) {
  EXPECT_EQ(device.StartPlay(), errOK);
  int ticks = 0;
  int callPlayer = 0;
  do {
    callPlayer = 0;
    EXPECT_EQ(device.Play(&callPlayer), errOK);
    ticks += callPlayer;
  } while (callPlayer != 0 && ticks < 100000);
  return ticks;
}

class OutputDevice : public ::testing::Test {
protected:
  void SetUp() override {
    SoundStartup();
    Win32UseVirtualAudio(true, 1);
    baseline_ = Win32LiveGlobalBlocks();
  }
  void TearDown() override {
    if (open_ != nullptr) {
      EXPECT_EQ(open_->Close(), errOK);
    }
    EXPECT_EQ(Win32VirtualAudioOpenCount(), 0u);
    EXPECT_EQ(Win32LiveGlobalBlocks(), baseline_);
    Win32UseVirtualAudio(false);
    Win32ResetDirectSound();
    Win32SetLibraryMissing("dsound.dll", false);
    Win32SetTickSource(nullptr);
    Win32FailGlobalAlloc(0);
    Win32FailGlobalLock(0);
  }
  int Init(SoundDevice& device, unsigned rate, unsigned mode) {
    int error = device.Init(rate, mode);
    if (error == errOK) open_ = &device;
    return error;
  }
  WinWaveRingInfo Ring() {
    WinWaveRingInfo info{};
    EXPECT_EQ(WinWaveGetRingInfo(&info), errOK);
    return info;
  }
  SoundDevice* open_ = nullptr;
  long baseline_ = 0;
};

using WaveOutputDevice = OutputDevice;

TEST_F(WaveOutputDevice, DefaultRingIs33BlocksOf2672Bytes) {
  ASSERT_EQ(Init(WinWaveDevice, 44100, 0), errOK);
  WinWaveRingInfo ring = Ring();
  EXPECT_EQ(ring.format, 10u);
  EXPECT_EQ(ring.bytesPerSample, 4u);
  EXPECT_EQ(ring.blockCount, 33u);
  EXPECT_EQ(ring.blockSize, 2672u);
  EXPECT_EQ(ring.samplesPerTick, 882u);
  unsigned mode = 0;
  WinWaveDevice.GetMode(&mode);
  EXPECT_EQ(mode, 10u);
  auto log = Win32VirtualAudioOpenLog();
  ASSERT_FALSE(log.empty());
  EXPECT_FALSE(log.back().query);
  EXPECT_EQ(log.back().format.nChannels, 2);
  EXPECT_EQ(log.back().format.wBitsPerSample, 16);
  EXPECT_EQ(log.back().format.nSamplesPerSec, 44100u);
  EXPECT_EQ(log.back().format.nAvgBytesPerSec, 44100u * 4);
}

TEST_F(WaveOutputDevice, RingSizesFollowTheBufferLength) {
  struct Case {
    int lengthMs;
    unsigned rate;
    unsigned blocks;
    unsigned blockSize;
  };
  for (Case c : {Case{1000, 44100, 64, 2768},  // capped at 64 blocks, not 66
                 // Too short for the 20 ms poll: raised to 40 ms in two blocks.
                 Case{15, 44100, 2, 3536}, Case{10, 44100, 2, 3536}, Case{39, 44100, 2, 3536},
                 Case{40, 44100, 2, 3536}, Case{45, 44100, 3, 2656},
                 Case{500, 22050, 33, 1344}}) {
    SCOPED_TRACE(c.lengthMs);
    SoundSetOption(soundOptBufferLength, c.lengthMs);
    ASSERT_EQ(Init(WinWaveDevice, c.rate, 0), errOK);
    WinWaveRingInfo ring = Ring();
    EXPECT_EQ(ring.blockCount, c.blocks);
    EXPECT_EQ(ring.blockSize, c.blockSize);
    EXPECT_EQ(ring.blockSize % 16, 0u);
    EXPECT_EQ(WinWaveDevice.Close(), errOK);
    open_ = nullptr;
  }
}

// Polled every 20 ms, as the player thread does, a ring of any requested length
// keeps the card fed: no frame is played as silence once the first pass has run.
TEST_F(WaveOutputDevice, ShortBuffersNeverRunDryBetweenPolls) {
  for (int lengthMs : {5, 10, 15, 20, 30, 35, 40, 100}) {
    SCOPED_TRACE(lengthMs);
    SoundSetOption(soundOptBufferLength, lengthMs);
    ASSERT_EQ(Init(WinWaveDevice, 44100, 0), errOK);
    PollPass(WinWaveDevice);
    const std::size_t before = Win32WaveStarvedFrames();
    for (int poll = 0; poll < 100; ++poll) {
      Win32VirtualAudioRun(882);  // 20 ms at 44100 Hz
      PollPass(WinWaveDevice);
    }
    EXPECT_EQ(Win32WaveStarvedFrames() - before, 0u);
    EXPECT_EQ(WinWaveDevice.Close(), errOK);
    open_ = nullptr;
  }
}

TEST_F(WaveOutputDevice, SamplesPerTickFollowRateAndTempo) {
  ASSERT_EQ(Init(WinWaveDevice, 22050, 0), errOK);
  EXPECT_EQ(Ring().samplesPerTick, 442u);
  WinWaveDevice.SetUpdRate(150 * 40);  // tempo 150
  EXPECT_EQ(Ring().samplesPerTick, 368u);
}

TEST_F(WaveOutputDevice, OutputModesMapToFourFormats) {
  for (auto [mode, format, bytes, channels, bits] :
       {std::tuple{5u, 5u, 1u, 1, 8}, std::tuple{4u, 6u, 2u, 2, 8}, std::tuple{1u, 9u, 2u, 1, 16},
        std::tuple{9u, 9u, 2u, 1, 16}, std::tuple{10u, 10u, 4u, 2, 16}}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(Init(WinWaveDevice, 44100, mode), errOK);
    EXPECT_EQ(Ring().format, format);
    EXPECT_EQ(Ring().bytesPerSample, bytes);
    auto log = Win32VirtualAudioOpenLog();
    EXPECT_EQ(log.back().format.nChannels, channels);
    EXPECT_EQ(log.back().format.wBitsPerSample, bits);
    WinWaveDevice.Close();
    open_ = nullptr;
  }
}

TEST_F(WaveOutputDevice, RefusedRequestIsRetriedAt44100FirstEvenWhenThatIsHigher) {
  Win32VirtualAudioSetAcceptor([](const WAVEFORMATEX& f, bool) -> MMRESULT {
    return f.nSamplesPerSec == 22050 ? WAVERR_BADFORMAT : MMSYSERR_NOERROR;
  });
  ASSERT_EQ(Init(WinWaveDevice, 22050, 0), errOK);
  EXPECT_EQ(Ring().mixRate, 44100u);
  EXPECT_EQ(Ring().format, 10u);
}

TEST_F(WaveOutputDevice, NegotiationWalksFormatsTowardsMono8BitAndRatesDownwards) {
  Win32VirtualAudioSetAcceptor([](const WAVEFORMATEX& f, bool) -> MMRESULT {
    return f.nChannels == 1 && f.wBitsPerSample == 16 && f.nSamplesPerSec == 11025 ? MMSYSERR_NOERROR
                                                                                     : WAVERR_BADFORMAT;
  });
  ASSERT_EQ(Init(WinWaveDevice, 44100, 0), errOK);
  std::vector<std::pair<int, DWORD>> asked;  // (channels * 100 + bits, rate)
  for (const auto& open : Win32VirtualAudioOpenLog()) {
    if (open.query) asked.emplace_back(open.format.nChannels * 100 + open.format.wBitsPerSample, open.format.nSamplesPerSec);
  }
  std::vector<std::pair<int, DWORD>> expected = {{216, 44100}};
  for (DWORD rate : {44100u, 37800u, 32000u, 22050u, 16000u, 11025u, 8000u}) expected.emplace_back(216, rate);
  for (DWORD rate : {44100u, 37800u, 32000u, 22050u, 16000u, 11025u}) expected.emplace_back(116, rate);
  EXPECT_EQ(asked, expected);
  EXPECT_EQ(Ring().format, 9u);
  EXPECT_EQ(Ring().mixRate, 11025u);
}

TEST_F(WaveOutputDevice, An8BitRequestNeverClimbsTo16BitAndFailsWithBadMode) {
  Win32VirtualAudioSetAcceptor([](const WAVEFORMATEX& f, bool) -> MMRESULT {
    return f.wBitsPerSample == 16 ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
  });
  EXPECT_EQ(Init(WinWaveDevice, 44100, sd8bit | sdStereo), errBadMode);
  for (const auto& open : Win32VirtualAudioOpenLog()) EXPECT_EQ(open.format.wBitsPerSample, 8);
}

TEST_F(WaveOutputDevice, OnlyBadFormatCountsAsRefusalAndOpenErrorsAreMapped) {
  Win32VirtualAudioSetAcceptor([](const WAVEFORMATEX&, bool query) -> MMRESULT {
    return query ? MMSYSERR_NOTSUPPORTED : MMSYSERR_ALLOCATED;
  });
  EXPECT_EQ(Init(WinWaveDevice, 44100, 0), errDeviceBusy);
  EXPECT_EQ(Win32VirtualAudioOpenLog().size(), 2u);  // one query, then the open
}

TEST_F(WaveOutputDevice, MemoryFailuresLeaveNothingBehind) {
  Win32FailGlobalAlloc(7);
  EXPECT_EQ(Init(WinWaveDevice, 44100, 0), errOutOfMemory);
  EXPECT_EQ(Win32LiveGlobalBlocks(), baseline_);
  EXPECT_EQ(Win32VirtualAudioOpenCount(), 0u);
  Win32FailGlobalAlloc(0);
  Win32FailGlobalLock(4);
  EXPECT_EQ(Init(WinWaveDevice, 44100, 0), errUnableToLock);
  EXPECT_EQ(Win32LiveGlobalBlocks(), baseline_);
}

TEST_F(WaveOutputDevice, APassFillsTheWholeRingInWholeBlocksThenWaitsForTheCard) {
  ASSERT_EQ(Init(WinWaveDevice, 44100, 0), errOK);
  // 33 blocks of 668 samples = 22044 samples: 24 whole ticks of 882, and 876 of the 25th.
  EXPECT_EQ(PollPass(WinWaveDevice), 24);
  EXPECT_EQ(Ring().blocksQueued, 33u);
  EXPECT_EQ(PollPass(WinWaveDevice), 0);  // nothing came back yet
  EXPECT_EQ(Ring().blocksQueued, 0u);
  // The card plays one block: one more is mixed, finishing tick 25 on the way.
  Win32VirtualAudioRun(668);
  EXPECT_EQ(PollPass(WinWaveDevice), 1);
  EXPECT_EQ(Ring().blocksQueued, 1u);
  // Half a block played gives nothing back: blocks are reused whole.
  Win32VirtualAudioRun(334);
  EXPECT_EQ(PollPass(WinWaveDevice), 0);
  EXPECT_EQ(Ring().blocksQueued, 0u);
}

TEST_F(WaveOutputDevice, SuspendReleasesTheOutputAndResumeTakesItBack) {
  ASSERT_EQ(Init(WinWaveDevice, 44100, 0), errOK);
  PollPass(WinWaveDevice);
  EXPECT_EQ(WinWaveDevice.Suspend(), errOK);
  EXPECT_EQ(Win32VirtualAudioOpenCount(), 0u);
  int callPlayer = 1;
  EXPECT_EQ(WinWaveDevice.Play(&callPlayer), errOK);
  EXPECT_EQ(callPlayer, 0);
  EXPECT_EQ(WinWaveDevice.Resume(), errOK);
  EXPECT_EQ(Win32VirtualAudioOpenCount(), 1u);
  // A fresh ring of 33 blocks; the tick under way (6 samples left) carries on.
  EXPECT_EQ(PollPass(WinWaveDevice), 25);
  EXPECT_EQ(Ring().blocksQueued, 33u);
}

TEST_F(WaveOutputDevice, SystemResultsMapToSoundErrors) {
  EXPECT_EQ(WinWaveTranslateError(MMSYSERR_NOERROR), errOK);
  for (MMRESULT r : {MMSYSERR_BADDEVICEID, MMSYSERR_NOTENABLED, MMSYSERR_INVALHANDLE, WAVERR_SYNC}) {
    EXPECT_EQ(WinWaveTranslateError(r), errInvalidDevice);
  }
  for (MMRESULT r : {MMSYSERR_ALLOCATED, MMSYSERR_HANDLEBUSY, WAVERR_STILLPLAYING}) {
    EXPECT_EQ(WinWaveTranslateError(r), errDeviceBusy);
  }
  EXPECT_EQ(WinWaveTranslateError(MMSYSERR_NODRIVER), errDeviceNotAvailable);
  EXPECT_EQ(WinWaveTranslateError(MMSYSERR_NOMEM), errOutOfMemory);
  EXPECT_EQ(WinWaveTranslateError(MMSYSERR_NOTSUPPORTED), errUnsupported);
  for (MMRESULT r : {MMSYSERR_INVALFLAG, MMSYSERR_INVALPARAM, WAVERR_UNPREPARED}) {
    EXPECT_EQ(WinWaveTranslateError(r), errInvalidArguments);
  }
  EXPECT_EQ(WinWaveTranslateError(WAVERR_BADFORMAT), errBadMode);
  EXPECT_EQ(WinWaveTranslateError(MMSYSERR_ERROR), errUndefined);
  EXPECT_EQ(WinWaveTranslateError(999), errUndefined);
}

// ---- No sound ----

DWORD fakeNow = 0;
DWORD FakeTicks() { return fakeNow; }

using NoSoundOutput = OutputDevice;

TEST_F(NoSoundOutput, AFiveSecondStallAdvancesTheSongByTwoSecondsOnly) {
  fakeNow = 1000;
  Win32SetTickSource(FakeTicks);
  ASSERT_EQ(Init(NoSoundDevice, 44100, 0), errOK);
  unsigned mode = 0;
  NoSoundDevice.GetMode(&mode);
  EXPECT_EQ(mode, 9u);
  unsigned rate = 0;
  NoSoundDevice.GetMixRate(&rate);
  EXPECT_EQ(rate, 4000u);
  fakeNow += 5000;
  EXPECT_EQ(PollPass(NoSoundDevice), 100);  // 8000 samples of 80
  fakeNow += 1000;
  EXPECT_EQ(PollPass(NoSoundDevice), 50);
}

TEST_F(NoSoundOutput, ClosePollsKeepTheirTimeForALaterPoll) {
  fakeNow = 0;
  Win32SetTickSource(FakeTicks);
  ASSERT_EQ(Init(NoSoundDevice, 44100, 0), errOK);
  int ticks = 0;
  // 40 polls 5 ms apart: 200 ms, 800 samples, 10 ticks.
  for (int i = 0; i < 40; ++i) {
    fakeNow += 5;
    ticks += PollPass(NoSoundDevice);
  }
  fakeNow += 5;  // the last 5 ms are counted at the next poll 10 ms or more on
  ticks += PollPass(NoSoundDevice);
  EXPECT_EQ(ticks, 10);
}

TEST_F(NoSoundOutput, TempoAndPauseShapeTheTicks) {
  fakeNow = 0;
  Win32SetTickSource(FakeTicks);
  ASSERT_EQ(Init(NoSoundDevice, 44100, 0), errOK);
  NoSoundDevice.SetUpdRate(6000);  // 400000 / 6000 = 66
  fakeNow += 33;                   // 132 samples: two ticks of 66
  EXPECT_EQ(PollPass(NoSoundDevice), 2);
  NoSoundDevice.Suspend();
  fakeNow += 1000;
  EXPECT_EQ(PollPass(NoSoundDevice), 0);
  NoSoundDevice.Resume();
  fakeNow += 1000;
  EXPECT_EQ(PollPass(NoSoundDevice), 60);
  EXPECT_EQ(Win32VirtualAudioOpenLog().size(), 0u);  // never touches the card
}

// ---- DirectSound ----

class DirectSoundOutput : public OutputDevice {
protected:
  void SetUp() override {
    OutputDevice::SetUp();
    SoundSetOption(soundOptDSoundMode, 1);
    SoundSetOption(soundOptDSoundHwnd, reinterpret_cast<std::intptr_t>(&window_));
  }
  DirectSoundRingInfo Ring() {
    DirectSoundRingInfo info{};
    EXPECT_EQ(DirectSoundGetRingInfo(&info), errOK);
    return info;
  }
  int Detect() {
    present_ = -1;
    return DirectSoundDevice.Detect(&present_);
  }
  int window_ = 0;
  int present_ = -1;
};

TEST_F(DirectSoundOutput, DetectionFollowsTheOptionsAndTheDriver) {
  EXPECT_EQ(Detect(), errOK);
  EXPECT_EQ(present_, 1);
  SoundSetNeverUseDirectSound(1);
  EXPECT_EQ(Detect(), errOK);
  EXPECT_EQ(present_, 0);
  SoundSetOption(soundOptDSoundMode, 3);  // forced: present without asking
  EXPECT_EQ(Detect(), errOK);
  EXPECT_EQ(present_, 1);
  SoundSetNeverUseDirectSound(0);
  SoundSetOption(soundOptDSoundMode, 1);

  Win32DirectSoundBehaviour emulated;
  emulated.emulated = true;
  Win32SetDirectSoundBehaviour(emulated);
  EXPECT_EQ(Detect(), errOK);
  EXPECT_EQ(present_, 0);
  Win32DirectSoundBehaviour failing;
  failing.createFails = true;
  Win32SetDirectSoundBehaviour(failing);
  EXPECT_EQ(Detect(), errOK);
  EXPECT_EQ(present_, 0);
  Win32ResetDirectSound();
  Win32SetLibraryMissing("dsound.dll", true);
  EXPECT_EQ(Detect(), errOK);
  EXPECT_EQ(present_, 0);

  SoundSetOption(soundOptDSoundHwnd, 0);
  EXPECT_EQ(Detect(), errNoDSoundWindow);
  EXPECT_EQ(present_, 0);
  SoundSetOption(soundOptDSoundMode, 0);
  EXPECT_EQ(Detect(), errOK);  // never used: no question about the window
  EXPECT_EQ(present_, 0);
  EXPECT_EQ(Win32LiveDirectSoundObjects(), 0);
}

TEST_F(DirectSoundOutput, SecondaryBufferHoldsTheDirectSoundLength) {
  ASSERT_EQ(Init(DirectSoundDevice, 44100, 0), errOK);
  DirectSoundRingInfo ring = Ring();
  EXPECT_EQ(ring.primary, 0);
  EXPECT_EQ(ring.bufferBytes, 17648u);  // 4 × 44100 × 100 / 1000 = 17640, rounded up to 16
  EXPECT_EQ(ring.safetyGap, 16u);
  EXPECT_EQ(ring.samplesPerTick, 882u);
}

TEST_F(DirectSoundOutput, AnEmulatedDriverUsesTheWaveBufferLength) {
  Win32DirectSoundBehaviour emulated;
  emulated.emulated = true;
  Win32SetDirectSoundBehaviour(emulated);
  ASSERT_EQ(Init(DirectSoundDevice, 22050, sdMono | sd16bit), errOK);
  EXPECT_EQ(Ring().bufferBytes, 22064u);  // 2 × 22050 × 500 / 1000 = 22050, rounded up
}

TEST_F(DirectSoundOutput, WritePrimaryModeKeepsThePrimaryBufferBeyondTheWantedLengthFree) {
  SoundSetOption(soundOptDSoundMode, 2);
  ASSERT_EQ(Init(DirectSoundDevice, 44100, 0), errOK);
  EXPECT_EQ(Ring().primary, 1);
  EXPECT_EQ(Ring().bufferBytes, 65536u);
  EXPECT_EQ(Ring().safetyGap, 65536u - 17648u);
  DirectSoundDevice.Close();
  open_ = nullptr;

  Win32DirectSoundBehaviour small;
  small.primaryBufferBytes = 8192;  // shorter than wanted: the smallest gap
  Win32SetDirectSoundBehaviour(small);
  ASSERT_EQ(Init(DirectSoundDevice, 44100, 0), errOK);
  EXPECT_EQ(Ring().safetyGap, 16u);
  DirectSoundDevice.Close();
  open_ = nullptr;

  Win32DirectSoundBehaviour refused;
  refused.writePrimaryGranted = false;
  Win32SetDirectSoundBehaviour(refused);
  ASSERT_EQ(Init(DirectSoundDevice, 44100, 0), errOK);
  EXPECT_EQ(Ring().primary, 0);
}

TEST_F(DirectSoundOutput, WritePrimaryModePlaysTheMixingFormat) {
  SoundSetOption(soundOptDSoundMode, 2);
  Win32DirectSoundBehaviour small;
  small.primaryBufferBytes = 4096;  // shorter than wanted: the smallest gap
  Win32SetDirectSoundBehaviour(small);
  for (unsigned mode : {0u, unsigned(sdMono | sd8bit)}) {
    ASSERT_EQ(Init(DirectSoundDevice, 44100, mode), errOK);
    const unsigned channels = mode == 0 ? 2 : 1;
    const unsigned bits = mode == 0 ? 16 : 8;
    ASSERT_FALSE(Win32VirtualAudioOpenLog().empty());
    const WAVEFORMATEX played = Win32VirtualAudioOpenLog().back().format;
    EXPECT_EQ(played.nSamplesPerSec, 44100u);
    EXPECT_EQ(played.nChannels, channels);
    EXPECT_EQ(played.wBitsPerSample, bits);
    // The ring counts in the bytes the buffer plays.
    EXPECT_EQ(Ring().bytesPerSample, played.nBlockAlign);
    Win32VirtualAudioRun(1000);
    PollPass(DirectSoundDevice);
    EXPECT_EQ(Ring().writePosition, (1000u - 16u / played.nBlockAlign) * played.nBlockAlign);
    DirectSoundDevice.Close();
    open_ = nullptr;
  }
}

TEST_F(DirectSoundOutput, PlayMixesUpToThePlayCursorLessTheGap) {
  ASSERT_EQ(Init(DirectSoundDevice, 44100, 0), errOK);
  EXPECT_EQ(PollPass(DirectSoundDevice), 0);  // nothing played yet, nothing free
  Win32VirtualAudioRun(1000);                  // play cursor at 4000 bytes
  EXPECT_EQ(PollPass(DirectSoundDevice), 1);   // 996 samples: one tick of 882
  EXPECT_EQ(Ring().writePosition, 3984u);
  Win32VirtualAudioRun(4000);  // wraps past the end of the 17648-byte buffer
  PollPass(DirectSoundDevice);
  EXPECT_EQ(Ring().writePosition, (4000u + 16000u - 16u) % 17648u);
}

TEST_F(DirectSoundOutput, ALostBufferIsRestoredOrSkippedWithoutError) {
  ASSERT_EQ(Init(DirectSoundDevice, 44100, 0), errOK);
  Win32VirtualAudioRun(1000);
  Win32LoseDirectSoundBuffers();
  EXPECT_EQ(DirectSoundDevice.StartPlay(), errOK);
  int callPlayer = 0;
  EXPECT_EQ(DirectSoundDevice.Play(&callPlayer), errOK);
  EXPECT_EQ(callPlayer, 1);  // restored, mixed on
  Win32VirtualAudioRun(1000);
  Win32DirectSoundBehaviour stuck;
  stuck.restoreFails = true;
  Win32SetDirectSoundBehaviour(stuck);
  Win32LoseDirectSoundBuffers();
  DirectSoundDevice.StartPlay();
  callPlayer = 1;
  EXPECT_EQ(DirectSoundDevice.Play(&callPlayer), errOK);
  EXPECT_EQ(callPlayer, 0);
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(DirectSoundOutput, AStalledBufferRestartsOnlyAfterASecondInFront) {
  Win32SelectWindowOutput(Win32WindowOutput::offscreen);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = PlainWindowProc;
  windowClass.lpszClassName = "StallTestClass";
  ASSERT_NE(RegisterClassA(&windowClass), 0);
  HWND window = CreateWindowExA(0, "StallTestClass", "", 0, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  SoundSetOption(soundOptDSoundHwnd, reinterpret_cast<std::intptr_t>(window));
  fakeNow = 0;
  Win32SetTickSource(FakeTicks);
  ASSERT_EQ(Init(DirectSoundDevice, 44100, 0), errOK);
  const int before = Win32DirectSoundRestores();
  // The play cursor never moves: no room, no progress since time 0.
  fakeNow = 500;
  PollPass(DirectSoundDevice);  // first seen in front now
  fakeNow = 1200;
  PollPass(DirectSoundDevice);  // stalled 1.2 s, but in front for 0.7 s only
  EXPECT_EQ(Win32DirectSoundRestores(), before);
  fakeNow = 1600;
  PollPass(DirectSoundDevice);
  EXPECT_EQ(Win32DirectSoundRestores(), before + 1);

  // Another window in front: the stall is left alone, and the count starts
  // again when this one comes back.
  HWND other = CreateWindowExA(0, "StallTestClass", "", 0, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
  fakeNow = 5000;
  PollPass(DirectSoundDevice);
  EXPECT_EQ(Win32DirectSoundRestores(), before + 1);
  DestroyWindow(other);
  fakeNow = 5100;
  PollPass(DirectSoundDevice);
  fakeNow = 6000;
  PollPass(DirectSoundDevice);
  EXPECT_EQ(Win32DirectSoundRestores(), before + 1);
  fakeNow = 6200;
  PollPass(DirectSoundDevice);
  EXPECT_EQ(Win32DirectSoundRestores(), before + 2);

  DirectSoundDevice.Close();
  open_ = nullptr;
  DestroyWindow(window);
  UnregisterClassA("StallTestClass", nullptr);
}

TEST_F(DirectSoundOutput, InitNeedsTheWindowAndTheLibrary) {
  SoundSetOption(soundOptDSoundHwnd, 0);
  EXPECT_EQ(Init(DirectSoundDevice, 44100, 0), errNoDSoundWindow);
  SoundSetOption(soundOptDSoundHwnd, reinterpret_cast<std::intptr_t>(&window_));
  Win32SetLibraryMissing("dsound.dll", true);
  EXPECT_EQ(Init(DirectSoundDevice, 44100, 0), errNoDSoundDLL);
  Win32SetLibraryMissing("dsound.dll", false);
  Win32DirectSoundBehaviour failing;
  failing.createFails = true;
  Win32SetDirectSoundBehaviour(failing);
  EXPECT_EQ(Init(DirectSoundDevice, 44100, 0), errDeviceNotAvailable);
  EXPECT_EQ(Win32LiveDirectSoundObjects(), 0);
}

TEST_F(DirectSoundOutput, ResultsMapToSoundErrors) {
  EXPECT_EQ(DirectSoundTranslateError(DS_OK), errOK);
  EXPECT_EQ(DirectSoundTranslateError(DSERR_UNSUPPORTED), errUnsupported);
  EXPECT_EQ(DirectSoundTranslateError(E_OUTOFMEMORY), errOutOfMemory);
  EXPECT_EQ(DirectSoundTranslateError(E_INVALIDARG), errInvalidArguments);
  for (HRESULT r : {DSERR_ALLOCATED, DSERR_ALREADYINITIALIZED, DSERR_OTHERAPPHASPRIO}) {
    EXPECT_EQ(DirectSoundTranslateError(r), errDeviceBusy);
  }
  EXPECT_EQ(DirectSoundTranslateError(DSERR_BADFORMAT), errBadMode);
  EXPECT_EQ(DirectSoundTranslateError(DSERR_NODRIVER), errDeviceNotAvailable);
  EXPECT_EQ(DirectSoundTranslateError(DSERR_BUFFERLOST), errDeviceFailure);
  EXPECT_EQ(DirectSoundTranslateError(DSERR_GENERIC), errUndefined);
}

TEST(OutputDeviceRecords, DataFieldsAndSharedSlots) {
  struct Expect {
    SoundDevice* device;
    unsigned caps;
    unsigned modes;
    const char* name;
    const char* card;
  };
  for (Expect e : {Expect{&DirectSoundDevice, 0x38, 15, "DirectSound Sound Device 1.10", "DirectSound"},
                   Expect{&WinWaveDevice, 0x38, 15, "Windows Wave Sound Device 1.11", "Windows Wave output"},
                   Expect{&NoSoundDevice, 0x20, 9, "Mixing No Sound Sound Device", "No Sound"}}) {
    EXPECT_EQ(e.device->selfTimed, 0u);
    EXPECT_EQ(e.device->capabilityBits, e.caps);
    EXPECT_EQ(e.device->modes, e.modes);
    EXPECT_STREQ(e.device->name, e.name);
    EXPECT_STREQ(e.device->cardNames[0], e.card);
    EXPECT_EQ(e.device->numCardTypes, 1);
    EXPECT_EQ(e.device->numPorts, 0);
    // The mixer's slots are the same in every record.
    EXPECT_EQ(e.device->GetMixRate, NoSoundDevice.GetMixRate);
    EXPECT_EQ(e.device->AddSample, NoSoundDevice.AddSample);
    EXPECT_EQ(e.device->PauseStream, NoSoundDevice.PauseStream);
  }
  EXPECT_NE(WinWaveDevice.Play, NoSoundDevice.Play);
  EXPECT_EQ(SoundDeviceTableEntry(0), &DirectSoundDevice);
  EXPECT_EQ(SoundDeviceTableEntry(1), &WinWaveDevice);
  EXPECT_EQ(SoundDeviceTableEntry(2), &NoSoundDevice);
  EXPECT_EQ(SoundDeviceTableEntry(3), nullptr);
}

}  // namespace
