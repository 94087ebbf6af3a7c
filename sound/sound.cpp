// The calling interface: options, device selection and start-up, channels,
// module loading and playing slots, and the orderly shutdown that undoes exactly
// what start-up did.
#include "sound/sound.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <mutex>

#include "sound/dsm.h"
#include "sound/dsmnsnd.h"
#include "sound/dsound.h"
#include "sound/gmplayer.h"
#include "sound/gmpvoices.h"
#include "sound/loadformats.h"
#include "sound/loads3m.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "sound/rawf_nt.h"
#include "sound/sdevice.h"
#include "sound/soundint.h"
#include "sound/winwave.h"

namespace soundint {

Progress progress{};
SoundDevice* device = nullptr;
std::atomic<int> backgroundPlay{0};
WorkingPair working{44100, 0};

CRITICAL_SECTION* InterfaceLock() {
  static CRITICAL_SECTION lock;
  static std::once_flag once;
  std::call_once(once, [] { InitializeCriticalSection(&lock); });
  return &lock;
}

}  // namespace soundint

namespace {

using soundint::device;
using soundint::progress;

constexpr unsigned kNoChannel = 0xFFFF;
constexpr std::intptr_t kDefaultOptions[soundOptionCount + 1] = {
    0, 44100, 0, 500, 16, 0, 0, 0, 100, 1, 3, 0, 64, 0};

std::intptr_t options[soundOptionCount + 1];
int deviceIndex = soundDeviceAuto;
int hardwareOverride[4] = {-1, -1, -1, -1};
int neverUseDirectSound = 0;
unsigned amplificationPercent = 100;
unsigned defaultAmplification = 64;

SoundDevice* const deviceTable[soundDeviceCount] = {&DirectSoundDevice, &WinWaveDevice, &NoSoundDevice};

// Channel usage: one flag per open mixer channel.
unsigned* channelUsage = nullptr;
unsigned channelCount = 0;

// A playing slot: the song's channel count, the player's handle, then the
// mixer channels it uses (channelCount + 2 words in one block).
struct PlayRecord {
  unsigned numChannels;
  PlayerHandle* handle;
  Module* module;
  unsigned channels[1];
};
PlayRecord* slots[soundMaxPlaying];

// The sample manager keeps sound-effect samples added to the device; the stream
// manager 32 stream slots. The system adds none, but closing cleans up after
// whatever a host did.
constexpr unsigned kMaxEffectSamples = 256;
constexpr unsigned kMaxStreams = 32;
unsigned effectSamples[kMaxEffectSamples];
struct StreamSlot {
  int active;
  unsigned channel;
};
StreamSlot streams[kMaxStreams];

class InterfaceGuard {
public:
  InterfaceGuard() { EnterCriticalSection(soundint::InterfaceLock()); }
  ~InterfaceGuard() { LeaveCriticalSection(soundint::InterfaceLock()); }
  InterfaceGuard(const InterfaceGuard&) = delete;
  InterfaceGuard& operator=(const InterfaceGuard&) = delete;
};

int Fail(int code) {
  SoundSetLastError(code);
  return 0;
}

int Result(int code) { return code == errOK ? 1 : Fail(code); }

// Asks the devices in table order; the first present one wins.
int Detect(SoundDevice** found) {
  *found = nullptr;
  for (SoundDevice* candidate : deviceTable) {
    int present = 0;
    int error = candidate->Detect(&present);
    if (error != errOK) return error;
    if (present != 0) {
      *found = candidate;
      return errOK;
    }
  }
  return errDeviceFailure;
}

int SampleManagerClose() {
  int first = errOK;
  for (unsigned& handle : effectSamples) {
    if (handle != 0 && device != nullptr) {
      int error = device->RemoveSample(handle);
      if (first == errOK) first = error;
    }
    handle = 0;
  }
  return first;
}

int StreamManagerClose() {
  int first = errOK;
  for (StreamSlot& stream : streams) {
    if (stream.active != 0 && device != nullptr) {
      int error = device->StopStream(stream.channel);
      if (first == errOK) first = error;
    }
    stream = StreamSlot{};
  }
  return first;
}

void FreeChannelTable() {
  if (channelUsage != nullptr) memFree(channelUsage);
  channelUsage = nullptr;
  channelCount = 0;
}

int CloseChannelsLocked() {
  int error = device != nullptr ? device->CloseChannels() : errNoChannels;
  FreeChannelTable();
  progress.channelsOpen = false;
  progress.channelsForModule = false;
  return error;
}

void ReleaseChannels(const unsigned* channels, unsigned count) {
  for (unsigned i = 0; i < count; ++i) {
    if (channels[i] < channelCount) channelUsage[channels[i]] = 0;
  }
}

// percent of the device's default amplification. The product is taken in 64
// bits: in 32 it wraps for large percentages (2^26 % of 64 gave silence), and a
// result beyond 32 bits is held to the largest value for the mixer to saturate.
unsigned ScaledAmplification(unsigned percent) {
  std::uint64_t scaled = std::uint64_t{percent} * defaultAmplification / 100u;
  return static_cast<unsigned>(std::min<std::uint64_t>(scaled, std::numeric_limits<unsigned>::max()));
}

unsigned FreeChannelCount() {
  unsigned count = 0;
  for (unsigned i = 0; i < channelCount; ++i) {
    if (channelUsage[i] == 0) ++count;
  }
  return count;
}

bool AnySlotInUse() {
  for (PlayRecord* record : slots) {
    if (record != nullptr) return true;
  }
  return false;
}

// Stops the song of one slot; the caller holds the lock.
int StopSlotLocked(unsigned index) {
  PlayRecord* record = slots[index];
  if (record == nullptr) return errNoModulePlaying;
  slots[index] = nullptr;
  int error = errOK;
  if (record->handle != nullptr) error = gmpStopSong(record->handle);
  for (unsigned i = 0; i < record->numChannels && error == errOK; ++i) {
    unsigned channel = record->channels[i];
    error = device->StopSound(channel);
    if (error == errOK) error = device->SetVolume(channel, 0);
    if (error == errOK && channel < channelCount) channelUsage[channel] = 0;
  }
  if (error == errOK && progress.channelsForModule && !AnySlotInUse()) error = CloseChannelsLocked();
  int freed = memFree(record);
  if (error == errOK) error = freed;
  progress.modulePlaying = AnySlotInUse();
  return error;
}

}  // namespace

