// The AVX2 spans: eight pixels at a time, texels fetched by gathers. They draw the
// SSE2 spans' pixels exactly: every lane runs the same operations on the same
// values (1/w, s/w and t/w advance by the same four-pixel step, twice per group of
// eight; no fused multiply-add), only more lanes at once. A row's last one to four
// pixels share a group with those of a later row of the triangle, which halves
// the passes over the short rows at its tips.
#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/glide/glide_raster.h"

// Everything below is compiled for AVX2; the caller picks these spans only on a
// processor that has it. clang takes the target through an attribute on every
// function, gcc through its pragma.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "platform/glide/glide_rows.h"

namespace {

using glide_detail::depthLessWrite;
using glide_detail::depthNone;

// 1 / v from the processor's reciprocal estimate and one Newton step.
inline __m256 Reciprocal(__m256 v) {
  const __m256 r = _mm256_rcp_ps(v);
  return _mm256_mul_ps(r, _mm256_sub_ps(_mm256_set1_ps(2.0f), _mm256_mul_ps(v, r)));
}

// Eight 32-bit lanes to eight 16-bit lanes in order, saturating.
inline __m128i Pack8(__m256i v) {
  return _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

// W-buffer values of eight depths, minus 0x8000 (see the SSE2 spans).
inline __m128i EncodeWBiased(__m256 w) {
  return Pack8(_mm256_sub_epi32(_mm256_srli_epi32(_mm256_castps_si256(w), 11), _mm256_set1_epi32(0x7F000 + 0x8000)));
}

// Two colour channels of eight pixels from 16.16 to 0..255: a in the low half, b
// in the high half, 16-bit lanes. The unsigned pack takes negative values to 0,
// which leaves only the upper bound to apply.
inline __m256i ColorPair(__m256i a, __m256i b) {
  const __m256i packed = _mm256_packus_epi32(_mm256_srai_epi32(a, 16), _mm256_srai_epi32(b, 16));
  return _mm256_min_epu16(_mm256_permute4x64_epi64(packed, 0xD8), _mm256_set1_epi16(255));
}

inline __m128i ColorSingle(__m256i a) {
  const __m256i whole = _mm256_srai_epi32(a, 16);
  const __m128i packed = _mm_packus_epi32(_mm256_castsi256_si128(whole), _mm256_extracti128_si256(whole, 1));
  return _mm_min_epu16(packed, _mm_set1_epi16(255));
}

// Red, green and blue of eight pixels, 0..255 in 32-bit lanes, to red in the low
// and green in the high half of 'rg', blue in 'b', 16-bit lanes.
inline void Planar(__m256i red, __m256i green, __m256i blue, __m256i& rg, __m128i& b) {
  rg = _mm256_permute4x64_epi64(_mm256_packus_epi32(red, green), 0xD8);
  b = _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi32(blue, blue), 0x08));
}

inline __m256i Gather(const std::uint32_t* packed, __m256i index) {
  return _mm256_i32gather_epi32(reinterpret_cast<const int*>(packed), index, 4);
}

// The texture's bound shape as lane constants.
struct TextureLanes {
  const std::uint32_t* packed;
  __m256i widthMask, heightMask;
  __m128i widthShift;
  explicit TextureLanes(const glide_detail::BoundTexture& t)
      : packed(t.packed),
        widthMask(_mm256_set1_epi32(t.widthMask)),
        heightMask(_mm256_set1_epi32(t.heightMask)),
        widthShift(_mm_cvtsi32_si128(t.widthLog2)) {}
};

// Red, green and blue of eight pixels from two texels each (0x00RRGGBB words):
// each channel of 'left' in the low and of 'right' in the high half of every
// 32-bit lane, ready for a multiply-add with the two texels' weights.
struct ChannelPairs {
  __m256i red, green, blue;
  ChannelPairs(__m256i left, __m256i right) {
    const __m256i low8 = _mm256_set1_epi32(0x00FF00FF);
    red = _mm256_blend_epi16(_mm256_srli_epi32(left, 16), right, 0xAA);
    green = _mm256_and_si256(_mm256_blend_epi16(_mm256_srli_epi32(left, 8), _mm256_slli_epi32(right, 8), 0xAA), low8);
    blue = _mm256_and_si256(_mm256_blend_epi16(left, _mm256_slli_epi32(right, 16), 0xAA), low8);
  }
};

