// The software mixer shared by every output device: the sample store (1024
// slots), the virtual channels the player drives, and the routine that mixes
// all channels into 8- or 16-bit, mono or stereo output. Its operations fill
// the "mixer" slots of the device record (sound/sdevice.h); each returns an
// error code (sound/errors.h).
#pragma once

#include <cstdint>

struct SampleDescriptor;  // sound/module.h

// Mixer mode bits, fixed at initialisation.
enum : unsigned {
  dsmMix8bit = 0x01,
  dsmMix16bit = 0x02,          // added when neither 0x01 nor 0x02 is given
  dsmMixMono = 0x04,
  dsmMixStereo = 0x10,
  dsmMixFloat = 0x20,          // floating-point mixing
  dsmMixInteger = 0x40,        // integer mixing with volume tables
  dsmMixInterpolation = 0x80,  // interpolating floating-point mixing
};

inline constexpr unsigned dsmMaxSamples = 1024;  // handles are 1..1024

// Channel states.
enum : int {
  dsmChanStopped = 0,
  dsmChanEnd = 1,       // ended, or started and waiting for a position
  dsmChanPlaying = 2,
  dsmChanReleased = 3,  // at the next end of loop 1 the channel moves to loop 2
  dsmChanFadeOut = 4,   // shadow channel fading out
};

// Output filter modes (the interface's option 10).
enum : int {
  dsmFilterOff = 0,
  dsmFilterLight = 1,
  dsmFilterStrong = 2,
  dsmFilterAuto = 3,  // light when not interpolating, off when interpolating
};

// Settings the interface passes on: option 9 (mu-law compression of 16-bit
// samples on the integer path; default 1) and option 10 (filter mode; default
// dsmFilterAuto). The compression setting is read by dsmInit and by
// dsmAddSample; the filter mode by dsmInit.
void dsmSetCompression(int compress);
void dsmSetFilterMode(int filterMode);

// Vector instruction sets the mixing loops can use. The scalar loops are the
// reference; the others give the same output (the floating-point paths
// within one unit of the last place of the accumulators).
enum : int {
  dsmSimdScalar = 0,
  dsmSimdSse2 = 1,  // the x86-64 baseline
  dsmSimdAvx2 = 2,
  dsmSimdAvx512 = 3,  // AVX-512 F, BW and VBMI
};

// The best level this processor runs (scalar where no vector loops are built).
int dsmSimdBest();
// Chooses the level for all later mixing, held to dsmSimdBest(); returns the
// level in effect. The best level is in effect until the first call.
int dsmSetSimdLevel(int level);
int dsmGetSimdLevel();

// Lifecycle (called by the output devices' Init and Close).
int dsmInit(unsigned mixRate, unsigned mode);
int dsmClose();

// Mixes `frames` output frames (one sample per output channel each) into
// dest, in the mode given to dsmInit.
int dsmMixData(unsigned frames, std::uint8_t* dest);

// The mixer's own scratch buffer (the accumulator buffer), for devices that
// mix and throw the result away: dsmMixBufferSize bytes at dsmMixBuffer.
extern std::uint8_t* dsmMixBuffer;
extern unsigned dsmMixBufferSize;

// The shared device operations.
int dsmGetMixRate(unsigned* mixRate);
int dsmOpenChannels(unsigned channels);
int dsmCloseChannels();
int dsmClearChannels();
int dsmMute(int mute);
int dsmPause(int pause);
int dsmSetMasterVolume(unsigned masterVolume);
int dsmGetMasterVolume(unsigned* masterVolume);
int dsmSetAmplification(unsigned amplification);
int dsmGetAmplification(unsigned* amplification);
int dsmPlaySound(unsigned channel, std::uint32_t rate);
int dsmReleaseSound(unsigned channel);
int dsmStopSound(unsigned channel);
int dsmSetRate(unsigned channel, std::uint32_t rate);
int dsmGetRate(unsigned channel, std::uint32_t* rate);
int dsmSetVolume(unsigned channel, unsigned volume);
int dsmGetVolume(unsigned channel, unsigned* volume);
int dsmSetSample(unsigned channel, unsigned smpHandle);
int dsmGetSample(unsigned channel, unsigned* smpHandle);
int dsmSetPosition(unsigned channel, unsigned position);
int dsmGetPosition(unsigned channel, unsigned* position);
int dsmGetDirection(unsigned channel, int* direction);
int dsmSetPanning(unsigned channel, int panning);
int dsmGetPanning(unsigned channel, int* panning);
int dsmMuteChannel(unsigned channel, int mute);
int dsmAddSample(const SampleDescriptor* sample, int copySample, unsigned* smpHandle);
int dsmRemoveSample(unsigned smpHandle);
int dsmStartStream(unsigned channel, std::uint8_t* buffer, unsigned bufferLength,
                   unsigned sampleType, std::uint32_t rate);
int dsmStopStream(unsigned channel);
int dsmSetLoopCallback(unsigned channel, void (*callback)(unsigned channel));
int dsmSetStreamWritePosition(unsigned channel, unsigned position);
int dsmPauseStream(unsigned channel, int pause);
// A channel's resonant low-pass filter (the device's SetFilter; units in
// sound/sdevice.h). Values out of range give errInvalidArguments.
int dsmSetChannelFilter(unsigned channel, unsigned cutoff, unsigned resonance);

// Read-only views for the devices and for checks: the mode after
// initialisation (with the path bits filled in), and the channel state.
unsigned dsmGetMixMode();
int dsmGetChannelState(unsigned channel, int* state);
