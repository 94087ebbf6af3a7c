// The mixer's AVX2 kernels, chosen at run time where the processor has
// AVX2: eight output samples per block, the sample reads and table lookups
// as gathers. Only the functions here are compiled for AVX2 (by attribute),
// so nothing of it runs on a processor without it.
#include "sound/dsmkern.h"

#if defined(__x86_64__)

#include <immintrin.h>

#define DSM_VEC_TARGET __attribute__((target("avx2")))

namespace {

// The lane operations the vector kernels (dsmvec.h) are written in.
struct Vec {
  static constexpr int lanes = 8;
  // No masked part blocks: what is left after the last whole block goes
  // to the scalar reference.
  static constexpr bool hasMasks = false;
  using I = __m256i;
  using F = __m256;

  DSM_VEC_TARGET static I SetI(std::int32_t v) { return _mm256_set1_epi32(v); }
  DSM_VEC_TARGET static I Iota(std::int32_t step) {
    return _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(step));
  }
  DSM_VEC_TARGET static I Add(I a, I b) { return _mm256_add_epi32(a, b); }
  DSM_VEC_TARGET static I Sub(I a, I b) { return _mm256_sub_epi32(a, b); }
  DSM_VEC_TARGET static I And(I a, I b) { return _mm256_and_si256(a, b); }
  template <int N> DSM_VEC_TARGET static I Srl(I a) { return _mm256_srli_epi32(a, N); }
  template <int N> DSM_VEC_TARGET static I Sra(I a) { return _mm256_srai_epi32(a, N); }
  template <int N> DSM_VEC_TARGET static I Sll(I a) { return _mm256_slli_epi32(a, N); }
  // The low 32 bits of a × b.
  static constexpr bool fastMulLo = true;
  DSM_VEC_TARGET static I MulLo(I a, I b) { return _mm256_mullo_epi32(a, b); }
  // a × b for a in the signed 16-bit range and b in 0..32767.
  DSM_VEC_TARGET static I MulSmall(I a, I b) { return _mm256_madd_epi16(a, b); }
  DSM_VEC_TARGET static I LoadI(const std::int32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const I*>(p));
  }
  DSM_VEC_TARGET static void StoreI(std::int32_t* p, I v) {
    _mm256_storeu_si256(reinterpret_cast<I*>(p), v);
  }
  // Frames 0..3 into lo and 4..7 into hi, left and right alternating.
  DSM_VEC_TARGET static void Interleave(I a, I b, I& lo, I& hi) {
    const I low = _mm256_unpacklo_epi32(a, b);
    const I high = _mm256_unpackhi_epi32(a, b);
    lo = _mm256_permute2x128_si256(low, high, 0x20);
    hi = _mm256_permute2x128_si256(low, high, 0x31);
  }

  // Eight unaligned 32-bit reads at byte offsets from base. The gathers
  // start from a zeroed register: the destination of a gather is also an
  // input, and reusing the last block's would chain every block to the one
  // before it.
  // A zeroed register the compiler cannot fold away.
  DSM_VEC_TARGET static I FreshZero() {
    I zero;
    __asm__ volatile("vpxor %0, %0, %0" : "=x"(zero));
    return zero;
  }
  DSM_VEC_TARGET static I Gather(const std::uint8_t* base, I offsets) {
    return _mm256_mask_i32gather_epi32(FreshZero(), reinterpret_cast<const int*>(base), offsets,
                                       _mm256_set1_epi32(-1), 1);
  }
  // Eight 32-bit reads at byte offsets 0..12 from window, picked out of one
  // 16-byte load: each lane's offset spread over its four bytes, plus 0..3,
  // selects its bytes from the load copied into both halves.
  static constexpr int windowBytes = 16;
  DSM_VEC_TARGET static I WindowGather(const std::uint8_t* window, I offsets) {
    const I bytes = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(window)));
    const I spread = _mm256_shuffle_epi8(
        offsets, _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12, 0, 0, 0, 0, 4,
                                  4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12));
    return _mm256_shuffle_epi8(bytes, _mm256_add_epi8(spread, _mm256_set1_epi32(0x03020100)));
  }
  // Whether the integer path's table lookups run here (a gather); done one
  // lane at a time they are slower than the scalar loop, which then mixes.
  static constexpr bool fastLookup = true;
  DSM_VEC_TARGET static I Lookup(const std::int32_t* table, I index) {
    return _mm256_mask_i32gather_epi32(FreshZero(), reinterpret_cast<const int*>(table), index,
                                       _mm256_set1_epi32(-1), 4);
  }
  DSM_VEC_TARGET static F LookupF(const float* table, I index) {
    return _mm256_mask_i32gather_ps(_mm256_castsi256_ps(FreshZero()), table, index,
                                    _mm256_castsi256_ps(_mm256_set1_epi32(-1)), 4);
  }

  DSM_VEC_TARGET static F Cvt(I a) { return _mm256_cvtepi32_ps(a); }
  DSM_VEC_TARGET static F SetF(float v) { return _mm256_set1_ps(v); }
  DSM_VEC_TARGET static F Add(F a, F b) { return _mm256_add_ps(a, b); }
  DSM_VEC_TARGET static F Sub(F a, F b) { return _mm256_sub_ps(a, b); }
  DSM_VEC_TARGET static F Mul(F a, F b) { return _mm256_mul_ps(a, b); }
  DSM_VEC_TARGET static F LoadF(const float* p) { return _mm256_loadu_ps(p); }
  DSM_VEC_TARGET static void StoreF(float* p, F v) { _mm256_storeu_ps(p, v); }
  // Two vectors whose lanes are all equal: a's value in the even lanes, b's in the odd.
  DSM_VEC_TARGET static F Pair(F a, F b) { return _mm256_blend_ps(a, b, 0xAA); }
  // Each of lanes 0..3 (4..7) of a twice, in order.
  DSM_VEC_TARGET static F DoubleLow(F a) {
    return _mm256_permutevar8x32_ps(a, _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3));
  }
  DSM_VEC_TARGET static F DoubleHigh(F a) {
    return _mm256_permutevar8x32_ps(a, _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7));
  }
  DSM_VEC_TARGET static void Interleave(F a, F b, F& lo, F& hi) {
    const F low = _mm256_unpacklo_ps(a, b);
    const F high = _mm256_unpackhi_ps(a, b);
    lo = _mm256_permute2f128_ps(low, high, 0x20);
    hi = _mm256_permute2f128_ps(low, high, 0x31);
  }
};

}  // namespace

