// The software rasterizer: one triangle at a time, vertices in 1/16 pixel, a
// top-left fill rule in the buffer's own row order (a pixel centre on a left edge
// or on the edge with the lower row number is inside, on a right edge or on the
// edge with the higher row number outside), so triangles sharing an edge cover
// every pixel once. Colour is iterated linearly in screen space; texture
// coordinates and depth come from s/w, t/w and 1/w, divided per pixel.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/glide/glide.h"
#include "platform/glide/glide_internal.h"

using glide_detail::State;

namespace {

// Vertices farther out than this (in pixels) are clipped geometrically first, so
// the edge arithmetic below stays well inside 64 bits.
constexpr float guardBand = 8192.0f;
// No span is longer than the widest screen.
constexpr int maxSpanLength = glide_detail::maxScreenWidth;

// 4 x 4 ordered dither: a pixel's channel v becomes floor((v * max + t) / 255)
// with t = (m + 0.5) / 16 * 255 for its matrix entry m (t = 127 without dither,
// which rounds). Since v * max is whole, the fraction of t never matters.
constexpr int bayer4[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
constexpr int DitherThreshold(int m) { return (2 * m + 1) * 255 / 32; }
constexpr int noDitherThreshold = 127;

// Threshold + 1 for the lanes of a group of four pixels, by row and first column
// phase (index 16: no dither), twice over for the red and green halves.
struct ThresholdTable {
  __m128i lanes[17];
  ThresholdTable() {
    for (int k = 0; k < 17; ++k) {
      alignas(16) std::int16_t t[8];
      for (int i = 0; i < 4; ++i) {
        const int m = k < 16 ? DitherThreshold(bayer4[(k & 12) | (((k & 3) + i) & 3)]) : noDitherThreshold;
        t[i] = t[i + 4] = static_cast<std::int16_t>(m + 1);
      }
      lanes[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(t));
    }
  }
};

// Built before main, so the per-span look-up needs no initialisation check.
const ThresholdTable thresholdTable;

// A plane a(x, y) = base + dx * (x - x0) + dy * (y - y0) over the triangle.
struct Plane {
  double base = 0, dx = 0, dy = 0;
};

// Per-triangle lane constants of a span: each attribute's offsets for the four
// lanes of a group and its step from one group to the next.
struct SpanConstants {
  __m128 oowRamp, sowRamp, towRamp;
  __m128 oowStep, sowStep, towStep;
  __m128i rRamp, gRamp, bRamp;  // 16.16
  __m128i rStep, gStep, bStep;
};

// Values at a span's first pixel: 1/w, s/w, t/w in floats and r, g, b in 16.16.
struct SpanStart {
  __m128 coords;  // oow, sow, tow, -
  __m128i color;  // r, g, b, -
};

inline bool DepthPass(GrCmpFnc_t function, std::uint16_t incoming, std::uint16_t stored) {
  switch (function) {
    case GR_CMP_NEVER: return false;
    case GR_CMP_LESS: return incoming < stored;
    case GR_CMP_EQUAL: return incoming == stored;
    case GR_CMP_LEQUAL: return incoming <= stored;
    case GR_CMP_GREATER: return incoming > stored;
    case GR_CMP_NOTEQUAL: return incoming != stored;
    case GR_CMP_GEQUAL: return incoming >= stored;
    default: return true;
  }
}

// Ceiling of n / d for d > 0.
inline std::int64_t CeilDiv(std::int64_t n, std::int64_t d) {
  return n >= 0 ? (n + d - 1) / d : -((-n) / d);
}

// Depth handling of a span: none, the frame's "less" with writes, or any other
// compare function and mask.
enum DepthKind { depthNone, depthLessWrite, depthGeneric };

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

// Draws pixels x0 to x1 - 1 of row y, four at a time: depth, colour, texture and
// dither in SSE2 lanes, the four bilinear texel fetches per pixel in scalar code.
template <bool Textured, bool Bilinear, DepthKind Depth>
inline __attribute__((always_inline)) void DrawSpan(State& s, int y, int x0, int x1, const SpanStart& start,
                                                    const SpanConstants& c, bool ditherOn) {
  std::uint16_t* out = s.back + static_cast<std::ptrdiff_t>(y) * glide_detail::bufferStride;
  std::uint16_t* zrow = s.depth.data() + static_cast<std::ptrdiff_t>(y) * s.width;
  const std::uint64_t* texels = s.texture.texels;
  const int wl = s.texture.widthLog2;
  const int wm = s.texture.widthMask;
  const int hm = s.texture.heightMask;
  const bool depthWrite = s.depthMask;
  const GrCmpFnc_t function = s.depthFunction;

  // The dither phase of lane i is (x0 + i) & 3 in every group of four.
  const __m128i thresholdPlusOne = thresholdTable.lanes[ditherOn ? ((y & 3) << 2) | (x0 & 3) : 16];
  const __m128i scaleRG = _mm_set_epi16(63, 63, 63, 63, 31, 31, 31, 31);
  const __m128i scaleB = _mm_set1_epi16(31);
  const __m128i div255 = _mm_set1_epi16(257);
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
  const __m128i widthMask = _mm_set1_epi32(wm), heightMask = _mm_set1_epi32(hm);
  const __m128i widthShift = _mm_cvtsi32_si128(wl);
  const __m128i one32 = _mm_set1_epi32(1), low8 = _mm_set1_epi32(255);

  for (int x = x0; x < x1; x += 4) {
    // Lanes past the span's end are computed but never written.
    const __m128i valid32 = _mm_cmplt_epi32(lane, _mm_set1_epi32(x1 - x));
    __m128i write = _mm_packs_epi32(valid32, valid32);  // 16-bit lanes, low four used
    // Extrapolated past the vertices 1/w can reach 0 or below: keep it positive.
    const __m128 w = Reciprocal(_mm_max_ps(oow, minOow));

    if constexpr (Depth != depthNone) {
      const __m128i z = EncodeWBiased(w);
      const __m128i storedRaw = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(zrow + x));
      if constexpr (Depth == depthLessWrite) {
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
    }

    if ((_mm_movemask_epi8(write) & 0xFF) != 0) {
      // r, g in lanes 0-3 and 4-7; b in lanes 0-3.
      __m128i rg = _mm_unpacklo_epi64(ColorLanes(r), ColorLanes(g));
      __m128i bb = ColorLanes(b);
      if constexpr (Textured) {
        __m128i trg, tb;
        const __m128 scale = _mm_mul_ps(w, _mm_set1_ps(256.0f));
        if constexpr (Bilinear) {
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
        } else {
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
          trg = _mm_load_si128(reinterpret_cast<const __m128i*>(rgLanes));
          tb = _mm_load_si128(reinterpret_cast<const __m128i*>(bLanes));
        }
        // texel x (colour + 1) / 256: the product fits an unsigned 16-bit lane.
        const __m128i one = _mm_set1_epi16(1);
        rg = _mm_srli_epi16(_mm_mullo_epi16(trg, _mm_add_epi16(rg, one)), 8);
        bb = _mm_srli_epi16(_mm_mullo_epi16(tb, _mm_add_epi16(bb, one)), 8);
      }
      // floor((v * max + t) / 255) as ((v * max + t + 1) * 257) >> 16.
      const __m128i qrg = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(rg, scaleRG), thresholdPlusOne), div255);
      const __m128i qb = _mm_mulhi_epu16(_mm_add_epi16(_mm_mullo_epi16(bb, scaleB), thresholdPlusOne), div255);
      const __m128i pixel = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(qrg, 11), _mm_slli_epi16(_mm_srli_si128(qrg, 8), 5)), qb);
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

// An edge walked row by row: the first pixel column at or right of the edge, kept
// exactly with a remainder (x = ceil(num / den), rem = x * den - num).
struct EdgeWalker {
  std::int64_t x = 0, rem = 0, den = 1, q = 0, m = 0;
  void Start(std::int64_t ex0, std::int64_t ey0, std::int64_t ex1, std::int64_t ey1, std::int64_t ys) {
    const std::int64_t dy = ey1 - ey0;
    den = dy * 16;
    const std::int64_t num = ex0 * dy + (ys - ey0) * (ex1 - ex0);
    // Estimated in floating point (truncated), then made exact with the remainder:
    // values stay far below 2^53, so the estimate is off by at most one.
    x = static_cast<std::int64_t>(static_cast<double>(num) / static_cast<double>(den));
    rem = x * den - num;
    while (rem < 0) {
      ++x;
      rem += den;
    }
    while (rem >= den) {
      --x;
      rem -= den;
    }
    // Per row the numerator grows by 16 (ex1 - ex0): split into q den + m, 0 <= m < den.
    const std::int64_t step = 16 * (ex1 - ex0);
    q = static_cast<std::int64_t>(static_cast<double>(step) / static_cast<double>(den));
    m = step - q * den;
    while (m < 0) {
      --q;
      m += den;
    }
    while (m >= den) {
      ++q;
      m -= den;
    }
  }
  void Step() {
    x += q;
    if (m > rem) {
      x += 1;
      rem += den - m;
    } else {
      rem -= m;
    }
  }
};


// Everything the row loop needs about one triangle.
struct RowSetup {
  std::int64_t x0, y0, x1, y1, x2, y2;  // 1/16 pixel, sorted by row
  bool middleRight;
  int rowBegin, rowMiddle, rowEnd;
  double xa, ya;  // origin of the planes
  Plane oow, sow, tow, rgb[3];
  bool ditherOn;
};

// Colours iterate in 16.16 fixed point. A span's start is held to +-8192 and its
// step so that every pixel of the span stays within +-colorSpanReach, below the
// 32768 where 16.16 overflows. Colours within +-8192 at the vertices never reach
// that bound (a span's colours lie between them), so their gradients stay exact
// however steep.
constexpr double colorSpanReach = 24575.0;
constexpr std::int64_t colorSpanReachFixed = static_cast<std::int64_t>(colorSpanReach) << 16;

inline std::int32_t ToFixedStep(double value) {
  return static_cast<std::int32_t>(std::clamp(value, -colorSpanReach, colorSpanReach) * 65536.0);
}

// Lane offsets and group step of a 16.16 colour step, in wrapping arithmetic:
// lanes past a span's end may wrap, but are never written.
inline __m128i ColorRamp(std::int32_t f) {
  const auto u = static_cast<std::uint32_t>(f);
  return _mm_set_epi32(static_cast<int>(3u * u), static_cast<int>(2u * u), static_cast<int>(u), 0);
}
inline __m128i ColorStep(std::int32_t f) { return _mm_set1_epi32(static_cast<int>(4u * static_cast<std::uint32_t>(f))); }

// The colour steps of one triangle, and the longest span they are safe over.
struct ColorSteps {
  std::int32_t fixed[3];
  int safeLength;  // spans up to this many pixels need no limiting
  void Set(const Plane* rgb) {
    std::int64_t steepest = 0;
    for (int i = 0; i < 3; ++i) {
      fixed[i] = ToFixedStep(rgb[i].dx);
      steepest = std::max<std::int64_t>(steepest, std::abs(static_cast<std::int64_t>(fixed[i])));
    }
    safeLength = steepest == 0 ? maxSpanLength : static_cast<int>(std::min<std::int64_t>(
                                                     colorSpanReachFixed / steepest + 1, maxSpanLength));
  }
  void Fill(SpanConstants& c, const std::int32_t* f) const {
    c.rRamp = ColorRamp(f[0]);
    c.gRamp = ColorRamp(f[1]);
    c.bRamp = ColorRamp(f[2]);
    c.rStep = ColorStep(f[0]);
    c.gStep = ColorStep(f[1]);
    c.bStep = ColorStep(f[2]);
  }
  // Constants for a span longer than safeLength: steps limited to its length.
  SpanConstants Limited(const SpanConstants& c, int length) const {
    const std::int64_t limit = colorSpanReachFixed / (length - 1);
    std::int32_t f[3];
    for (int i = 0; i < 3; ++i) f[i] = static_cast<std::int32_t>(std::clamp<std::int64_t>(fixed[i], -limit, limit));
    SpanConstants limited = c;
    Fill(limited, f);
    return limited;
  }
};

// Walks the triangle's rows between its edges and draws each span; the span body
// is inlined so its constants are set up once per triangle.
template <bool Textured, bool Bilinear, DepthKind Depth>
void RowLoop(State& s, const RowSetup& t) {
  SpanConstants c;
  const __m128 lanef = _mm_set_ps(3, 2, 1, 0);
  const auto ramp = [&](double d) { return _mm_mul_ps(lanef, _mm_set1_ps(static_cast<float>(d))); };
  const auto step = [](double d) { return _mm_set1_ps(static_cast<float>(4 * d)); };
  c.oowRamp = ramp(t.oow.dx);
  c.sowRamp = ramp(t.sow.dx);
  c.towRamp = ramp(t.tow.dx);
  c.oowStep = step(t.oow.dx);
  c.sowStep = step(t.sow.dx);
  c.towStep = step(t.tow.dx);
  ColorSteps colorSteps;
  colorSteps.Set(t.rgb);
  colorSteps.Fill(c, colorSteps.fixed);

  // Row starts from the planes in floats, relative to the triangle's first vertex.
  const __m128 coordBase = _mm_set_ps(0, static_cast<float>(t.tow.base), static_cast<float>(t.sow.base),
                                      static_cast<float>(t.oow.base));
  const __m128 coordDx = _mm_set_ps(0, static_cast<float>(t.tow.dx), static_cast<float>(t.sow.dx),
                                    static_cast<float>(t.oow.dx));
  const __m128 coordDy = _mm_set_ps(0, static_cast<float>(t.tow.dy), static_cast<float>(t.sow.dy),
                                    static_cast<float>(t.oow.dy));
  const __m128 colorBase = _mm_set_ps(0, static_cast<float>(t.rgb[2].base), static_cast<float>(t.rgb[1].base),
                                      static_cast<float>(t.rgb[0].base));
  const __m128 colorDx = _mm_set_ps(0, static_cast<float>(t.rgb[2].dx), static_cast<float>(t.rgb[1].dx),
                                    static_cast<float>(t.rgb[0].dx));
  const __m128 colorDy = _mm_set_ps(0, static_cast<float>(t.rgb[2].dy), static_cast<float>(t.rgb[1].dy),
                                    static_cast<float>(t.rgb[0].dy));
  const __m128 colorLimit = _mm_set1_ps(8192.0f), fixedScale = _mm_set1_ps(65536.0f);

  EdgeWalker longEdge, shortEdge;
  longEdge.Start(t.x0, t.y0, t.x2, t.y2, static_cast<std::int64_t>(t.rowBegin) * 16);
  for (int part = 0; part < 2; ++part) {
    const int from = part == 0 ? t.rowBegin : t.rowMiddle;
    const int to = part == 0 ? t.rowMiddle : t.rowEnd;
    if (from >= to) continue;
    if (part == 0) shortEdge.Start(t.x0, t.y0, t.x1, t.y1, static_cast<std::int64_t>(from) * 16);
    else shortEdge.Start(t.x1, t.y1, t.x2, t.y2, static_cast<std::int64_t>(from) * 16);
    for (int y = from; y < to; ++y, longEdge.Step(), shortEdge.Step()) {
      std::int64_t left = t.middleRight ? longEdge.x : shortEdge.x;
      std::int64_t right = t.middleRight ? shortEdge.x : longEdge.x;
      left = std::max<std::int64_t>(left, s.clipMinX);
      right = std::min<std::int64_t>(right, s.clipMaxX);
      if (left >= right) continue;
      const __m128 px = _mm_set1_ps(static_cast<float>(static_cast<double>(left) - t.xa));
      const __m128 py = _mm_set1_ps(static_cast<float>(static_cast<double>(y) - t.ya));
      SpanStart start;
      start.coords = _mm_add_ps(coordBase, _mm_add_ps(_mm_mul_ps(coordDx, px), _mm_mul_ps(coordDy, py)));
      __m128 color = _mm_add_ps(colorBase, _mm_add_ps(_mm_mul_ps(colorDx, px), _mm_mul_ps(colorDy, py)));
      // NaN-free by the plane guard; limited so the 16.16 values cannot overflow.
      color = _mm_min_ps(_mm_max_ps(color, _mm_sub_ps(_mm_setzero_ps(), colorLimit)), colorLimit);
      start.color = _mm_cvttps_epi32(_mm_mul_ps(color, fixedScale));
      const int length = static_cast<int>(right - left);
      SpanConstants limited;
      const SpanConstants* spanConstants = &c;
      if (length > colorSteps.safeLength) {
        limited = colorSteps.Limited(c, length);
        spanConstants = &limited;
      }
      DrawSpan<Textured, Bilinear, Depth>(s, y, static_cast<int>(left), static_cast<int>(right), start,
                                          *spanConstants, t.ditherOn);
    }
  }
}

using RowFunction = void (*)(State&, const RowSetup&);

template <bool Textured, bool Bilinear>
RowFunction ChooseDepth(DepthKind depth) {
  switch (depth) {
    case depthNone: return RowLoop<Textured, Bilinear, depthNone>;
    case depthLessWrite: return RowLoop<Textured, Bilinear, depthLessWrite>;
    default: return RowLoop<Textured, Bilinear, depthGeneric>;
  }
}

RowFunction ChooseRows(bool textured, bool bilinear, DepthKind depth) {
  if (textured) return bilinear ? ChooseDepth<true, true>(depth) : ChooseDepth<true, false>(depth);
  return ChooseDepth<false, false>(depth);
}

struct ColorSource {
  bool textured = false;
  bool iterated = false;  // C from the vertex colours, else from 'constant'
  double scale[3] = {1, 1, 1};  // applied to iterated colours
  double constant[3] = {255, 255, 255};
};

// Reduces the colour combine to: colour = (texture ? texel x C : C), where C is the
// iterated vertex colour (possibly scaled by the constant colour) or a constant.
ColorSource ResolveCombine(const State& s) {
  ColorSource c;
  const double k[3] = {static_cast<double>((s.constantColor >> 16) & 0xFF),
                       static_cast<double>((s.constantColor >> 8) & 0xFF),
                       static_cast<double>(s.constantColor & 0xFF)};
  auto setConstant = [&](const double* v) {
    c.iterated = false;
    for (int i = 0; i < 3; ++i) c.constant[i] = v[i];
  };
  const double white[3] = {255, 255, 255};
  const double black[3] = {0, 0, 0};
  const bool localIterated = s.combineLocal == GR_COMBINE_LOCAL_ITERATED;
  switch (s.combineFunction) {
    case GR_COMBINE_FUNCTION_ZERO:
      setConstant(black);
      return c;
    case GR_COMBINE_FUNCTION_SCALE_OTHER:
    case GR_COMBINE_FUNCTION_SCALE_OTHER_ADD_LOCAL: {
      if (s.combineFactor == GR_COMBINE_FACTOR_ZERO) {
        setConstant(black);
        return c;
      }
      const bool byLocal = s.combineFactor == GR_COMBINE_FACTOR_LOCAL;
      if (s.combineOther == GR_COMBINE_OTHER_TEXTURE) {
        c.textured = s.texture.valid;
        if (!byLocal) setConstant(white);
        else if (localIterated) c.iterated = true;
        else setConstant(k);
        return c;
      }
      const bool otherIterated = s.combineOther == GR_COMBINE_OTHER_ITERATED;
      if (!byLocal) {
        if (otherIterated) c.iterated = true;
        else setConstant(k);
        return c;
      }
      if (otherIterated || localIterated) {
        c.iterated = true;
        if (!(otherIterated && localIterated))
          for (int i = 0; i < 3; ++i) c.scale[i] = k[i] / 255.0;
      } else {
        double kk[3];
        for (int i = 0; i < 3; ++i) kk[i] = k[i] * k[i] / 255.0;
        setConstant(kk);
      }
      return c;
    }
    default:  // GR_COMBINE_FUNCTION_LOCAL and the rest: the local colour
      if (localIterated) c.iterated = true;
      else setConstant(k);
      return c;
  }
}

}  // namespace

