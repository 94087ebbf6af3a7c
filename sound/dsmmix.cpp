// The mixing routines of the software mixer. One loop template is instantiated
// per source sample type, output layout and arithmetic path; per-channel
// mixing walks a channel's sample in segments that end at loop points or at
// the end of the sample, where the loop rules are applied.
#include <algorithm>
#include <array>
#include <type_traits>
#include <cstring>

#include "sound/dsmmix.h"
#include "sound/errors.h"
#include "sound/module.h"

namespace {

enum class Src { U8Mono, S16Mono, U8Stereo, S16Stereo, MuMono, MuStereo };
enum class Pan { Normal, Centre, Surround };

inline std::int32_t Load16(const std::uint8_t* p) {
  std::int16_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

constexpr bool IsStereoSrc(Src s) {
  return s == Src::U8Stereo || s == Src::S16Stereo || s == Src::MuStereo;
}

constexpr unsigned FrameBytes(Src s) {
  switch (s) {
    case Src::S16Mono:
    case Src::U8Stereo:
    case Src::MuStereo:
      return 2;
    case Src::S16Stereo:
      return 4;
    default:
      return 1;
  }
}

// Volumes prepared for one segment of the integer path.
struct IntVolume {
  const std::int32_t* rowL;  // volume-table rows (8-bit and mu-law types)
  const std::int32_t* rowR;
  std::int32_t mulL;         // 16-bit multipliers
  std::int32_t mulR;
};

// ---- integer path -------------------------------------------------------

template <Src S, bool StereoOut, Pan P>
void MixInt(const std::uint8_t* base, std::int64_t pos, std::int64_t step, unsigned count,
            std::int32_t* acc, const IntVolume& vol) {
  const std::int32_t* rowL = vol.rowL;
  const std::int32_t* rowR = vol.rowR;
  const std::int32_t mulL = vol.mulL;
  const std::int32_t mulR = vol.mulR;
#pragma GCC unroll 4
  for (unsigned i = 0; i < count; i++) {
    const std::size_t index = static_cast<std::size_t>(pos >> 16);
    pos += step;
    std::int32_t left;
    std::int32_t right;
    if constexpr (S == Src::U8Mono || S == Src::MuMono) {
      const std::uint8_t b = base[index];
      left = rowL[b];
      right = (StereoOut && P == Pan::Normal) ? rowR[b] : left;
    } else if constexpr (S == Src::U8Stereo || S == Src::MuStereo) {
      const std::uint8_t b0 = base[2 * index];
      const std::uint8_t b1 = base[2 * index + 1];
      if constexpr (!StereoOut) {
        left = rowL[b0] + rowL[b1];
        right = left;
      } else {
        left = rowL[b0];
        // Surround: the right side takes the left signal, inverted below.
        right = (P == Pan::Normal) ? rowR[b1] : (P == Pan::Surround) ? left : rowL[b1];
      }
    } else if constexpr (S == Src::S16Mono) {
      const std::int32_t s = Load16(base + 2 * index);
      left = (s * mulL) >> 8;
      right = (StereoOut && P == Pan::Normal) ? (s * mulR) >> 8 : left;
    } else {
      const std::int32_t s0 = Load16(base + 4 * index);
      const std::int32_t s1 = Load16(base + 4 * index + 2);
      if constexpr (!StereoOut) {
        left = ((s0 * mulL) >> 8) + ((s1 * mulL) >> 8);
        right = left;
      } else {
        left = (s0 * mulL) >> 8;
        right = (P == Pan::Normal) ? (s1 * mulR) >> 8 : (P == Pan::Surround) ? left : (s1 * mulL) >> 8;
      }
    }
    if constexpr (StereoOut) {
      acc[0] += left;
      acc[1] += (P == Pan::Surround) ? -right : right;
      acc += 2;
    } else {
      acc[0] += left;
      acc += 1;
    }
  }
}

// ---- floating-point paths ----------------------------------------------

template <Src S>
inline float ToFloat(const std::uint8_t* p) {
  if constexpr (S == Src::U8Mono || S == Src::U8Stereo) {
    return dsm.eightBitToFloat[*p];
  } else if constexpr (S == Src::MuMono || S == Src::MuStereo) {
    return dsm.muLawToFloat[*p];
  } else {
    return static_cast<float>(Load16(p));
  }
}

// Surround: the right side takes the left signal (factorR is negated).
template <Src S, bool StereoOut, bool Interp, bool Surround = false>
void MixFloat(const std::uint8_t* base, std::int64_t pos, std::int64_t step, unsigned count,
              float* acc, float factorL, float factorR) {
  constexpr unsigned frame = FrameBytes(S);
  constexpr unsigned half = IsStereoSrc(S) ? frame / 2 : 0;
  constexpr float fractionScale = 1.0f / 65536.0f;
#pragma GCC unroll 4
  for (unsigned i = 0; i < count; i++) {
    const std::size_t index = static_cast<std::size_t>(pos >> 16);
    const std::uint8_t* p = base + index * frame;
    float left;
    float right;
    if constexpr (Interp) {
      const float f = static_cast<float>(pos & 0xFFFF);
      const float g = 65536.0f - f;
      left = (f * ToFloat<S>(p + frame) + g * ToFloat<S>(p)) * fractionScale;
      if constexpr (IsStereoSrc(S) && !Surround) {
        right = (f * ToFloat<S>(p + frame + half) + g * ToFloat<S>(p + half)) * fractionScale;
      } else {
        right = left;
      }
    } else {
      left = ToFloat<S>(p);
      if constexpr (IsStereoSrc(S) && !Surround) {
        right = ToFloat<S>(p + half);
      } else {
        right = left;
      }
    }
    pos += step;
    if constexpr (StereoOut) {
      acc[0] += left * factorL;
      acc[1] += right * factorR;
      acc += 2;
    } else if constexpr (IsStereoSrc(S)) {
      acc[0] += (left + right) * factorL;
      acc += 1;
    } else {
      acc[0] += left * factorL;
      acc += 1;
    }
  }
}

// ---- routine tables ------------------------------------------------------

using IntRoutine = void (*)(const std::uint8_t*, std::int64_t, std::int64_t, unsigned,
                            std::int32_t*, const IntVolume&);
using FloatRoutine = void (*)(const std::uint8_t*, std::int64_t, std::int64_t, unsigned, float*,
                              float, float);

constexpr int srcCount = 6;

template <bool StereoOut, Pan P>
constexpr std::array<IntRoutine, srcCount> IntTable() {
  return {&MixInt<Src::U8Mono, StereoOut, P>,    &MixInt<Src::S16Mono, StereoOut, P>,
          &MixInt<Src::U8Stereo, StereoOut, P>,  &MixInt<Src::S16Stereo, StereoOut, P>,
          &MixInt<Src::MuMono, StereoOut, P>,    &MixInt<Src::MuStereo, StereoOut, P>};
}

template <bool StereoOut, bool Interp, bool Surround = false>
constexpr std::array<FloatRoutine, srcCount> FloatTable() {
  return {&MixFloat<Src::U8Mono, StereoOut, Interp, Surround>,
          &MixFloat<Src::S16Mono, StereoOut, Interp, Surround>,
          &MixFloat<Src::U8Stereo, StereoOut, Interp, Surround>,
          &MixFloat<Src::S16Stereo, StereoOut, Interp, Surround>,
          &MixFloat<Src::MuMono, StereoOut, Interp, Surround>,
          &MixFloat<Src::MuStereo, StereoOut, Interp, Surround>};
}

// Integer mono, integer stereo (normal, centre, surround), float mono and
// stereo (normal, surround), interpolating mono and stereo (normal, surround).
constexpr auto intMono = IntTable<false, Pan::Normal>();
constexpr auto intStereo = IntTable<true, Pan::Normal>();
constexpr auto intStereoCentre = IntTable<true, Pan::Centre>();
constexpr auto intStereoSurround = IntTable<true, Pan::Surround>();
constexpr auto floatMono = FloatTable<false, false>();
constexpr auto floatStereo = FloatTable<true, false>();
constexpr auto interpMono = FloatTable<false, true>();
constexpr auto interpStereo = FloatTable<true, true>();
constexpr auto floatStereoSurround = FloatTable<true, false, true>();
constexpr auto interpStereoSurround = FloatTable<true, true, true>();

int SrcIndex(unsigned sampleType) {
  switch (sampleType) {
    case smp8bitMono:
      return 0;
    case smp16bitMono:
      return 1;
    case smp8bitStereo:
      return 2;
    case smp16bitStereo:
      return 3;
    case smpMuLawMono:
      return 4;
    case smpMuLawStereo:
      return 5;
    default:
      return -1;
  }
}

unsigned FrameBytesOf(unsigned sampleType) { return 1u << dsmTypeShift(sampleType); }

// ---- per-channel mixing ---------------------------------------------------

// Mixes count samples of one channel at its current volumes.
void MixRun(const DsmChannel& ch, int src, const std::uint8_t* base, std::int64_t pos,
            std::int64_t step, unsigned count, void* acc, unsigned accOffset) {
  const bool stereoSrc = src == 2 || src == 3 || src == 5;
  if (!dsm.floatPath) {
    auto* out = static_cast<std::int32_t*>(acc) + accOffset * (dsm.stereo ? 2 : 1);
    IntVolume vol{};
    std::int64_t vL = ch.leftVol;
    std::int64_t vR = ch.rightVol;
    int levelL;
    int levelR;
    if (!dsm.stereo) {
      if (stereoSrc) {
        levelL = static_cast<int>(((vL >> 17) + 1) >> 1);
        vL /= 2;
      } else {
        levelL = static_cast<int>((vL + 1) >> 17);
      }
      levelR = levelL;
      vR = vL;
    } else {
      levelL = static_cast<int>(((vL >> 16) + 1) >> 1);
      levelR = static_cast<int>(((vR >> 16) + 1) >> 1);
    }
    levelL = std::clamp(levelL, 0, 32);
    levelR = std::clamp(levelR, 0, 32);
    const bool mu = src >= 4;
    vol.rowL = mu ? dsm.muLawVolumeTable[levelL] : dsm.volumeTable[levelL];
    vol.rowR = mu ? dsm.muLawVolumeTable[levelR] : dsm.volumeTable[levelR];
    const std::int64_t n = dsm.numChannels != 0 ? dsm.numChannels : 1;
    // Held to 16 times full scale (256), as the volume tables are.
    vol.mulL = static_cast<std::int32_t>(std::min<std::int64_t>(((vL * dsm.amplification) / n) >> 20, 4096));
    vol.mulR = static_cast<std::int32_t>(std::min<std::int64_t>(((vR * dsm.amplification) / n) >> 20, 4096));
    IntRoutine routine;
    if (!dsm.stereo) {
      routine = intMono[static_cast<std::size_t>(src)];
    } else if (ch.panning == 0x80) {
      routine = intStereoSurround[static_cast<std::size_t>(src)];
    } else if (ch.panning == 0) {
      routine = intStereoCentre[static_cast<std::size_t>(src)];
    } else {
      routine = intStereo[static_cast<std::size_t>(src)];
    }
    routine(base, pos, step, count, out, vol);
    return;
  }
  auto* out = static_cast<float*>(acc) + accOffset * (dsm.stereo ? 2 : 1);
  const float n = static_cast<float>(dsm.numChannels != 0 ? dsm.numChannels : 1);
  const float factor = static_cast<float>(dsm.amplification) / (n * 268435456.0f);
  float factorL = static_cast<float>(ch.leftVol) * factor;
  float factorR = static_cast<float>(ch.rightVol) * factor;
  if (!dsm.stereo && stereoSrc) {
    factorL *= 0.5f;
  }
  const bool surround = ch.panning == 0x80;
  if (surround) {
    factorR = -factorR;
  }
  const auto& stereoTable = dsm.interpolate ? (surround ? interpStereoSurround : interpStereo)
                                            : (surround ? floatStereoSurround : floatStereo);
  const auto& table = dsm.stereo ? stereoTable : (dsm.interpolate ? interpMono : floatMono);
  table[static_cast<std::size_t>(src)](base, pos, step, count, out, factorL, factorR);
}

// Moves a ramping volume one sample toward its target.
void RampOnce(DsmChannel& ch) {
  auto move = [](std::int32_t& v, std::int32_t target, std::int32_t stepSize) {
    if (v < target) {
      v = (target - v > stepSize) ? v + stepSize : target;
    } else if (v > target) {
      v = (v - target > stepSize) ? v - stepSize : target;
    }
  };
  move(ch.leftVol, ch.leftTarget, ch.leftStep > 0 ? ch.leftStep : dsmDefaultRampStep);
  move(ch.rightVol, ch.rightTarget, ch.rightStep > 0 ? ch.rightStep : dsmDefaultRampStep);
  if (ch.leftVol == ch.leftTarget && ch.rightVol == ch.rightTarget) {
    ch.ramping = 0;
  }
}

// Mixes count samples of a segment, ramping first where a ramp is running.
// Returns false when a fading shadow fell silent and stopped.
bool MixSegment(DsmChannel& ch, int src, const std::uint8_t* base, std::int64_t& pos,
                std::int64_t step, unsigned count, void* acc, unsigned accOffset,
                std::int64_t baseOffset) {
  while (count > 0 && ch.ramping) {
    if (ch.leftVol != 0 || ch.rightVol != 0) {
      MixRun(ch, src, base, pos - baseOffset, step, 1, acc, accOffset);
    }
    pos += step;
    accOffset++;
    count--;
    RampOnce(ch);
  }
  if (ch.leftVol == 0 && ch.rightVol == 0 && !ch.ramping) {
    if (ch.state == dsmChanFadeOut) {
      ch.state = dsmChanStopped;
      return false;
    }
    pos += step * count;
    return true;
  }
  if (count > 0) {
    MixRun(ch, src, base, pos - baseOffset, step, count, acc, accOffset);
    pos += step * count;
  }
  return true;
}

bool SwapMode(unsigned loopMode) {
  return loopMode == loopModeSwapNone || loopMode == loopModeSwapLoop;
}

// Sample swapping at the end of a sample or loop: the waiting sample takes
// over. True when it happened.
bool TrySwap(DsmChannel& ch, std::int64_t& pos) {
  if (!ch.sampleChanged || !SwapMode(ch.loopMode) || ch.sampleHandle < 1 ||
      ch.sampleHandle > dsmMaxSamples || dsm.samples == nullptr) {
    return false;
  }
  const DsmSampleSlot& waiting = dsm.samples[ch.sampleHandle - 1];
  if (!waiting.used || !SwapMode(waiting.loopMode)) {
    return false;
  }
  dsmTakeOverSample(ch);
  ch.direction = 1;
  ch.loopNum = 1;
  if (ch.loopMode == loopModeSwapLoop && ch.data != nullptr && ch.length != 0) {
    pos = std::int64_t{ch.loop1Start} << 16;
  } else {
    ch.state = dsmChanEnd;
    pos = 0;
  }
  return true;
}

}  // namespace

void dsmMixChannel(unsigned channelNumber, void* acc, unsigned frames) {
  DsmChannel& ch = dsm.channels[channelNumber];
  if (ch.state < dsmChanPlaying || frames == 0) {
    return;
  }
  if (ch.data == nullptr || ch.placement == sdNoData || ch.length == 0 || ch.rate == 0) {
    return;
  }
  const std::int64_t mix = dsm.mixRate;
  const std::int64_t rate = ch.rate;
  const std::int64_t step = (rate / mix) * 65536 + ((rate % mix) * 65536) / mix;
  if (step == 0) {
    return;  // slower than one sample in 65536 output samples: inaudible
  }
  std::int64_t pos = (std::int64_t{ch.position} << 16) | (ch.fraction & 0xFFFF);
  unsigned offset = 0;
  unsigned left = frames;
  int idleRounds = 0;
  std::uint8_t tail[8];

  while (left > 0 && ch.state >= dsmChanPlaying) {
    const int src = SrcIndex(ch.sampleType);
    if (src < 0 || ch.data == nullptr || ch.length == 0) {
      break;
    }
    const bool second = ch.loopNum == 2;
    unsigned loopType = second ? ch.loop2Type : ch.loop1Type;
    unsigned loopStart = second ? ch.loop2Start : ch.loop1Start;
    unsigned loopEnd = second ? ch.loop2End : ch.loop1End;
    if (loopType != loopTypeNone && (loopEnd > ch.length || loopStart >= loopEnd)) {
      loopType = loopTypeNone;  // a broken loop plays as no loop
    }
    if (loopType != loopTypePingPong) {
      ch.direction = 1;
    }
    const bool backward = ch.direction < 0;
    const std::int64_t end = loopType != loopTypeNone ? loopEnd : ch.length;
    const std::int64_t start = loopType != loopTypeNone ? loopStart : 0;
    const std::int64_t end16 = end << 16;
    const std::int64_t start16 = start << 16;
    const std::int64_t last16 = (end - 1) << 16;
    if (backward && pos >= end16) {
      pos = end16 - 1;  // a backward run never starts beyond its loop
    }

    // How many output samples until the next boundary; with interpolation the
    // last sample of the run is mixed on its own, with its "next" sample taken
    // from the loop start (any loop) or itself.
    std::int64_t count = 0;
    bool useTail = false;
    if (!backward) {
      std::int64_t limit = end16;
      if (dsm.interpolate) {
        if (pos < last16) {
          limit = last16;
        } else {
          useTail = true;
        }
      }
      const std::int64_t distance = std::min(limit - pos, std::int64_t{0x7FFF} << 16);
      count = distance > 0 ? (distance + step - 1) / step : 0;
    } else {
      const std::int64_t distance = std::min(pos - start16, std::int64_t{0x7FFF} << 16);
      count = distance > 0 ? (distance + step - 1) / step : 0;
      if (dsm.interpolate && pos >= last16 && count > 0) {
        useTail = true;
        count = std::min(count, (pos - last16) / step + 1);
      }
    }
    count = std::min<std::int64_t>(count, left);

    if (count > 0) {
      idleRounds = 0;
      const std::uint8_t* base = ch.data;
      std::int64_t baseOffset = 0;
      if (useTail) {
        const unsigned frame = FrameBytesOf(ch.sampleType);
        const std::uint8_t* lastFrame = ch.data + static_cast<std::size_t>(end - 1) * frame;
        const std::uint8_t* nextFrame =
            loopType != loopTypeNone
                ? ch.data + static_cast<std::size_t>(start) * frame
                : lastFrame;
        std::memcpy(tail, lastFrame, frame);
        std::memcpy(tail + frame, nextFrame, frame);
        base = tail;
        baseOffset = last16;
      }
      const std::int64_t signedStep = backward ? -step : step;
      if (!MixSegment(ch, src, base, pos, signedStep, static_cast<unsigned>(count), acc, offset,
                      baseOffset)) {
        break;  // a fading shadow fell silent
      }
      offset += static_cast<unsigned>(count);
      left -= static_cast<unsigned>(count);
    } else if (++idleRounds >= 2) {
      break;
    }

    // Loop rules at a boundary.
    if (!backward && pos >= end16) {
      if (TrySwap(ch, pos)) {
        if (ch.loopCallback != nullptr) {
          ch.loopCallback(channelNumber);
        }
        continue;
      }
      if (ch.loopNum == 1 && ch.state == dsmChanReleased &&
          (ch.loopMode == loopModeRelease || ch.loopMode == loopModeReleaseAlt) &&
          loopType != loopTypeNone) {
        ch.loopNum = 2;  // carry on forwards into the second loop
        continue;
      }
      if (loopType == loopTypeNone) {
        ch.state = dsmChanEnd;
        break;
      }
      if (loopType == loopTypeForward) {
        pos = start16 + (pos - end16);
        if (pos >= end16) {
          pos = start16;
        }
      } else {
        ch.direction = -1;
        pos = end16 - (pos - end16) - 1;
        if (pos < start16) {
          pos = start16;
        }
      }
      if (ch.loopCallback != nullptr) {
        ch.loopCallback(channelNumber);
      }
    } else if (backward && pos <= start16) {
      ch.direction = 1;
      pos = start16 + (start16 - pos);
      if (pos >= end16) {
        pos = end16 - 1;
      }
      if (ch.loopCallback != nullptr) {
        ch.loopCallback(channelNumber);
      }
    }
  }
  if (pos < 0) {
    pos = 0;
  }
  ch.position = static_cast<unsigned>(pos >> 16);
  ch.fraction = static_cast<unsigned>(pos & 0xFFFF);
}

namespace {

template <typename T>
void ConvertOutput(const T* acc, unsigned samples, std::uint8_t* dest, bool eightBit) {
  for (unsigned i = 0; i < samples; i++) {
    std::int32_t value;
    if constexpr (std::is_same_v<T, float>) {
      float x = acc[i];
      // Clamping to the 16-bit range first keeps the conversion defined (and
      // catches NaN); shifting a clamped value gives the same 8-bit result.
      if (!(x >= -32768.0f)) {
        x = -32768.0f;
      } else if (x > 32767.0f) {
        x = 32767.0f;
      }
      value = static_cast<std::int32_t>(x >= 0.0f ? x + 0.5f : x - 0.5f);
    } else {
      value = acc[i];
    }
    if (eightBit) {
      value = std::clamp(value >> 8, -128, 127);
      dest[i] = static_cast<std::uint8_t>(value + 128);
    } else {
      value = std::clamp(value, -32768, 32767);
      const auto sample = static_cast<std::int16_t>(value);
      std::memcpy(dest + 2 * i, &sample, 2);
    }
  }
}

}  // namespace

int dsmMixData(unsigned frames, std::uint8_t* dest) {
  if (!dsm.initialised || dsmMixBuffer == nullptr) {
    return errInvalidDevice;
  }
  if (dest == nullptr && frames != 0) {
    return errInvalidArguments;
  }
  const unsigned outChannels = dsm.stereo ? 2 : 1;
  const unsigned bytesPerFrame = outChannels * (dsm.eightBit ? 1 : 2);
  const unsigned chunkFrames = std::max(1u, dsm.mixBufferSize / (4 * outChannels));
  while (frames > 0) {
    const unsigned n = std::min(frames, chunkFrames);
    std::memset(dsmMixBuffer, 0, std::size_t{n} * outChannels * 4);
    if (!dsm.paused && dsm.channelsOpen) {
      for (unsigned c = 0; c < dsm.allocChannels; c++) {
        dsmMixChannel(c, dsmMixBuffer, n);
      }
    }
    for (DsmPostProcessor* post = dsm.postProcessors; post != nullptr; post = post->next) {
      if (dsm.floatPath) {
        auto* acc = reinterpret_cast<float*>(dsmMixBuffer);
        auto* run = dsm.stereo ? post->floatStereo : post->floatMono;
        if (run != nullptr) {
          run(acc, n);
        }
      } else {
        auto* acc = reinterpret_cast<std::int32_t*>(dsmMixBuffer);
        auto* run = dsm.stereo ? post->intStereo : post->intMono;
        if (run != nullptr) {
          run(acc, n);
        }
      }
    }
    if (dsm.floatPath) {
      ConvertOutput(reinterpret_cast<const float*>(dsmMixBuffer), n * outChannels, dest,
                    dsm.eightBit != 0);
    } else {
      ConvertOutput(reinterpret_cast<const std::int32_t*>(dsmMixBuffer), n * outChannels, dest,
                    dsm.eightBit != 0);
    }
    dest += std::size_t{n} * bytesPerFrame;
    frames -= n;
  }
  return errOK;
}
