// The sound system's calling interface: one flat set of operations that start the
// output device, load, play and stop modules, run the player thread, and show or
// store the configuration. Operations return 1 on success; on failure they return
// 0 (or a null handle) and leave the error code in SoundLastError.
//
// The library under it, from the file up: the table of module formats (loadformats)
// picks a reader by the file's first bytes; the readers (loads3m, loadxm, loadmod,
// loadit over the shared load state of loadcommon; waveread for samples) build the
// module model (module) and hand its samples to the device. The player (gmplayer,
// gmpcmds, gmptables) walks the module tick by tick and drives the device's
// channels; the mixer (dsm, dsmmix, dsmfilt) renders those channels into the
// output devices' buffers (winwave, dsound, dsmnsnd, dsmmem, each a record of
// sdevice). This interface (sound, soundpoll, win32cnf) starts the chosen device,
// runs the player thread and keeps the configuration; gmprender plays whole songs
// offline for tools. errors, rawf_nt and mem (the allocator) serve every part.
#pragma once

#include <cstdint>

#include "platform/win32/win32.h"
#include "sound/errors.h"

struct Module;
struct SoundDevice;

// Option numbers for SoundSetOption and SoundGetOption.
enum : int {
  soundOptMixRate = 1,           // mixing rate in Hz (44100)
  soundOptOutputMode = 2,        // 1 mono, 2 stereo, 4 8-bit, 8 16-bit; 0 = device's choice
  soundOptBufferLength = 3,      // wave output buffer length in ms (500)
  soundOptReserved = 4,          // stored and returned only (16)
  soundOptDSoundMode = 5,        // 0 never use DirectSound, 2 write primary, 3 force
  soundOptDSoundHwnd = 6,        // window handle for DirectSound
  soundOptDSoundObject = 7,      // DirectSound object supplied by the host
  soundOptDSoundBufferLength = 8,  // DirectSound buffer length in ms (100)
  soundOptMixerSetting = 9,      // mixer compression setting (1)
  soundOptFilterMode = 10,       // output filter mode (3)
  soundOptInterpolation = 11,    // 1 interpolating mixing, else 0
  soundOptStereoSeparation = 12, // S3M/MOD default stereo separation (64)
  soundOptForceNoSound = 13,     // non-zero forces the no-sound device
};
inline constexpr int soundOptionCount = 13;

// Indices into the device table.
enum : int {
  soundDeviceAuto = -1,
  soundDeviceDirectSound = 0,
  soundDeviceWinWave = 1,
  soundDeviceNoSound = 2,
};
inline constexpr int soundDeviceCount = 3;
inline constexpr int soundMaxPlaying = 16;

// ---- Operations in the driver's calling order ----
int SoundStartup();
int SoundConfigDialog();  // sound/win32cnf.cpp
int SoundInit();
int SoundStartBackgroundPlay(unsigned rate);
Module* SoundLoadModule(const char* fileName);
unsigned SoundPlayModule(Module* module, int loop);
unsigned SoundPlayModuleSection(Module* module, int firstPosition, int lastPosition, int restartPosition,
                                int loop);
int SoundStopModule(unsigned handle);
int SoundFreeModule(Module* module);
int SoundStopBackgroundPlay();
int SoundClose();

// ---- Further operations ----
int SoundPoll();
int SoundLock();
int SoundUnlock();
int SoundSuspend();
int SoundResume();
// Options hold pointer-sized values so that a window handle (6) or an object (7)
// fits; numbers outside 1..13 are ignored (set returns 1, get returns 0).
int SoundSetOption(int option, std::intptr_t value);
std::intptr_t SoundGetOption(int option);
int SoundDetectDevice();
const char* SoundVersion();
int SoundOpenChannels(unsigned count);
int SoundCloseChannels();
int SoundSetAmplification(unsigned percent);
unsigned SoundAllocEffectChannel();  // 0xFFFF when none
int SoundFreeEffectChannel(unsigned channel);

// Device selection: soundDeviceAuto (default) or an index into the device table.
int SoundSetDevice(int index);
int SoundGetDevice();
// Hardware overrides: the record's three hardware-resource words (which 0..2) and
// its card type (which 3); -1 keeps the device's own value.
int SoundSetHardwareOverride(int which, int value);
// The device chosen by SoundInit or SoundDetectDevice, or null.
const SoundDevice* SoundCurrentDevice();
// The device table entry, or null outside 0..2.
SoundDevice* SoundDeviceTableEntry(int index);

// The never-use-DirectSound flag set by the set-up dialog and read by the
// DirectSound device's detection.
void SoundSetNeverUseDirectSound(int flag);
int SoundGetNeverUseDirectSound();

// Configuration (sound/win32cnf.cpp).
int SoundLoadConfig(const char* fileName);
int SoundSaveConfig(const char* fileName);
int SoundReadConfigRegistry(HKEY rootKey, const char* subKey);
int SoundWriteConfigRegistry(HKEY rootKey, const char* subKey);

// ---- Player thread (sound/soundpoll.cpp) ----
// The thread start and exit functions, replaceable by the host; the defaults are
// the runtime's _beginthread and _endthread.
using SoundThreadStart = std::uintptr_t (*)(void (*entry)(void*), unsigned stackSize, void* argument);
using SoundThreadExit = void (*)();
extern SoundThreadStart soundThreadStart;
extern SoundThreadExit soundThreadExit;
int StartPlayThread(unsigned period);
int SoundStopPlayThread();
// The period of the running (or last started) thread, in ms.
unsigned SoundPlayThreadPeriod();

// ---- Read-only state for hosts and checks ----
struct SoundPlayInfo {
  int playing;             // 1 while the handle plays
  unsigned position;       // order-list index
  unsigned pattern;
  unsigned row;
  unsigned tempo;
  unsigned speed;
  unsigned loopCount;
};
// Song position of a playing handle, taken under the interface lock.
int SoundGetPlayInfo(unsigned handle, SoundPlayInfo* info);

// ---- Host controls of a playing song (players and tools) ----
// Jumps to an order-list index below the song length, at its first row.
int SoundSetModulePosition(unsigned handle, unsigned position);
// Lets a looping song play to its next end and stop there, as a song played
// without looping does; SoundGetPlayInfo's loopCount counts from 0 again.
int SoundEndAtNextWrap(unsigned handle);
// The volume (0..64) each song channel last sent to the device, for at most
// `capacity` channels; returns how many were written (0 when none plays).
unsigned SoundGetChannelVolumes(unsigned handle, std::uint8_t* volumes, unsigned capacity);
