// Wave output over SDL2 audio, and the virtual audio device for tests. This is the
// only file of the audio stand-ins that talks to SDL.
#include "platform/win32/win32_wave.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>

#include "platform/win32/win32_audio.h"

namespace win32audio {

struct Output {
  WAVEFORMATEX format{};
  Sink* sink = nullptr;
  SDL_AudioDeviceID sdlDevice = 0;  // 0 on the virtual device
};

namespace {

// ---- Virtual device state, under virtualMutex ----
std::mutex virtualMutex;
bool virtualOn = false;
UINT virtualDevices = 1;
Win32VirtualAudioAcceptor virtualAcceptor;
std::vector<Win32VirtualAudioOpen> virtualLog;
std::vector<Output*> virtualOutputs;

std::once_flag sdlInitOnce;
bool sdlAudioReady = false;

bool InitSdlAudio() {
  std::call_once(sdlInitOnce, [] { sdlAudioReady = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0; });
  return sdlAudioReady;
}

void SDLCALL SdlCallback(void* userdata, Uint8* stream, int length) {
  auto* output = static_cast<Output*>(userdata);
  output->sink->Pull(stream, static_cast<std::size_t>(length));
}

SDL_AudioSpec SpecFor(const WAVEFORMATEX& format) {
  SDL_AudioSpec wanted{};
  wanted.freq = static_cast<int>(format.nSamplesPerSec);
  wanted.format = format.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16SYS;
  wanted.channels = static_cast<Uint8>(format.nChannels);
  wanted.samples = 1024;
  return wanted;
}

}  // namespace

UINT DeviceCount() {
  {
    std::lock_guard<std::mutex> lock(virtualMutex);
    if (virtualOn) return virtualDevices;
  }
  if (!InitSdlAudio()) return 0;
  // A device counts only when it really opens: drivers may list cards that cannot play.
  SDL_AudioSpec wanted{};
  wanted.freq = 44100;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  wanted.samples = 1024;
  SDL_AudioSpec obtained{};
  SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (device == 0) return 0;
  SDL_CloseAudioDevice(device);
  return 1;
}

MMRESULT Open(const WAVEFORMATEX& format, bool query, Sink* sink, Output** output) {
  {
    std::lock_guard<std::mutex> lock(virtualMutex);
    if (virtualOn) {
      MMRESULT result = MMSYSERR_NOERROR;
      if (virtualDevices == 0) result = MMSYSERR_NODRIVER;
      else if (virtualAcceptor) result = virtualAcceptor(format, query);
      virtualLog.push_back({format, query, result});
      if (result != MMSYSERR_NOERROR || query) return result;
      auto* created = new (std::nothrow) Output;
      if (created == nullptr) return MMSYSERR_NOMEM;
      created->format = format;
      created->sink = sink;
      virtualOutputs.push_back(created);
      *output = created;
      return MMSYSERR_NOERROR;
    }
  }
  if (!InitSdlAudio()) return MMSYSERR_NODRIVER;
  if (query) return MMSYSERR_NOERROR;  // SDL converts any PCM format we accept
  auto* created = new (std::nothrow) Output;
  if (created == nullptr) return MMSYSERR_NOMEM;
  created->format = format;
  created->sink = sink;
  SDL_AudioSpec wanted = SpecFor(format);
  wanted.callback = SdlCallback;
  wanted.userdata = created;
  SDL_AudioSpec obtained{};
  created->sdlDevice = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
  if (created->sdlDevice == 0) {
    delete created;
    return MMSYSERR_NODRIVER;
  }
  SDL_PauseAudioDevice(created->sdlDevice, 0);
  *output = created;
  return MMSYSERR_NOERROR;
}

void Close(Output* output) {
  if (output == nullptr) return;
  if (output->sdlDevice != 0) {
    SDL_CloseAudioDevice(output->sdlDevice);  // waits for a running callback
  } else {
    std::lock_guard<std::mutex> lock(virtualMutex);
    virtualOutputs.erase(std::remove(virtualOutputs.begin(), virtualOutputs.end(), output),
                         virtualOutputs.end());
  }
  delete output;
}

}  // namespace win32audio

