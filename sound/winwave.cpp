// Windows wave output device. The mixer fills fixed-size blocks; each full block
// is prepared and written to the wave mapper, and reused once the system marks it
// done. One player tick's worth of samples is mixed between calls of the player.
#include "sound/winwave.h"

#include <algorithm>

#include "platform/win32/win32.h"
#include "sound/devcommon.h"
#include "sound/errors.h"
#include "sound/sound.h"

namespace {

constexpr unsigned kMaxBlocks = 64;
constexpr unsigned kBlockMs = 15;
constexpr unsigned kSystemPollMs = 20;
// Far beyond any sensible buffer length; guards the block arithmetic.
constexpr unsigned long long kMaxBlockSize = 1u << 24;

CRITICAL_SECTION deviceLock;
bool lockCreated = false;

unsigned mixRate = 0;
unsigned waveFormat = 0;  // 5, 6, 9 or 10
unsigned bytesPerSample = 0;
unsigned mixerMode = 0;
unsigned samplesPerTick = 0;
unsigned samplesLeft = 0;
bool suspended = false;
bool outputOpen = false;

HWAVEOUT waveOut = nullptr;
unsigned blockCount = 0;
unsigned blockSize = 0;
HGLOBAL blockMemory[kMaxBlocks];
HGLOBAL headerMemory[kMaxBlocks];
std::uint8_t* blocks[kMaxBlocks];
WAVEHDR* headers[kMaxBlocks];
bool prepared[kMaxBlocks];
unsigned blockIndex = 0;
unsigned blockFill = 0;
unsigned blocksQueued = 0;

// The system marks blocks done from its own thread.
bool HeaderDone(const WAVEHDR* header) {
  return (__atomic_load_n(&header->dwFlags, __ATOMIC_ACQUIRE) & WHDR_DONE) != 0;
}

unsigned ChannelsOf(unsigned format) { return format == 6 || format == 10 ? 2 : 1; }
unsigned BitsOf(unsigned format) { return format <= 6 ? 8 : 16; }

WAVEFORMATEX FormatFor(unsigned format, unsigned rate) {
  WAVEFORMATEX wfx{};
  wfx.wFormatTag = WAVE_FORMAT_PCM;
  wfx.nChannels = static_cast<WORD>(ChannelsOf(format));
  wfx.wBitsPerSample = static_cast<WORD>(BitsOf(format));
  wfx.nBlockAlign = static_cast<WORD>(wfx.nChannels * wfx.wBitsPerSample / 8);
  wfx.nSamplesPerSec = rate;
  wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
  wfx.cbSize = 0;
  return wfx;
}

// True unless the mapper refuses the format outright.
bool MapperAccepts(unsigned format, unsigned rate) {
  WAVEFORMATEX wfx = FormatFor(format, rate);
  return waveOutOpen(nullptr, WAVE_MAPPER, &wfx, 0, 0, WAVE_FORMAT_QUERY) != WAVERR_BADFORMAT;
}

// Finds a format and rate the mapper takes: the request itself, else the formats
// from the requested one towards mono 8-bit, each at the rates from high to low.
void NegotiateFormat(unsigned* format, unsigned* rate) {
  if (MapperAccepts(*format, *rate)) return;
  static constexpr unsigned kFormats[] = {10, 9, 6, 5};
  static constexpr unsigned kRates[] = {44100, 37800, 32000, 22050, 16000, 11025, 8000};
  std::size_t start = 0;
  while (start < 4 && kFormats[start] != *format) ++start;
  for (std::size_t f = start; f < 4; ++f) {
    for (unsigned r : kRates) {
      if (MapperAccepts(kFormats[f], r)) {
        *format = kFormats[f];
        *rate = r;
        return;
      }
    }
  }
}

void FreeRing() {
  for (unsigned i = 0; i < kMaxBlocks; ++i) {
    if (blocks[i] != nullptr) GlobalUnlock(blockMemory[i]);
    if (blockMemory[i] != nullptr) GlobalFree(blockMemory[i]);
    if (headers[i] != nullptr) GlobalUnlock(headerMemory[i]);
    if (headerMemory[i] != nullptr) GlobalFree(headerMemory[i]);
    blockMemory[i] = headerMemory[i] = nullptr;
    blocks[i] = nullptr;
    headers[i] = nullptr;
    prepared[i] = false;
  }
}

// Resets the output, waits (at most a second) for the system to hand every block
// back, then closes it and frees the ring.
int CloseOutput() {
  if (!outputOpen) return errOK;
  int error = WinWaveTranslateError(waveOutReset(waveOut));
  for (int look = 0; look < 50; ++look) {
    bool allDone = true;
    for (unsigned i = 0; i < blockCount; ++i) {
      if (headers[i] != nullptr && !HeaderDone(headers[i])) allDone = false;
    }
    if (allDone) break;
    Sleep(20);
  }
  for (unsigned i = 0; i < blockCount; ++i) {
    if (prepared[i]) {
      int result = WinWaveTranslateError(waveOutUnprepareHeader(waveOut, headers[i], sizeof(WAVEHDR)));
      if (error == errOK) error = result;
      prepared[i] = false;
    }
  }
  int closed = WinWaveTranslateError(waveOutClose(waveOut));
  if (error == errOK) error = closed;
  waveOut = nullptr;
  outputOpen = false;
  FreeRing();
  return error;
}

unsigned BlockCountFor(unsigned lengthMs) { return std::clamp(lengthMs / kBlockMs, 1u, kMaxBlocks); }

// The shortest ring that never runs dry between two poll steps: what is still
// queued when a step has refilled every finished block (the ring less at most one
// block in play) must last one poll period, so the length covers one period plus
// one block. With the system's 20 ms period that is 40 ms in two blocks.
unsigned SmallestUsableLength(unsigned periodMs) {
  unsigned length = periodMs + kBlockMs;
  while (length * (BlockCountFor(length) - 1) < periodMs * BlockCountFor(length)) ++length;
  return length;
}

int OpenOutput() {
  // The poll period is the longer of the system's and the running thread's.
  const unsigned period = std::max(kSystemPollMs, SoundPlayThreadPeriod());
  unsigned length = static_cast<unsigned>(SoundGetOption(soundOptBufferLength));
  length = std::max(length, SmallestUsableLength(period));
  blockCount = BlockCountFor(length);
  unsigned long long size = static_cast<unsigned long long>(bytesPerSample) * mixRate * length / 1000u / blockCount;
  size = (size + 15u) & ~15ull;
  if (size == 0) size = 16;
  if (size > kMaxBlockSize) return errInvalidArguments;
  blockSize = static_cast<unsigned>(size);

  WAVEFORMATEX wfx = FormatFor(waveFormat, mixRate);
  MMRESULT opened = waveOutOpen(&waveOut, WAVE_MAPPER, &wfx, 0, 0, CALLBACK_NULL);
  if (opened != MMSYSERR_NOERROR) return WinWaveTranslateError(opened);
  outputOpen = true;

  for (unsigned i = 0; i < blockCount; ++i) {
    blockMemory[i] = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, blockSize);
    headerMemory[i] = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, sizeof(WAVEHDR));
    if (blockMemory[i] == nullptr || headerMemory[i] == nullptr) {
      CloseOutput();
      return errOutOfMemory;
    }
    blocks[i] = static_cast<std::uint8_t*>(GlobalLock(blockMemory[i]));
    headers[i] = static_cast<WAVEHDR*>(GlobalLock(headerMemory[i]));
    if (blocks[i] == nullptr || headers[i] == nullptr) {
      CloseOutput();
      return errUnableToLock;
    }
    *headers[i] = WAVEHDR{};
    headers[i]->lpData = reinterpret_cast<LPSTR>(blocks[i]);
    headers[i]->dwBufferLength = blockSize;
    headers[i]->dwFlags = WHDR_DONE;
    prepared[i] = false;
  }
  blockIndex = 0;
  blockFill = 0;
  blocksQueued = 0;
  return errOK;
}

