// Internal state of the software mixer, shared by its three files: dsm.cpp
// (operations, sample store, channel control), dsmmix.cpp (the mixing
// routines), dsmfilt.cpp (the output filter) and dsmchflt.cpp (the channels'
// resonant filters). Not for use outside the mixer.
#pragma once

#include <cstdint>

#include "sound/dsm.h"

// One of the 1024 sample slots. Lengths and loop points in samples (frames).
struct DsmSampleSlot {
  std::uint8_t* data;
  unsigned sampleType;   // as stored (mu-law after compression)
  unsigned origType;     // as the descriptor gave it
  unsigned placement;
  unsigned length;
  unsigned loopMode;
  unsigned loop1Start, loop1End, loop1Type;
  unsigned loop2Start, loop2End, loop2Type;
  int used;
  int owned;  // the mixer allocated data and frees it on removal
};

struct DsmChannel {
  const std::uint8_t* data;
  unsigned sampleType, origType;
  unsigned placement;
  unsigned length;  // samples
  unsigned loopMode;
  unsigned loop1Start, loop1End, loop1Type;
  unsigned loop2Start, loop2End, loop2Type;
  unsigned position;  // integer sample position
  unsigned fraction;  // 16-bit fraction
  unsigned streamEnd;
  std::uint32_t rate;
  int direction;      // 1 forward, -1 backward
  unsigned sampleHandle;
  int sampleChanged;
  int panning;        // -64..64, 0x80 = surround
  unsigned volume;    // 0..64
  int muted;
  int state;          // dsmChan*
  int loopNum;        // 1 or 2
  void (*loopCallback)(unsigned channel);
  std::int32_t leftVol, rightVol;        // 0..2^22
  std::int32_t leftTarget, rightTarget;
  std::int32_t leftStep, rightStep;      // ramp magnitudes per output sample
  int ramping;
  // Resonant low-pass stage, off unless set: y = a0·x + b0·y1 + b1·y2 on each
  // output side of the channel's mixed signal (history [side][0] = y1, [1] = y2).
  int filterOn;
  float filterA0, filterB0, filterB1;
  float filterHistory[2][2];
};

// Post-processors run on the accumulators after all channels are mixed.
struct DsmPostProcessor {
  void (*intMono)(std::int32_t* acc, unsigned frames);
  void (*intStereo)(std::int32_t* acc, unsigned frames);
  void (*floatMono)(float* acc, unsigned frames);
  void (*floatStereo)(float* acc, unsigned frames);
  DsmPostProcessor* next;
};

inline constexpr unsigned dsmVolumeLevels = 33;  // levels 0..32
inline constexpr std::int32_t dsmFullVolume = 1 << 22;
inline constexpr std::int32_t dsmDefaultRampStep = 0x20000;

struct DsmState {
  int initialised;
  unsigned mixRate;
  unsigned mode;             // with the path and width bits filled in
  int stereo;
  int eightBit;
  int floatPath;             // float accumulators (float and interpolating paths)
  int interpolate;
  int compress;              // mu-law compression of 16-bit samples (integer path only)
  int filterMode;            // effective filter: off, light or strong
  unsigned mixBufferSize;    // bytes
  std::uint8_t* mixBufferRaw;  // allocation behind the aligned buffer
  std::uint8_t* channelBuffer;  // mixBufferSize bytes after the mix buffer: a filtered channel alone
  unsigned numChannels;      // requested
  unsigned allocChannels;    // 2 x requested when interpolating
  int channelsOpen;
  int paused;
  int muted;
  unsigned masterVolume;
  unsigned amplification;
  DsmSampleSlot* samples;
  DsmChannel* channels;
  std::int32_t (*volumeTable)[256];       // integer path, 33 rows
  std::int32_t (*muLawVolumeTable)[256];  // integer path, 33 rows
  std::uint8_t* tablesRaw;
  float eightBitToFloat[256];
  float muLawToFloat[256];
  DsmPostProcessor* postProcessors;
};

extern DsmState dsm;

// G.711 mu-law.
std::int32_t dsmMuLawDecode(std::uint8_t code);
std::uint8_t dsmMuLawEncode(std::int32_t sample);

// Bytes per sample frame of a sample type, as a shift (0, 1 or 2).
unsigned dsmTypeShift(unsigned sampleType);

// Recomputes a channel's volumes (targets and, without interpolation, the
// current volumes) after a volume, panning, mute or master-volume change.
void dsmComputeVolumes(DsmChannel& channel, std::int32_t rampStep);

// Takes over the sample waiting on a channel (data, type, length, loops).
void dsmTakeOverSample(DsmChannel& channel);

// Mixes one channel into the accumulators (int32 or float by path).
void dsmMixChannel(unsigned channelNumber, void* acc, unsigned frames);

// Mixes one channel into the accumulators through its resonant filter
// (dsmchflt.cpp); for channels whose filter is on.
void dsmMixFilteredChannel(unsigned channelNumber, void* acc, unsigned frames);
// Clears a channel's filter history: a new sound starts from silence.
void dsmResetChannelFilter(DsmChannel& channel);

// Output filter (dsmfilt.cpp): the post-processor node and its history reset.
DsmPostProcessor* dsmFilterNode();
void dsmFilterReset();
