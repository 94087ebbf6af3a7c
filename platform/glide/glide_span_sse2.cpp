// The SSE2 spans: four pixels at a time, depth, colour, texture and dither in
// SSE2 lanes, the four bilinear texel fetches per pixel in scalar code. Every
// x86-64 processor runs them, and they are the reference the other spans match.
#include <immintrin.h>

#include <cstdint>

#include "platform/glide/glide_rows.h"

namespace {

// 1 / v from the processor's reciprocal estimate and one Newton step (about 23
// bits): the per-pixel perspective divide, four pixels at a time.
inline __m128 Reciprocal(__m128 v) {
  const __m128 r = _mm_rcp_ps(v);
  return _mm_mul_ps(r, _mm_sub_ps(_mm_set1_ps(2.0f), _mm_mul_ps(v, r)));
}

// W-buffer values (see EncodeW) of four depths, minus 0x8000 so that signed
// 16-bit compares order them: (float bits >> 11) is exponent and 12 mantissa bits.
inline __m128i EncodeWBiased(__m128 w) {
  const __m128i code = _mm_sub_epi32(_mm_srli_epi32(_mm_castps_si128(w), 11), _mm_set1_epi32(0x7F000 + 0x8000));
  return _mm_packs_epi32(code, code);  // saturates to the 16-bit range
}

// A colour channel of each of four pixels from 16.16 fixed point to 0..255 in the
// low four 16-bit lanes.
inline __m128i ColorLanes(__m128i fixed) {
  const __m128i v = _mm_srai_epi32(fixed, 16);
  const __m128i packed = _mm_packs_epi32(v, v);
  return _mm_min_epi16(_mm_max_epi16(packed, _mm_setzero_si128()), _mm_set1_epi16(255));
}

#define SPAN_INLINE inline __attribute__((always_inline))

// The depth test of four pixels against row zrow at x: narrows the write mask
// (16-bit lanes, low four used) to the pixels that pass and stores their depths.
template <DepthKind Depth>
SPAN_INLINE __m128i DepthTest(const RasterTarget& s, std::uint16_t* zrow, int x, __m128 w, __m128i write) {
  const bool depthWrite = s.depthMask;
  const GrCmpFnc_t function = s.depthFunction;
  const __m128i z = EncodeWBiased(w);
  const __m128i storedRaw = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(zrow + x));
  if constexpr (Depth == glide_detail::depthLessWrite) {
    const __m128i stored = _mm_xor_si128(storedRaw, _mm_set1_epi16(static_cast<short>(0x8000)));
    write = _mm_and_si128(write, _mm_cmplt_epi16(z, stored));
    const __m128i unbiased = _mm_xor_si128(z, _mm_set1_epi16(static_cast<short>(0x8000)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(zrow + x),
                     _mm_or_si128(_mm_and_si128(write, unbiased), _mm_andnot_si128(write, storedRaw)));
  } else {
    alignas(16) std::uint16_t zl[8], sl[8], wl16[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(zl), _mm_xor_si128(z, _mm_set1_epi16(static_cast<short>(0x8000))));
    _mm_store_si128(reinterpret_cast<__m128i*>(sl), storedRaw);
    _mm_store_si128(reinterpret_cast<__m128i*>(wl16), write);
    for (int i = 0; i < 4; ++i) {
      const bool pass = wl16[i] && DepthPass(function, zl[i], sl[i]);
      wl16[i] = pass ? 0xFFFF : 0;
      if (pass && depthWrite) zrow[x + i] = zl[i];
    }
    write = _mm_load_si128(reinterpret_cast<const __m128i*>(wl16));
  }
  return write;
}

// Bilinear texels of four pixels at (sow, tow) × scale: r, g in lanes 0-3 and
// 4-7 of *trg, b in lanes 0-3 of *tb.
SPAN_INLINE void BilinearTexels(const glide_detail::BoundTexture& texture, __m128 sow, __m128 tow, __m128 scale,
                        __m128i* trgOut, __m128i* tbOut) {
  const std::uint64_t* texels = texture.texels;
  const __m128i widthMask = _mm_set1_epi32(texture.widthMask), heightMask = _mm_set1_epi32(texture.heightMask);
  const __m128i widthShift = _mm_cvtsi32_si128(texture.widthLog2);
  const __m128i one32 = _mm_set1_epi32(1), low8 = _mm_set1_epi32(255);
  __m128i trg, tb;
  // Texel centres sit at +0.5: fixed point with 8 fraction bits.
  const __m128i iu = _mm_cvtps_epi32(_mm_sub_ps(_mm_mul_ps(sow, scale), _mm_set1_ps(128.0f)));
  const __m128i iv = _mm_cvtps_epi32(_mm_sub_ps(_mm_mul_ps(tow, scale), _mm_set1_ps(128.0f)));
  const __m128i u0 = _mm_and_si128(_mm_srai_epi32(iu, 8), widthMask);
  const __m128i u1 = _mm_and_si128(_mm_add_epi32(u0, one32), widthMask);
  const __m128i v0 = _mm_sll_epi32(_mm_and_si128(_mm_srai_epi32(iv, 8), heightMask), widthShift);
  const __m128i v1 = _mm_sll_epi32(_mm_and_si128(_mm_add_epi32(_mm_srai_epi32(iv, 8), one32), heightMask), widthShift);
  alignas(16) std::int32_t i00[4], i10[4], i01[4], i11[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(i00), _mm_add_epi32(v0, u0));
  _mm_store_si128(reinterpret_cast<__m128i*>(i10), _mm_add_epi32(v0, u1));
  _mm_store_si128(reinterpret_cast<__m128i*>(i01), _mm_add_epi32(v1, u0));
  _mm_store_si128(reinterpret_cast<__m128i*>(i11), _mm_add_epi32(v1, u1));
  // Weights in 16-bit lanes; they add up to 256.
  const __m128i fuv = _mm_packs_epi32(_mm_and_si128(iu, low8), _mm_and_si128(iv, low8));  // fu 0-3, fv 4-7
  const __m128i fu = _mm_unpacklo_epi64(fuv, fuv), fv = _mm_unpackhi_epi64(fuv, fuv);
  const __m128i w11 = _mm_srli_epi16(_mm_mullo_epi16(fu, fv), 8);
  const __m128i w10 = _mm_sub_epi16(fu, w11), w01 = _mm_sub_epi16(fv, w11);
  const __m128i w00 = _mm_add_epi16(_mm_sub_epi16(_mm_sub_epi16(_mm_set1_epi16(256), fu), fv), w11);
  // Each pixel's weight repeated over the four lanes of its texel word.
  auto spread = [](__m128i weights, bool high) {
    const __m128i pairs = _mm_unpacklo_epi16(weights, weights);  // p0 p0 p1 p1 p2 p2 p3 p3
    return high ? _mm_unpackhi_epi32(pairs, pairs) : _mm_unpacklo_epi32(pairs, pairs);
  };
  auto texel2 = [texels](const std::int32_t* index, int first) {
    return _mm_set_epi64x(static_cast<long long>(texels[index[first + 1]]),
                          static_cast<long long>(texels[index[first]]));
  };
  __m128i sum[2];
  for (int half = 0; half < 2; ++half) {
    const int first = 2 * half;
    const bool high = half == 1;
    sum[half] = _mm_add_epi16(
        _mm_add_epi16(_mm_mullo_epi16(texel2(i00, first), spread(w00, high)),
                      _mm_mullo_epi16(texel2(i10, first), spread(w10, high))),
        _mm_add_epi16(_mm_mullo_epi16(texel2(i01, first), spread(w01, high)),
                      _mm_mullo_epi16(texel2(i11, first), spread(w11, high))));
    sum[half] = _mm_srli_epi16(sum[half], 8);  // lanes: B G R 0 of two pixels
  }
  const __m128i lo = _mm_unpacklo_epi16(sum[0], sum[1]);  // B0 B2 G0 G2 R0 R2 0 0
  const __m128i hi = _mm_unpackhi_epi16(sum[0], sum[1]);  // B1 B3 G1 G3 R1 R3 0 0
  const __m128i bg = _mm_unpacklo_epi16(lo, hi);          // B0-3 G0-3
  const __m128i rr = _mm_unpackhi_epi16(lo, hi);          // R0-3 0 0 0 0
  trg = _mm_unpacklo_epi64(rr, _mm_unpackhi_epi64(bg, bg));
  tb = bg;
  *trgOut = trg;
  *tbOut = tb;
}

// Nearest texels of four pixels, laid out as BilinearTexels lays them.
SPAN_INLINE void PointTexels(const glide_detail::BoundTexture& texture, __m128 sow, __m128 tow, __m128 scale,
                     __m128i* trg, __m128i* tb) {
  const std::uint64_t* texels = texture.texels;
  const int wl = texture.widthLog2, wm = texture.widthMask, hm = texture.heightMask;
  alignas(16) std::int32_t iu[4], iv[4];
  alignas(16) std::uint16_t rgLanes[8], bLanes[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(iu), _mm_cvtps_epi32(_mm_mul_ps(sow, scale)));
  _mm_store_si128(reinterpret_cast<__m128i*>(iv), _mm_cvtps_epi32(_mm_mul_ps(tow, scale)));
  for (int i = 0; i < 4; ++i) {
    const std::uint64_t t = texels[(((iv[i] >> 8) & hm) << wl) + ((iu[i] >> 8) & wm)];
    rgLanes[i] = static_cast<std::uint16_t>((t >> 32) & 0xFF);
    rgLanes[i + 4] = static_cast<std::uint16_t>((t >> 16) & 0xFF);
    bLanes[i] = static_cast<std::uint16_t>(t & 0xFF);
  }
  *trg = _mm_load_si128(reinterpret_cast<const __m128i*>(rgLanes));
  *tb = _mm_load_si128(reinterpret_cast<const __m128i*>(bLanes));
}

// Dithered RGB565 of four pixels: rg (r in lanes 0-3, g in 4-7) and bb (b in 0-3).
SPAN_INLINE __m128i DitherPack(__m128i rg, __m128i bb, __m128i thresholdPlusOne) {
  const __m128i scaleRG = _mm_set_epi16(63, 63, 63, 63, 31, 31, 31, 31);
  const __m128i scaleB = _mm_set1_epi16(31);
  const __m128i div255 = _mm_set1_epi16(257);
  // floor((v * max + t) / 255) as ((v * max + t + 1) * 257) >> 16.
  const __m128i qrg = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(rg, scaleRG), thresholdPlusOne), div255);
  const __m128i qb = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(bb, scaleB), thresholdPlusOne), div255);
  const __m128i pixel = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(qrg, 11), _mm_slli_epi16(_mm_srli_si128(qrg, 8), 5)), qb);
  return pixel;
}