// Bilinear texels of eight pixels at fixed-point texel positions (8 fraction bits,
// centres at +0.5 already taken off): red in the low and green in the high half of
// 'rg', blue in 'b'. Each channel is the sum of four texel x weight products, two
// at a time by multiply-add, the same sums as the SSE2 spans form.
inline void FetchBilinear(const TextureLanes& tex, __m256i iu, __m256i iv, __m256i& rg, __m128i& b) {
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i u0 = _mm256_and_si256(_mm256_srai_epi32(iu, 8), tex.widthMask);
  const __m256i u1 = _mm256_and_si256(_mm256_add_epi32(u0, one), tex.widthMask);
  const __m256i vi = _mm256_srai_epi32(iv, 8);
  const __m256i v0 = _mm256_sll_epi32(_mm256_and_si256(vi, tex.heightMask), tex.widthShift);
  const __m256i v1 = _mm256_sll_epi32(_mm256_and_si256(_mm256_add_epi32(vi, one), tex.heightMask), tex.widthShift);
  const __m256i t00 = Gather(tex.packed, _mm256_add_epi32(v0, u0));
  const __m256i t10 = Gather(tex.packed, _mm256_add_epi32(v0, u1));
  const __m256i t01 = Gather(tex.packed, _mm256_add_epi32(v1, u0));
  const __m256i t11 = Gather(tex.packed, _mm256_add_epi32(v1, u1));
  // Weights; they add up to 256. Pairs (w00, w10) and (w01, w11) per 32-bit lane.
  const __m256i low8 = _mm256_set1_epi32(255);
  const __m256i fu = _mm256_and_si256(iu, low8), fv = _mm256_and_si256(iv, low8);
  const __m256i w11 = _mm256_srli_epi32(_mm256_mullo_epi16(fu, fv), 8);
  const __m256i w10 = _mm256_sub_epi32(fu, w11), w01 = _mm256_sub_epi32(fv, w11);
  const __m256i w00 = _mm256_add_epi32(_mm256_sub_epi32(_mm256_sub_epi32(_mm256_set1_epi32(256), fu), fv), w11);
  const __m256i top = _mm256_or_si256(w00, _mm256_slli_epi32(w10, 16));
  const __m256i bottom = _mm256_or_si256(w01, _mm256_slli_epi32(w11, 16));
  const ChannelPairs upper(t00, t10), lower(t01, t11);
  const auto filter = [&](__m256i a, __m256i c) {
    return _mm256_srli_epi32(_mm256_add_epi32(_mm256_madd_epi16(a, top), _mm256_madd_epi16(c, bottom)), 8);
  };
  Planar(filter(upper.red, lower.red), filter(upper.green, lower.green), filter(upper.blue, lower.blue), rg, b);
}

// Point-sampled texels of eight pixels at fixed-point texel positions.
inline void FetchNearest(const TextureLanes& tex, __m256i iu, __m256i iv, __m256i& rg, __m128i& b) {
  const __m256i u = _mm256_and_si256(_mm256_srai_epi32(iu, 8), tex.widthMask);
  const __m256i v = _mm256_sll_epi32(_mm256_and_si256(_mm256_srai_epi32(iv, 8), tex.heightMask), tex.widthShift);
  const __m256i t = Gather(tex.packed, _mm256_add_epi32(v, u));
  const __m256i low8 = _mm256_set1_epi32(0xFF);
  Planar(_mm256_and_si256(_mm256_srli_epi32(t, 16), low8), _mm256_and_si256(_mm256_srli_epi32(t, 8), low8),
         _mm256_and_si256(t, low8), rg, b);
}

// A span's lane constants in eight lanes, made once per triangle: lanes 0-3 hold a
// four-pixel group of the SSE2 spans, lanes 4-7 the next. A float attribute starts
// at (start + ramp) + next, where 'next' is the four-pixel step in lanes 4-7 and
// -0 in lanes 0-3 (adding -0 changes no value), so every lane takes the SSE2
// spans' roundings; it then advances by the four-pixel step twice per group. The
// 16.16 colours wrap, so their lane offsets and step add up in advance.
struct Avx2Constants {
  struct Float {
    __m256 ramp, next, step;
  };
  struct Fixed {
    __m256i ramp, step;
  };
  Float oow, sow, tow;
  Fixed r, g, b;
  explicit Avx2Constants(const SpanConstants& c)
      : oow(MakeFloat(c.oowRamp, c.oowStep)),
        sow(MakeFloat(c.sowRamp, c.sowStep)),
        tow(MakeFloat(c.towRamp, c.towStep)),
        r(MakeFixed(c.rRamp, c.rStep)),
        g(MakeFixed(c.gRamp, c.gStep)),
        b(MakeFixed(c.bRamp, c.bStep)) {}
  static Float MakeFloat(__m128 ramp, __m128 step4) {
    return Float{_mm256_set_m128(ramp, ramp), _mm256_set_m128(step4, _mm_set1_ps(-0.0f)), _mm256_set_m128(step4, step4)};
  }
  static Fixed MakeFixed(__m128i ramp, __m128i step4) {
    const __m128i step8 = _mm_add_epi32(step4, step4);
    return Fixed{_mm256_set_m128i(_mm_add_epi32(ramp, step4), ramp), _mm256_set_m128i(step8, step8)};
  }
};