// ---- Virtual device controls ----

void Win32UseVirtualAudio(bool on, UINT devices) {
  std::lock_guard<std::mutex> lock(win32audio::virtualMutex);
  win32audio::virtualOn = on;
  win32audio::virtualDevices = devices;
  win32audio::virtualAcceptor = nullptr;
  win32audio::virtualLog.clear();
}

void Win32VirtualAudioSetAcceptor(Win32VirtualAudioAcceptor acceptor) {
  std::lock_guard<std::mutex> lock(win32audio::virtualMutex);
  win32audio::virtualAcceptor = std::move(acceptor);
}

std::vector<Win32VirtualAudioOpen> Win32VirtualAudioOpenLog() {
  std::lock_guard<std::mutex> lock(win32audio::virtualMutex);
  return win32audio::virtualLog;
}

void Win32VirtualAudioClearLog() {
  std::lock_guard<std::mutex> lock(win32audio::virtualMutex);
  win32audio::virtualLog.clear();
}

std::vector<unsigned char> Win32VirtualAudioRun(std::size_t frames) {
  std::lock_guard<std::mutex> lock(win32audio::virtualMutex);
  std::vector<unsigned char> first;
  std::vector<unsigned char> scratch;
  bool firstDone = false;
  for (win32audio::Output* output : win32audio::virtualOutputs) {
    std::size_t bytes = frames * output->format.nBlockAlign;
    scratch.assign(bytes, 0);
    output->sink->Pull(scratch.data(), bytes);
    if (!firstDone) {
      first = scratch;
      firstDone = true;
    }
  }
  return first;
}

std::size_t Win32VirtualAudioOpenCount() {
  std::lock_guard<std::mutex> lock(win32audio::virtualMutex);
  return win32audio::virtualOutputs.size();
}

// ---- waveOut ----

struct HWAVEOUT__ : win32audio::Sink {
  static constexpr std::uint32_t kSignature = 0x574F5554u;  // "WOUT"
  std::uint32_t signature = kSignature;
  std::mutex mutex;
  WAVEFORMATEX format{};
  std::deque<WAVEHDR*> queue;
  std::size_t headOffset = 0;  // bytes of queue.front() already played
  win32audio::Output* output = nullptr;

  void Pull(unsigned char* out, std::size_t bytes) override;
};

namespace {

// Flags are read by the writer's thread while blocks finish on the card's thread.
DWORD LoadFlags(const WAVEHDR* header) { return __atomic_load_n(&header->dwFlags, __ATOMIC_ACQUIRE); }
void StoreFlags(WAVEHDR* header, DWORD flags) { __atomic_store_n(&header->dwFlags, flags, __ATOMIC_RELEASE); }

std::mutex handlesMutex;
std::vector<HWAVEOUT> openHandles;
std::atomic<std::size_t> starvedFrames{0};

bool Known(HWAVEOUT waveOut) {
  std::lock_guard<std::mutex> lock(handlesMutex);
  return std::find(openHandles.begin(), openHandles.end(), waveOut) != openHandles.end();
}

bool WellFormed(const WAVEFORMATEX& format) {
  if (format.wFormatTag != WAVE_FORMAT_PCM) return false;
  if (format.nChannels != 1 && format.nChannels != 2) return false;
  if (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) return false;
  if (format.nSamplesPerSec < 1000 || format.nSamplesPerSec > 192000) return false;
  if (format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8) return false;
  return format.nAvgBytesPerSec == format.nSamplesPerSec * format.nBlockAlign;
}

}  // namespace

