// The mixing routines of the software mixer. One loop template is instantiated
// per source sample type, output layout and arithmetic path; per-channel
// mixing walks a channel's sample in segments that end at loop points or at
// the end of the sample, where the loop rules are applied.
#include <algorithm>
#include <cstring>

#include "sound/dsmkern.h"
#include "sound/dsmmix.h"
#include "sound/dsmramp.h"
#include "sound/errors.h"
#include "sound/module.h"

namespace {

unsigned FrameBytesOf(unsigned sampleType) { return 1u << dsmTypeShift(sampleType); }

int SrcIndex(unsigned sampleType) {
  switch (sampleType) {
    case smp8bitMono:
      return static_cast<int>(DsmSrc::U8Mono);
    case smp16bitMono:
      return static_cast<int>(DsmSrc::S16Mono);
    case smp8bitStereo:
      return static_cast<int>(DsmSrc::U8Stereo);
    case smp16bitStereo:
      return static_cast<int>(DsmSrc::S16Stereo);
    case smpMuLawMono:
      return static_cast<int>(DsmSrc::MuMono);
    case smpMuLawStereo:
      return static_cast<int>(DsmSrc::MuStereo);
    default:
      return -1;
  }
}

bool IsStereoSrc(int src) { return DsmIsStereoSrc(static_cast<DsmSrc>(src)); }

// ---- per-channel mixing ---------------------------------------------------

// The integer path's table rows and multipliers for a channel's volumes.
DsmIntVolume IntVolumeOf(const DsmChannel& ch, int src) {
  std::int64_t vL = ch.leftVol;
  std::int64_t vR = ch.rightVol;
  int levelL;
  int levelR;
  if (!dsm.stereo) {
    if (IsStereoSrc(src)) {
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
  const bool mu = src >= static_cast<int>(DsmSrc::MuMono);
  DsmIntVolume vol{};
  vol.rowL = mu ? dsm.muLawVolumeTable[levelL] : dsm.volumeTable[levelL];
  vol.rowR = mu ? dsm.muLawVolumeTable[levelR] : dsm.volumeTable[levelR];
  const std::int64_t n = dsm.numChannels != 0 ? dsm.numChannels : 1;
  // Held to 16 times full scale (256), as the volume tables are.
  vol.mulL = static_cast<std::int32_t>(std::min<std::int64_t>(((vL * dsm.amplification) / n) >> 20, 4096));
  vol.mulR = static_cast<std::int32_t>(std::min<std::int64_t>(((vR * dsm.amplification) / n) >> 20, 4096));
  return vol;
}

// The floating-point factor of a full-scale volume of 1: amplification over
// channel count, on the volumes' 2^22 scale.
float BaseFactor() {
  const float n = static_cast<float>(dsm.numChannels != 0 ? dsm.numChannels : 1);
  return static_cast<float>(dsm.amplification) / (n * 268435456.0f);
}

// The floating-point factors for mixing volumes vL, vR: surround negates the
// right side, stereo samples into mono output take half.
void FloatFactors(std::int32_t vL, std::int32_t vR, float base, int src, bool surround,
                  float* left, float* right) {
  float factorL = static_cast<float>(vL) * base;
  float factorR = static_cast<float>(vR) * base;
  if (!dsm.stereo && IsStereoSrc(src)) {
    factorL *= 0.5f;
  }
  if (surround) {
    factorR = -factorR;
  }
  *left = factorL;
  *right = factorR;
}

const DsmFloatTable& FloatTableFor(const DsmKernelSet& k, bool surround) {
  if (!dsm.stereo) {
    return dsm.interpolate ? k.interpMono : k.floatMono;
  }
  if (dsm.interpolate) {
    return surround ? k.interpSurround : k.interpStereo;
  }
  return surround ? k.floatSurround : k.floatStereo;
}

std::int32_t* IntAcc(void* acc, unsigned offset) {
  return static_cast<std::int32_t*>(acc) + std::size_t{offset} * (dsm.stereo ? 2 : 1);
}

float* FloatAcc(void* acc, unsigned offset) {
  return static_cast<float*>(acc) + std::size_t{offset} * (dsm.stereo ? 2 : 1);
}

// Mixes count samples of one channel at its current volumes.
void MixRun(const DsmChannel& ch, int src, const DsmRun& run, void* acc, unsigned accOffset) {
  const DsmKernelSet& k = dsmKernels();
  const auto index = static_cast<std::size_t>(src);
  if (!dsm.floatPath) {
    const DsmIntVolume vol = IntVolumeOf(ch, src);
    DsmIntRoutine routine;
    if (!dsm.stereo) {
      routine = k.intMono[index];
    } else if (ch.panning == 0x80) {
      routine = k.intSurround[index];
    } else if (ch.panning == 0) {
      routine = k.intCentre[index];
    } else {
      routine = k.intStereo[index];
    }
    routine(run, IntAcc(acc, accOffset), vol);
    return;
  }
  const bool surround = ch.panning == 0x80;
  DsmFloatVolume vol{0, 0, nullptr, nullptr, dsm.eightBitToFloat, dsm.muLawToFloat};
  FloatFactors(ch.leftVol, ch.rightVol, BaseFactor(), src, surround, &vol.left, &vol.right);
  FloatTableFor(k, surround)[index](run, FloatAcc(acc, accOffset), vol);
}

// Where a segment reads: the sample data, or the copy of its last frame and
// the frame that follows it; positions are taken relative to baseOffset.
struct Source {
  const std::uint8_t* base;
  const std::uint8_t* end;
  std::int64_t baseOffset;
};

// Mixes a run at per-sample factors: the ramped volumes of its samples.
void MixRampRun(const DsmChannel& ch, int src, const DsmRun& run, const float* rampL,
                const float* rampR, void* acc, unsigned accOffset) {
  const bool surround = ch.panning == 0x80;
  const DsmFloatVolume vol{0, 0, rampL, rampR, dsm.eightBitToFloat, dsm.muLawToFloat};
  FloatTableFor(dsmKernels(), surround)[static_cast<std::size_t>(src)](
      run, FloatAcc(acc, accOffset), vol);
}

// Mixes the samples of a segment during which a volume ramp runs, up to its
// end or the segment's. Each sample is mixed at the volumes before that
// sample's ramp step; samples at silence on both sides add nothing (only a
// ramp's first sample can be one: a side at 0 stays there only at its target).
void MixRamp(DsmChannel& ch, int src, const Source& source, std::int64_t& pos, std::int64_t step,
             unsigned& count, void* acc, unsigned& accOffset) {
  constexpr unsigned piece = 64;
  std::int32_t volL[piece];
  std::int32_t volR[piece];
  float rampL[piece];
  float rampR[piece];
  const bool surround = ch.panning == 0x80;
  const float base = BaseFactor();
  while (count > 0 && ch.ramping) {
    if (ch.leftVol == 0 && ch.rightVol == 0) {
      pos += step;
      accOffset++;
      count--;
      dsmRampOnce(ch);
      continue;
    }
    const unsigned n = dsmRampVolumes(ch, std::min(piece, count), volL, volR);
    for (unsigned k = 0; k < n; k++) {
      FloatFactors(volL[k], volR[k], base, src, surround, &rampL[k], &rampR[k]);
    }
    MixRampRun(ch, src, DsmRun{source.base, source.end, pos - source.baseOffset, step, n}, rampL, rampR, acc, accOffset);
    pos += step * n;
    accOffset += n;
    count -= n;
  }
}

// Mixes count samples of a segment, ramping first where a ramp is running.
// Returns false when a fading shadow fell silent and stopped.
bool MixSegment(DsmChannel& ch, int src, const Source& source, std::int64_t& pos,
                std::int64_t step, unsigned count, void* acc, unsigned accOffset) {
  if (ch.ramping && dsm.floatPath) {
    MixRamp(ch, src, source, pos, step, count, acc, accOffset);
  }
  // Volumes ramp only when interpolating, which mixes in floating point; an
  // integer-path ramp would go one sample at a time.
  while (count > 0 && ch.ramping) {
    if (ch.leftVol != 0 || ch.rightVol != 0) {
      MixRun(ch, src, DsmRun{source.base, source.end, pos - source.baseOffset, step, 1}, acc, accOffset);
    }
    pos += step;
    accOffset++;
    count--;
    dsmRampOnce(ch);
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
    MixRun(ch, src, DsmRun{source.base, source.end, pos - source.baseOffset, step, count}, acc, accOffset);
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

// The part of the sample a channel plays in: its current loop, or the whole
// sample. Positions in 16.16.
struct Span {
  unsigned loopType;
  std::int64_t start;
  std::int64_t end;  // exclusive
  std::int64_t start16;
  std::int64_t end16;
  std::int64_t last16;  // the last frame
};

Span CurrentSpan(DsmChannel& ch) {
  const bool second = ch.loopNum == 2;
  unsigned loopType = second ? ch.loop2Type : ch.loop1Type;
  const unsigned loopStart = second ? ch.loop2Start : ch.loop1Start;
  const unsigned loopEnd = second ? ch.loop2End : ch.loop1End;
  if (loopType != loopTypeNone && (loopEnd > ch.length || loopStart >= loopEnd)) {
    loopType = loopTypeNone;  // a broken loop plays as no loop
  }
  if (loopType != loopTypePingPong) {
    ch.direction = 1;
  }
  Span span{};
  span.loopType = loopType;
  span.end = loopType != loopTypeNone ? loopEnd : ch.length;
  span.start = loopType != loopTypeNone ? loopStart : 0;
  span.end16 = span.end << 16;
  span.start16 = span.start << 16;
  span.last16 = (span.end - 1) << 16;
  return span;
}

// How many output samples until the next boundary. With interpolation the
// last frame of the span is mixed on its own (*useTail), as its "next" frame
// is not the one after it in the data.
std::int64_t SamplesToBoundary(const Span& span, std::int64_t pos, std::int64_t step,
                               bool backward, bool* useTail) {
  *useTail = false;
  std::int64_t count = 0;
  if (!backward) {
    std::int64_t limit = span.end16;
    if (dsm.interpolate) {
      if (pos < span.last16) {
        limit = span.last16;
      } else {
        *useTail = true;
      }
    }
    const std::int64_t distance = std::min(limit - pos, std::int64_t{0x7FFF} << 16);
    count = distance > 0 ? (distance + step - 1) / step : 0;
  } else {
    const std::int64_t distance = std::min(pos - span.start16, std::int64_t{0x7FFF} << 16);
    count = distance > 0 ? (distance + step - 1) / step : 0;
    if (dsm.interpolate && pos >= span.last16 && count > 0) {
      *useTail = true;
      count = std::min(count, (pos - span.last16) / step + 1);
    }
  }
  return count;
}

// The last frame of the span and the frame interpolation takes after it: the
// loop start for a forward loop; for a ping-pong loop the last frame itself,
// where the play position turns back; without a loop the last frame as well.
Source TailSource(const DsmChannel& ch, const Span& span, std::uint8_t* tail) {
  const unsigned frame = FrameBytesOf(ch.sampleType);
  const std::uint8_t* lastFrame = ch.data + static_cast<std::size_t>(span.end - 1) * frame;
  const std::uint8_t* nextFrame = span.loopType == loopTypeForward
                                      ? ch.data + static_cast<std::size_t>(span.start) * frame
                                      : lastFrame;
  std::memcpy(tail, lastFrame, frame);
  std::memcpy(tail + frame, nextFrame, frame);
  return Source{tail, tail + 2 * frame, span.last16};
}

// Applies the loop rules at a boundary. False when the channel has ended.
bool CrossBoundary(DsmChannel& ch, unsigned channelNumber, const Span& span, bool backward,
                   std::int64_t& pos) {
  if (!backward && pos >= span.end16) {
    if (TrySwap(ch, pos)) {
      if (ch.loopCallback != nullptr) {
        ch.loopCallback(channelNumber);
      }
      return true;
    }
    if (ch.loopNum == 1 && ch.state == dsmChanReleased &&
        (ch.loopMode == loopModeRelease || ch.loopMode == loopModeReleaseAlt) &&
        span.loopType != loopTypeNone) {
      ch.loopNum = 2;  // carry on forwards into the second loop
      return true;
    }
    if (span.loopType == loopTypeNone) {
      ch.state = dsmChanEnd;
      return false;
    }
    if (span.loopType == loopTypeForward) {
      pos = span.start16 + (pos - span.end16);
      if (pos >= span.end16) {
        pos = span.start16;
      }
    } else {
      ch.direction = -1;
      pos = span.end16 - (pos - span.end16) - 1;
      if (pos < span.start16) {
        pos = span.start16;
      }
    }
  } else if (backward && pos <= span.start16) {
    ch.direction = 1;
    pos = span.start16 + (span.start16 - pos);
    if (pos >= span.end16) {
      pos = span.end16 - 1;
    }
  } else {
    return true;
  }
  if (ch.loopCallback != nullptr) {
    ch.loopCallback(channelNumber);
  }
  return true;
}

// Steps per output sample in 16.16: rate / mixing rate.
std::int64_t StepOf(const DsmChannel& ch) {
  const std::int64_t mix = dsm.mixRate;
  const std::int64_t rate = ch.rate;
  return (rate / mix) * 65536 + ((rate % mix) * 65536) / mix;
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
  const std::int64_t step = StepOf(ch);
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
    const Span span = CurrentSpan(ch);
    const bool backward = ch.direction < 0;
    if (backward && pos >= span.end16) {
      pos = span.end16 - 1;  // a backward run never starts beyond its loop
    }
    bool useTail = false;
    const std::int64_t count =
        std::min<std::int64_t>(SamplesToBoundary(span, pos, step, backward, &useTail), left);
    if (count > 0) {
      idleRounds = 0;
      const Source source =
          useTail ? TailSource(ch, span, tail)
                  : Source{ch.data, ch.data + std::size_t{ch.length} * FrameBytesOf(ch.sampleType), 0};
      if (!MixSegment(ch, src, source, pos, backward ? -step : step, static_cast<unsigned>(count),
                      acc, offset)) {
        break;  // a fading shadow fell silent
      }
      offset += static_cast<unsigned>(count);
      left -= static_cast<unsigned>(count);
    } else if (++idleRounds >= 2) {
      break;
    }
    if (!CrossBoundary(ch, channelNumber, span, backward, pos)) {
      break;
    }
  }
  if (pos < 0) {
    pos = 0;
  }
  ch.position = static_cast<unsigned>(pos >> 16);
  ch.fraction = static_cast<unsigned>(pos & 0xFFFF);
}

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
  const DsmKernelSet& kernels = dsmKernels();
  while (frames > 0) {
    const unsigned n = std::min(frames, chunkFrames);
    std::memset(dsmMixBuffer, 0, std::size_t{n} * outChannels * 4);
    if (!dsm.paused && dsm.channelsOpen) {
      for (unsigned c = 0; c < dsm.allocChannels; c++) {
        if (dsm.channels[c].filterOn) {
          dsmMixFilteredChannel(c, dsmMixBuffer, n);
        } else {
          dsmMixChannel(c, dsmMixBuffer, n);
        }
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
      kernels.convertFloat(reinterpret_cast<const float*>(dsmMixBuffer), n * outChannels, dest,
                           dsm.eightBit != 0);
    } else {
      kernels.convertInt(reinterpret_cast<const std::int32_t*>(dsmMixBuffer), n * outChannels,
                         dest, dsm.eightBit != 0);
    }
    dest += std::size_t{n} * bytesPerFrame;
    frames -= n;
  }
  return errOK;
}