// ---- Shutdown steps of the fatal path ----

namespace soundint {

int ShutdownStopModules() {
  int first = errOK;
  for (unsigned i = 0; i < soundMaxPlaying; ++i) {
    if (slots[i] != nullptr && device != nullptr) {
      int error = StopSlotLocked(i);
      if (first == errOK) first = error;
    }
  }
  return first;
}

int ShutdownClosePlayer() {
  if (!progress.playerInit) return errOK;
  progress.playerInit = false;
  return gmpClose();
}

int ShutdownCloseChannels() {
  if (!progress.channelsOpen) return errOK;
  return CloseChannelsLocked();
}

int ShutdownCloseDevice() {
  if (!progress.deviceInit) return errOK;
  progress.deviceInit = false;
  int error = device->Close();
  device = nullptr;
  return error;
}

}  // namespace soundint

// ---- Start-up and options ----

int SoundStartup() {
  // A thread left running by an earlier start would poll the state reset below.
  if (soundint::backgroundPlay.load() != 0) SoundStopPlayThread();
  InterfaceGuard guard;
  progress = soundint::Progress{};
  soundint::backgroundPlay.store(0);
  for (PlayRecord*& record : slots) record = nullptr;
  amplificationPercent = 100;
  std::memcpy(options, kDefaultOptions, sizeof(options));
  deviceIndex = soundDeviceAuto;
  for (int& value : hardwareOverride) value = -1;
  neverUseDirectSound = 0;
  device = nullptr;
  channelUsage = nullptr;
  channelCount = 0;
  SoundSetLastError(errOK);
  SoundSetErrorExit(nullptr);
  static const SoundShutdownStep kSteps[] = {soundint::ShutdownStopModules, soundint::ShutdownClosePlayer,
                                             soundint::ShutdownCloseChannels, soundint::ShutdownCloseDevice};
  SoundSetShutdownSteps(kSteps, 4);
  return 1;
}

