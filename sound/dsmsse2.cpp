// The mixer's SSE2 kernels (the x86-64 baseline): four output samples per
// block; the sample reads go one lane at a time, as SSE2 has no gather.
// Also the SSE2 output conversion, which the AVX2 set shares.
#include "sound/dsmkern.h"

#if defined(__x86_64__)

#include <emmintrin.h>

#include <cstring>

#define DSM_VEC_TARGET

namespace {

// The lane operations the vector kernels (dsmvec.h) are written in.
struct Vec {
  static constexpr int lanes = 4;
  // No masked part blocks: what is left after the last whole block goes
  // to the scalar reference.
  static constexpr bool hasMasks = false;
  using I = __m128i;
  using F = __m128;

  static I SetI(std::int32_t v) { return _mm_set1_epi32(v); }
  // 0, step, 2 step, 3 step.
  static I Iota(std::int32_t step) { return _mm_setr_epi32(0, step, 2 * step, 3 * step); }
  static I Add(I a, I b) { return _mm_add_epi32(a, b); }
  static I Sub(I a, I b) { return _mm_sub_epi32(a, b); }
  static I And(I a, I b) { return _mm_and_si128(a, b); }
  template <int N> static I Srl(I a) { return _mm_srli_epi32(a, N); }
  template <int N> static I Sra(I a) { return _mm_srai_epi32(a, N); }
  template <int N> static I Sll(I a) { return _mm_slli_epi32(a, N); }
  // The low 32 bits of a × b, from the two 64-bit products SSE2 has.
  static constexpr bool fastMulLo = false;
  static I MulLo(I a, I b) {
    const I even = _mm_mul_epu32(a, b);
    const I odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
  }
  // a × b for a in the signed 16-bit range and b in 0..32767.
  static I MulSmall(I a, I b) { return _mm_madd_epi16(a, b); }
  static I LoadI(const std::int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const I*>(p)); }
  static void StoreI(std::int32_t* p, I v) { _mm_storeu_si128(reinterpret_cast<I*>(p), v); }
  static void Interleave(I a, I b, I& lo, I& hi) {
    lo = _mm_unpacklo_epi32(a, b);
    hi = _mm_unpackhi_epi32(a, b);
  }

  // Four unaligned 32-bit reads at byte offsets from base.
  static I Gather(const std::uint8_t* base, I offsets) {
    alignas(16) std::int32_t at[4];
    _mm_store_si128(reinterpret_cast<I*>(at), offsets);
    std::int32_t w[4];
    for (int k = 0; k < 4; k++) {
      std::memcpy(&w[k], base + at[k], 4);
    }
    return _mm_setr_epi32(w[0], w[1], w[2], w[3]);
  }
  // No byte shuffle in SSE2: every read is gathered (windowBytes 0).
  static constexpr int windowBytes = 0;
  static I WindowGather(const std::uint8_t* window, I offsets) { return Gather(window, offsets); }
  // Whether the integer path's table lookups run here (a gather); done one
  // lane at a time they are slower than the scalar loop, which then mixes.
  static constexpr bool fastLookup = false;
  static I Lookup(const std::int32_t* table, I index) {
    alignas(16) std::int32_t at[4];
    _mm_store_si128(reinterpret_cast<I*>(at), index);
    return _mm_setr_epi32(table[at[0]], table[at[1]], table[at[2]], table[at[3]]);
  }
  static F LookupF(const float* table, I index) {
    alignas(16) std::int32_t at[4];
    _mm_store_si128(reinterpret_cast<I*>(at), index);
    return _mm_setr_ps(table[at[0]], table[at[1]], table[at[2]], table[at[3]]);
  }

  static F Cvt(I a) { return _mm_cvtepi32_ps(a); }
  static F SetF(float v) { return _mm_set1_ps(v); }
  static F Add(F a, F b) { return _mm_add_ps(a, b); }
  static F Sub(F a, F b) { return _mm_sub_ps(a, b); }
  static F Mul(F a, F b) { return _mm_mul_ps(a, b); }
  static F LoadF(const float* p) { return _mm_loadu_ps(p); }
  static void StoreF(float* p, F v) { _mm_storeu_ps(p, v); }
  // Two vectors whose lanes are all equal: a's value in the even lanes, b's in the odd.
  static F Pair(F a, F b) { return _mm_unpacklo_ps(a, b); }
  // Each of lanes 0, 1 (2, 3) of a twice, in order.
  static F DoubleLow(F a) { return _mm_unpacklo_ps(a, a); }
  static F DoubleHigh(F a) { return _mm_unpackhi_ps(a, a); }
  static void Interleave(F a, F b, F& lo, F& hi) {
    lo = _mm_unpacklo_ps(a, b);
    hi = _mm_unpackhi_ps(a, b);
  }
};

}  // namespace

#include "sound/dsmvec.h"

namespace {

// Eight accumulators at a time to 8-bit unsigned or 16-bit signed output;
// the packs saturate exactly as the scalar clamps do.
void StoreOutput(__m128i lo, __m128i hi, std::uint8_t* dest, bool eightBit) {
  if (eightBit) {
    const __m128i words = _mm_packs_epi32(_mm_srai_epi32(lo, 8), _mm_srai_epi32(hi, 8));
    const __m128i bytes = _mm_xor_si128(_mm_packs_epi16(words, words), _mm_set1_epi8(-128));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest), bytes);
  } else {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_packs_epi32(lo, hi));
  }
}

// Rounds half away from zero after clamping to the 16-bit range; NaN goes to
// -32768 (the maximum's second operand), as in the scalar conversion.
__m128i RoundClamped(__m128 x) {
  x = _mm_min_ps(_mm_max_ps(x, _mm_set1_ps(-32768.0f)), _mm_set1_ps(32767.0f));
  const __m128 negative = _mm_cmplt_ps(x, _mm_setzero_ps());
  const __m128 half = _mm_or_ps(_mm_and_ps(negative, _mm_set1_ps(-0.5f)),
                                _mm_andnot_ps(negative, _mm_set1_ps(0.5f)));
  return _mm_cvttps_epi32(_mm_add_ps(x, half));
}

}  // namespace

void dsmConvertIntSse2(const std::int32_t* acc, unsigned samples, std::uint8_t* dest,
                       bool eightBit) {
  const unsigned width = eightBit ? 1 : 2;
  unsigned i = 0;
  for (; i + 8 <= samples; i += 8) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc + i));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc + i + 4));
    StoreOutput(lo, hi, dest + i * width, eightBit);
  }
  dsmScalarKernels.convertInt(acc + i, samples - i, dest + i * width, eightBit);
}

void dsmConvertFloatSse2(const float* acc, unsigned samples, std::uint8_t* dest, bool eightBit) {
  const unsigned width = eightBit ? 1 : 2;
  unsigned i = 0;
  for (; i + 8 <= samples; i += 8) {
    const __m128i lo = RoundClamped(_mm_loadu_ps(acc + i));
    const __m128i hi = RoundClamped(_mm_loadu_ps(acc + i + 4));
    StoreOutput(lo, hi, dest + i * width, eightBit);
  }
  dsmScalarKernels.convertFloat(acc + i, samples - i, dest + i * width, eightBit);
}

namespace {
constexpr DsmKernelSet sse2Kernels = VectorKernels("sse2", &dsmConvertIntSse2, &dsmConvertFloatSse2);
}  // namespace

const DsmKernelSet* const dsmSse2Kernels = &sse2Kernels;

#else

const DsmKernelSet* const dsmSse2Kernels = nullptr;

#endif