// Draws pixels x0 to x1 - 1 of row y, four at a time: depth, colour, texture and
// dither in SSE2 lanes, the four bilinear texel fetches per pixel in scalar code.
template <bool Textured, bool Bilinear, DepthKind Depth>
inline __attribute__((always_inline)) void DrawSpan(const RasterTarget& s, int y, int x0, int length,
                                                    const SpanStart& start, const SpanConstants& c) {
  const int x1 = x0 + length;
  std::uint16_t* out = s.color + static_cast<std::ptrdiff_t>(y) * glide_detail::bufferStride;
  std::uint16_t* zrow = s.depth + static_cast<std::ptrdiff_t>(y) * glide_detail::bufferStride;

  // The dither phase of lane i is (x0 + i) & 3 in every group of four.
  const __m128i thresholdPlusOne =
      _mm_load_si128(reinterpret_cast<const __m128i*>(Thresholds(s.ditherOn, y, x0)));
  const __m128i lane = _mm_set_epi32(3, 2, 1, 0);

  __m128 oow = _mm_add_ps(_mm_shuffle_ps(start.coords, start.coords, 0x00), c.oowRamp);
  __m128 sow = _mm_add_ps(_mm_shuffle_ps(start.coords, start.coords, 0x55), c.sowRamp);
  __m128 tow = _mm_add_ps(_mm_shuffle_ps(start.coords, start.coords, 0xAA), c.towRamp);
  const __m128 oowStep = c.oowStep, sowStep = c.sowStep, towStep = c.towStep;
  __m128i r = _mm_add_epi32(_mm_shuffle_epi32(start.color, 0x00), c.rRamp);
  __m128i g = _mm_add_epi32(_mm_shuffle_epi32(start.color, 0x55), c.gRamp);
  __m128i b = _mm_add_epi32(_mm_shuffle_epi32(start.color, 0xAA), c.bRamp);
  const __m128i rStep = c.rStep, gStep = c.gStep, bStep = c.bStep;
  const __m128 minOow = _mm_set1_ps(1e-20f);

  for (int x = x0; x < x1; x += 4) {
    // Lanes past the span's end are computed but never written.
    const __m128i valid32 = _mm_cmplt_epi32(lane, _mm_set1_epi32(x1 - x));
    __m128i write = _mm_packs_epi32(valid32, valid32);  // 16-bit lanes, low four used
    // Extrapolated past the vertices 1/w can reach 0 or below: keep it positive.
    const __m128 w = Reciprocal(_mm_max_ps(oow, minOow));

    if constexpr (Depth != glide_detail::depthNone) write = DepthTest<Depth>(s, zrow, x, w, write);

    if ((_mm_movemask_epi8(write) & 0xFF) != 0) {
      // r, g in lanes 0-3 and 4-7; b in lanes 0-3.
      __m128i rg = _mm_unpacklo_epi64(ColorLanes(r), ColorLanes(g));
      __m128i bb = ColorLanes(b);
      if constexpr (Textured) {
        __m128i trg, tb;
        const __m128 scale = _mm_mul_ps(w, _mm_set1_ps(256.0f));
        if constexpr (Bilinear) {
          BilinearTexels(s.texture, sow, tow, scale, &trg, &tb);
        } else {
          PointTexels(s.texture, sow, tow, scale, &trg, &tb);
        }
        // texel x (colour + 1) / 256: the product fits an unsigned 16-bit lane.
        const __m128i one = _mm_set1_epi16(1);
        rg = _mm_srli_epi16(_mm_mullo_epi16(trg, _mm_add_epi16(rg, one)), 8);
        bb = _mm_srli_epi16(_mm_mullo_epi16(tb, _mm_add_epi16(bb, one)), 8);
      }
      const __m128i pixel = DitherPack(rg, bb, thresholdPlusOne);
      const __m128i old = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(out + x));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x),
                       _mm_or_si128(_mm_and_si128(write, pixel), _mm_andnot_si128(write, old)));
    }
    oow = _mm_add_ps(oow, oowStep);
    if constexpr (Textured) {
      sow = _mm_add_ps(sow, sowStep);
      tow = _mm_add_ps(tow, towStep);
    }
    r = _mm_add_epi32(r, rStep);
    g = _mm_add_epi32(g, gStep);
    b = _mm_add_epi32(b, bStep);
  }
}

struct Sse2Span {
  using Constants = SpanConstants;  // four lanes, as the row walk gives them
  struct Pending {};                 // every row drawn at once
  template <bool Textured, bool Bilinear, DepthKind Depth>
  static inline __attribute__((always_inline)) void Draw(const RasterTarget& target, int y, int x0, int length,
                                                         const SpanStart& start, const SpanConstants& c, Pending&) {
    DrawSpan<Textured, Bilinear, Depth>(target, y, x0, length, start, c);
  }
  template <bool Textured, bool Bilinear, DepthKind Depth>
  static void Finish(const RasterTarget&, Pending&) {}
};

}  // namespace

namespace glide_detail {

RowsFunction ChooseRowsSse2(bool textured, bool bilinear, DepthKind depth) {
  return RowsFor<Sse2Span>(textured, bilinear, depth);
}

}  // namespace glide_detail
