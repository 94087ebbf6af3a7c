// DirectSound output device. The buffer loops; each poll mixes the part between
// the last write position and the play cursor, less a safety gap, one player tick
// at a time.
#include "sound/dsound.h"

#include <algorithm>
#include <optional>

#include "platform/win32/win32.h"
#include "platform/win32/dsound.h"
#include "sound/devcommon.h"
#include "sound/errors.h"
#include "sound/sound.h"

namespace {

constexpr unsigned kMinimumGap = 16;
constexpr DWORD kStallMs = 1000;

CRITICAL_SECTION deviceLock;
bool lockCreated = false;

HMODULE library = nullptr;
LPDIRECTSOUNDCREATE createFunction = nullptr;
LPDIRECTSOUND directSound = nullptr;
bool hostObject = false;
LPDIRECTSOUNDBUFFER primaryBuffer = nullptr;
LPDIRECTSOUNDBUFFER mixBuffer = nullptr;  // the buffer written to: primary or secondary
bool writePrimary = false;
bool suspended = false;

unsigned mixRate = 0;
unsigned channels = 2;
unsigned bytesPerChannel = 2;
unsigned bytesPerSample = 4;
unsigned mixerMode = 0;
unsigned outputModeNumber = 10;
unsigned samplesPerTick = 0;
unsigned samplesLeft = 0;
unsigned bufferBytes = 0;
unsigned safetyGap = kMinimumGap;
unsigned writePos = 0;
DWORD playPos = 0;
DWORD lastProgress = 0;
std::optional<DWORD> foregroundSince;  // when the window was first seen in front while stalled

HWND WindowOption() { return reinterpret_cast<HWND>(SoundGetOption(soundOptDSoundHwnd)); }

WAVEFORMATEX MixFormat() {
  WAVEFORMATEX wfx{};
  wfx.wFormatTag = WAVE_FORMAT_PCM;
  wfx.nChannels = static_cast<WORD>(channels);
  wfx.wBitsPerSample = static_cast<WORD>(bytesPerChannel * 8);
  wfx.nBlockAlign = static_cast<WORD>(bytesPerSample);
  wfx.nSamplesPerSec = mixRate;
  wfx.nAvgBytesPerSec = mixRate * bytesPerSample;
  return wfx;
}

void ReleaseBuffers() {
  if (mixBuffer != nullptr) {
    mixBuffer->Stop();
    if (mixBuffer != primaryBuffer) mixBuffer->Release();
    mixBuffer = nullptr;
  }
  if (primaryBuffer != nullptr) {
    primaryBuffer->Stop();
    primaryBuffer->Release();
    primaryBuffer = nullptr;
  }
}

// Stops and releases the buffers and, unless the host owns it, the object.
void CloseDirectSound() {
  ReleaseBuffers();
  if (directSound != nullptr && !hostObject) directSound->Release();
  directSound = nullptr;
  hostObject = false;
}

int LoadLibraryOnce() {
  if (createFunction != nullptr) return errOK;
  if (library == nullptr) library = LoadLibraryA("dsound.dll");
  if (library == nullptr) return errNoDSoundDLL;
  createFunction = reinterpret_cast<LPDIRECTSOUNDCREATE>(GetProcAddress(library, "DirectSoundCreate"));
  if (createFunction == nullptr) {
    FreeLibrary(library);
    library = nullptr;
    return errNoDSoundDLL;
  }
  return errOK;
}

// Creates the program's own DirectSound object, asks for write-primary
// cooperation when option 5 is 2 (else exclusive), and creates the primary buffer
// in the mixing format. Write-primary mode mixes straight into that buffer, so its
// format must be the mixing format too: left at the card's default (22050 Hz
// 8-bit) the ring arithmetic and the samples would both be wrong.
HRESULT CreateOwnObject(HWND window, const WAVEFORMATEX& wfx) {
  HRESULT result = createFunction(nullptr, &directSound, nullptr);
  if (result != DS_OK) {
    directSound = nullptr;
    return result;
  }
  hostObject = false;
  if (SoundGetOption(soundOptDSoundMode) == 2 &&
      directSound->SetCooperativeLevel(window, DSSCL_WRITEPRIMARY) == DS_OK) {
    writePrimary = true;
  } else {
    result = directSound->SetCooperativeLevel(window, DSSCL_EXCLUSIVE);
    if (result != DS_OK) return result;
  }
  DSBUFFERDESC primary{};
  primary.dwSize = sizeof(DSBUFFERDESC);
  primary.dwFlags = DSBCAPS_PRIMARYBUFFER;
  result = directSound->CreateSoundBuffer(&primary, &primaryBuffer, nullptr);
  if (result == DS_OK) result = primaryBuffer->SetFormat(&wfx);
  return result;
}

// The wanted buffer length in bytes, from the driver's capabilities: option 3
// for an emulated driver, else option 8 (ms). Rounded up to 16 bytes; at least
// four safety gaps, at most 0x0FFFFFFF bytes (a longer request is refused).
HRESULT WantedBufferBytes(unsigned* bytesOut) {
  DSCAPS caps{};
  caps.dwSize = sizeof(DSCAPS);
  HRESULT result = directSound->GetCaps(&caps);
  if (result != DS_OK) return result;
  auto lengthMs = static_cast<unsigned long long>(
      (caps.dwFlags & DSCAPS_EMULDRIVER) != 0 ? SoundGetOption(soundOptBufferLength)
                                               : SoundGetOption(soundOptDSoundBufferLength));
  unsigned long long bytes = static_cast<unsigned long long>(bytesPerSample) * mixRate * lengthMs / 1000u;
  bytes = (bytes + 15u) & ~15ull;
  if (bytes < 4u * kMinimumGap) bytes = 4u * kMinimumGap;
  if (bytes > 0x0FFFFFFFull) return E_INVALIDARG;
  *bytesOut = static_cast<unsigned>(bytes);
  return DS_OK;
}

// Write-primary mode mixes into the primary buffer as large as it is; the gap is
// what it holds beyond the wanted length, and a buffer shorter than that length
// keeps the smallest gap. Otherwise a secondary buffer of the wanted length.
HRESULT CreateMixBuffer(WAVEFORMATEX wfx) {
  if (writePrimary) {
    DSBCAPS bufferCaps{};
    bufferCaps.dwSize = sizeof(DSBCAPS);
    HRESULT result = primaryBuffer->GetCaps(&bufferCaps);
    if (result != DS_OK) return result;
    unsigned size = bufferCaps.dwBufferBytes;
    safetyGap = size > bufferBytes && size - bufferBytes > kMinimumGap ? size - bufferBytes : kMinimumGap;
    bufferBytes = size;
    mixBuffer = primaryBuffer;
    return DS_OK;
  }
  DSBUFFERDESC secondary{};
  secondary.dwSize = sizeof(DSBUFFERDESC);
  secondary.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_STICKYFOCUS;
  secondary.dwBufferBytes = bufferBytes;
  secondary.lpwfxFormat = &wfx;
  HRESULT result = directSound->CreateSoundBuffer(&secondary, &mixBuffer, nullptr);
  if (result != DS_OK) mixBuffer = nullptr;
  safetyGap = kMinimumGap;
  return result;
}

// Opens the object (the host's, or one of our own), sizes and creates the buffer
// and starts it looping.
HRESULT OpenObjectAndBuffer(HWND window) {
  WAVEFORMATEX wfx = MixFormat();
  writePrimary = false;
  auto* host = reinterpret_cast<LPDIRECTSOUND>(SoundGetOption(soundOptDSoundObject));
  HRESULT result = DS_OK;
  if (host != nullptr) {
    directSound = host;
    hostObject = true;
  } else {
    result = CreateOwnObject(window, wfx);
  }
  if (result == DS_OK) result = WantedBufferBytes(&bufferBytes);
  if (result == DS_OK) result = CreateMixBuffer(wfx);
  if (result == DS_OK) result = mixBuffer->Play(0, 0, DSBPLAY_LOOPING);
  return result;
}

int OpenDirectSound() {
  HWND window = WindowOption();
  if (window == nullptr) return errNoDSoundWindow;
  if (int error = LoadLibraryOnce(); error != errOK) return error;
  if (HRESULT result = OpenObjectAndBuffer(window); result != DS_OK) {
    CloseDirectSound();
    return DirectSoundTranslateError(result);
  }
  writePos = 0;
  playPos = 0;
  lastProgress = GetTickCount();
  foregroundSince.reset();
  return errOK;
}

int DSDetect(int* present) {
  if (present == nullptr) return errInvalidArguments;
  *present = 0;
  std::intptr_t mode = SoundGetOption(soundOptDSoundMode);
  if (mode == 0) return errOK;
  if (WindowOption() == nullptr) return errNoDSoundWindow;
  if (SoundGetOption(soundOptDSoundObject) != 0 || mode == 3) {
    *present = 1;
    return errOK;
  }
  if (SoundGetNeverUseDirectSound() != 0) return errOK;
  HMODULE probe = LoadLibraryA("dsound.dll");
  if (probe == nullptr) return errOK;
  auto create = reinterpret_cast<LPDIRECTSOUNDCREATE>(GetProcAddress(probe, "DirectSoundCreate"));
  LPDIRECTSOUND object = nullptr;
  if (create != nullptr && create(nullptr, &object, nullptr) == DS_OK && object != nullptr) {
    DSCAPS caps{};
    caps.dwSize = sizeof(DSCAPS);
    if (object->GetCaps(&caps) == DS_OK && (caps.dwFlags & DSCAPS_EMULDRIVER) == 0) *present = 1;
    object->Release();
  }
  FreeLibrary(probe);
  return errOK;
}

int DSInit(unsigned rate, unsigned outputMode) {
  mixRate = rate;
  suspended = false;
  if ((outputMode & sdMono) != 0) {
    channels = 1;
    mixerMode = dsmMixMono;
  } else {
    channels = 2;
    mixerMode = dsmMixStereo;
  }
  if ((outputMode & sd8bit) != 0) {
    mixerMode |= dsmMix8bit;
    bytesPerChannel = 1;
  } else {
    mixerMode |= dsmMix16bit;
    bytesPerChannel = 2;
  }
  bytesPerSample = channels * bytesPerChannel;
  outputModeNumber = (channels == 1 ? sdMono : sdStereo) | (bytesPerChannel == 1 ? sd8bit : sd16bit);
  if (SoundGetOption(soundOptInterpolation) != 0) mixerMode |= dsmMixInterpolation;

  InitializeCriticalSection(&deviceLock);
  lockCreated = true;
  EnterCriticalSection(&deviceLock);
  int error = OpenDirectSound();
  if (error == errOK) {
    error = dsmInit(mixRate, mixerMode);
    if (error != errOK) CloseDirectSound();
  }
  samplesPerTick = samplesLeft = SamplesPerTick(mixRate, 5000);
  LeaveCriticalSection(&deviceLock);
  if (error != errOK) {
    DeleteCriticalSection(&deviceLock);
    lockCreated = false;
  }
  return error;
}

int DSClose() {
  if (!lockCreated) return errOK;
  EnterCriticalSection(&deviceLock);
  int error = dsmClose();
  if (!suspended) CloseDirectSound();
  LeaveCriticalSection(&deviceLock);
  DeleteCriticalSection(&deviceLock);
  lockCreated = false;
  if (library != nullptr) {
    FreeLibrary(library);
    library = nullptr;
    createFunction = nullptr;
  }
  return error;
}

int DSSuspend() {
  if (!lockCreated) return errOK;
  EnterCriticalSection(&deviceLock);
  if (!suspended) {
    CloseDirectSound();
    suspended = true;
  }
  LeaveCriticalSection(&deviceLock);
  return errOK;
}

int DSResume() {
  if (!lockCreated) return errOK;
  EnterCriticalSection(&deviceLock);
  int error = errOK;
  if (suspended) {
    error = OpenDirectSound();
    if (error == errOK) suspended = false;
  }
  LeaveCriticalSection(&deviceLock);
  return error;
}

int DSGetMode(unsigned* mode) {
  if (mode == nullptr) return errInvalidArguments;
  *mode = outputModeNumber;
  return errOK;
}

int DSSetUpdRate(unsigned updRate) {
  samplesPerTick = samplesLeft = SamplesPerTick(mixRate, updRate);
  return errOK;
}

int DSStartPlay() {
  if (!lockCreated || suspended || mixBuffer == nullptr) return errOK;
  EnterCriticalSection(&deviceLock);
  HRESULT result = mixBuffer->GetCurrentPosition(&playPos, nullptr);
  LeaveCriticalSection(&deviceLock);
  return DirectSoundTranslateError(result);
}

// Restores a lost buffer and starts it again; false when it stays lost.
bool RestoreBuffer() {
  if (mixBuffer->Restore() != DS_OK) return false;
  return mixBuffer->Play(0, 0, DSBPLAY_LOOPING) == DS_OK;
}

int MixInto(void* part, DWORD bytes) {
  if (part == nullptr || bytes == 0) return errOK;
  return dsmMixData(bytes / bytesPerSample, static_cast<std::uint8_t*>(part));
}

int DSPlayLocked(int* callPlayer) {
  unsigned freeBytes = (playPos + bufferBytes - writePos) % bufferBytes;
  if (freeBytes <= safetyGap) {
    // No room: a buffer that stopped moving while the program has the focus is
    // brought back to life.
    DWORD now = GetTickCount();
    HWND window = WindowOption();
    if (window == nullptr || GetForegroundWindow() != window) {
      foregroundSince.reset();
    } else if (!foregroundSince) {
      foregroundSince = now;
    } else if (now - *foregroundSince > kStallMs && now - lastProgress > kStallMs) {
      RestoreBuffer();
      lastProgress = now;
    }
    return errOK;
  }
  lastProgress = GetTickCount();
  unsigned freeSamples = (freeBytes - safetyGap) / bytesPerSample;
  while (freeSamples > 0 && samplesLeft > 0) {
    unsigned n = std::min(samplesLeft, freeSamples);
    void* part1 = nullptr;
    void* part2 = nullptr;
    DWORD bytes1 = 0;
    DWORD bytes2 = 0;
    HRESULT result = mixBuffer->Lock(writePos, n * bytesPerSample, &part1, &bytes1, &part2, &bytes2, 0);
    if (result == DSERR_BUFFERLOST) {
      if (!RestoreBuffer()) return errOK;
      result = mixBuffer->Lock(writePos, n * bytesPerSample, &part1, &bytes1, &part2, &bytes2, 0);
    }
    if (result != DS_OK) return DirectSoundTranslateError(result);
    int error = MixInto(part1, bytes1);
    if (error == errOK) error = MixInto(part2, bytes2);
    writePos = (writePos + bytes1 + bytes2) % bufferBytes;
    mixBuffer->Unlock(part1, bytes1, part2, bytes2);
    if (error != errOK) return error;
    unsigned mixed = (bytes1 + bytes2) / bytesPerSample;
    if (mixed == 0) break;
    freeSamples -= std::min(freeSamples, mixed);
    samplesLeft -= std::min(samplesLeft, mixed);
  }
  if (samplesLeft == 0) {
    samplesLeft = samplesPerTick;
    *callPlayer = 1;
  }
  return errOK;
}

int DSPlay(int* callPlayer) {
  if (callPlayer == nullptr) return errInvalidArguments;
  *callPlayer = 0;
  if (!lockCreated || suspended) return errOK;
  EnterCriticalSection(&deviceLock);
  int error = mixBuffer != nullptr ? DSPlayLocked(callPlayer) : errOK;
  // What was mixed moves the cursor we measure the free space from.
  LeaveCriticalSection(&deviceLock);
  return error;
}

const char* const kCardNames[] = {"DirectSound"};

}  // namespace

