// The software mixer's operations: initialisation, the sample store, channel
// control and volume computation. The mixing itself is in dsmmix.cpp and the
// output filter in dsmfilt.cpp.
#include "sound/dsm.h"

#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

#include "sound/dsmmix.h"
#include "sound/errors.h"
#include "sound/mem.h"
#include "sound/module.h"

DsmState dsm{};
std::uint8_t* dsmMixBuffer = nullptr;
unsigned dsmMixBufferSize = 0;

namespace {

int compressSetting = 1;
int filterSetting = dsmFilterAuto;

constexpr std::uintptr_t tableAlignment = 1024;

void* AlignUp(void* raw) {
  auto address = reinterpret_cast<std::uintptr_t>(raw);
  address = (address + tableAlignment - 1) & ~(tableAlignment - 1);
  return reinterpret_cast<void*>(address);
}

// True when the processor reports "GenuineIntel" with family 6 or higher;
// where there is no identification instruction the answer is no.
bool IntelFamily6OrLater() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(0, &eax, &ebx, &ecx, &edx) == 0) {
    return false;
  }
  char vendor[13];
  std::memcpy(vendor + 0, &ebx, 4);
  std::memcpy(vendor + 4, &edx, 4);
  std::memcpy(vendor + 8, &ecx, 4);
  vendor[12] = '\0';
  if (std::strcmp(vendor, "GenuineIntel") != 0 || eax < 1) {
    return false;
  }
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
    return false;
  }
  unsigned family = (eax >> 8) & 0x0F;
  if (family == 0x0F) {
    family += (eax >> 20) & 0xFF;
  }
  return family >= 6;
#else
  return false;
#endif
}

// Table entries are held to 2^19 (16 times full scale), so that even 1024
// channels at an absurd amplification cannot overflow the accumulators.
std::int32_t ClampEntry(std::int64_t value) {
  constexpr std::int64_t limit = std::int64_t{1} << 19;
  return static_cast<std::int32_t>(value > limit ? limit : (value < -limit ? -limit : value));
}

void BuildVolumeTables() {
  if (dsm.volumeTable == nullptr || dsm.numChannels == 0) {
    return;
  }
  const std::int64_t amp = dsm.amplification;
  const std::int64_t n = dsm.numChannels;
  for (int v = 0; v < static_cast<int>(dsmVolumeLevels); v++) {
    for (int s = -128; s < 128; s++) {
      std::int64_t value = ((v * s * amp / 64) * 256 / 32) / n;
      dsm.volumeTable[v][s + 128] = ClampEntry(value);
    }
    for (int k = 0; k < 256; k++) {
      std::int64_t value =
          (dsmMuLawDecode(static_cast<std::uint8_t>(k)) * v * amp / 64 / 32) / n;
      dsm.muLawVolumeTable[v][k] = ClampEntry(value);
    }
  }
}

void ClearChannel(DsmChannel& channel) {
  channel = DsmChannel{};
  channel.direction = 1;
  channel.loopNum = 1;
}

// Validates a channel number; the channel record or null.
DsmChannel* Channel(unsigned channel) {
  if (!dsm.channelsOpen || channel >= dsm.numChannels) {
    return nullptr;
  }
  return &dsm.channels[channel];
}

// Hands an audible channel's sound to its shadow, which then fades out, so
// that cutting the sound does not click. Interpolating mode only.
void HandToShadow(unsigned channelNumber) {
  if (!dsm.interpolate || dsm.allocChannels < 2 * dsm.numChannels) {
    return;
  }
  DsmChannel& channel = dsm.channels[channelNumber];
  DsmChannel& shadow = dsm.channels[channelNumber + dsm.numChannels];
  bool audible = (channel.state == dsmChanPlaying || channel.state == dsmChanReleased) &&
                 (channel.leftVol > 0 || channel.rightVol > 0);
  if (!audible || shadow.state == dsmChanFadeOut) {
    return;
  }
  shadow = channel;
  shadow.state = dsmChanFadeOut;
  shadow.sampleChanged = 0;
  shadow.loopCallback = nullptr;
  shadow.leftTarget = 0;
  shadow.rightTarget = 0;
  shadow.leftStep = dsmDefaultRampStep;
  shadow.rightStep = dsmDefaultRampStep;
  shadow.ramping = 1;
}

