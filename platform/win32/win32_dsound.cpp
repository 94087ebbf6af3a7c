// The DirectSound stand-in: a device object and looping buffers whose play cursor
// advances as the audio backend pulls their bytes.
#include "platform/win32/win32_dsound.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/win32/win32_audio.h"

namespace {

std::mutex behaviourMutex;
Win32DirectSoundBehaviour behaviour;
std::atomic<int> liveObjects{0};
std::atomic<unsigned> lossGeneration{0};
std::atomic<int> restores{0};
constexpr DWORD kDefaultPrimaryBytes = 65536;

Win32DirectSoundBehaviour CurrentBehaviour() {
  std::lock_guard<std::mutex> lock(behaviourMutex);
  return behaviour;
}

bool FormatUsable(const WAVEFORMATEX& format) {
  return format.wFormatTag == WAVE_FORMAT_PCM && (format.nChannels == 1 || format.nChannels == 2) &&
         (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) && format.nSamplesPerSec >= 1000 &&
         format.nSamplesPerSec <= 192000 && format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8;
}

class DirectSound;

class SoundBuffer final : public IDirectSoundBuffer, public win32audio::Sink {
public:
  SoundBuffer(bool primary, const WAVEFORMATEX& format, DWORD bytes)
      : primary_(primary), format_(format), data_(bytes, Silence(format)), lossSeen_(lossGeneration.load()) {
    liveObjects.fetch_add(1);
  }
  ~SoundBuffer() override { liveObjects.fetch_sub(1); }

  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    ULONG left = --references_;
    if (left == 0) {
      StopOutput();
      delete this;
    }
    return left;
  }

  HRESULT GetCaps(LPDSBCAPS caps) override {
    if (caps == nullptr || caps->dwSize < sizeof(DSBCAPS)) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(mutex_);
    caps->dwFlags = primary_ ? DSBCAPS_PRIMARYBUFFER : DSBCAPS_LOCSOFTWARE;
    caps->dwBufferBytes = static_cast<DWORD>(data_.size());
    caps->dwUnlockTransferRate = 0;
    caps->dwPlayCpuOverhead = 0;
    return DS_OK;
  }

  HRESULT GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (playCursor != nullptr) *playCursor = play_;
    if (writeCursor != nullptr) *writeCursor = static_cast<DWORD>((play_ + format_.nBlockAlign) % data_.size());
    return DS_OK;
  }

  HRESULT GetStatus(LPDWORD status) override {
    if (status == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(mutex_);
    DWORD value = 0;
    if (Lost()) value |= DSBSTATUS_BUFFERLOST;
    if (output_ != nullptr) value |= DSBSTATUS_PLAYING | DSBSTATUS_LOOPING;
    *status = value;
    return DS_OK;
  }

  HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* part1, LPDWORD bytes1, LPVOID* part2, LPDWORD bytes2,
               DWORD flags) override {
    if (part1 == nullptr || bytes1 == nullptr) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(mutex_);
    if (Lost()) return DSERR_BUFFERLOST;
    DWORD size = static_cast<DWORD>(data_.size());
    if ((flags & DSBLOCK_ENTIREBUFFER) != 0) {
      offset = 0;
      bytes = size;
    }
    if (offset >= size || bytes > size || bytes == 0) return DSERR_INVALIDPARAM;
    DWORD first = std::min(bytes, size - offset);
    *part1 = data_.data() + offset;
    *bytes1 = first;
    if (part2 != nullptr && bytes2 != nullptr) {
      *part2 = first < bytes ? data_.data() : nullptr;
      *bytes2 = bytes - first;
    } else if (first < bytes) {
      return DSERR_INVALIDPARAM;
    }
    return DS_OK;
  }

  HRESULT Play(DWORD, DWORD, DWORD flags) override {
    if ((flags & DSBPLAY_LOOPING) == 0) return DSERR_INVALIDPARAM;  // only looping play is offered
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (Lost()) return DSERR_BUFFERLOST;
      if (output_ != nullptr) return DS_OK;
    }
    win32audio::Output* output = nullptr;
    MMRESULT result = win32audio::Open(format_, false, this, &output);
    if (result != MMSYSERR_NOERROR) return DSERR_NODRIVER;
    std::lock_guard<std::mutex> lock(mutex_);
    output_ = output;
    return DS_OK;
  }

  HRESULT SetFormat(LPCWAVEFORMATEX format) override {
    if (!primary_) return DSERR_INVALIDCALL;
    if (format == nullptr || !FormatUsable(*format)) return DSERR_BADFORMAT;
    std::lock_guard<std::mutex> lock(mutex_);
    if (output_ != nullptr) return DSERR_INVALIDCALL;
    format_ = *format;
    format_.nAvgBytesPerSec = format_.nSamplesPerSec * format_.nBlockAlign;
    std::fill(data_.begin(), data_.end(), Silence(format_));
    return DS_OK;
  }

  HRESULT Stop() override {
    StopOutput();
    return DS_OK;
  }

  HRESULT Unlock(LPVOID part1, DWORD, LPVOID, DWORD) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto* bytes = static_cast<unsigned char*>(part1);
    if (bytes < data_.data() || bytes >= data_.data() + data_.size()) return DSERR_INVALIDPARAM;
    return DS_OK;
  }

  HRESULT Restore() override {
    restores.fetch_add(1);
    if (CurrentBehaviour().restoreFails) return DSERR_BUFFERLOST;
    StopOutput();
    std::lock_guard<std::mutex> lock(mutex_);
    lossSeen_ = lossGeneration.load();
    play_ = 0;
    return DS_OK;
  }

  void Pull(unsigned char* out, std::size_t bytes) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t size = data_.size();
    while (bytes > 0) {
      std::size_t n = std::min(bytes, size - play_);
      std::memcpy(out, data_.data() + play_, n);
      out += n;
      bytes -= n;
      play_ = static_cast<DWORD>((play_ + n) % size);
    }
  }

  // A lost buffer goes silent, as a buffer whose memory was taken away would.
  void StopOutput() {
    win32audio::Output* output = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      std::swap(output, output_);
    }
    win32audio::Close(output);
  }

