// Win32 stand-in: the DirectSound subset the DirectSound output device uses.
// "dsound.dll" is found by LoadLibraryA and exports "DirectSoundCreate"; its
// buffers loop over the same audio backend as the wave output.
#pragma once

#include "platform/win32/win32_types.h"
#include "platform/win32/win32_wave.h"

struct GUID;
using LPGUID = GUID*;
using LPCGUID = const GUID*;
struct IUnknown;
using LPUNKNOWN = IUnknown*;

inline constexpr HRESULT MakeDsResult(std::uint32_t value) { return static_cast<HRESULT>(value); }

#define DS_OK 0
#define E_NOTIMPL MakeDsResult(0x80004001u)
#define E_FAIL MakeDsResult(0x80004005u)
#define E_OUTOFMEMORY MakeDsResult(0x8007000Eu)
#define E_INVALIDARG MakeDsResult(0x80070057u)
#define DSERR_ALLOCATED MakeDsResult(0x8878000Au)
#define DSERR_CONTROLUNAVAIL MakeDsResult(0x8878001Eu)
#define DSERR_INVALIDPARAM E_INVALIDARG
#define DSERR_INVALIDCALL MakeDsResult(0x88780032u)
#define DSERR_GENERIC E_FAIL
#define DSERR_PRIOLEVELNEEDED MakeDsResult(0x88780046u)
#define DSERR_OUTOFMEMORY E_OUTOFMEMORY
#define DSERR_BADFORMAT MakeDsResult(0x88780064u)
#define DSERR_UNSUPPORTED E_NOTIMPL
#define DSERR_NODRIVER MakeDsResult(0x88780078u)
#define DSERR_ALREADYINITIALIZED MakeDsResult(0x88780082u)
#define DSERR_BUFFERLOST MakeDsResult(0x88780096u)
#define DSERR_OTHERAPPHASPRIO MakeDsResult(0x887800A0u)
#define DSERR_UNINITIALIZED MakeDsResult(0x887800AAu)

#define DSSCL_NORMAL 0x00000001
#define DSSCL_PRIORITY 0x00000002
#define DSSCL_EXCLUSIVE 0x00000003
#define DSSCL_WRITEPRIMARY 0x00000004

#define DSCAPS_PRIMARYMONO 0x00000001
#define DSCAPS_PRIMARYSTEREO 0x00000002
#define DSCAPS_PRIMARY8BIT 0x00000004
#define DSCAPS_PRIMARY16BIT 0x00000008
#define DSCAPS_CONTINUOUSRATE 0x00000010
#define DSCAPS_EMULDRIVER 0x00000020
#define DSCAPS_CERTIFIED 0x00000040

#define DSBCAPS_PRIMARYBUFFER 0x00000001
#define DSBCAPS_STATIC 0x00000002
#define DSBCAPS_LOCSOFTWARE 0x00000008
#define DSBCAPS_STICKYFOCUS 0x00004000
#define DSBCAPS_GLOBALFOCUS 0x00008000
#define DSBCAPS_GETCURRENTPOSITION2 0x00010000

#define DSBPLAY_LOOPING 0x00000001

#define DSBSTATUS_PLAYING 0x00000001
#define DSBSTATUS_BUFFERLOST 0x00000002
#define DSBSTATUS_LOOPING 0x00000004

#define DSBLOCK_FROMWRITECURSOR 0x00000001
#define DSBLOCK_ENTIREBUFFER 0x00000002

// 96 bytes, as the device asks for.
struct DSCAPS {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwMinSecondarySampleRate;
  DWORD dwMaxSecondarySampleRate;
  DWORD dwPrimaryBuffers;
  DWORD dwMaxHwMixingAllBuffers;
  DWORD dwMaxHwMixingStaticBuffers;
  DWORD dwMaxHwMixingStreamingBuffers;
  DWORD dwFreeHwMixingAllBuffers;
  DWORD dwFreeHwMixingStaticBuffers;
  DWORD dwFreeHwMixingStreamingBuffers;
  DWORD dwMaxHw3DAllBuffers;
  DWORD dwMaxHw3DStaticBuffers;
  DWORD dwMaxHw3DStreamingBuffers;
  DWORD dwFreeHw3DAllBuffers;
  DWORD dwFreeHw3DStaticBuffers;
  DWORD dwFreeHw3DStreamingBuffers;
  DWORD dwTotalHwMemBytes;
  DWORD dwFreeHwMemBytes;
  DWORD dwMaxContigFreeHwMemBytes;
  DWORD dwUnlockTransferRateHwBuffers;
  DWORD dwPlayCpuOverheadSwBuffers;
  DWORD dwReserved1;
  DWORD dwReserved2;
};
static_assert(sizeof(DSCAPS) == 96);
using LPDSCAPS = DSCAPS*;

struct DSBCAPS {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwBufferBytes;
  DWORD dwUnlockTransferRate;
  DWORD dwPlayCpuOverhead;
};
using LPDSBCAPS = DSBCAPS*;

struct DSBUFFERDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwBufferBytes;
  DWORD dwReserved;
  LPWAVEFORMATEX lpwfxFormat;
};
using LPCDSBUFFERDESC = const DSBUFFERDESC*;

class IDirectSoundBuffer {
public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT GetCaps(LPDSBCAPS caps) = 0;
  virtual HRESULT GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) = 0;
  virtual HRESULT GetStatus(LPDWORD status) = 0;
  virtual HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2, LPDWORD bytes2,
                       DWORD flags) = 0;
  virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
  virtual HRESULT SetFormat(LPCWAVEFORMATEX format) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT Unlock(LPVOID part1, DWORD bytes1, LPVOID part2, DWORD bytes2) = 0;
  virtual HRESULT Restore() = 0;

protected:
  ~IDirectSoundBuffer() = default;
};
using LPDIRECTSOUNDBUFFER = IDirectSoundBuffer*;

class IDirectSound {
public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT CreateSoundBuffer(LPCDSBUFFERDESC description, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) = 0;
  virtual HRESULT GetCaps(LPDSCAPS caps) = 0;
  virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;

protected:
  ~IDirectSound() = default;
};
using LPDIRECTSOUND = IDirectSound*;

using LPDIRECTSOUNDCREATE = HRESULT(WINAPI*)(LPCGUID device, LPDIRECTSOUND* directSound, LPUNKNOWN outer);

// Test hooks for the stand-in's behaviour; Win32ResetDirectSound restores the defaults.
struct Win32DirectSoundBehaviour {
  bool createFails = false;         // DirectSoundCreate answers DSERR_NODRIVER
  bool capsFail = false;            // GetCaps answers DSERR_GENERIC
  bool emulated = false;            // capabilities carry DSCAPS_EMULDRIVER
  bool writePrimaryGranted = true;  // DSSCL_WRITEPRIMARY is granted
  DWORD primaryBufferBytes = 0;     // size of the primary buffer; 0 = 65536 bytes
  bool restoreFails = false;        // Restore answers DSERR_BUFFERLOST
};
void Win32SetDirectSoundBehaviour(const Win32DirectSoundBehaviour& behaviour);
void Win32ResetDirectSound();
// Marks every existing buffer lost: Lock and Play answer DSERR_BUFFERLOST until Restore.
void Win32LoseDirectSoundBuffers();
// Live objects, for leak checks.
int Win32LiveDirectSoundObjects();
// Restore calls on any buffer since the process started.
int Win32DirectSoundRestores();

// The built-in "DirectSoundCreate".
HRESULT WINAPI Win32DirectSoundCreate(LPCGUID device, LPDIRECTSOUND* directSound, LPUNKNOWN outer);