// The new sound of a channel ramps up from silence (interpolating mode).
void RampFromSilence(DsmChannel& channel) {
  if (!dsm.interpolate) {
    return;
  }
  channel.leftVol = 0;
  channel.rightVol = 0;
  channel.leftStep = dsmDefaultRampStep;
  channel.rightStep = dsmDefaultRampStep;
  channel.ramping = channel.leftTarget != 0 || channel.rightTarget != 0;
}

bool ValidType(unsigned type) {
  return type <= smp16bitStereo || type == smpMuLawMono || type == smpMuLawStereo;
}

}  // namespace

std::int32_t dsmMuLawDecode(std::uint8_t code) {
  unsigned value = static_cast<std::uint8_t>(~code);
  unsigned sign = value & 0x80;
  unsigned exponent = (value >> 4) & 0x07;
  unsigned mantissa = value & 0x0F;
  std::int32_t sample = static_cast<std::int32_t>(((mantissa << 3) + 0x84) << exponent) - 0x84;
  return sign != 0 ? -sample : sample;
}

std::uint8_t dsmMuLawEncode(std::int32_t sample) {
  constexpr std::int32_t bias = 132;
  constexpr std::int32_t clip = 32635;
  unsigned sign = 0;
  if (sample < 0) {
    sign = 0x80;
    sample = -sample;
  }
  if (sample > clip) {
    sample = clip;
  }
  sample += bias;
  unsigned exponent = 7;
  for (std::int32_t mask = 0x4000; (sample & mask) == 0 && exponent > 0; mask >>= 1) {
    exponent--;
  }
  unsigned mantissa = (static_cast<unsigned>(sample) >> (exponent + 3)) & 0x0F;
  return static_cast<std::uint8_t>(~(sign | (exponent << 4) | mantissa));
}

unsigned dsmTypeShift(unsigned sampleType) {
  switch (sampleType) {
    case smp16bitMono:
    case smp8bitStereo:
    case smpMuLawStereo:
      return 1;
    case smp16bitStereo:
      return 2;
    default:
      return 0;
  }
}

void dsmSetCompression(int compress) { compressSetting = compress; }

void dsmSetFilterMode(int filterMode) { filterSetting = filterMode; }

