// The reference kernels of the mixer: one output sample at a time, in plain
// C++. One loop template per arithmetic path, instantiated per source type
// and output layout; the vector kernels must give the same results.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "sound/dsmkern.h"

namespace {

using Src = DsmSrc;
enum class Pan { Normal, Centre, Surround };

inline std::int32_t Load16(const std::uint8_t* p) {
  std::int16_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// ---- integer path -------------------------------------------------------

template <Src S, bool StereoOut, Pan P>
void MixInt(const DsmRun& run, std::int32_t* acc, const DsmIntVolume& vol) {
  const std::uint8_t* base = run.base;
  std::int64_t pos = run.pos;
  const std::int64_t step = run.step;
  const std::int32_t* rowL = vol.rowL;
  const std::int32_t* rowR = vol.rowR;
  const std::int32_t mulL = vol.mulL;
  const std::int32_t mulR = vol.mulR;
#pragma GCC unroll 4
  for (unsigned i = 0; i < run.count; i++) {
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
inline float ToFloat(const std::uint8_t* p, const DsmFloatVolume& vol) {
  if constexpr (S == Src::U8Mono || S == Src::U8Stereo) {
    return vol.eightBitToFloat[*p];
  } else if constexpr (S == Src::MuMono || S == Src::MuStereo) {
    return vol.muLawToFloat[*p];
  } else {
    return static_cast<float>(Load16(p));
  }
}

// Surround: the right side takes the left signal (the right factor is negated).
template <Src S, bool StereoOut, bool Interp, bool Surround, bool Ramp>
void MixFloatRun(const DsmRun& run, float* acc, const DsmFloatVolume& vol) {
  constexpr unsigned frame = DsmFrameBytes(S);
  constexpr unsigned half = DsmIsStereoSrc(S) ? frame / 2 : 0;
  constexpr float fractionScale = 1.0f / 65536.0f;
  const std::uint8_t* base = run.base;
  std::int64_t pos = run.pos;
  const std::int64_t step = run.step;
#pragma GCC unroll 4
  for (unsigned i = 0; i < run.count; i++) {
    const std::size_t index = static_cast<std::size_t>(pos >> 16);
    const std::uint8_t* p = base + index * frame;
    float left;
    float right;
    if constexpr (Interp) {
      const float f = static_cast<float>(pos & 0xFFFF);
      const float g = 65536.0f - f;
      left = (f * ToFloat<S>(p + frame, vol) + g * ToFloat<S>(p, vol)) * fractionScale;
      if constexpr (DsmIsStereoSrc(S) && !Surround) {
        right = (f * ToFloat<S>(p + frame + half, vol) + g * ToFloat<S>(p + half, vol)) * fractionScale;
      } else {
        right = left;
      }
    } else {
      left = ToFloat<S>(p, vol);
      if constexpr (DsmIsStereoSrc(S) && !Surround) {
        right = ToFloat<S>(p + half, vol);
      } else {
        right = left;
      }
    }
    pos += step;
    const float factorL = Ramp ? vol.rampL[i] : vol.left;
    if constexpr (StereoOut) {
      const float factorR = Ramp ? vol.rampR[i] : vol.right;
      acc[0] += left * factorL;
      acc[1] += right * factorR;
      acc += 2;
    } else if constexpr (DsmIsStereoSrc(S)) {
      acc[0] += (left + right) * factorL;
      acc += 1;
    } else {
      acc[0] += left * factorL;
      acc += 1;
    }
  }
}

template <Src S, bool StereoOut, bool Interp, bool Surround>
void MixFloat(const DsmRun& run, float* acc, const DsmFloatVolume& vol) {
  if (vol.rampL != nullptr) {
    MixFloatRun<S, StereoOut, Interp, Surround, true>(run, acc, vol);
  } else {
    MixFloatRun<S, StereoOut, Interp, Surround, false>(run, acc, vol);
  }
}

// ---- output conversion ----------------------------------------------------

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

template <bool StereoOut, Pan P>
constexpr DsmIntTable IntTable() {
  return {&MixInt<Src::U8Mono, StereoOut, P>,   &MixInt<Src::S16Mono, StereoOut, P>,
          &MixInt<Src::U8Stereo, StereoOut, P>, &MixInt<Src::S16Stereo, StereoOut, P>,
          &MixInt<Src::MuMono, StereoOut, P>,   &MixInt<Src::MuStereo, StereoOut, P>};
}

template <bool StereoOut, bool Interp, bool Surround>
constexpr DsmFloatTable FloatTable() {
  return {&MixFloat<Src::U8Mono, StereoOut, Interp, Surround>,
          &MixFloat<Src::S16Mono, StereoOut, Interp, Surround>,
          &MixFloat<Src::U8Stereo, StereoOut, Interp, Surround>,
          &MixFloat<Src::S16Stereo, StereoOut, Interp, Surround>,
          &MixFloat<Src::MuMono, StereoOut, Interp, Surround>,
          &MixFloat<Src::MuStereo, StereoOut, Interp, Surround>};
}

}  // namespace

const DsmKernelSet dsmScalarKernels = {
    "scalar",
    IntTable<false, Pan::Normal>(),
    IntTable<true, Pan::Normal>(),
    IntTable<true, Pan::Centre>(),
    IntTable<true, Pan::Surround>(),
    FloatTable<false, false, false>(),
    FloatTable<true, false, false>(),
    FloatTable<true, false, true>(),
    FloatTable<false, true, false>(),
    FloatTable<true, true, false>(),
    FloatTable<true, true, true>(),
    &ConvertOutput<std::int32_t>,
    &ConvertOutput<float>,
};