private:
  static unsigned char Silence(const WAVEFORMATEX& format) { return format.wBitsPerSample == 8 ? 0x80 : 0; }
  bool Lost() const { return lossSeen_ != lossGeneration.load(); }

  std::atomic<ULONG> references_{1};
  bool primary_;
  WAVEFORMATEX format_;
  std::mutex mutex_;
  std::vector<unsigned char> data_;
  DWORD play_ = 0;
  unsigned lossSeen_;
  win32audio::Output* output_ = nullptr;
};

class DirectSound final : public IDirectSound {
public:
  DirectSound() { liveObjects.fetch_add(1); }
  ~DirectSound() { liveObjects.fetch_sub(1); }

  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT CreateSoundBuffer(LPCDSBUFFERDESC description, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) override {
    if (description == nullptr || buffer == nullptr || outer != nullptr) return DSERR_INVALIDPARAM;
    if (description->dwSize < sizeof(DSBUFFERDESC)) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> lock(mutex_);
    if (level_ == 0) return DSERR_PRIOLEVELNEEDED;
    if ((description->dwFlags & DSBCAPS_PRIMARYBUFFER) != 0) {
      if (description->dwBufferBytes != 0 || description->lpwfxFormat != nullptr) return DSERR_INVALIDPARAM;
      WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 22050, 22050 * 2, 2, 8, 0};
      DWORD bytes = CurrentBehaviour().primaryBufferBytes;
      if (bytes == 0) bytes = kDefaultPrimaryBytes;
      // A primary buffer keeps its size when its format changes, as on a real card.
      *buffer = new (std::nothrow) SoundBuffer(true, format, bytes);
    } else {
      if (level_ == DSSCL_WRITEPRIMARY) return DSERR_INVALIDCALL;
      if (description->lpwfxFormat == nullptr || !FormatUsable(*description->lpwfxFormat)) return DSERR_BADFORMAT;
      if (description->dwBufferBytes < 4 || description->dwBufferBytes > 0x0FFFFFFF) return DSERR_INVALIDPARAM;
      *buffer = new (std::nothrow) SoundBuffer(false, *description->lpwfxFormat, description->dwBufferBytes);
    }
    return *buffer == nullptr ? DSERR_OUTOFMEMORY : DS_OK;
  }

  HRESULT GetCaps(LPDSCAPS caps) override {
    if (caps == nullptr || caps->dwSize != sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
    Win32DirectSoundBehaviour current = CurrentBehaviour();
    if (current.capsFail) return DSERR_GENERIC;
    std::memset(reinterpret_cast<unsigned char*>(caps) + sizeof(DWORD), 0, sizeof(DSCAPS) - sizeof(DWORD));
    caps->dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT | DSCAPS_PRIMARY16BIT |
                    DSCAPS_CONTINUOUSRATE | (current.emulated ? DSCAPS_EMULDRIVER : 0);
    caps->dwMinSecondarySampleRate = 1000;
    caps->dwMaxSecondarySampleRate = 192000;
    caps->dwPrimaryBuffers = 1;
    return DS_OK;
  }

  HRESULT SetCooperativeLevel(HWND window, DWORD level) override {
    if (window == nullptr || level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    if (level == DSSCL_WRITEPRIMARY && !CurrentBehaviour().writePrimaryGranted) return DSERR_PRIOLEVELNEEDED;
    std::lock_guard<std::mutex> lock(mutex_);
    level_ = level;
    return DS_OK;
  }

private:
  std::atomic<ULONG> references_{1};
  std::mutex mutex_;
  DWORD level_ = 0;
};

}  // namespace

HRESULT WINAPI Win32DirectSoundCreate(LPCGUID device, LPDIRECTSOUND* directSound, LPUNKNOWN outer) {
  if (directSound == nullptr || outer != nullptr || device != nullptr) return DSERR_INVALIDPARAM;
  *directSound = nullptr;
  if (CurrentBehaviour().createFails || win32audio::DeviceCount() == 0) return DSERR_NODRIVER;
  *directSound = new (std::nothrow) DirectSound;
  return *directSound == nullptr ? DSERR_OUTOFMEMORY : DS_OK;
}

void Win32SetDirectSoundBehaviour(const Win32DirectSoundBehaviour& wanted) {
  std::lock_guard<std::mutex> lock(behaviourMutex);
  behaviour = wanted;
}

void Win32ResetDirectSound() { Win32SetDirectSoundBehaviour(Win32DirectSoundBehaviour{}); }

void Win32LoseDirectSoundBuffers() { lossGeneration.fetch_add(1); }

int Win32LiveDirectSoundObjects() { return liveObjects.load(); }
int Win32DirectSoundRestores() { return restores.load(); }