void soundint::StoreOption(int option, std::intptr_t value) {
  if (option < 1 || option > soundOptionCount) return;
  InterfaceGuard guard;
  options[option] = value;
}

int SoundSetOption(int option, std::intptr_t value) {
  if (option == soundOptInterpolation && value != 1) value = 0;
  soundint::StoreOption(option, value);
  return 1;
}

std::intptr_t SoundGetOption(int option) {
  if (option < 1 || option > soundOptionCount) return 0;
  InterfaceGuard guard;
  return options[option];
}

int SoundSetDevice(int index) {
  if (index < soundDeviceAuto || index >= soundDeviceCount) return Fail(errInvalidArguments);
  InterfaceGuard guard;
  deviceIndex = index;
  return 1;
}

int SoundGetDevice() {
  InterfaceGuard guard;
  return deviceIndex;
}

int SoundSetHardwareOverride(int which, int value) {
  if (which < 0 || which > 3) return Fail(errInvalidArguments);
  InterfaceGuard guard;
  hardwareOverride[which] = value;
  return 1;
}

const SoundDevice* SoundCurrentDevice() {
  InterfaceGuard guard;
  return device;
}

SoundDevice* SoundDeviceTableEntry(int index) {
  return index >= 0 && index < soundDeviceCount ? deviceTable[index] : nullptr;
}

void SoundSetNeverUseDirectSound(int flag) {
  InterfaceGuard guard;
  neverUseDirectSound = flag != 0 ? 1 : 0;
}

int SoundGetNeverUseDirectSound() {
  InterfaceGuard guard;
  return neverUseDirectSound;
}

const char* SoundVersion() { return "1.1.2"; }

int SoundDetectDevice() {
  InterfaceGuard guard;
  SoundDevice* found = nullptr;
  int error = Detect(&found);
  if (error != errOK) return Fail(error);
  if (!progress.deviceInit) device = found;
  return 1;
}

// ---- Init and close ----

int SoundInit() {
  InterfaceGuard guard;
  if (progress.deviceInit) return Fail(errDeviceBusy);

  int index = deviceIndex;
  if (options[soundOptForceNoSound] != 0) index = soundDeviceNoSound;
  SoundDevice* chosen = nullptr;
  if (index == soundDeviceAuto) {
    int error = Detect(&chosen);
    if (error != errOK) return Fail(error);
  } else {
    chosen = deviceTable[index];
    bool noOverride = true;
    for (int value : hardwareOverride) noOverride = noOverride && value == -1;
    if (noOverride) {
      int present = 0;
      int error = chosen->Detect(&present);  // the answer is not used, an error is
      if (error != errOK) return Fail(error);
    }
  }
  for (int i = 0; i < 3; ++i) {
    if (hardwareOverride[i] != -1) chosen->hwResource[i] = hardwareOverride[i];
  }
  if (hardwareOverride[3] != -1) chosen->cardType = hardwareOverride[3];

  dsmSetCompression(static_cast<int>(options[soundOptMixerSetting]));
  dsmSetFilterMode(static_cast<int>(options[soundOptFilterMode]));
  int error = chosen->Init(static_cast<unsigned>(options[soundOptMixRate]),
                           static_cast<unsigned>(options[soundOptOutputMode]));
  if (error != errOK) return Fail(error);
  device = chosen;
  progress.deviceInit = true;

  error = gmpInit(device);
  if (error != errOK) return Fail(error);
  progress.playerInit = true;
  for (unsigned& handle : effectSamples) handle = 0;
  progress.sampleManagerInit = true;
  for (StreamSlot& stream : streams) stream = StreamSlot{};
  progress.streamManagerInit = true;
  return 1;
}