// Eight-lane running values of a span, from the start value of its first pixel.
struct Lanes {
  __m256 value, step;
  Lanes(__m128 start, const Avx2Constants::Float& c)
      : value(_mm256_add_ps(_mm256_add_ps(_mm256_broadcastss_ps(start), c.ramp), c.next)), step(c.step) {}
  void Advance() { value = _mm256_add_ps(_mm256_add_ps(value, step), step); }
};

struct FixedLanes {
  __m256i value, step;
  FixedLanes(__m128i start, const Avx2Constants::Fixed& c)
      : value(_mm256_add_epi32(_mm256_broadcastd_epi32(start), c.ramp)), step(c.step) {}
  void Advance() { value = _mm256_add_epi32(value, step); }
};

// Where the eight pixels of a group lie in a buffer: eight of one row, or four of
// each of two rows (the first row in lanes 0-3, the second in lanes 4-7).
struct OneRow {
  std::uint16_t* at;
  __m128i Load() const { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }
  void Store(__m128i v) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v); }
  std::uint16_t& operator[](int i) const { return at[i]; }
};

struct TwoRows {
  std::uint16_t* first;
  std::uint16_t* second;
  __m128i Load() const {
    return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(first)),
                              _mm_loadl_epi64(reinterpret_cast<const __m128i*>(second)));
  }
  // The first row's four first: where a screen as wide as the stride lets the
  // first row's spare lanes reach the second row, the second row's store wins.
  void Store(__m128i v) const {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(first), v);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(second), _mm_unpackhi_epi64(v, v));
  }
  std::uint16_t& operator[](int i) const { return i < 4 ? first[i] : second[i - 4]; }
};

// Depth test of eight pixels for compare functions other than "less" with writes.
template <class Pixels>
inline __m128i GenericDepth(const RasterTarget& s, Pixels z, __m128i incoming, __m128i write) {
  alignas(16) std::uint16_t zl[8], wl[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(zl), _mm_xor_si128(incoming, _mm_set1_epi16(static_cast<short>(0x8000))));
  _mm_store_si128(reinterpret_cast<__m128i*>(wl), write);
  for (int i = 0; i < 8; ++i) {
    const bool pass = wl[i] && DepthPass(s.depthFunction, zl[i], z[i]);
    wl[i] = pass ? 0xFFFF : 0;
    if (pass && s.depthMask) z[i] = zl[i];
  }
  return _mm_load_si128(reinterpret_cast<const __m128i*>(wl));
}

// The depth test of eight pixels at z; returns the lanes that pass, masked by 'write'.
template <DepthKind Depth, class Pixels>
inline __m128i DepthTest(const RasterTarget& s, Pixels z, __m256 w, __m128i write) {
  if constexpr (Depth == depthNone) {
    return write;
  } else {
    const __m128i incoming = EncodeWBiased(w);
    if constexpr (Depth == depthLessWrite) {
      const __m128i bias = _mm_set1_epi16(static_cast<short>(0x8000));
      const __m128i storedRaw = z.Load();
      const __m128i pass = _mm_and_si128(write, _mm_cmplt_epi16(incoming, _mm_xor_si128(storedRaw, bias)));
      const __m128i merged = _mm_blendv_epi8(storedRaw, _mm_xor_si128(incoming, bias), pass);
      z.Store(merged);
      return pass;
    } else {
      return GenericDepth(s, z, incoming, write);
    }
  }
}