int dsmInit(unsigned mixRate, unsigned mode) {
  if (dsm.initialised) {
    dsmClose();
  }
  if (mixRate == 0) {
    return errInvalidArguments;
  }
  dsm = DsmState{};
  if ((mode & (dsmMixFloat | dsmMixInteger)) == 0) {
    bool useFloat = (mode & dsmMixInterpolation) != 0 || IntelFamily6OrLater();
    mode |= useFloat ? dsmMixFloat : dsmMixInteger;
  }
  if ((mode & dsmMixInterpolation) != 0) {
    mode = (mode & ~static_cast<unsigned>(dsmMixInteger)) | dsmMixFloat;
  }
  if ((mode & dsmMixFloat) != 0) {
    mode &= ~static_cast<unsigned>(dsmMixInteger);
  }
  if ((mode & (dsmMix8bit | dsmMix16bit)) == 0) {
    mode |= dsmMix16bit;
  }
  if ((mode & (dsmMixMono | dsmMixStereo)) == 0) {
    mode |= dsmMixStereo;
  }
  dsm.mixRate = mixRate;
  dsm.mode = mode;
  dsm.stereo = (mode & dsmMixStereo) != 0;
  dsm.eightBit = (mode & dsmMix16bit) == 0;
  dsm.floatPath = (mode & dsmMixFloat) != 0;
  dsm.interpolate = (mode & dsmMixInterpolation) != 0;
  dsm.compress = !dsm.floatPath && compressSetting != 0;
  dsm.masterVolume = 64;
  dsm.amplification = 64;

  // A 32-bit accumulator per output sample for 1/40 s, at least one frame.
  std::uint64_t size = (static_cast<std::uint64_t>(mixRate) * (dsm.stereo ? 8 : 4)) / 40;
  size = (size + 15) & ~std::uint64_t{15};
  if (size < 16) {
    size = 16;
  }
  if (size > 0x10000000) {
    return errInvalidArguments;
  }
  dsm.mixBufferSize = static_cast<unsigned>(size);
  // Twice the size: the second half holds a filtered channel on its own.
  if (int error = memAllocArray(2 * dsm.mixBufferSize + tableAlignment, &dsm.mixBufferRaw);
      error != errOK) {
    dsm = DsmState{};
    return error;
  }
  dsmMixBuffer = static_cast<std::uint8_t*>(AlignUp(dsm.mixBufferRaw));
  dsm.channelBuffer = dsmMixBuffer + dsm.mixBufferSize;
  dsmMixBufferSize = dsm.mixBufferSize;

  if (!dsm.floatPath) {
    std::size_t tableBytes = 2 * dsmVolumeLevels * 256 * sizeof(std::int32_t);
    if (int error = memAllocArray(tableBytes + tableAlignment, &dsm.tablesRaw); error != errOK) {
      memFree(dsm.mixBufferRaw);
      dsm = DsmState{};
      dsmMixBuffer = nullptr;
      dsmMixBufferSize = 0;
      return error;
    }
    auto* base = static_cast<std::int32_t(*)[256]>(AlignUp(dsm.tablesRaw));
    dsm.volumeTable = base;
    dsm.muLawVolumeTable = base + dsmVolumeLevels;
  }
  for (int b = 0; b < 256; b++) {
    dsm.eightBitToFloat[b] = static_cast<float>(-32768 + 256 * b);
    dsm.muLawToFloat[b] = static_cast<float>(dsmMuLawDecode(static_cast<std::uint8_t>(b)));
  }

  if (int error = memAllocArray(dsmMaxSamples, &dsm.samples); error != errOK) {
    memFree(dsm.mixBufferRaw);
    if (dsm.tablesRaw != nullptr) {
      memFree(dsm.tablesRaw);
    }
    dsm = DsmState{};
    dsmMixBuffer = nullptr;
    dsmMixBufferSize = 0;
    return error;
  }

  switch (filterSetting) {
    case dsmFilterLight:
    case dsmFilterStrong:
      dsm.filterMode = filterSetting;
      break;
    case dsmFilterAuto:
      dsm.filterMode = dsm.interpolate ? dsmFilterOff : dsmFilterLight;
      break;
    default:
      dsm.filterMode = dsmFilterOff;
      break;
  }
  dsmFilterReset();
  dsm.postProcessors = dsmFilterNode();
  dsm.initialised = 1;
  return errOK;
}

int dsmClose() {
  if (!dsm.initialised) {
    return errOK;
  }
  if (dsm.channelsOpen) {
    dsmCloseChannels();
  }
  dsm.postProcessors = nullptr;
  if (dsm.samples != nullptr) {
    for (unsigned i = 0; i < dsmMaxSamples; i++) {
      if (dsm.samples[i].used && dsm.samples[i].owned && dsm.samples[i].data != nullptr) {
        memFree(dsm.samples[i].data);
      }
    }
    memFree(dsm.samples);
  }
  if (dsm.tablesRaw != nullptr) {
    memFree(dsm.tablesRaw);
  }
  if (dsm.mixBufferRaw != nullptr) {
    memFree(dsm.mixBufferRaw);
  }
  dsm = DsmState{};
  dsmMixBuffer = nullptr;
  dsmMixBufferSize = 0;
  return errOK;
}

unsigned dsmGetMixMode() { return dsm.mode; }

int dsmGetMixRate(unsigned* mixRate) {
  if (mixRate == nullptr) {
    return errInvalidArguments;
  }
  *mixRate = dsm.mixRate;
  return errOK;
}

int dsmOpenChannels(unsigned channels) {
  if (!dsm.initialised) {
    return errInvalidDevice;
  }
  // Zero channels would divide the volume tables by zero; the upper bound keeps
  // a wild count from exhausting memory.
  if (channels == 0 || channels > 1024) {
    return errInvalidArguments;
  }
  if (dsm.channelsOpen) {
    dsmCloseChannels();
  }
  unsigned allocated = dsm.interpolate ? 2 * channels : channels;
  DsmChannel* records = nullptr;
  if (int error = memAllocArray(allocated, &records); error != errOK) {
    return error;
  }
  dsm.channels = records;
  dsm.numChannels = channels;
  dsm.allocChannels = allocated;
  dsm.amplification = channels <= 4 ? 64 : 14 * channels;
  BuildVolumeTables();
  for (unsigned i = 0; i < allocated; i++) {
    ClearChannel(dsm.channels[i]);
  }
  dsm.channelsOpen = 1;
  return errOK;
}