int WaveDetect(int* present) {
  if (present == nullptr) return errInvalidArguments;
  *present = waveOutGetNumDevs() > 0 ? 1 : 0;
  return errOK;
}

int WaveInit(unsigned rate, unsigned outputMode) {
  mixRate = rate;
  suspended = false;
  InitializeCriticalSection(&deviceLock);
  lockCreated = true;
  EnterCriticalSection(&deviceLock);

  if ((outputMode & sd8bit) != 0) {
    waveFormat = (outputMode & sdMono) != 0 ? 5 : 6;
  } else {
    waveFormat = (outputMode & sdMono) != 0 ? 9 : 10;
  }
  NegotiateFormat(&waveFormat, &mixRate);
  switch (waveFormat) {
    case 5: bytesPerSample = 1; mixerMode = dsmMix8bit | dsmMixMono; break;
    case 6: bytesPerSample = 2; mixerMode = dsmMix8bit | dsmMixStereo; break;
    case 9: bytesPerSample = 2; mixerMode = dsmMix16bit | dsmMixMono; break;
    default: bytesPerSample = 4; mixerMode = dsmMix16bit | dsmMixStereo; break;
  }
  if (SoundGetOption(soundOptInterpolation) != 0) mixerMode |= dsmMixInterpolation;

  int error = OpenOutput();
  if (error == errOK) {
    error = dsmInit(mixRate, mixerMode);
    if (error != errOK) CloseOutput();
  }
  samplesPerTick = samplesLeft = SamplesPerTick(mixRate, 5000);
  LeaveCriticalSection(&deviceLock);
  if (error != errOK) {
    // A failed Init leaves nothing behind: the front end will not call Close.
    DeleteCriticalSection(&deviceLock);
    lockCreated = false;
  }
  return error;
}

int WaveClose() {
  if (!lockCreated) return errOK;
  EnterCriticalSection(&deviceLock);
  int error = dsmClose();
  if (!suspended) {
    int closed = CloseOutput();
    if (error == errOK) error = closed;
  }
  LeaveCriticalSection(&deviceLock);
  DeleteCriticalSection(&deviceLock);
  lockCreated = false;
  return error;
}