int SoundClose() {
  // The thread must be gone before the lock is taken: it needs the lock to end.
  if (soundint::backgroundPlay.load() != 0) {
    int error = SoundStopPlayThread();
    if (error != errOK) return Fail(error);
    soundint::backgroundPlay.store(0);
  }
  InterfaceGuard guard;
  int error = errOK;
  if (progress.streamManagerInit) {
    error = StreamManagerClose();
    progress.streamManagerInit = false;
    if (error != errOK) return Fail(error);
  }
  if (progress.sampleManagerInit) {
    error = SampleManagerClose();
    progress.sampleManagerInit = false;
    if (error != errOK) return Fail(error);
  }
  for (unsigned i = 0; i < soundMaxPlaying; ++i) {
    if (slots[i] != nullptr) {
      error = StopSlotLocked(i);
      if (error != errOK) return Fail(error);
    }
  }
  if (progress.playerInit) {
    progress.playerInit = false;
    error = gmpClose();
    if (error != errOK) return Fail(error);
  }
  if (progress.channelsOpen) {
    error = CloseChannelsLocked();
    if (error != errOK) return Fail(error);
  }
  if (progress.deviceInit) {
    progress.deviceInit = false;
    error = device->Close();
    device = nullptr;
    if (error != errOK) return Fail(error);
  }
  device = nullptr;
  return 1;
}

// ---- Locking, polling helpers, suspend ----

int SoundLock() {
  EnterCriticalSection(soundint::InterfaceLock());
  return 1;
}

int SoundUnlock() {
  LeaveCriticalSection(soundint::InterfaceLock());
  return 1;
}

int SoundSuspend() {
  InterfaceGuard guard;
  if (!progress.deviceInit) return Fail(errInvalidDevice);
  return Result(device->Suspend());
}

int SoundResume() {
  InterfaceGuard guard;
  if (!progress.deviceInit) return Fail(errInvalidDevice);
  return Result(device->Resume());
}

// ---- Channels ----

int SoundOpenChannels(unsigned count) {
  InterfaceGuard guard;
  if (!progress.deviceInit) return Fail(errInvalidDevice);
  if (progress.channelsOpen) return Fail(errDeviceBusy);
  if (count == 0 || count > 1024) return Fail(errInvalidArguments);
  int error = device->OpenChannels(count);
  if (error != errOK) return Fail(error);
  progress.channelsOpen = true;
  error = memAllocArray(count, &channelUsage);
  if (error != errOK) {
    CloseChannelsLocked();
    return Fail(error);
  }
  channelCount = count;
  error = device->GetAmplification(&defaultAmplification);
  if (error == errOK && amplificationPercent != 100) {
    error = device->SetAmplification(ScaledAmplification(amplificationPercent));
  }
  return Result(error);
}

int SoundCloseChannels() {
  InterfaceGuard guard;
  if (!progress.channelsOpen) return Fail(errNoChannels);
  return Result(CloseChannelsLocked());
}

int SoundSetAmplification(unsigned percent) {
  InterfaceGuard guard;
  amplificationPercent = percent;
  if (!progress.channelsOpen) return 1;
  return Result(device->SetAmplification(ScaledAmplification(percent)));
}

unsigned SoundAllocEffectChannel() {
  InterfaceGuard guard;
  if (!progress.channelsOpen) {
    Fail(errNoChannels);
    return kNoChannel;
  }
  for (unsigned i = 0; i < channelCount; ++i) {
    if (channelUsage[i] == 0) {
      channelUsage[i] = 1;
      return i;
    }
  }
  Fail(errOutOfChannels);
  return kNoChannel;
}

