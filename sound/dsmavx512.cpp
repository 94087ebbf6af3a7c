// The mixer's AVX-512 kernels, chosen at run time where the processor has
// AVX-512 with byte and word operations and whole-register byte permutes
// (F, BW, VBMI): sixteen output samples per block. A block's reads are picked
// out of one 64-byte load by a byte permute where the step allows it, else
// gathered. Only the functions here are compiled for AVX-512 (by attribute),
// so nothing of it runs on a processor without it.
#include "sound/dsmkern.h"

#if defined(__x86_64__)

#include <immintrin.h>

// GCC 12's AVX-512 intrinsics pass an undefined register as the unused
// merge source of their unmasked forms, which -Wmaybe-uninitialized reports
// wherever they are inlined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#define DSM_VEC_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace {

// The lane operations the vector kernels (dsmvec.h) are written in.
struct Vec {
  static constexpr int lanes = 16;
  // Part blocks of fewer lanes, through the masks of Masked.
  static constexpr bool hasMasks = true;
  using I = __m512i;
  using F = __m512;

  DSM_VEC_TARGET static I SetI(std::int32_t v) { return _mm512_set1_epi32(v); }
  DSM_VEC_TARGET static I Iota(std::int32_t step) {
    return _mm512_mullo_epi32(
        _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
        _mm512_set1_epi32(step));
  }
  DSM_VEC_TARGET static I Add(I a, I b) { return _mm512_add_epi32(a, b); }
  DSM_VEC_TARGET static I Sub(I a, I b) { return _mm512_sub_epi32(a, b); }
  DSM_VEC_TARGET static I And(I a, I b) { return _mm512_and_si512(a, b); }
  template <int N> DSM_VEC_TARGET static I Srl(I a) { return _mm512_srli_epi32(a, N); }
  template <int N> DSM_VEC_TARGET static I Sra(I a) { return _mm512_srai_epi32(a, N); }
  template <int N> DSM_VEC_TARGET static I Sll(I a) { return _mm512_slli_epi32(a, N); }
  // The low 32 bits of a × b.
  static constexpr bool fastMulLo = true;
  DSM_VEC_TARGET static I MulLo(I a, I b) { return _mm512_mullo_epi32(a, b); }
  // a × b for a in the signed 16-bit range and b in 0..32767.
  DSM_VEC_TARGET static I MulSmall(I a, I b) { return _mm512_madd_epi16(a, b); }
  DSM_VEC_TARGET static I LoadI(const std::int32_t* p) { return _mm512_loadu_si512(p); }
  DSM_VEC_TARGET static void StoreI(std::int32_t* p, I v) { _mm512_storeu_si512(p, v); }
  // Frames 0..7 into lo and 8..15 into hi, left and right alternating.
  DSM_VEC_TARGET static I InterleaveLow() {
    return _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
  }
  DSM_VEC_TARGET static I InterleaveHigh() {
    return _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
  }
  DSM_VEC_TARGET static void Interleave(I a, I b, I& lo, I& hi) {
    lo = _mm512_permutex2var_epi32(a, InterleaveLow(), b);
    hi = _mm512_permutex2var_epi32(a, InterleaveHigh(), b);
  }

  // Sixteen unaligned 32-bit reads at byte offsets from base. The gathers
  // start from a zeroed register that the compiler cannot fold away: the
  // destination of a gather is also an input, and reusing the last block's
  // would chain every block to the one before it.
  DSM_VEC_TARGET static I FreshZero() {
    I zero;
    __asm__ volatile("vpxord %0, %0, %0" : "=v"(zero));
    return zero;
  }
  DSM_VEC_TARGET static I Gather(const std::uint8_t* base, I offsets) {
    return _mm512_mask_i32gather_epi32(FreshZero(), 0xFFFF, offsets, base, 1);
  }
  // Sixteen 32-bit reads at byte offsets 0..60 from window, picked out of
  // one 64-byte load: each lane's offset spread over its four bytes, plus
  // 0..3, selects its bytes.
  static constexpr int windowBytes = 64;
  DSM_VEC_TARGET static I WindowGather(const std::uint8_t* window, I offsets) {
    const I bytes = _mm512_loadu_si512(window);
    const I spread = _mm512_shuffle_epi8(
        offsets, _mm512_set4_epi32(0x0C0C0C0C, 0x08080808, 0x04040404, 0x00000000));
    return _mm512_permutexvar_epi8(_mm512_add_epi8(spread, _mm512_set1_epi32(0x03020100)), bytes);
  }
  // The integer path's table lookups run here (a gather).
  static constexpr bool fastLookup = true;
  DSM_VEC_TARGET static I Lookup(const std::int32_t* table, I index) {
    return _mm512_mask_i32gather_epi32(FreshZero(), 0xFFFF, index, table, 4);
  }
  DSM_VEC_TARGET static F LookupF(const float* table, I index) {
    return _mm512_mask_i32gather_ps(_mm512_castsi512_ps(FreshZero()), 0xFFFF, index, table, 4);
  }

