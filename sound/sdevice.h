// The sound-device record: a constant record per output device holding its
// data and a table of 42 operations in a fixed slot order. Slots marked
// "mixer" are the software mixer's shared operations (sound/dsm.h); the others
// belong to each device. Every operation returns an error code (sound/errors.h)
// and passes results back through out-parameters.
#pragma once

#include <cstddef>
#include <cstdint>

struct SampleDescriptor;  // sound/module.h

// Output-mode bits of the record's `modes` field and of a device's Init.
enum : unsigned {
  sdMono = 1,
  sdStereo = 2,
  sd8bit = 4,
  sd16bit = 8,
};

struct SoundDevice {
  // Data fields.
  unsigned selfTimed;        // the device drives the player itself
  unsigned capabilityBits;   // not read by the front end
  int hwResource[3];         // hardware-resource words; overridable
  int cardType;              // 1-based entry of cardNames; overridable
  int numCardTypes;
  unsigned modes;            // supported output modes (sdMono | sdStereo | ...)
  const char* name;
  const char* const* cardNames;
  int numPorts;
  const std::uint16_t* ports;

  // Operations, in slot order.
  int (*Detect)(int* present);                                   // 0 device
  int (*Init)(unsigned mixRate, unsigned outputMode);            // 1 device
  int (*Close)();                                                // 2 device
  int (*Suspend)();                                              // 3 device
  int (*Resume)();                                               // 4 device
  int (*GetMixRate)(unsigned* mixRate);                          // 5 mixer
  int (*GetMode)(unsigned* mode);                                // 6 device
  int (*OpenChannels)(unsigned channels);                        // 7 mixer
  int (*CloseChannels)();                                        // 8 mixer
  int (*ClearChannels)();                                        // 9 mixer
  int (*Mute)(int mute);                                         // 10 mixer
  int (*Pause)(int pause);                                       // 11 mixer
  int (*SetMasterVolume)(unsigned masterVolume);                 // 12 mixer
  int (*GetMasterVolume)(unsigned* masterVolume);                // 13 mixer
  int (*SetAmplification)(unsigned amplification);               // 14 mixer
  int (*GetAmplification)(unsigned* amplification);              // 15 mixer
  int (*PlaySound)(unsigned channel, std::uint32_t rate);        // 16 mixer
  int (*ReleaseSound)(unsigned channel);                         // 17 mixer
  int (*StopSound)(unsigned channel);                            // 18 mixer
  int (*SetRate)(unsigned channel, std::uint32_t rate);          // 19 mixer
  int (*GetRate)(unsigned channel, std::uint32_t* rate);         // 20 mixer
  int (*SetVolume)(unsigned channel, unsigned volume);           // 21 mixer
  int (*GetVolume)(unsigned channel, unsigned* volume);          // 22 mixer
  int (*SetSample)(unsigned channel, unsigned smpHandle);        // 23 mixer
  int (*GetSample)(unsigned channel, unsigned* smpHandle);       // 24 mixer
  int (*SetPosition)(unsigned channel, unsigned position);       // 25 mixer
  int (*GetPosition)(unsigned channel, unsigned* position);      // 26 mixer
  int (*GetDirection)(unsigned channel, int* direction);         // 27 mixer
  int (*SetPanning)(unsigned channel, int panning);              // 28 mixer
  int (*GetPanning)(unsigned channel, int* panning);             // 29 mixer
  int (*MuteChannel)(unsigned channel, int mute);                // 30 mixer
  int (*AddSample)(const SampleDescriptor* sample, int copySample,
                   unsigned* smpHandle);                         // 31 mixer
  int (*RemoveSample)(unsigned smpHandle);                       // 32 mixer
  int (*SetUpdRate)(unsigned updRate);                           // 33 device
  int (*StartPlay)();                                            // 34 device
  int (*Play)(int* callPlayer);                                  // 35 device
  int (*StartStream)(unsigned channel, std::uint8_t* buffer, unsigned bufferLength,
                     unsigned sampleType, std::uint32_t rate);   // 36 mixer
  int (*StopStream)(unsigned channel);                           // 37 mixer
  int (*SetLoopCallback)(unsigned channel,
                         void (*callback)(unsigned channel));    // 38 mixer
  int (*SetStreamWritePosition)(unsigned channel, unsigned position);  // 39 mixer
  int (*PauseStream)(unsigned channel, int pause);               // 40 mixer
  // Added after the original set, for IT's resonant filters.
  int (*SetFilter)(unsigned channel, unsigned cutoff, unsigned resonance);  // 41 mixer
};

// A channel's resonant low-pass filter (SetFilter): cutoff 0..254 in steps of
// 1/48 octave from 130.8 Hz (110 Hz × 2^0.25), resonance 0..127 (0 to 24 dB of
// damping removed). A cutoff of sdFilterOff turns the channel's filter off,
// which is also how every channel starts.
inline constexpr unsigned sdFilterMaxCutoff = 254;
inline constexpr unsigned sdFilterOff = 255;
inline constexpr unsigned sdFilterMaxResonance = 127;

inline constexpr std::size_t sdOperationCount =
    (sizeof(SoundDevice) - offsetof(SoundDevice, Detect)) / sizeof(void (*)());
static_assert(sdOperationCount == 42, "the device record has 42 operation slots");