int WaveSuspend() {
  if (!lockCreated) return errOK;
  EnterCriticalSection(&deviceLock);
  int error = errOK;
  if (!suspended) {
    suspended = true;
    error = CloseOutput();
  }
  LeaveCriticalSection(&deviceLock);
  return error;
}

int WaveResume() {
  if (!lockCreated) return errOK;
  EnterCriticalSection(&deviceLock);
  int error = errOK;
  if (suspended) {
    error = OpenOutput();
    if (error == errOK) suspended = false;
  }
  LeaveCriticalSection(&deviceLock);
  return error;
}

int WaveGetMode(unsigned* mode) {
  if (mode == nullptr) return errInvalidArguments;
  *mode = waveFormat;
  return errOK;
}

int WaveSetUpdRate(unsigned updRate) {
  samplesPerTick = samplesLeft = SamplesPerTick(mixRate, updRate);
  return errOK;
}

int WaveStartPlay() {
  blocksQueued = 0;
  return errOK;
}

int WavePlay(int* callPlayer) {
  if (callPlayer == nullptr) return errInvalidArguments;
  *callPlayer = 0;
  if (suspended || !lockCreated) return errOK;
  EnterCriticalSection(&deviceLock);
  int error = errOK;
  while (outputOpen) {
    WAVEHDR* header = headers[blockIndex];
    if (!HeaderDone(header) || blocksQueued > blockCount) break;
    if (prepared[blockIndex]) {
      error = WinWaveTranslateError(waveOutUnprepareHeader(waveOut, header, sizeof(WAVEHDR)));
      if (error != errOK) break;
      prepared[blockIndex] = false;
    }
    unsigned n = std::min((blockSize - blockFill) / bytesPerSample, samplesLeft);
    samplesLeft -= n;
    if (n > 0) {
      error = dsmMixData(n, blocks[blockIndex] + blockFill);
      if (error != errOK) break;
    }
    blockFill += n * bytesPerSample;
    // A block whose size is not a whole number of samples counts as full once no
    // further sample fits.
    if (blockFill + bytesPerSample > blockSize) {
      header->lpData = reinterpret_cast<LPSTR>(blocks[blockIndex]);
      header->dwBufferLength = blockSize;
      header->dwFlags = 0;
      header->dwLoops = 0;
      error = WinWaveTranslateError(waveOutPrepareHeader(waveOut, header, sizeof(WAVEHDR)));
      if (error != errOK) break;
      prepared[blockIndex] = true;
      error = WinWaveTranslateError(waveOutWrite(waveOut, header, sizeof(WAVEHDR)));
      if (error != errOK) break;
      blockFill = 0;
      blockIndex = (blockIndex + 1) % blockCount;
      ++blocksQueued;
    }
    if (samplesLeft == 0) {
      samplesLeft = samplesPerTick;
      *callPlayer = 1;
      break;
    }
  }
  LeaveCriticalSection(&deviceLock);
  return error;
}

const char* const kCardNames[] = {"Windows Wave output"};

}  // namespace

int WinWaveTranslateError(MMRESULT result) {
  switch (result) {
    case MMSYSERR_NOERROR: return errOK;
    case MMSYSERR_BADDEVICEID:
    case MMSYSERR_NOTENABLED:
    case MMSYSERR_INVALHANDLE:
    case WAVERR_SYNC: return errInvalidDevice;
    case MMSYSERR_ALLOCATED:
    case MMSYSERR_HANDLEBUSY:
    case WAVERR_STILLPLAYING: return errDeviceBusy;
    case MMSYSERR_NODRIVER: return errDeviceNotAvailable;
    case MMSYSERR_NOMEM: return errOutOfMemory;
    case MMSYSERR_NOTSUPPORTED: return errUnsupported;
    case MMSYSERR_INVALFLAG:
    case MMSYSERR_INVALPARAM:
    case WAVERR_UNPREPARED: return errInvalidArguments;
    case WAVERR_BADFORMAT: return errBadMode;
    default: return errUndefined;
  }
}

int WinWaveGetRingInfo(WinWaveRingInfo* info) {
  if (info == nullptr) return errInvalidArguments;
  info->format = waveFormat;
  info->mixRate = mixRate;
  info->bytesPerSample = bytesPerSample;
  info->blockCount = blockCount;
  info->blockSize = blockSize;
  info->samplesPerTick = samplesPerTick;
  info->blocksQueued = blocksQueued;
  return errOK;
}

SoundDevice WinWaveDevice = MakeSoundDevice(
    0x38, sdMono | sdStereo | sd8bit | sd16bit, "Windows Wave Sound Device 1.11", kCardNames,
    SoundDeviceOwnOps{WaveDetect, WaveInit, WaveClose, WaveSuspend, WaveResume, WaveGetMode, WaveSetUpdRate,
                      WaveStartPlay, WavePlay});