  DSM_VEC_TARGET static F Cvt(I a) { return _mm512_cvtepi32_ps(a); }
  DSM_VEC_TARGET static F SetF(float v) { return _mm512_set1_ps(v); }
  DSM_VEC_TARGET static F Add(F a, F b) { return _mm512_add_ps(a, b); }
  DSM_VEC_TARGET static F Sub(F a, F b) { return _mm512_sub_ps(a, b); }
  DSM_VEC_TARGET static F Mul(F a, F b) { return _mm512_mul_ps(a, b); }
  DSM_VEC_TARGET static F LoadF(const float* p) { return _mm512_loadu_ps(p); }
  DSM_VEC_TARGET static void StoreF(float* p, F v) { _mm512_storeu_ps(p, v); }
  // Two vectors whose lanes are all equal: a's value in the even lanes, b's in the odd.
  DSM_VEC_TARGET static F Pair(F a, F b) { return _mm512_mask_blend_ps(0xAAAA, a, b); }
  // Each of lanes 0..7 (8..15) of a twice, in order.
  DSM_VEC_TARGET static F DoubleLow(F a) {
    return _mm512_permutexvar_ps(
        _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7), a);
  }
  DSM_VEC_TARGET static F DoubleHigh(F a) {
    return _mm512_permutexvar_ps(
        _mm512_setr_epi32(8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15), a);
  }
  DSM_VEC_TARGET static void Interleave(F a, F b, F& lo, F& hi) {
    lo = _mm512_permutex2var_ps(a, InterleaveLow(), b);
    hi = _mm512_permutex2var_ps(a, InterleaveHigh(), b);
  }

  // A block of its first `count` lanes only: reads, loads and stores of
  // the other lanes are not made. With stereo output a block's accumulators
  // are two vectors (halves 0 and 1) of two per lane.
  struct Masked {
    __mmask16 lanesMask;
    __mmask16 halfMask[2];
    Masked(unsigned count, bool stereoOut) {
      lanesMask = static_cast<__mmask16>((1u << count) - 1);
      const unsigned values = stereoOut ? 2 * count : count;
      halfMask[0] = static_cast<__mmask16>(values >= 16 ? 0xFFFFu : (1u << values) - 1);
      halfMask[1] = static_cast<__mmask16>(values > 16 ? (1u << (values - 16)) - 1 : 0u);
    }
    DSM_VEC_TARGET I Gather(const std::uint8_t* base, I offsets) const {
      return _mm512_mask_i32gather_epi32(FreshZero(), lanesMask, offsets, base, 1);
    }
    DSM_VEC_TARGET F Load(const float* p, int half) const {
      return _mm512_maskz_loadu_ps(halfMask[half], p);
    }
    DSM_VEC_TARGET void Store(float* p, F v, int half) const {
      _mm512_mask_storeu_ps(p, halfMask[half], v);
    }
    DSM_VEC_TARGET F LoadRamp(const float* p) const { return _mm512_maskz_loadu_ps(lanesMask, p); }
  };
};

}  // namespace

#include "sound/dsmvec.h"

namespace {

// Rounds half away from zero after clamping to the 16-bit range; NaN goes to
// -32768 (the maximum's second operand), as in the scalar conversion.
DSM_VEC_TARGET inline __m512i RoundClamped(__m512 x) {
  x = _mm512_min_ps(_mm512_max_ps(x, _mm512_set1_ps(-32768.0f)), _mm512_set1_ps(32767.0f));
  const __mmask16 negative = _mm512_cmp_ps_mask(x, _mm512_setzero_ps(), _CMP_LT_OQ);
  const __m512 half = _mm512_mask_blend_ps(negative, _mm512_set1_ps(0.5f), _mm512_set1_ps(-0.5f));
  return _mm512_cvttps_epi32(_mm512_add_ps(x, half));
}

// Sixteen accumulators at a time to 16-bit output, narrowed in order (the
// values are in range already); 8-bit output and the rest go through the
// AVX2 conversion.
DSM_VEC_TARGET void ConvertFloatAvx512(const float* acc, unsigned samples, std::uint8_t* dest,
                                       bool eightBit) {
  unsigned i = 0;
  if (!eightBit) {
    for (; i + 16 <= samples; i += 16) {
      const __m256i words = _mm512_cvtsepi32_epi16(RoundClamped(_mm512_loadu_ps(acc + i)));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest + 2 * i), words);
    }
  }
  dsmConvertFloatAvx2(acc + i, samples - i, dest + i * (eightBit ? 1 : 2), eightBit);
}

constexpr DsmKernelSet avx512Kernels =
    VectorKernels("avx512", &dsmConvertIntSse2, &ConvertFloatAvx512);

}  // namespace

const DsmKernelSet* const dsmAvx512Kernels = &avx512Kernels;

#else

const DsmKernelSet* const dsmAvx512Kernels = nullptr;

#endif