void HWAVEOUT__::Pull(unsigned char* out, std::size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex);
  while (bytes > 0 && !queue.empty()) {
    WAVEHDR* header = queue.front();
    std::size_t left = header->dwBufferLength - headOffset;
    std::size_t n = std::min(left, bytes);
    std::memcpy(out, header->lpData + headOffset, n);
    out += n;
    bytes -= n;
    headOffset += n;
    if (headOffset >= header->dwBufferLength) {
      queue.pop_front();
      headOffset = 0;
      StoreFlags(header, (LoadFlags(header) & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE);
    }
  }
  std::memset(out, format.wBitsPerSample == 8 ? 0x80 : 0, bytes);
  starvedFrames.fetch_add(bytes / format.nBlockAlign);
}

std::size_t Win32WaveStarvedFrames() { return starvedFrames.load(); }

UINT waveOutGetNumDevs() { return win32audio::DeviceCount(); }

MMRESULT waveOutOpen(LPHWAVEOUT waveOut, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags) {
  (void)instance;
  if (format == nullptr) return MMSYSERR_INVALPARAM;
  if ((flags & ~static_cast<DWORD>(WAVE_FORMAT_QUERY)) != 0 || callback != 0) return MMSYSERR_INVALFLAG;
  bool query = (flags & WAVE_FORMAT_QUERY) != 0;
  if (!query && waveOut == nullptr) return MMSYSERR_INVALPARAM;
  UINT devices = win32audio::DeviceCount();
  if (devices == 0) return MMSYSERR_NODRIVER;
  if (deviceId != WAVE_MAPPER && deviceId >= devices) return MMSYSERR_BADDEVICEID;
  if (!WellFormed(*format)) return WAVERR_BADFORMAT;

  if (query) return win32audio::Open(*format, true, nullptr, nullptr);
  auto* created = new (std::nothrow) HWAVEOUT__;
  if (created == nullptr) return MMSYSERR_NOMEM;
  created->format = *format;
  MMRESULT result = win32audio::Open(*format, false, created, &created->output);
  if (result != MMSYSERR_NOERROR) {
    delete created;
    return result;
  }
  {
    std::lock_guard<std::mutex> lock(handlesMutex);
    openHandles.push_back(created);
  }
  *waveOut = created;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT waveOut, LPWAVEHDR header, UINT headerSize) {
  if (!Known(waveOut)) return MMSYSERR_INVALHANDLE;
  if (header == nullptr || headerSize < sizeof(WAVEHDR) || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> lock(waveOut->mutex);
  DWORD current = LoadFlags(header);
  if ((current & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  StoreFlags(header, current | WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT waveOut, LPWAVEHDR header, UINT headerSize) {
  if (!Known(waveOut)) return MMSYSERR_INVALHANDLE;
  if (header == nullptr || headerSize < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> lock(waveOut->mutex);
  DWORD current = LoadFlags(header);
  if ((current & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  StoreFlags(header, current & ~static_cast<DWORD>(WHDR_PREPARED));
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT waveOut, LPWAVEHDR header, UINT headerSize) {
  if (!Known(waveOut)) return MMSYSERR_INVALHANDLE;
  if (header == nullptr || headerSize < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> lock(waveOut->mutex);
  DWORD current = LoadFlags(header);
  if ((current & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
  if ((current & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  StoreFlags(header, (current & ~static_cast<DWORD>(WHDR_DONE)) | WHDR_INQUEUE);
  waveOut->queue.push_back(header);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT waveOut) {
  if (!Known(waveOut)) return MMSYSERR_INVALHANDLE;
  std::lock_guard<std::mutex> lock(waveOut->mutex);
  for (WAVEHDR* header : waveOut->queue) {
    StoreFlags(header, (LoadFlags(header) & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE);
  }
  waveOut->queue.clear();
  waveOut->headOffset = 0;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT waveOut) {
  if (!Known(waveOut)) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard<std::mutex> lock(waveOut->mutex);
    if (!waveOut->queue.empty()) return WAVERR_STILLPLAYING;
  }
  {
    std::lock_guard<std::mutex> lock(handlesMutex);
    openHandles.erase(std::remove(openHandles.begin(), openHandles.end(), waveOut), openHandles.end());
  }
  win32audio::Close(waveOut->output);
  waveOut->signature = 0;
  delete waveOut;
  return MMSYSERR_NOERROR;
}
