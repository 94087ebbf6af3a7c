// Win32 stand-in: wave output (waveOut*), and the virtual audio device that tests
// drive by hand in place of the sound card.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "platform/win32/win32_types.h"

struct HWAVEOUT__;
using HWAVEOUT = HWAVEOUT__*;
using LPHWAVEOUT = HWAVEOUT*;
using DWORD_PTR = std::uintptr_t;

#define WAVE_FORMAT_PCM 1
#define WAVE_MAPPER (static_cast<UINT>(-1))

// waveOutOpen flags.
#define CALLBACK_NULL 0x00000000
#define WAVE_FORMAT_QUERY 0x00000001

// WAVEHDR flags.
#define WHDR_DONE 0x00000001
#define WHDR_PREPARED 0x00000002
#define WHDR_BEGINLOOP 0x00000004
#define WHDR_ENDLOOP 0x00000008
#define WHDR_INQUEUE 0x00000010

// Multimedia results.
#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_NOTENABLED 3
#define MMSYSERR_ALLOCATED 4
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NODRIVER 6
#define MMSYSERR_NOMEM 7
#define MMSYSERR_NOTSUPPORTED 8
#define MMSYSERR_BADERRNUM 9
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11
#define MMSYSERR_HANDLEBUSY 12
#define WAVERR_BASE 32
#define WAVERR_BADFORMAT (WAVERR_BASE + 0)
#define WAVERR_STILLPLAYING (WAVERR_BASE + 1)
#define WAVERR_UNPREPARED (WAVERR_BASE + 2)
#define WAVERR_SYNC (WAVERR_BASE + 3)

struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
using LPWAVEFORMATEX = WAVEFORMATEX*;
using LPCWAVEFORMATEX = const WAVEFORMATEX*;

struct WAVEHDR {
  LPSTR lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  DWORD dwFlags;  // written by the output as it finishes a block: read it atomically
  DWORD dwLoops;
  WAVEHDR* lpNext;
  DWORD_PTR reserved;
};
using LPWAVEHDR = WAVEHDR*;

UINT waveOutGetNumDevs();
MMRESULT waveOutOpen(LPHWAVEOUT waveOut, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags);
MMRESULT waveOutPrepareHeader(HWAVEOUT waveOut, LPWAVEHDR header, UINT headerSize);
MMRESULT waveOutUnprepareHeader(HWAVEOUT waveOut, LPWAVEHDR header, UINT headerSize);
MMRESULT waveOutWrite(HWAVEOUT waveOut, LPWAVEHDR header, UINT headerSize);
MMRESULT waveOutReset(HWAVEOUT waveOut);
MMRESULT waveOutClose(HWAVEOUT waveOut);

// ---- Virtual audio device (tests) ----------------------------------------------
// While installed it replaces the sound card for the wave output and for the
// DirectSound stand-in: nothing plays until the test calls Win32VirtualAudioRun.

// Decides whether an open (or a query, when `query` is true) succeeds: returns
// MMSYSERR_NOERROR, WAVERR_BADFORMAT or any other result to hand back.
using Win32VirtualAudioAcceptor = std::function<MMRESULT(const WAVEFORMATEX& format, bool query)>;

struct Win32VirtualAudioOpen {
  WAVEFORMATEX format;
  bool query;
  MMRESULT result;
};

// Installs (true) or removes (false) the virtual device, with `devices` wave
// outputs reported by waveOutGetNumDevs. Installing clears the log and the acceptor.
void Win32UseVirtualAudio(bool on, UINT devices = 1);
// Null acceptor: every well-formed PCM format is accepted.
void Win32VirtualAudioSetAcceptor(Win32VirtualAudioAcceptor acceptor);
// Every waveOutOpen seen while the device was installed, in order.
std::vector<Win32VirtualAudioOpen> Win32VirtualAudioOpenLog();
void Win32VirtualAudioClearLog();
// Lets every open output consume `frames` sample frames, as the sound card would;
// returns the bytes the first open output produced (silence where nothing was queued).
std::vector<unsigned char> Win32VirtualAudioRun(std::size_t frames);
// Number of outputs currently open on the virtual device.
std::size_t Win32VirtualAudioOpenCount();
// Sample frames any wave output has played as silence since the process started
// because no written block was left: each is a gap a listener hears.
std::size_t Win32WaveStarvedFrames();