int dsmCloseChannels() {
  if (!dsm.channelsOpen) {
    return errNoChannels;
  }
  int error = memFree(dsm.channels);
  dsm.channels = nullptr;
  dsm.numChannels = 0;
  dsm.allocChannels = 0;
  dsm.channelsOpen = 0;
  return error;
}

int dsmClearChannels() {
  if (!dsm.channelsOpen) {
    return errNoChannels;
  }
  for (unsigned i = 0; i < dsm.allocChannels; i++) {
    ClearChannel(dsm.channels[i]);
  }
  return errOK;
}

void dsmComputeVolumes(DsmChannel& channel, std::int32_t rampStep) {
  std::int32_t left = 0;
  std::int32_t right = 0;
  if (!channel.muted && !dsm.muted) {
    const std::int32_t volume = static_cast<std::int32_t>(channel.volume);
    const int pan = channel.panning;
    if (pan == 0 || pan == 0x80 || !dsm.stereo) {
      left = right = volume * 64;
    } else if (pan < 0) {
      left = volume * 64;
      right = (pan + 64) * volume;
    } else {
      right = volume * 64;
      left = (64 - pan) * volume;
    }
    const std::int32_t scale = static_cast<std::int32_t>(dsm.masterVolume) * 16;
    left *= scale;
    right *= scale;
  }
  channel.leftTarget = left;
  channel.rightTarget = right;
  if (!dsm.interpolate) {
    channel.leftVol = left;
    channel.rightVol = right;
    channel.ramping = 0;
    return;
  }
  if (left != channel.leftVol) {
    channel.leftStep = rampStep;
    channel.ramping = 1;
  }
  if (right != channel.rightVol) {
    channel.rightStep = rampStep;
    channel.ramping = 1;
  }
}

namespace {
void RecomputeAll() {
  if (!dsm.channelsOpen) {
    return;
  }
  for (unsigned i = 0; i < dsm.numChannels; i++) {
    dsmComputeVolumes(dsm.channels[i], dsmDefaultRampStep);
  }
}
}  // namespace

int dsmMute(int mute) {
  dsm.muted = mute;
  RecomputeAll();
  return errOK;
}

int dsmPause(int pause) {
  dsm.paused = pause;
  return errOK;
}

int dsmSetMasterVolume(unsigned masterVolume) {
  dsm.masterVolume = masterVolume > 64 ? 64 : masterVolume;
  RecomputeAll();
  return errOK;
}

int dsmGetMasterVolume(unsigned* masterVolume) {
  if (masterVolume == nullptr) {
    return errInvalidArguments;
  }
  *masterVolume = dsm.masterVolume;
  return errOK;
}

int dsmSetAmplification(unsigned amplification) {
  dsm.amplification = amplification;
  if (!dsm.floatPath) {
    BuildVolumeTables();
  }
  return errOK;
}

int dsmGetAmplification(unsigned* amplification) {
  if (amplification == nullptr) {
    return errInvalidArguments;
  }
  *amplification = dsm.amplification;
  return errOK;
}

int dsmPlaySound(unsigned channel, std::uint32_t rate) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  HandToShadow(channel);
  dsmResetChannelFilter(*chan);
  chan->state = dsmChanEnd;
  chan->rate = rate;
  return dsmSetPosition(channel, 0);
}

int dsmReleaseSound(unsigned channel) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  if (chan->state == dsmChanPlaying &&
      (chan->loopMode == loopModeRelease || chan->loopMode == loopModeReleaseAlt)) {
    chan->state = dsmChanReleased;
  }
  return errOK;
}

int dsmStopSound(unsigned channel) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  HandToShadow(channel);
  chan->state = dsmChanStopped;
  if (dsm.interpolate) {
    chan->leftVol = 0;
    chan->rightVol = 0;
  }
  return errOK;
}