// Texel x colour, dither and RGB565 of eight pixels, written where 'write' is set.
template <class Pixels>
inline void Shade(__m256i rg, __m128i b, const __m128i thresholds, Pixels out, __m128i write) {
  const __m256i threshold2 = _mm256_broadcastsi128_si256(thresholds);
  const __m256i scaleRG = _mm256_setr_epi16(31, 31, 31, 31, 31, 31, 31, 31, 63, 63, 63, 63, 63, 63, 63, 63);
  const __m256i div255 = _mm256_set1_epi16(257);
  // floor((v * max + t) / 255) as ((v * max + t + 1) * 257) >> 16.
  const __m256i qrg = _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_mullo_epi16(rg, scaleRG), threshold2), div255);
  const __m128i qb = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(b, _mm_set1_epi16(31)), thresholds),
                                     _mm256_castsi256_si128(div255));
  const __m128i pixel = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm256_castsi256_si128(qrg), 11),
                                                  _mm_slli_epi16(_mm256_extracti128_si256(qrg, 1), 5)),
                                     qb);
  out.Store(_mm_blendv_epi8(out.Load(), pixel, write));
}

// Write masks of a group of eight pixels with n (0 to 8) of them inside the span.
struct ValidMasks {
  alignas(16) std::int16_t lanes[9][8];
  constexpr ValidMasks() : lanes{} {
    for (int n = 0; n <= 8; ++n)
      for (int i = 0; i < 8; ++i) lanes[n][i] = static_cast<std::int16_t>(i < n ? -1 : 0);
  }
};
constexpr ValidMasks validMasks;

// The attribute values of a group's eight pixels.
struct GroupValues {
  __m256 oow, sow, tow;
  __m256i r, g, b;
};

// Depth, texture, colour and dither of one group of eight pixels, written where
// 'valid' is set and the depth test passes.
template <bool Textured, bool Bilinear, DepthKind Depth, class Pixels>
inline __attribute__((always_inline)) void DrawGroup(const RasterTarget& s, const TextureLanes& tex,
                                                     const GroupValues& v, Pixels out, Pixels z,
                                                     __m128i thresholds, __m128i valid) {
  // Extrapolated past the vertices 1/w can reach 0 or below: keep it positive.
  const __m256 w = Reciprocal(_mm256_max_ps(v.oow, _mm256_set1_ps(1e-20f)));
  const __m128i write = DepthTest<Depth>(s, z, w, valid);
  if (_mm_testz_si128(write, write)) return;
  __m256i rg = ColorPair(v.r, v.g);
  __m128i bb = ColorSingle(v.b);
  if constexpr (Textured) {
    __m256i trg;
    __m128i tb;
    const __m256 scale = _mm256_mul_ps(w, _mm256_set1_ps(256.0f));
    if constexpr (Bilinear) {
      const __m256 half = _mm256_set1_ps(128.0f);
      FetchBilinear(tex, _mm256_cvtps_epi32(_mm256_sub_ps(_mm256_mul_ps(v.sow, scale), half)),
                    _mm256_cvtps_epi32(_mm256_sub_ps(_mm256_mul_ps(v.tow, scale), half)), trg, tb);
    } else {
      FetchNearest(tex, _mm256_cvtps_epi32(_mm256_mul_ps(v.sow, scale)),
                   _mm256_cvtps_epi32(_mm256_mul_ps(v.tow, scale)), trg, tb);
    }
    // texel x (colour + 1) / 256: the product fits an unsigned 16-bit lane.
    rg = _mm256_srli_epi16(_mm256_mullo_epi16(trg, _mm256_add_epi16(rg, _mm256_set1_epi16(1))), 8);
    bb = _mm_srli_epi16(_mm_mullo_epi16(tb, _mm_add_epi16(bb, _mm_set1_epi16(1))), 8);
  }
  Shade(rg, bb, thresholds, out, write);
}

inline std::uint16_t* PixelAt(std::uint16_t* buffer, int y, int x) {
  return buffer + static_cast<std::ptrdiff_t>(y) * glide_detail::bufferStride + x;
}

inline __m128i LoadLanes(const std::int16_t* lanes) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(lanes));
}

// The last one to four pixels of a row, held back to share a group with those of
// a later row: the first four lanes of that row's group.
struct HalfGroup {
  __m128 oow, sow, tow;
  __m128i r, g, b;
  __m128i thresholds, valid;  // low four 16-bit lanes
  std::uint16_t* out;
  std::uint16_t* z;
};

inline __m256 Join(__m128 low, __m128 high) { return _mm256_set_m128(high, low); }
inline __m256i Join(__m128i low, __m128i high) { return _mm256_set_m128i(high, low); }

struct Avx2Span {
  using Constants = Avx2Constants;
  struct Pending {
    HalfGroup half{};
    bool held = false;
  };

