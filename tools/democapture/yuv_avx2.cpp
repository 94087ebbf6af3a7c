#include "tools/democapture/yuv_avx2.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define YUV_AVX2 1
#endif

namespace yuvavx2 {

#ifdef YUV_AVX2

namespace {

#define TARGET __attribute__((target("avx2")))

TARGET inline __m256i BitSet(__m256i bytes, int bit) {
  const __m256i value = _mm256_set1_epi8(static_cast<char>(bit));
  return _mm256_cmpeq_epi8(_mm256_and_si256(bytes, value), value);
}

// Table lookups of 32 byte indices, each 16-entry part of the table repeated in
// both halves of a register: 32 entries in two shuffles, 64 in four.
TARGET inline __m256i Lookup32(__m256i index, const __m256i* table) {
  return _mm256_blendv_epi8(_mm256_shuffle_epi8(table[0], index), _mm256_shuffle_epi8(table[1], index),
                            BitSet(index, 16));
}

TARGET inline __m256i Lookup64(__m256i index, const __m256i* table) {
  return _mm256_blendv_epi8(Lookup32(index, table), Lookup32(index, table + 2), BitSet(index, 32));
}

// One row's 32 pixels as gamma-corrected r, g, b in 16-bit lanes: [0] columns
// 0-15, [1] columns 16-31.
struct Channels {
  __m256i r[2], g[2], b[2];
};

// The packs work within each half: the indices hold columns 0-7, 16-23 in the
// low half and 8-15, 24-31 in the high one, and unpacking against zero puts
// them back in column order.
TARGET inline Channels Unpack(const std::uint16_t* row, const __m256i* five, const __m256i* six) {
  const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row));
  const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 16));
  const __m256i low5 = _mm256_set1_epi16(31), low6 = _mm256_set1_epi16(63), zero = _mm256_setzero_si256();
  const __m256i r = Lookup32(_mm256_packus_epi16(_mm256_srli_epi16(first, 11), _mm256_srli_epi16(second, 11)), five);
  const __m256i g = Lookup64(_mm256_packus_epi16(_mm256_and_si256(_mm256_srli_epi16(first, 5), low6),
                                                 _mm256_and_si256(_mm256_srli_epi16(second, 5), low6)), six);
  const __m256i b = Lookup32(_mm256_packus_epi16(_mm256_and_si256(first, low5), _mm256_and_si256(second, low5)), five);
  return Channels{{_mm256_unpacklo_epi8(r, zero), _mm256_unpackhi_epi8(r, zero)},
                  {_mm256_unpacklo_epi8(g, zero), _mm256_unpackhi_epi8(g, zero)},
                  {_mm256_unpacklo_epi8(b, zero), _mm256_unpackhi_epi8(b, zero)}};
}

// ((66 r + 129 g + 25 b + 128) >> 8) + 16; the sum stays below 65536, so
// unsigned 16-bit lanes hold it.
TARGET inline __m256i Luma(__m256i r, __m256i g, __m256i b) {
  __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(r, _mm256_set1_epi16(66)),
                                 _mm256_mullo_epi16(g, _mm256_set1_epi16(129)));
  sum = _mm256_add_epi16(sum, _mm256_add_epi16(_mm256_mullo_epi16(b, _mm256_set1_epi16(25)), _mm256_set1_epi16(128)));
  return _mm256_add_epi16(_mm256_srli_epi16(sum, 8), _mm256_set1_epi16(16));
}

// The pack leaves the quarters in the order 0, 2, 1, 3; the permute mends it.
TARGET inline void StoreLuma(const Channels& c, std::uint8_t* out) {
  const __m256i packed = _mm256_packus_epi16(Luma(c.r[0], c.g[0], c.b[0]), Luma(c.r[1], c.g[1], c.b[1]));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute4x64_epi64(packed, 0xD8));
}

// Rounded means of the sixteen 2 x 2 blocks of one channel, as blocks 0-3, 8-11
// in the low half and 4-7, 12-15 in the high one.
TARGET inline __m256i BlockMeans(const __m256i (&top)[2], const __m256i (&bottom)[2]) {
  const __m256i ones = _mm256_set1_epi16(1);
  const __m256i left = _mm256_add_epi32(_mm256_madd_epi16(top[0], ones), _mm256_madd_epi16(bottom[0], ones));
  const __m256i right = _mm256_add_epi32(_mm256_madd_epi16(top[1], ones), _mm256_madd_epi16(bottom[1], ones));
  return _mm256_srli_epi16(_mm256_add_epi16(_mm256_packs_epi32(left, right), _mm256_set1_epi16(2)), 2);
}

// ((a r + b g + c b + 128) >> 8) + 128 with signed weights; every partial sum
// fits a signed 16-bit lane (at most 112 x 255 in size).
TARGET inline __m256i Difference(__m256i r, __m256i g, __m256i b, short wr, short wg, short wb) {
  __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(r, _mm256_set1_epi16(wr)),
                                 _mm256_mullo_epi16(g, _mm256_set1_epi16(wg)));
  sum = _mm256_add_epi16(sum, _mm256_add_epi16(_mm256_mullo_epi16(b, _mm256_set1_epi16(wb)), _mm256_set1_epi16(128)));
  return _mm256_add_epi16(_mm256_srai_epi16(sum, 8), _mm256_set1_epi16(128));
}

// Both chroma rows of sixteen blocks: the pack of blue and red holds, in groups
// of four blocks, blue 0, 8, red 0, 8 | blue 4, 12, red 4, 12; the permute puts
// blue 0-15 in the low half and red 0-15 in the high one.
TARGET inline void StoreChroma(__m256i r, __m256i g, __m256i b, std::uint8_t* blue, std::uint8_t* red) {
  const __m256i packed = _mm256_packus_epi16(Difference(r, g, b, -38, -74, 112), Difference(r, g, b, 112, -94, -18));
  const __m256i ordered = _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(blue), _mm256_castsi256_si128(ordered));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(red), _mm256_extracti128_si256(ordered, 1));
}

TARGET inline __m256i TablePart(const std::uint8_t* entries) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(entries)));
}

}  // namespace

bool Available() { return __builtin_cpu_supports("avx2"); }

TARGET int ConvertRowPair(const std::uint16_t* top, const std::uint16_t* bottom, int width,
                          const std::uint8_t (&five)[32], const std::uint8_t (&six)[64], std::uint8_t* lumaTop,
                          std::uint8_t* lumaBottom, std::uint8_t* blue, std::uint8_t* red) {
  __m256i fiveTable[2], sixTable[4];
  for (int i = 0; i < 2; ++i) fiveTable[i] = TablePart(five + 16 * i);
  for (int i = 0; i < 4; ++i) sixTable[i] = TablePart(six + 16 * i);
  int x = 0;
  for (; x + 32 <= width; x += 32) {
    const Channels upper = Unpack(top + x, fiveTable, sixTable);
    const Channels lower = Unpack(bottom + x, fiveTable, sixTable);
    StoreLuma(upper, lumaTop + x);
    StoreLuma(lower, lumaBottom + x);
    StoreChroma(BlockMeans(upper.r, lower.r), BlockMeans(upper.g, lower.g), BlockMeans(upper.b, lower.b),
                blue + x / 2, red + x / 2);
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

}  // namespace yuvavx2
