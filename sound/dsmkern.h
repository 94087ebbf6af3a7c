// The mixer's inner loops ("kernels"): each mixes one run of one channel (a
// stretch of output samples that crosses no loop point) into the
// accumulators, for one source sample type, output layout and arithmetic
// path. The scalar set (dsmscal.cpp) is the reference; the SSE2 and AVX2
// sets (dsmsse2.cpp, dsmavx2.cpp) give the same results, several output
// samples at a time. Not for use outside the mixer.
#pragma once

#include <array>
#include <cstdint>

// Source layouts, in the order of the routine tables.
enum class DsmSrc { U8Mono, S16Mono, U8Stereo, S16Stereo, MuMono, MuStereo };
inline constexpr int dsmSrcCount = 6;

constexpr bool DsmIsStereoSrc(DsmSrc s) {
  return s == DsmSrc::U8Stereo || s == DsmSrc::S16Stereo || s == DsmSrc::MuStereo;
}

// Bytes per sample frame.
constexpr unsigned DsmFrameBytes(DsmSrc s) {
  switch (s) {
    case DsmSrc::S16Mono:
    case DsmSrc::U8Stereo:
    case DsmSrc::MuStereo:
      return 2;
    case DsmSrc::S16Stereo:
      return 4;
    default:
      return 1;
  }
}

// One run: `count` output samples read from `base` at the 16.16 position
// `pos`, which advances by `step` (negative when moving backwards). With
// interpolation every read position has its next frame inside the data.
// Kernels may read ahead of the frames they use up to `end`, never beyond.
struct DsmRun {
  const std::uint8_t* base;
  const std::uint8_t* end;
  std::int64_t pos;
  std::int64_t step;
  unsigned count;
};

// Integer path volumes: volume-table rows (8-bit and mu-law types, indexed by
// the stored byte) and multipliers for 16-bit types (0..4096).
struct DsmIntVolume {
  const std::int32_t* rowL;
  const std::int32_t* rowR;
  std::int32_t mulL;
  std::int32_t mulR;
};

// Floating-point volumes: one factor per side, or during a volume ramp one
// per output sample (rampL, rampR; null when the volume is constant). The
// tables convert 8-bit and mu-law bytes to the 16-bit scale.
struct DsmFloatVolume {
  float left;
  float right;
  const float* rampL;
  const float* rampR;
  const float* eightBitToFloat;
  const float* muLawToFloat;
};

using DsmIntRoutine = void (*)(const DsmRun& run, std::int32_t* acc, const DsmIntVolume& vol);
using DsmFloatRoutine = void (*)(const DsmRun& run, float* acc, const DsmFloatVolume& vol);
// Output conversion: clamps `samples` accumulators to 16-bit signed or 8-bit
// unsigned output (floats rounded half away from zero first).
using DsmConvertInt = void (*)(const std::int32_t* acc, unsigned samples, std::uint8_t* dest,
                               bool eightBit);
using DsmConvertFloat = void (*)(const float* acc, unsigned samples, std::uint8_t* dest,
                                 bool eightBit);

// A complete set of kernels, each table indexed by DsmSrc. Integer stereo has
// variants for normal panning, the centre and surround (the right side
// inverted); the float tables take surround as a negated right factor, and
// their surround variants give the right side the left signal.
using DsmIntTable = std::array<DsmIntRoutine, dsmSrcCount>;
using DsmFloatTable = std::array<DsmFloatRoutine, dsmSrcCount>;

struct DsmKernelSet {
  const char* name;
  DsmIntTable intMono, intStereo, intCentre, intSurround;
  DsmFloatTable floatMono, floatStereo, floatSurround;
  DsmFloatTable interpMono, interpStereo, interpSurround;
  DsmConvertInt convertInt;
  DsmConvertFloat convertFloat;
};

extern const DsmKernelSet dsmScalarKernels;
// Present on x86-64 only; null elsewhere (and the AVX2 and AVX-512 sets
// are never chosen where the processor lacks them).
extern const DsmKernelSet* const dsmSse2Kernels;
extern const DsmKernelSet* const dsmAvx2Kernels;
extern const DsmKernelSet* const dsmAvx512Kernels;

#if defined(__x86_64__)
// The SSE2 output conversion, shared by the vector sets, and the AVX2
// floating-point one, shared by the AVX2 and AVX-512 sets.
void dsmConvertIntSse2(const std::int32_t* acc, unsigned samples, std::uint8_t* dest,
                       bool eightBit);
void dsmConvertFloatSse2(const float* acc, unsigned samples, std::uint8_t* dest, bool eightBit);
void dsmConvertFloatAvx2(const float* acc, unsigned samples, std::uint8_t* dest, bool eightBit);
#endif

// The set of a dsmSimd level (the scalar set for dsmSimdScalar); null where
// this build has none for it. Says nothing of what the processor runs.
const DsmKernelSet* dsmKernelsAt(int level);

// The set chosen by dsmSetSimdLevel (the best the processor has by default).
const DsmKernelSet& dsmKernels();