int SoundFreeEffectChannel(unsigned channel) {
  InterfaceGuard guard;
  if (!progress.channelsOpen) return Fail(errNoChannels);
  if (channel >= channelCount) return Fail(errInvalidChannel);
  channelUsage[channel] = 0;
  return 1;
}

// ---- Modules ----

Module* SoundLoadModule(const char* fileName) {
  if (fileName == nullptr) {
    Fail(errInvalidArguments);
    return nullptr;
  }
  ModuleStart start;
  if (int error = gmpReadModuleStart(fileName, &start); error != errOK) {
    Fail(error);
    return nullptr;
  }

  InterfaceGuard guard;
  if (!progress.deviceInit) {
    Fail(errInvalidDevice);
    return nullptr;
  }
  Module* module = nullptr;
  // The S3M and MOD readers take their default stereo separation from here.
  gmpSetStereoSeparation(static_cast<int>(options[soundOptStereoSeparation]));
  const ModuleFormat* format = gmpProbeModuleFormat(start);
  if (int error = format->Load(fileName, device, 1, nullptr, &module); error != errOK) {
    Fail(error);
    return nullptr;
  }
  return module;
}

unsigned SoundPlayModule(Module* module, int loop) { return SoundPlayModuleSection(module, -1, -1, -1, loop); }

unsigned SoundPlayModuleSection(Module* module, int firstPosition, int lastPosition, int restartPosition,
                                int loop) {
  InterfaceGuard guard;
  if (module == nullptr) return static_cast<unsigned>(Fail(errInvalidArguments));
  if (!progress.deviceInit || !progress.playerInit) return static_cast<unsigned>(Fail(errInvalidDevice));
  unsigned index = 0;
  while (index < soundMaxPlaying && slots[index] != nullptr) ++index;
  if (index == soundMaxPlaying) return static_cast<unsigned>(Fail(errOutOfResources));

  unsigned n = module->numChannels;
  if (n == 0) return static_cast<unsigned>(Fail(errInvalidModule));
  const unsigned wanted = gmpDeviceChannelsFor(module);  // with background voices (IT)
  if (!progress.channelsOpen) {
    if (SoundOpenChannels(wanted) == 0) return 0;
    progress.channelsForModule = true;
  }
  std::uint8_t* block = nullptr;
  int error = memAllocArray(sizeof(PlayRecord) + wanted * sizeof(unsigned), &block);
  if (error != errOK) {
    // Channels opened for this song go with it, as when the player refuses it.
    if (progress.channelsForModule && !AnySlotInUse()) CloseChannelsLocked();
    return static_cast<unsigned>(Fail(error));
  }
  auto* record = reinterpret_cast<PlayRecord*>(block);
  slots[index] = record;
  record->numChannels = n;
  record->module = module;

  for (unsigned i = 0; i < n; ++i) {
    unsigned channel = SoundAllocEffectChannel();
    if (channel == kNoChannel) {
      ReleaseChannels(record->channels, i);
      error = errOutOfChannels;
      break;
    }
    record->channels[i] = channel;
  }
  // Background voices take what channels are left, up to the number wanted.
  for (unsigned spare = FreeChannelCount(); error == errOK && spare > 0 && record->numChannels < wanted;
       --spare) {
    record->channels[record->numChannels++] = SoundAllocEffectChannel();
  }
  if (error == errOK) {
    error = gmpPlaySong(module, firstPosition, lastPosition, restartPosition, loop, static_cast<int>(n),
                        record->channels, &record->handle);
    if (error == errOK) {
      error = gmpSetVoiceChannels(record->handle, record->numChannels - n, record->channels + n);
    }
    if (error != errOK && record->handle != nullptr) {
      gmpStopSong(record->handle);
      record->handle = nullptr;
    }
    // A song the player refused gives its channels and its slot back.
    if (error != errOK) ReleaseChannels(record->channels, record->numChannels);
  }
  if (error != errOK) {
    slots[index] = nullptr;
    memFree(record);
    if (progress.channelsForModule && !AnySlotInUse()) CloseChannelsLocked();
    return static_cast<unsigned>(Fail(error));
  }
  progress.modulePlaying = true;
  return index + 1;
}