int dsmSetRate(unsigned channel, std::uint32_t rate) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  chan->rate = rate;
  return errOK;
}

int dsmGetRate(unsigned channel, std::uint32_t* rate) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  if (rate == nullptr) {
    return errInvalidArguments;
  }
  *rate = (chan->state == dsmChanStopped || chan->state == dsmChanEnd) ? 0 : chan->rate;
  return errOK;
}

int dsmSetVolume(unsigned channel, unsigned volume) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  chan->volume = volume > 64 ? 64 : volume;
  dsmComputeVolumes(*chan, dsmDefaultRampStep);
  return errOK;
}

int dsmGetVolume(unsigned channel, unsigned* volume) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  if (volume == nullptr) {
    return errInvalidArguments;
  }
  *volume = chan->volume;
  return errOK;
}

void dsmTakeOverSample(DsmChannel& channel) {
  channel.sampleChanged = 0;
  if (channel.sampleHandle < 1 || channel.sampleHandle > dsmMaxSamples || dsm.samples == nullptr) {
    return;
  }
  const DsmSampleSlot& slot = dsm.samples[channel.sampleHandle - 1];
  if (!slot.used) {
    channel.data = nullptr;
    channel.length = 0;
    return;
  }
  channel.data = slot.data;
  channel.sampleType = slot.sampleType;
  channel.origType = slot.origType;
  channel.placement = slot.placement;
  channel.length = slot.length;
  channel.loopMode = slot.loopMode;
  channel.loop1Start = slot.loop1Start;
  channel.loop1End = slot.loop1End;
  channel.loop1Type = slot.loop1Type;
  channel.loop2Start = slot.loop2Start;
  channel.loop2End = slot.loop2End;
  channel.loop2Type = slot.loop2Type;
}

int dsmSetSample(unsigned channel, unsigned smpHandle) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  if (smpHandle < 1 || smpHandle > dsmMaxSamples || dsm.samples == nullptr ||
      !dsm.samples[smpHandle - 1].used) {
    return errInvalidSampleHandle;
  }
  chan->sampleHandle = smpHandle;
  chan->sampleChanged = 1;
  const DsmSampleSlot& slot = dsm.samples[smpHandle - 1];
  if (!dsm.interpolate && slot.loopMode == loopModeSwapLoop && chan->state == dsmChanEnd) {
    dsmTakeOverSample(*chan);
    if (chan->data != nullptr && chan->length != 0) {
      chan->position = chan->loop1Start;
      chan->fraction = 0;
      chan->direction = 1;
      chan->loopNum = 1;
      chan->state = dsmChanPlaying;
    }
  }
  return errOK;
}

int dsmGetSample(unsigned channel, unsigned* smpHandle) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  if (smpHandle == nullptr) {
    return errInvalidArguments;
  }
  *smpHandle = chan->sampleHandle;
  return errOK;
}

int dsmSetPosition(unsigned channel, unsigned position) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  HandToShadow(channel);
  if (chan->sampleChanged) {
    dsmTakeOverSample(*chan);
    if (chan->state == dsmChanReleased && chan->loopMode != loopModeRelease &&
        chan->loopMode != loopModeReleaseAlt) {
      chan->state = dsmChanEnd;
      return errOK;
    }
  }
  if (chan->data != nullptr && chan->sampleHandle != 0 && chan->state != dsmChanStopped &&
      chan->length != 0) {
    const unsigned p = position >> dsmTypeShift(chan->origType);
    unsigned loopStart = chan->loop1Start;
    unsigned loopEnd = chan->loop1End;
    unsigned loopType = chan->loop1Type;
    chan->loopNum = 1;
    if (chan->state == dsmChanReleased) {
      loopStart = chan->loop2Start;
      loopEnd = chan->loop2End;
      loopType = chan->loop2Type;
      chan->loopNum = 2;
    }
    // Playing always starts forwards: a direction left over from an earlier
    // ping-pong sample would otherwise run a new sample backwards.
    chan->direction = 1;
    switch (loopType) {
      case loopTypeForward:
        chan->position = p < loopEnd ? p : loopStart;
        break;
      case loopTypePingPong:
        if (p < loopEnd) {
          chan->position = p;
        } else {
          // The loop end is exclusive: the backward run starts on its last sample.
          chan->position = loopEnd - 1;
          chan->direction = -1;
        }
        break;
      default:
        if (p >= chan->length) {
          chan->state = dsmChanEnd;
          return errOK;
        }
        chan->position = p;
        break;
    }
    chan->fraction = 0;
    chan->state = dsmChanPlaying;
  }
  RampFromSilence(*chan);
  return errOK;
}