namespace glide_detail {

void RasterTriangle(const GrVertex* va, const GrVertex* vb, const GrVertex* vc, bool cullDone) {
  State& s = GetState();
  if (!s.open || s.clipMinX >= s.clipMaxX || s.clipMinY >= s.clipMaxY) return;

  const GrVertex* v[3] = {va, vb, vc};
  std::int64_t X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = _mm_cvtsd_si64(_mm_set_sd(static_cast<double>(v[i]->x) * 16.0));
    Y[i] = _mm_cvtsd_si64(_mm_set_sd(static_cast<double>(v[i]->y) * 16.0));
  }
  // Twice the signed area; positive for a counter-clockwise triangle with y up.
  const std::int64_t area = (X[0] - X[1]) * (Y[1] - Y[2]) - (X[1] - X[2]) * (Y[0] - Y[1]);
  if (area == 0) return;
  if (!cullDone) {
    if (s.cull == GR_CULL_NEGATIVE && area < 0) return;
    if (s.cull == GR_CULL_POSITIVE && area > 0) return;
  }

  // Rows first: a triangle outside the clip window costs no more set-up.
  RowSetup t;
  // Sort by row: 0 lowest.
  int o[3] = {0, 1, 2};
  if (Y[o[1]] < Y[o[0]]) std::swap(o[0], o[1]);
  if (Y[o[2]] < Y[o[1]]) std::swap(o[1], o[2]);
  if (Y[o[1]] < Y[o[0]]) std::swap(o[0], o[1]);
  t.x0 = X[o[0]];
  t.y0 = Y[o[0]];
  t.x1 = X[o[1]];
  t.y1 = Y[o[1]];
  t.x2 = X[o[2]];
  t.y2 = Y[o[2]];
  if (t.y2 == t.y0) return;
  // Which side the middle vertex lies on, against the long edge 0-2.
  t.middleRight = (t.x1 - t.x0) * (t.y2 - t.y0) - (t.x2 - t.x0) * (t.y1 - t.y0) > 0;
  t.rowBegin = static_cast<int>(std::max<std::int64_t>(CeilDiv(t.y0, 16), s.clipMinY));
  t.rowEnd = static_cast<int>(std::min<std::int64_t>(CeilDiv(t.y2, 16), s.clipMaxY));
  if (t.rowBegin >= t.rowEnd) return;
  const std::int64_t minX = std::min({X[0], X[1], X[2]}), maxX = std::max({X[0], X[1], X[2]});
  if (CeilDiv(maxX, 16) <= s.clipMinX || CeilDiv(minX, 16) >= s.clipMaxX) return;
  // Rows below the middle vertex use the edge 0-1, the rest 1-2.
  t.rowMiddle = static_cast<int>(std::clamp<std::int64_t>(CeilDiv(t.y1, 16), t.rowBegin, t.rowEnd));

