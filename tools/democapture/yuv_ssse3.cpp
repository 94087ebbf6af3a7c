#include "tools/democapture/yuv_ssse3.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define YUV_SSSE3 1
#endif

namespace yuvssse3 {

#ifdef YUV_SSSE3

namespace {

#define TARGET __attribute__((target("ssse3")))

TARGET inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

TARGET inline __m128i BitSet(__m128i bytes, int bit) {
  const __m128i value = _mm_set1_epi8(static_cast<char>(bit));
  return _mm_cmpeq_epi8(_mm_and_si128(bytes, value), value);
}

// Table lookups of 16 byte indices: 32 entries in two shuffles, 64 in four.
TARGET inline __m128i Lookup32(__m128i index, const __m128i* table) {
  return Select(BitSet(index, 16), _mm_shuffle_epi8(table[1], index), _mm_shuffle_epi8(table[0], index));
}

TARGET inline __m128i Lookup64(__m128i index, const __m128i* table) {
  return Select(BitSet(index, 32), Lookup32(index, table + 2), Lookup32(index, table));
}

// One row's 16 pixels as gamma-corrected r, g, b in 16-bit lanes: [0] columns
// 0-7, [1] columns 8-15.
struct Channels {
  __m128i r[2], g[2], b[2];
};

TARGET inline Channels Unpack(const std::uint16_t* row, const __m128i* five, const __m128i* six) {
  const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
  const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 8));
  const __m128i low5 = _mm_set1_epi16(31), low6 = _mm_set1_epi16(63), zero = _mm_setzero_si128();
  const __m128i r = Lookup32(_mm_packus_epi16(_mm_srli_epi16(first, 11), _mm_srli_epi16(second, 11)), five);
  const __m128i g = Lookup64(_mm_packus_epi16(_mm_and_si128(_mm_srli_epi16(first, 5), low6),
                                              _mm_and_si128(_mm_srli_epi16(second, 5), low6)), six);
  const __m128i b = Lookup32(_mm_packus_epi16(_mm_and_si128(first, low5), _mm_and_si128(second, low5)), five);
  return Channels{{_mm_unpacklo_epi8(r, zero), _mm_unpackhi_epi8(r, zero)},
                  {_mm_unpacklo_epi8(g, zero), _mm_unpackhi_epi8(g, zero)},
                  {_mm_unpacklo_epi8(b, zero), _mm_unpackhi_epi8(b, zero)}};
}

// ((66 r + 129 g + 25 b + 128) >> 8) + 16; the sum stays below 65536, so
// unsigned 16-bit lanes hold it.
TARGET inline __m128i Luma(__m128i r, __m128i g, __m128i b) {
  __m128i sum = _mm_add_epi16(_mm_mullo_epi16(r, _mm_set1_epi16(66)), _mm_mullo_epi16(g, _mm_set1_epi16(129)));
  sum = _mm_add_epi16(sum, _mm_add_epi16(_mm_mullo_epi16(b, _mm_set1_epi16(25)), _mm_set1_epi16(128)));
  return _mm_add_epi16(_mm_srli_epi16(sum, 8), _mm_set1_epi16(16));
}

TARGET inline void StoreLuma(const Channels& c, std::uint8_t* out) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_packus_epi16(Luma(c.r[0], c.g[0], c.b[0]), Luma(c.r[1], c.g[1], c.b[1])));
}

// Rounded means of the eight 2 x 2 blocks of one channel.
TARGET inline __m128i BlockMeans(const __m128i (&top)[2], const __m128i (&bottom)[2]) {
  const __m128i ones = _mm_set1_epi16(1);
  const __m128i left = _mm_add_epi32(_mm_madd_epi16(top[0], ones), _mm_madd_epi16(bottom[0], ones));
  const __m128i right = _mm_add_epi32(_mm_madd_epi16(top[1], ones), _mm_madd_epi16(bottom[1], ones));
  return _mm_srli_epi16(_mm_add_epi16(_mm_packs_epi32(left, right), _mm_set1_epi16(2)), 2);
}

// ((a r + b g + c b + 128) >> 8) + 128 with signed weights; every partial sum
// fits a signed 16-bit lane (at most 112 x 255 in size).
TARGET inline __m128i Difference(__m128i r, __m128i g, __m128i b, short wr, short wg, short wb) {
  __m128i sum = _mm_add_epi16(_mm_mullo_epi16(r, _mm_set1_epi16(wr)), _mm_mullo_epi16(g, _mm_set1_epi16(wg)));
  sum = _mm_add_epi16(sum, _mm_add_epi16(_mm_mullo_epi16(b, _mm_set1_epi16(wb)), _mm_set1_epi16(128)));
  return _mm_add_epi16(_mm_srai_epi16(sum, 8), _mm_set1_epi16(128));
}

}  // namespace

bool Available() { return __builtin_cpu_supports("ssse3"); }

TARGET int ConvertRowPair(const std::uint16_t* top, const std::uint16_t* bottom, int width,
                          const std::uint8_t (&five)[32], const std::uint8_t (&six)[64], std::uint8_t* lumaTop,
                          std::uint8_t* lumaBottom, std::uint8_t* blue, std::uint8_t* red) {
  __m128i fiveTable[2], sixTable[4];
  for (int i = 0; i < 2; ++i) fiveTable[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(five + 16 * i));
  for (int i = 0; i < 4; ++i) sixTable[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(six + 16 * i));
  const __m128i zero = _mm_setzero_si128();
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    const Channels upper = Unpack(top + x, fiveTable, sixTable);
    const Channels lower = Unpack(bottom + x, fiveTable, sixTable);
    StoreLuma(upper, lumaTop + x);
    StoreLuma(lower, lumaBottom + x);
    const __m128i r = BlockMeans(upper.r, lower.r), g = BlockMeans(upper.g, lower.g);
    const __m128i b = BlockMeans(upper.b, lower.b);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(blue + x / 2), _mm_packus_epi16(Difference(r, g, b, -38, -74, 112), zero));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(red + x / 2), _mm_packus_epi16(Difference(r, g, b, 112, -94, -18), zero));
  }
  return x;
}

#else

bool Available() { return false; }

int ConvertRowPair(const std::uint16_t*, const std::uint16_t*, int, const std::uint8_t (&)[32],
                   const std::uint8_t (&)[64], std::uint8_t*, std::uint8_t*, std::uint8_t*, std::uint8_t*) {
  return 0;
}

#endif

}  // namespace yuvssse3