int dsmGetPosition(unsigned channel, unsigned* position) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  if (position == nullptr) {
    return errInvalidArguments;
  }
  *position = chan->position << dsmTypeShift(chan->origType);
  return errOK;
}

int dsmGetDirection(unsigned channel, int* direction) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  if (direction == nullptr) {
    return errInvalidArguments;
  }
  *direction = chan->direction;
  return errOK;
}

int dsmSetPanning(unsigned channel, int panning) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  if (panning != 0x80) {
    panning = panning < -64 ? -64 : (panning > 64 ? 64 : panning);
  }
  chan->panning = panning;
  dsmComputeVolumes(*chan, dsmDefaultRampStep);
  return errOK;
}

int dsmGetPanning(unsigned channel, int* panning) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  if (panning == nullptr) {
    return errInvalidArguments;
  }
  *panning = chan->panning;
  return errOK;
}

int dsmMuteChannel(unsigned channel, int mute) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  chan->muted = mute;
  dsmComputeVolumes(*chan, dsmDefaultRampStep);
  return errOK;
}

int dsmAddSample(const SampleDescriptor* sample, int copySample, unsigned* smpHandle) {
  if (sample == nullptr || smpHandle == nullptr) {
    return errInvalidArguments;
  }
  if (!dsm.initialised || dsm.samples == nullptr) {
    return errInvalidDevice;
  }
  unsigned index = 0;
  while (index < dsmMaxSamples && dsm.samples[index].used) {
    index++;
  }
  if (index == dsmMaxSamples) {
    return errNoSampleHandles;
  }
  DsmSampleSlot slot{};
  const bool empty = sample->sample == nullptr || sample->sampleLength == 0 ||
                     sample->placement == sdNoData || sample->sampleType == smpNone;
  if (!empty && !ValidType(sample->sampleType)) {
    return errInvalidSampleType;
  }
  const unsigned shift = dsmTypeShift(sample->sampleType);
  slot.used = 1;
  slot.sampleType = sample->sampleType;
  slot.origType = sample->sampleType;
  slot.placement = sample->placement;
  slot.loopMode = sample->loopMode;
  if (!empty) {
    slot.length = sample->sampleLength >> shift;
    // Loop points past the end of the data would make the mixer read beyond
    // the buffer: they are clipped to the length, and a loop left empty is off.
    auto clip = [&](unsigned bytes) {
      unsigned samples = bytes >> shift;
      return samples > slot.length ? slot.length : samples;
    };
    slot.loop1Start = clip(sample->loop1Start);
    slot.loop1End = clip(sample->loop1End);
    slot.loop1Type = sample->loop1Type <= loopTypePingPong ? sample->loop1Type : loopTypeNone;
    slot.loop2Start = clip(sample->loop2Start);
    slot.loop2End = clip(sample->loop2End);
    slot.loop2Type = sample->loop2Type <= loopTypePingPong ? sample->loop2Type : loopTypeNone;
    if (slot.loop1Start >= slot.loop1End) {
      slot.loop1Type = loopTypeNone;
    }
    if (slot.loop2Start >= slot.loop2End) {
      slot.loop2Type = loopTypeNone;
    }
  }
  if (slot.length == 0) {
    slot.data = nullptr;
    slot.length = 0;
    slot.loop1Type = slot.loop2Type = loopTypeNone;
  } else if (copySample) {
    const bool compress = dsm.compress && (slot.sampleType == smp16bitMono ||
                                           slot.sampleType == smp16bitStereo);
    const unsigned channelsPerFrame = (slot.sampleType == smp16bitStereo) ? 2 : 1;
    const std::size_t bytes = std::size_t{slot.length} << shift;
    const std::size_t stored = compress ? std::size_t{slot.length} * channelsPerFrame : bytes;
    std::uint8_t* out = nullptr;
    if (int error = memAllocArray(stored, &out); error != errOK) {
      return error;
    }
    const auto* in = static_cast<const std::uint8_t*>(sample->sample);
    if (compress) {
      for (std::size_t i = 0; i < stored; i++) {
        std::int16_t value;
        std::memcpy(&value, in + 2 * i, 2);
        out[i] = dsmMuLawEncode(value);
      }
      slot.sampleType = slot.sampleType == smp16bitMono ? smpMuLawMono : smpMuLawStereo;
    } else {
      std::memcpy(out, in, bytes);
    }
    slot.data = out;
    slot.owned = 1;
  } else {
    slot.data = static_cast<std::uint8_t*>(sample->sample);
  }
  dsm.samples[index] = slot;
  *smpHandle = index + 1;
  return errOK;
}

