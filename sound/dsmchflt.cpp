// The channels' resonant low-pass filters: a two-pole stage per channel, set
// by the device's SetFilter and run on the channel's mixed signal, each
// output side with its own history. A channel whose filter is off is mixed
// as before, straight into the accumulators; a filtered one is mixed alone
// into the channel buffer, filtered there and added.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "sound/dsmmix.h"
#include "sound/errors.h"
#include "sound/sdevice.h"

namespace {

// Lowest and highest corner frequencies in Hz.
constexpr double lowestCorner = 120.0;
constexpr double highestCorner = 20000.0;
// Bounds the history so that a filtered channel can never overflow the
// integer accumulators, whatever its input.
constexpr float historyLimit = 1073741824.0f;

struct Coefficients {
  float a0, b0, b1;
};

// The corner frequency of a cutoff: 110 Hz × 2^(0.25 + cutoff / 48), within
// 120 Hz .. 20 kHz. It is also held to the mixing rate over pi: above that
// the stage turns unstable at high resonance (the mixing rate's r below
// falls under 0.45), as it could at low mixing rates.
double CornerFrequency(unsigned mixRate, unsigned cutoff) {
  const double frequency = 110.0 * std::pow(2.0, 0.25 + static_cast<double>(cutoff) / 48.0);
  const double stableLimit = static_cast<double>(mixRate) / 3.14159265358979;
  return std::clamp(frequency, lowestCorner, std::min(highestCorner, stableLimit));
}

// The two-pole low-pass coefficients: damping 10^(-resonance × 24 / 128 / 20),
// r = mixing rate / (2 pi corner), d = damping × (r + 1) - 1, e = r².
Coefficients ComputeCoefficients(unsigned mixRate, unsigned cutoff, unsigned resonance) {
  const double damping = std::pow(10.0, -static_cast<double>(resonance) * (24.0 / 128.0) / 20.0);
  const double r = static_cast<double>(mixRate) /
                   (2.0 * 3.14159265358979 * CornerFrequency(mixRate, cutoff));
  const double d = damping * (r + 1.0) - 1.0;
  const double e = r * r;
  const double norm = 1.0 + d + e;
  return Coefficients{static_cast<float>(1.0 / norm), static_cast<float>((d + e + e) / norm),
                      static_cast<float>(-e / norm)};
}

// One output sample of one side.
inline float Step(DsmChannel& ch, unsigned side, float x) {
  float* history = ch.filterHistory[side];
  float y = ch.filterA0 * x + ch.filterB0 * history[0] + ch.filterB1 * history[1];
  y = std::clamp(y, -historyLimit, historyLimit);
  history[1] = history[0];
  history[0] = y;
  return y;
}

void FilterInto(DsmChannel& ch, const float* in, float* acc, unsigned frames, unsigned sides) {
  for (unsigned i = 0; i < frames; i++) {
    for (unsigned s = 0; s < sides; s++) {
      acc[i * sides + s] += Step(ch, s, in[i * sides + s]);
    }
  }
}

void FilterInto(DsmChannel& ch, const std::int32_t* in, std::int32_t* acc, unsigned frames,
                unsigned sides) {
  for (unsigned i = 0; i < frames; i++) {
    for (unsigned s = 0; s < sides; s++) {
      const float y = Step(ch, s, static_cast<float>(in[i * sides + s]));
      acc[i * sides + s] += static_cast<std::int32_t>(std::lrint(y));
    }
  }
}

}  // namespace

void dsmResetChannelFilter(DsmChannel& channel) {
  std::memset(channel.filterHistory, 0, sizeof(channel.filterHistory));
}

void dsmMixFilteredChannel(unsigned channelNumber, void* acc, unsigned frames) {
  DsmChannel& ch = dsm.channels[channelNumber];
  if (ch.state < dsmChanPlaying || frames == 0) {
    return;
  }
  const unsigned sides = dsm.stereo ? 2 : 1;
  // Both accumulator kinds are four bytes wide: the buffer holds the frames.
  std::memset(dsm.channelBuffer, 0, std::size_t{frames} * sides * 4);
  dsmMixChannel(channelNumber, dsm.channelBuffer, frames);
  if (dsm.floatPath) {
    FilterInto(ch, reinterpret_cast<const float*>(dsm.channelBuffer), static_cast<float*>(acc),
               frames, sides);
  } else {
    FilterInto(ch, reinterpret_cast<const std::int32_t*>(dsm.channelBuffer),
               static_cast<std::int32_t*>(acc), frames, sides);
  }
}

int dsmSetChannelFilter(unsigned channel, unsigned cutoff, unsigned resonance) {
  if (!dsm.channelsOpen || channel >= dsm.numChannels) {
    return errInvalidChannel;
  }
  if ((cutoff > sdFilterMaxCutoff && cutoff != sdFilterOff) || resonance > sdFilterMaxResonance) {
    return errInvalidArguments;
  }
  DsmChannel& ch = dsm.channels[channel];
  if (cutoff == sdFilterOff) {
    ch.filterOn = 0;
    return errOK;
  }
  if (!ch.filterOn) {
    dsmResetChannelFilter(ch);  // a filter switched on starts from silence
  }
  const Coefficients c = ComputeCoefficients(dsm.mixRate, cutoff, resonance);
  ch.filterA0 = c.a0;
  ch.filterB0 = c.b0;
  ch.filterB1 = c.b1;
  ch.filterOn = 1;
  return errOK;
}