int SoundStopModule(unsigned handle) {
  if (handle < 1 || handle > soundMaxPlaying) return Fail(errInvalidArguments);
  InterfaceGuard guard;
  if (slots[handle - 1] == nullptr) return Fail(errNoModulePlaying);
  return Result(StopSlotLocked(handle - 1));
}

int SoundFreeModule(Module* module) {
  if (module == nullptr) return Fail(errInvalidArguments);
  InterfaceGuard guard;
  // A module still playing is stopped first, so the player never reads freed data.
  for (unsigned i = 0; i < soundMaxPlaying; ++i) {
    if (slots[i] != nullptr && slots[i]->module == module) {
      int error = StopSlotLocked(i);
      if (error != errOK) return Fail(error);
    }
  }
  return Result(ModuleFree(module, device));
}

int SoundGetPlayInfo(unsigned handle, SoundPlayInfo* info) {
  if (info == nullptr || handle < 1 || handle > soundMaxPlaying) return Fail(errInvalidArguments);
  InterfaceGuard guard;
  *info = SoundPlayInfo{};
  PlayRecord* record = slots[handle - 1];
  if (record == nullptr || record->handle == nullptr) return Fail(errNoModulePlaying);
  PlayerInfo* playerInfo = nullptr;
  int error = gmpGetInfo(record->handle, &playerInfo);
  if (error != errOK) return Fail(error);
  info->playing = 1;
  info->position = playerInfo->position;
  info->pattern = playerInfo->pattern;
  info->row = playerInfo->row;
  info->tempo = playerInfo->tempo;
  info->speed = playerInfo->speed;
  info->loopCount = playerInfo->loopCount;
  return 1;
}

// ---- Host controls of a playing song ----

namespace {

PlayerHandle* PlayingHandle(unsigned handle) {
  if (handle < 1 || handle > soundMaxPlaying) return nullptr;
  PlayRecord* record = slots[handle - 1];
  return record != nullptr ? record->handle : nullptr;
}

}  // namespace

int SoundSetModulePosition(unsigned handle, unsigned position) {
  InterfaceGuard guard;
  PlayerHandle* h = PlayingHandle(handle);
  if (h == nullptr) return Fail(errNoModulePlaying);
  if (h->module == nullptr || position >= h->module->songLength) return Fail(errInvalidArguments);
  return Result(gmpSetPosition(h, position));
}

int SoundEndAtNextWrap(unsigned handle) {
  InterfaceGuard guard;
  PlayerHandle* h = PlayingHandle(handle);
  if (h == nullptr) return Fail(errNoModulePlaying);
  // The player stops a song that may not loop once it has wrapped; counting
  // from zero again lets this play-through finish first.
  h->loopingAllowed = 0;
  h->loopCount = 0;
  if (h->info != nullptr) h->info->loopCount = 0;  // what SoundGetPlayInfo reads
  return 1;
}

unsigned SoundGetChannelVolumes(unsigned handle, std::uint8_t* volumes, unsigned capacity) {
  InterfaceGuard guard;
  PlayerHandle* h = PlayingHandle(handle);
  if (h == nullptr) return static_cast<unsigned>(Fail(errNoModulePlaying));
  if (volumes == nullptr) return static_cast<unsigned>(Fail(errInvalidArguments));
  const unsigned count = std::min<unsigned>(h->numChannels, capacity);
  // A channel without a note (period 0) is silent whatever volume it holds.
  for (unsigned i = 0; i < count; ++i) volumes[i] = h->channels[i].period != 0 ? h->channels[i].finalVolume : 0;
  return count;
}