  // Attribute planes from the snapped positions.
  const ColorSource color = ResolveCombine(s);
  const double xa = X[0] / 16.0, ya = Y[0] / 16.0;
  const double dx1 = (X[1] - X[0]) / 16.0, dy1 = (Y[1] - Y[0]) / 16.0;
  const double dx2 = (X[2] - X[0]) / 16.0, dy2 = (Y[2] - Y[0]) / 16.0;
  const double invDet = 1.0 / (dx1 * dy2 - dx2 * dy1);
  auto plane = [&](double a0, double a1, double a2) {
    Plane p;
    p.base = a0;
    p.dx = ((a1 - a0) * dy2 - (a2 - a0) * dy1) * invDet;
    p.dy = ((a2 - a0) * dx1 - (a1 - a0) * dx2) * invDet;
    return p;
  };
  const Plane oow = plane(va->oow, vb->oow, vc->oow);
  Plane sow, tow;
  if (color.textured) {
    sow = plane(va->tmuvtx[0].sow, vb->tmuvtx[0].sow, vc->tmuvtx[0].sow);
    tow = plane(va->tmuvtx[0].tow, vb->tmuvtx[0].tow, vc->tmuvtx[0].tow);
  }
  Plane rgb[3];
  if (color.iterated) {
    rgb[0] = plane(va->r * color.scale[0], vb->r * color.scale[0], vc->r * color.scale[0]);
    rgb[1] = plane(va->g * color.scale[1], vb->g * color.scale[1], vc->g * color.scale[1]);
    rgb[2] = plane(va->b * color.scale[2], vb->b * color.scale[2], vc->b * color.scale[2]);
  } else {
    for (int i = 0; i < 3; ++i) rgb[i].base = color.constant[i];
  }
  for (Plane& p : rgb)
    if (!std::isfinite(p.base) || !std::isfinite(p.dx) || !std::isfinite(p.dy)) p = Plane{};

