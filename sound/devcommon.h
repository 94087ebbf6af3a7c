// Pieces every output device shares: the record builder that fills the mixer's
// slots, and the timing rule for the number of samples per player tick.
#pragma once

#include "sound/dsm.h"
#include "sound/sdevice.h"

// The operations each output device supplies itself.
struct SoundDeviceOwnOps {
  int (*Detect)(int* present);
  int (*Init)(unsigned mixRate, unsigned outputMode);
  int (*Close)();
  int (*Suspend)();
  int (*Resume)();
  int (*GetMode)(unsigned* mode);
  int (*SetUpdRate)(unsigned updRate);
  int (*StartPlay)();
  int (*Play)(int* callPlayer);
};

// A device record: its own data and operations, the mixer's shared operations in
// the remaining slots, no hardware resources, one card type, no ports.
constexpr SoundDevice MakeSoundDevice(unsigned capabilityBits, unsigned modes, const char* name,
                                      const char* const* cardNames, const SoundDeviceOwnOps& own) {
  return SoundDevice{
      0, capabilityBits, {0, 0, 0}, 1, 1, modes, name, cardNames, 0, nullptr,
      own.Detect, own.Init, own.Close, own.Suspend, own.Resume,
      dsmGetMixRate, own.GetMode, dsmOpenChannels, dsmCloseChannels, dsmClearChannels,
      dsmMute, dsmPause, dsmSetMasterVolume, dsmGetMasterVolume, dsmSetAmplification,
      dsmGetAmplification, dsmPlaySound, dsmReleaseSound, dsmStopSound, dsmSetRate,
      dsmGetRate, dsmSetVolume, dsmGetVolume, dsmSetSample, dsmGetSample,
      dsmSetPosition, dsmGetPosition, dsmGetDirection, dsmSetPanning, dsmGetPanning,
      dsmMuteChannel, dsmAddSample, dsmRemoveSample, own.SetUpdRate, own.StartPlay,
      own.Play, dsmStartStream, dsmStopStream, dsmSetLoopCallback, dsmSetStreamWritePosition,
      dsmPauseStream, dsmSetChannelFilter};
}

// Samples mixed per player tick for an update rate in 1/100 Hz: an even number.
// A rate of 0 would divide by zero; it counts as the default 50 Hz.
constexpr unsigned SamplesPerTick(unsigned mixRate, unsigned updRate) {
  if (updRate == 0) updRate = 5000;
  return (static_cast<unsigned>(static_cast<unsigned long long>(mixRate) * 100u / updRate) + 1u) & ~1u;
}