#include "sound/dsmvec.h"

namespace {

// Rounds half away from zero after clamping to the 16-bit range; NaN goes to
// -32768 (the maximum's second operand), as in the scalar conversion.
DSM_VEC_TARGET inline __m256i RoundClamped(__m256 x) {
  x = _mm256_min_ps(_mm256_max_ps(x, _mm256_set1_ps(-32768.0f)), _mm256_set1_ps(32767.0f));
  const __m256 negative = _mm256_cmp_ps(x, _mm256_setzero_ps(), _CMP_LT_OQ);
  const __m256 half = _mm256_blendv_ps(_mm256_set1_ps(0.5f), _mm256_set1_ps(-0.5f), negative);
  return _mm256_cvttps_epi32(_mm256_add_ps(x, half));
}

}  // namespace

// Sixteen accumulators at a time to 16-bit output (the pack saturates as the
// scalar clamp does, within 128-bit halves, put back in order after); 8-bit
// output and the rest go through the SSE2 conversion.
DSM_VEC_TARGET void dsmConvertFloatAvx2(const float* acc, unsigned samples, std::uint8_t* dest,
                                        bool eightBit) {
  unsigned i = 0;
  if (!eightBit) {
    for (; i + 16 <= samples; i += 16) {
      const __m256i lo = RoundClamped(_mm256_loadu_ps(acc + i));
      const __m256i hi = RoundClamped(_mm256_loadu_ps(acc + i + 8));
      const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dest + 2 * i), packed);
    }
  }
  dsmConvertFloatSse2(acc + i, samples - i, dest + i * (eightBit ? 1 : 2), eightBit);
}

namespace {
constexpr DsmKernelSet avx2Kernels = VectorKernels("avx2", &dsmConvertIntSse2, &dsmConvertFloatAvx2);
}  // namespace

const DsmKernelSet* const dsmAvx2Kernels = &avx2Kernels;

#else

const DsmKernelSet* const dsmAvx2Kernels = nullptr;

#endif