int DirectSoundTranslateError(HRESULT result) {
  if (result == DS_OK) return errOK;
  if (result == E_NOTIMPL) return errUnsupported;  // also DSERR_UNSUPPORTED
  if (result == E_OUTOFMEMORY) return errOutOfMemory;
  if (result == E_INVALIDARG) return errInvalidArguments;
  if (result == DSERR_ALLOCATED || result == DSERR_ALREADYINITIALIZED || result == DSERR_OTHERAPPHASPRIO) {
    return errDeviceBusy;
  }
  if (result == DSERR_BADFORMAT) return errBadMode;
  if (result == DSERR_NODRIVER) return errDeviceNotAvailable;
  if (result == DSERR_BUFFERLOST) return errDeviceFailure;
  return errUndefined;
}

int DirectSoundGetRingInfo(DirectSoundRingInfo* info) {
  if (info == nullptr) return errInvalidArguments;
  info->primary = writePrimary ? 1 : 0;
  info->bufferBytes = bufferBytes;
  info->safetyGap = safetyGap;
  info->bytesPerSample = bytesPerSample;
  info->samplesPerTick = samplesPerTick;
  info->writePosition = writePos;
  return errOK;
}

SoundDevice DirectSoundDevice = MakeSoundDevice(
    0x38, sdMono | sdStereo | sd8bit | sd16bit, "DirectSound Sound Device 1.10", kCardNames,
    SoundDeviceOwnOps{DSDetect, DSInit, DSClose, DSSuspend, DSResume, DSGetMode, DSSetUpdRate, DSStartPlay,
                      DSPlay});
