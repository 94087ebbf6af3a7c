// Whole-song services: any-kind loading, song length, offline rendering.
#include "sound/gmprender.h"

#include <algorithm>
#include <vector>

#include "sound/dsm.h"
#include "sound/dsmmem.h"
#include "sound/errors.h"
#include "sound/gmplayer.h"
#include "sound/gmpvoices.h"
#include "sound/loadformats.h"
#include "sound/module.h"

namespace {

// A device that plays nothing and remembers the update rate: the clock of
// gmpSongDuration.
unsigned timingRate = 5000;
int TimingOk() { return errOK; }
int TimingChannel(unsigned) { return errOK; }
int TimingChannelValue(unsigned, unsigned) { return errOK; }
int TimingChannelRate(unsigned, std::uint32_t) { return errOK; }
int TimingChannelPan(unsigned, int) { return errOK; }
int TimingChannelFilter(unsigned, unsigned, unsigned) { return errOK; }
int TimingSetUpdRate(unsigned rate) {
  if (rate == 0) return errInvalidArguments;
  timingRate = rate;
  return errOK;
}

SoundDevice MakeTimingDevice() {
  SoundDevice d{};
  d.name = "Timing";
  d.PlaySound = TimingChannelRate;
  d.ReleaseSound = TimingChannel;
  d.StopSound = TimingChannel;
  d.SetRate = TimingChannelRate;
  d.SetVolume = TimingChannelValue;
  d.SetSample = TimingChannelValue;
  d.SetPosition = TimingChannelValue;
  d.SetPanning = TimingChannelPan;
  d.SetFilter = TimingChannelFilter;
  d.SetUpdRate = TimingSetUpdRate;
  d.StartPlay = TimingOk;
  return d;
}
const SoundDevice timingDevice = MakeTimingDevice();

// The song has ended when it has wrapped and the row that wrapped has had
// all its ticks, a pattern delay's repeats included; when it repeats, once
// it has wrapped once more than its repeats (never for -1).
bool SongOver(const PlayerHandle* h, int repeats = 0) {
  return repeats >= 0 && gmpSongWrapped(h) && h->loopCount > static_cast<std::uint32_t>(repeats);
}

int StartSong(Module* module, PlayerHandle** handle) {
  // The song's channels first, then its background voices (IT).
  std::vector<unsigned> channels(std::max<unsigned>(gmpDeviceChannelsFor(module), 1));
  for (unsigned i = 0; i < channels.size(); ++i) channels[i] = i;
  if (int e = gmpPlaySong(module, -1, -1, -1, 1, -1, channels.data(), handle); e != errOK) {
    return e;
  }
  const unsigned songChannels = module->numChannels;
  if (channels.size() > songChannels) {
    const auto voices = static_cast<unsigned>(channels.size() - songChannels);
    if (int e = gmpSetVoiceChannels(*handle, voices, channels.data() + songChannels); e != errOK) {
      return e;
    }
  }
  // The ticks before the first row carry no commands and make no sound.
  PlayerHandle* h = *handle;
  while (h->tick + 1 < h->speed) {
    if (int e = gmpPlay(); e != errOK) return e;
  }
  return errOK;
}

}  // namespace

int gmpLoadAnyModule(const char* fileName, const SoundDevice* device, int addSamples,
                     Module** module) {
  if (fileName == nullptr || module == nullptr) {
    return errInvalidArguments;
  }
  *module = nullptr;
  ModuleStart start;
  if (int e = gmpReadModuleStart(fileName, &start); e != errOK) {
    return e;
  }
  return gmpProbeModuleFormat(start)->Load(fileName, device, addSamples, nullptr, module);
}

int gmpSongDuration(Module* module, double* seconds) {
  if (module == nullptr || seconds == nullptr) {
    return errInvalidArguments;
  }
  *seconds = 0;
  if (int e = gmpInit(&timingDevice); e != errOK) return e;
  PlayerHandle* h = nullptr;
  if (int e = StartSong(module, &h); e != errOK) {
    gmpClose();
    return e;
  }
  double total = 0;
  int error = errOK;
  while (total < gmpMaxSongSeconds) {
    if ((error = gmpPlay()) != errOK) break;
    total += 100.0 / timingRate;
    if (SongOver(h)) break;
  }
  const int closeError = gmpClose();
  *seconds = total;
  return error != errOK ? error : closeError;
}

int gmpRenderModule(const char* fileName, const RenderSettings& settings, RenderSink sink,
                    void* user, double* seconds) {
  if (fileName == nullptr || sink == nullptr || settings.rate < 1000 || settings.rate > 384000) {
    return errInvalidArguments;
  }
  if (seconds != nullptr) *seconds = 0;
  const SoundDevice* device = &MemoryDevice;
  unsigned mode = (settings.mono ? sdMono : sdStereo) | (settings.eightBit ? sd8bit : sd16bit);
  if (settings.interpolate) mode |= dsmMixInterpolation;
  mode |= settings.mixPath & (dsmMixFloat | dsmMixInteger);
  dsmSetFilterMode(std::clamp(settings.filter, 0, 3));
  if (int e = device->Init(settings.rate, mode); e != errOK) return e;

  Module* module = nullptr;
  PlayerHandle* h = nullptr;
  bool channelsOpen = false;
  bool playerOpen = false;
  double rendered = 0;
  int error = gmpLoadAnyModule(fileName, device, 1, &module);
  if (error == errOK) {
    error = device->OpenChannels(std::max<unsigned>(gmpDeviceChannelsFor(module), 1));
    channelsOpen = error == errOK;
  }
  if (error == errOK) {
    error = gmpInit(device);
    playerOpen = error == errOK;
  }
  if (error == errOK) error = StartSong(module, &h);
  if (error == errOK) error = gmpPlay();  // the first row

  constexpr unsigned blockFrames = 4096;
  std::vector<std::uint8_t> block(static_cast<std::size_t>(blockFrames) * memBytesPerFrame());
  bool over = false;
  while (error == errOK && !over) {
    memSetOutput(block.data(), blockFrames);
    while (error == errOK && memFramesWritten() < blockFrames) {
      int callPlayer = 0;
      if ((error = device->Play(&callPlayer)) != errOK) break;
      if (callPlayer) {
        const double done = rendered + memFramesWritten() / double(settings.rate);
        if (SongOver(h, settings.repeats) || done >= settings.maxSeconds) {
          over = true;
          break;
        }
        error = gmpPlay();
      }
    }
    const unsigned frames = memFramesWritten();
    rendered += frames / static_cast<double>(settings.rate);
    if (error == errOK && frames > 0 &&
        !sink(block.data(), static_cast<std::size_t>(frames) * memBytesPerFrame(), rendered, user)) {
      break;
    }
  }
  memSetOutput(nullptr, 0);
  if (playerOpen) {
    const int e = gmpClose();
    if (error == errOK) error = e;
  }
  if (module != nullptr) {
    const int e = ModuleFree(module, device);
    if (error == errOK) error = e;
  }
  if (channelsOpen) {
    const int e = device->CloseChannels();
    if (error == errOK) error = e;
  }
  const int e = device->Close();
  if (error == errOK) error = e;
  if (seconds != nullptr) *seconds = rendered;
  return error;
}