  DepthKind depth = depthNone;
  if (s.depthMode != GR_DEPTHBUFFER_DISABLE)
    depth = (s.depthFunction == GR_CMP_LESS && s.depthMask) ? depthLessWrite : depthGeneric;
  const RowFunction rows = ChooseRows(color.textured, s.bilinear, depth);

  t.xa = xa;
  t.ya = ya;
  t.oow = oow;
  t.sow = sow;
  t.tow = tow;
  for (int i = 0; i < 3; ++i) t.rgb[i] = rgb[i];
  t.ditherOn = s.dither != GR_DITHER_DISABLE;
  rows(s, t);
}

}  // namespace glide_detail

namespace {

// Screen-space clip of a polygon against one boundary; every attribute of a Glide
// vertex is linear in screen space, so each is interpolated linearly.
GrVertex Lerp(const GrVertex& p, const GrVertex& q, float t) {
  GrVertex r = p;
  auto mix = [t](float a, float b) { return a + (b - a) * t; };
  r.x = mix(p.x, q.x);
  r.y = mix(p.y, q.y);
  r.r = mix(p.r, q.r);
  r.g = mix(p.g, q.g);
  r.b = mix(p.b, q.b);
  r.oow = mix(p.oow, q.oow);
  r.ooz = mix(p.ooz, q.ooz);
  r.a = mix(p.a, q.a);
  for (int i = 0; i < GLIDE_NUM_TMU; ++i) {
    r.tmuvtx[i].sow = mix(p.tmuvtx[i].sow, q.tmuvtx[i].sow);
    r.tmuvtx[i].tow = mix(p.tmuvtx[i].tow, q.tmuvtx[i].tow);
    r.tmuvtx[i].oow = mix(p.tmuvtx[i].oow, q.tmuvtx[i].oow);
  }
  return r;
}

// Keeps the side where sign * (coordinate - bound) <= 0. Output needs one more
// slot per boundary than the input: 3 vertices grow to at most 7 after four.
int ClipAgainst(const GrVertex* in, int n, GrVertex* out, bool useX, float bound, float sign) {
  int m = 0;
  for (int i = 0; i < n; ++i) {
    const GrVertex& p = in[i];
    const GrVertex& q = in[(i + 1) % n];
    const float dp = sign * ((useX ? p.x : p.y) - bound);
    const float dq = sign * ((useX ? q.x : q.y) - bound);
    if (dp <= 0) out[m++] = p;
    if ((dp < 0 && dq > 0) || (dp > 0 && dq < 0)) out[m++] = Lerp(p, q, dp / (dp - dq));
  }
  return m;
}

void DrawClipped(const GrVertex* a, const GrVertex* b, const GrVertex* c) {
  const GrVertex* v[3] = {a, b, c};
  bool inside = true;
  for (const GrVertex* p : v) {
    if (!std::isfinite(p->x) || !std::isfinite(p->y)) return;
    if (std::fabs(p->x) > guardBand || std::fabs(p->y) > guardBand) inside = false;
  }
  if (inside) {
    glide_detail::RasterTriangle(a, b, c, false);
    return;
  }
  // Cull on the whole triangle, then cut it down to a band around the screen.
  const State& s = glide_detail::GetState();
  const double area = (static_cast<double>(a->x) - b->x) * (static_cast<double>(b->y) - c->y) -
                      (static_cast<double>(b->x) - c->x) * (static_cast<double>(a->y) - b->y);
  if (s.cull == GR_CULL_NEGATIVE && area < 0) return;
  if (s.cull == GR_CULL_POSITIVE && area > 0) return;
  GrVertex bufferA[8] = {*a, *b, *c}, bufferB[8];
  int n = 3;
  const float low = -1024.0f, high = static_cast<float>(glide_detail::maxScreenWidth) + 1024.0f;
  n = ClipAgainst(bufferA, n, bufferB, true, low, -1.0f);
  n = ClipAgainst(bufferB, n, bufferA, true, high, 1.0f);
  n = ClipAgainst(bufferA, n, bufferB, false, low, -1.0f);
  n = ClipAgainst(bufferB, n, bufferA, false, high, 1.0f);
  for (int j = 1; j + 1 < n; ++j) glide_detail::RasterTriangle(&bufferA[0], &bufferA[j], &bufferA[j + 1], true);
}

}  // namespace

void grDrawTriangle(const GrVertex* a, const GrVertex* b, const GrVertex* c) {
  if (a && b && c) DrawClipped(a, b, c);
}

void guDrawTriangleWithClip(const GrVertex* a, const GrVertex* b, const GrVertex* c) {
  if (a && b && c) DrawClipped(a, b, c);
}