int dsmRemoveSample(unsigned smpHandle) {
  if (smpHandle < 1 || smpHandle > dsmMaxSamples || dsm.samples == nullptr ||
      !dsm.samples[smpHandle - 1].used) {
    return errInvalidSampleHandle;
  }
  DsmSampleSlot& slot = dsm.samples[smpHandle - 1];
  // A channel still playing this sample must not go on reading freed data.
  if (dsm.channelsOpen) {
    for (unsigned i = 0; i < dsm.allocChannels; i++) {
      DsmChannel& chan = dsm.channels[i];
      if (chan.sampleHandle == smpHandle || (slot.data != nullptr && chan.data == slot.data)) {
        if (chan.data == slot.data) {
          chan.data = nullptr;
          chan.length = 0;
          chan.state = dsmChanStopped;
        }
        if (chan.sampleHandle == smpHandle) {
          chan.sampleChanged = 0;
        }
      }
    }
  }
  int error = errOK;
  if (slot.owned && slot.data != nullptr) {
    error = memFree(slot.data);
  }
  slot = DsmSampleSlot{};
  return error;
}

int dsmStartStream(unsigned channel, std::uint8_t* buffer, unsigned bufferLength,
                   unsigned sampleType, std::uint32_t rate) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  if (buffer == nullptr || !ValidType(sampleType) || sampleType == smpNone) {
    return errInvalidArguments;
  }
  const unsigned length = bufferLength >> dsmTypeShift(sampleType);
  if (length == 0) {
    return errInvalidArguments;
  }
  HandToShadow(channel);
  chan->data = buffer;
  chan->sampleType = sampleType;
  chan->origType = sampleType;
  chan->placement = sdSmpConv;
  chan->length = length;
  chan->loopMode = loopModeSingle;
  chan->loop1Start = 0;
  chan->loop1End = length;
  chan->loop1Type = loopTypeForward;
  chan->loop2Start = chan->loop2End = 0;
  chan->loop2Type = loopTypeNone;
  chan->position = 0;
  chan->fraction = 0;
  chan->direction = 1;
  chan->loopNum = 1;
  chan->volume = 64;
  chan->panning = 0;
  chan->sampleHandle = dsmMaxSamples;
  chan->sampleChanged = 0;
  chan->rate = rate;
  chan->state = dsmChanPlaying;
  dsmComputeVolumes(*chan, dsmDefaultRampStep);
  RampFromSilence(*chan);
  return errOK;
}

int dsmStopStream(unsigned channel) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  chan->state = dsmChanStopped;
  return errOK;
}

int dsmSetLoopCallback(unsigned channel, void (*callback)(unsigned channel)) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  chan->loopCallback = callback;
  return errOK;
}

int dsmSetStreamWritePosition(unsigned channel, unsigned position) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  chan->streamEnd = position >> dsmTypeShift(chan->sampleType);
  return errOK;
}

int dsmPauseStream(unsigned channel, int pause) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  chan->state = pause != 0 ? dsmChanStopped : dsmChanPlaying;
  return errOK;
}

int dsmGetChannelState(unsigned channel, int* state) {
  DsmChannel* chan = Channel(channel);
  if (chan == nullptr) {
    return errInvalidChannel;
  }
  if (state == nullptr) {
    return errInvalidArguments;
  }
  *state = chan->state;
  return errOK;
}
