// Wave output and the DirectSound stand-in over the virtual audio device, and
// the built-in library loader.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/win32/win32.h"
#include "platform/win32/win32_dsound.h"

namespace {

WAVEFORMATEX Pcm(WORD channels, WORD bits, DWORD rate) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = channels;
  f.wBitsPerSample = bits;
  f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  f.nSamplesPerSec = rate;
  f.nAvgBytesPerSec = rate * f.nBlockAlign;
  return f;
}

DWORD Flags(const WAVEHDR& h) { return __atomic_load_n(&h.dwFlags, __ATOMIC_ACQUIRE); }

class VirtualAudio : public ::testing::Test {
protected:
  void SetUp() override { Win32UseVirtualAudio(true, 1); }
  void TearDown() override {
    Win32UseVirtualAudio(false);
    Win32ResetDirectSound();
    Win32SetLibraryMissing("dsound.dll", false);
  }
};

TEST_F(VirtualAudio, BlocksPlayInOrderAndAreMarkedDoneAsConsumed) {
  WAVEFORMATEX format = Pcm(1, 8, 8000);
  HWAVEOUT out = nullptr;
  ASSERT_EQ(waveOutOpen(&out, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  std::vector<char> a(4, 'a'), b(4, 'b');
  WAVEHDR ha{}, hb{};
  ha.lpData = a.data();
  ha.dwBufferLength = 4;
  hb.lpData = b.data();
  hb.dwBufferLength = 4;
  EXPECT_EQ(waveOutWrite(out, &ha, sizeof ha), WAVERR_UNPREPARED);
  ASSERT_EQ(waveOutPrepareHeader(out, &ha, sizeof ha), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutPrepareHeader(out, &hb, sizeof hb), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(out, &ha, sizeof ha), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutWrite(out, &hb, sizeof hb), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutWrite(out, &ha, sizeof ha), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutUnprepareHeader(out, &ha, sizeof ha), WAVERR_STILLPLAYING);
  EXPECT_EQ(Flags(ha) & WHDR_DONE, 0u);

  std::vector<unsigned char> played = Win32VirtualAudioRun(6);
  EXPECT_EQ(std::string(played.begin(), played.end()), "aaaabb");
  EXPECT_NE(Flags(ha) & WHDR_DONE, 0u);
  EXPECT_EQ(Flags(hb) & WHDR_DONE, 0u);
  played = Win32VirtualAudioRun(4);
  EXPECT_EQ(played[0], 'b');
  EXPECT_EQ(played[1], 'b');
  EXPECT_EQ(played[2], 0x80);  // 8-bit silence after the queue runs dry
  EXPECT_NE(Flags(hb) & WHDR_DONE, 0u);

  EXPECT_EQ(waveOutUnprepareHeader(out, &ha, sizeof ha), MMSYSERR_NOERROR);
  EXPECT_EQ(Flags(ha) & WHDR_PREPARED, 0u);
  EXPECT_EQ(waveOutUnprepareHeader(out, &hb, sizeof hb), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(waveOutClose(out), MMSYSERR_INVALHANDLE);
}

TEST_F(VirtualAudio, ResetHandsEveryBlockBackAndCloseRefusesQueuedBlocks) {
  WAVEFORMATEX format = Pcm(2, 16, 44100);
  HWAVEOUT out = nullptr;
  ASSERT_EQ(waveOutOpen(&out, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  std::vector<char> data(64);
  WAVEHDR h{};
  h.lpData = data.data();
  h.dwBufferLength = 64;
  waveOutPrepareHeader(out, &h, sizeof h);
  waveOutWrite(out, &h, sizeof h);
  EXPECT_EQ(waveOutClose(out), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
  EXPECT_NE(Flags(h) & WHDR_DONE, 0u);
  EXPECT_EQ(Flags(h) & WHDR_INQUEUE, 0u);
  waveOutUnprepareHeader(out, &h, sizeof h);
  EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(Win32VirtualAudioOpenCount(), 0u);
}

TEST_F(VirtualAudio, OpenChecksDevicesFormatsAndFlags) {
  WAVEFORMATEX good = Pcm(2, 16, 22050);
  EXPECT_EQ(waveOutGetNumDevs(), 1u);
  EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &good, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
  EXPECT_EQ(Win32VirtualAudioOpenCount(), 0u);  // a query opens nothing
  WAVEFORMATEX bad = good;
  bad.wBitsPerSample = 24;
  EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &bad, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  bad = good;
  bad.nBlockAlign = 3;
  EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &bad, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  HWAVEOUT out = nullptr;
  EXPECT_EQ(waveOutOpen(&out, 5, &good, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(waveOutOpen(&out, WAVE_MAPPER, &good, 0, 0, 0x80), MMSYSERR_INVALFLAG);
  EXPECT_EQ(waveOutOpen(&out, WAVE_MAPPER, nullptr, 0, 0, 0), MMSYSERR_INVALPARAM);

  Win32VirtualAudioSetAcceptor([](const WAVEFORMATEX& f, bool) -> MMRESULT {
    return f.nChannels == 1 ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
  });
  EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &good, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
  auto log = Win32VirtualAudioOpenLog();
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(log.back().query);
  EXPECT_EQ(log.back().result, static_cast<MMRESULT>(WAVERR_BADFORMAT));

  Win32UseVirtualAudio(true, 0);
  EXPECT_EQ(waveOutGetNumDevs(), 0u);
  EXPECT_EQ(waveOutOpen(&out, WAVE_MAPPER, &good, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
}

TEST_F(VirtualAudio, CallsOnForeignHandlesAreRefused) {
  WAVEHDR h{};
  char data[4] = {};
  h.lpData = data;
  h.dwBufferLength = 4;
  auto fake = reinterpret_cast<HWAVEOUT>(&h);
  EXPECT_EQ(waveOutPrepareHeader(fake, &h, sizeof h), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutWrite(fake, &h, sizeof h), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutReset(fake), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutClose(nullptr), MMSYSERR_INVALHANDLE);
}

TEST_F(VirtualAudio, LibraryLoaderFindsDirectSoundCreateOnly) {
  HMODULE dll = LoadLibraryA("DSOUND.DLL");
  ASSERT_NE(dll, nullptr);
  EXPECT_NE(GetProcAddress(dll, "DirectSoundCreate"), nullptr);
  EXPECT_EQ(GetProcAddress(dll, "DirectSoundCreate8"), nullptr);
  EXPECT_EQ(LoadLibraryA("glide2x.dll"), nullptr);
  EXPECT_TRUE(FreeLibrary(dll));
  EXPECT_FALSE(FreeLibrary(dll));
  Win32SetLibraryMissing("dsound.dll", true);
  EXPECT_EQ(LoadLibraryA("dsound.dll"), nullptr);
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
}

TEST_F(VirtualAudio, DirectSoundBufferLoopsAndLocksAcrossTheWrap) {
  LPDIRECTSOUND ds = nullptr;
  ASSERT_EQ(Win32DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
  int window = 0;
  auto hwnd = reinterpret_cast<HWND>(&window);
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  WAVEFORMATEX format = Pcm(1, 8, 8000);
  desc.dwBufferBytes = 16;
  desc.lpwfxFormat = &format;
  LPDIRECTSOUNDBUFFER buffer = nullptr;
  EXPECT_EQ(ds->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_PRIOLEVELNEEDED);
  ASSERT_EQ(ds->SetCooperativeLevel(hwnd, DSSCL_EXCLUSIVE), DS_OK);
  ASSERT_EQ(ds->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);

  void* p1 = nullptr;
  void* p2 = nullptr;
  DWORD n1 = 0, n2 = 0;
  ASSERT_EQ(buffer->Lock(12, 8, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(n1, 4u);
  EXPECT_EQ(n2, 4u);
  std::memset(p1, 'x', n1);
  std::memset(p2, 'y', n2);
  buffer->Unlock(p1, n1, p2, n2);
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  auto played = Win32VirtualAudioRun(20);
  EXPECT_EQ(played[0], 'y');
  EXPECT_EQ(played[12], 'x');
  EXPECT_EQ(played[16], 'y');  // looped
  DWORD play = 0;
  buffer->GetCurrentPosition(&play, nullptr);
  EXPECT_EQ(play, 4u);

  Win32LoseDirectSoundBuffers();
  EXPECT_EQ(buffer->Lock(0, 4, &p1, &n1, &p2, &n2, 0), DSERR_BUFFERLOST);
  DWORD status = 0;
  buffer->GetStatus(&status);
  EXPECT_NE(status & DSBSTATUS_BUFFERLOST, 0u);
  EXPECT_EQ(buffer->Restore(), DS_OK);
  EXPECT_EQ(buffer->Lock(0, 4, &p1, &n1, &p2, &n2, 0), DS_OK);
  EXPECT_EQ(buffer->Lock(0, 17, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
  buffer->Release();
  ds->Release();
  EXPECT_EQ(Win32LiveDirectSoundObjects(), 0);
  EXPECT_EQ(Win32VirtualAudioOpenCount(), 0u);
}

TEST_F(VirtualAudio, DirectSoundBehaviourHooks) {
  LPDIRECTSOUND ds = nullptr;
  Win32DirectSoundBehaviour behaviour;
  behaviour.createFails = true;
  Win32SetDirectSoundBehaviour(behaviour);
  EXPECT_EQ(Win32DirectSoundCreate(nullptr, &ds, nullptr), DSERR_NODRIVER);
  EXPECT_EQ(ds, nullptr);
  behaviour = {};
  behaviour.emulated = true;
  behaviour.writePrimaryGranted = false;
  Win32SetDirectSoundBehaviour(behaviour);
  ASSERT_EQ(Win32DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
  DSCAPS caps{};
  caps.dwSize = 95;
  EXPECT_EQ(ds->GetCaps(&caps), DSERR_INVALIDPARAM);
  caps.dwSize = sizeof caps;
  ASSERT_EQ(ds->GetCaps(&caps), DS_OK);
  EXPECT_NE(caps.dwFlags & DSCAPS_EMULDRIVER, 0u);
  int window = 0;
  EXPECT_EQ(ds->SetCooperativeLevel(reinterpret_cast<HWND>(&window), DSSCL_WRITEPRIMARY), DSERR_PRIOLEVELNEEDED);
  ds->Release();
  Win32UseVirtualAudio(true, 0);
  EXPECT_EQ(Win32DirectSoundCreate(nullptr, &ds, nullptr), DSERR_NODRIVER);
}

}  // namespace