  // Draws 'length' pixels of row y from x0, eight at a time; lanes past the end are
  // computed and written back unchanged. The last one to four pixels go to
  // 'pending', or share a group with the pixels held there.
  template <bool Textured, bool Bilinear, DepthKind Depth>
  static inline __attribute__((always_inline)) void Draw(const RasterTarget& s, int y, int x0, int length,
                                                         const SpanStart& start, const Avx2Constants& c,
                                                         Pending& pending) {
    std::uint16_t* out = PixelAt(s.color, y, x0);
    std::uint16_t* z = PixelAt(s.depth, y, x0);
    const __m128i thresholds = LoadLanes(Thresholds(s.ditherOn, y, x0));
    Lanes oow(start.coords, c.oow);
    Lanes sow(_mm_shuffle_ps(start.coords, start.coords, 0x55), c.sow);
    Lanes tow(_mm_shuffle_ps(start.coords, start.coords, 0xAA), c.tow);
    FixedLanes r(start.color, c.r);
    FixedLanes g(_mm_shuffle_epi32(start.color, 0x55), c.g);
    FixedLanes b(_mm_shuffle_epi32(start.color, 0xAA), c.b);
    int x = 0;
    for (; length - x > 4; x += 8) {
      const __m128i valid = LoadLanes(validMasks.lanes[std::min(length - x, 8)]);
      const GroupValues values{oow.value, sow.value, tow.value, r.value, g.value, b.value};
      DrawGroup<Textured, Bilinear, Depth>(s, TextureLanes(s.texture), values, OneRow{out + x}, OneRow{z + x},
                                           thresholds, valid);
      oow.Advance();
      if constexpr (Textured) {
        sow.Advance();
        tow.Advance();
      }
      r.Advance();
      g.Advance();
      b.Advance();
    }
    if (x >= length) return;
    const HalfGroup half{_mm256_castps256_ps128(oow.value), _mm256_castps256_ps128(sow.value),
                         _mm256_castps256_ps128(tow.value), _mm256_castsi256_si128(r.value),
                         _mm256_castsi256_si128(g.value),   _mm256_castsi256_si128(b.value),
                         thresholds,                        LoadLanes(validMasks.lanes[length - x]),
                         out + x,                           z + x};
    if (!pending.held) {
      pending.half = half;
      pending.held = true;
      return;
    }
    DrawHalves<Textured, Bilinear, Depth>(s, pending.half, half);
    pending.held = false;
  }

  // Draws the pixels still held.
  template <bool Textured, bool Bilinear, DepthKind Depth>
  static void Finish(const RasterTarget& s, Pending& pending) {
    if (!pending.held) return;
    const HalfGroup& h = pending.half;
    const GroupValues values{Join(h.oow, h.oow), Join(h.sow, h.sow), Join(h.tow, h.tow),
                             Join(h.r, h.r),     Join(h.g, h.g),     Join(h.b, h.b)};
    DrawGroup<Textured, Bilinear, Depth>(s, TextureLanes(s.texture), values, OneRow{h.out}, OneRow{h.z},
                                         h.thresholds, _mm_move_epi64(h.valid));
    pending.held = false;
  }

private:
  // One group of the first half's pixels in lanes 0-3 and the second's in 4-7.
  template <bool Textured, bool Bilinear, DepthKind Depth>
  static inline __attribute__((always_inline)) void DrawHalves(const RasterTarget& s, const HalfGroup& first,
                                                               const HalfGroup& second) {
    const GroupValues values{Join(first.oow, second.oow), Join(first.sow, second.sow), Join(first.tow, second.tow),
                             Join(first.r, second.r),     Join(first.g, second.g),     Join(first.b, second.b)};
    DrawGroup<Textured, Bilinear, Depth>(s, TextureLanes(s.texture), values, TwoRows{first.out, second.out},
                                         TwoRows{first.z, second.z},
                                         _mm_unpacklo_epi64(first.thresholds, second.thresholds),
                                         _mm_unpacklo_epi64(first.valid, second.valid));
  }
};

}  // namespace

namespace glide_detail {

// Called only once the processor is known to have AVX2.
RowsFunction ChooseRowsAvx2(bool textured, bool bilinear, DepthKind depth) {
  return RowsFor<Avx2Span>(textured, bilinear, depth);
}

}  // namespace glide_detail

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace glide_detail {

bool CpuHasAvx2() { return __builtin_cpu_supports("avx2"); }

}  // namespace glide_detail
