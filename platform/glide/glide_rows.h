// The row walk shared by the span implementations: exact edges, each span's start
// values and the colour-step limits. Each span file includes it after choosing its
// instruction set, so everything here has internal linkage: the copies compiled
// for different instruction sets never mix.
#pragma once

#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/glide/glide_raster.h"

namespace {

using glide_detail::DepthKind;
using glide_detail::Plane;
using glide_detail::RasterTarget;
using glide_detail::TriangleSetup;

// No span is longer than the widest screen.
constexpr int maxSpanLength = glide_detail::maxScreenWidth;

// 4 x 4 ordered dither: a pixel's channel v becomes floor((v * max + t) / 255)
// with t = (m + 0.5) / 16 * 255 for its matrix entry m (t = 127 without dither,
// which rounds). Since v * max is whole, the fraction of t never matters.
constexpr int bayer4[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
constexpr int DitherThreshold(int m) { return (2 * m + 1) * 255 / 32; }
constexpr int noDitherThreshold = 127;

// Threshold + 1 for eight pixels in a row, by row and first column phase (index
// 16: no dither); the pattern repeats after four, so lanes 4-7 equal lanes 0-3.
struct ThresholdTable {
  alignas(16) std::int16_t lanes[17][8];
  constexpr ThresholdTable() : lanes{} {
    for (int k = 0; k < 17; ++k)
      for (int i = 0; i < 8; ++i)
        lanes[k][i] = static_cast<std::int16_t>(
            (k < 16 ? DitherThreshold(bayer4[(k & 12) | (((k & 3) + i) & 3)]) : noDitherThreshold) + 1);
  }
};
constexpr ThresholdTable thresholdTable;

inline const std::int16_t* Thresholds(bool ditherOn, int y, int x0) {
  return thresholdTable.lanes[ditherOn ? ((y & 3) << 2) | (x0 & 3) : 16];
}

// Per-triangle lane constants of a span, four lanes wide: each attribute's
// offsets for the four pixels of a group and its step from one group to the next.
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
  // Without a branch: whether the remainder carries depends on the edge's slope
  // row by row and would be mispredicted often.
  void Step() {
    rem -= m;
    const std::int64_t carry = rem >> 63;  // -1 when the remainder went below 0
    x += q - carry;
    rem += den & carry;
  }
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

// Everything a row needs that does not change along the triangle.
struct RowConstants {
  SpanConstants span;
  ColorSteps colorSteps;
  __m128 coordBase, coordDx, coordDy;
  __m128 colorBase, colorDx, colorDy;

  explicit RowConstants(const TriangleSetup& t) {
    const __m128 lanef = _mm_set_ps(3, 2, 1, 0);
    const auto ramp = [&](double d) { return _mm_mul_ps(lanef, _mm_set1_ps(static_cast<float>(d))); };
    const auto step = [](double d) { return _mm_set1_ps(static_cast<float>(4 * d)); };
    span.oowRamp = ramp(t.oow.dx);
    span.sowRamp = ramp(t.sow.dx);
    span.towRamp = ramp(t.tow.dx);
    span.oowStep = step(t.oow.dx);
    span.sowStep = step(t.sow.dx);
    span.towStep = step(t.tow.dx);
    colorSteps.Set(t.rgb);
    colorSteps.Fill(span, colorSteps.fixed);
    // Row starts come from the planes in floats, relative to the triangle's first vertex.
    const auto lanes = [](double a, double b, double c) {
      return _mm_set_ps(0, static_cast<float>(c), static_cast<float>(b), static_cast<float>(a));
    };
    coordBase = lanes(t.oow.base, t.sow.base, t.tow.base);
    coordDx = lanes(t.oow.dx, t.sow.dx, t.tow.dx);
    coordDy = lanes(t.oow.dy, t.sow.dy, t.tow.dy);
    colorBase = lanes(t.rgb[0].base, t.rgb[1].base, t.rgb[2].base);
    colorDx = lanes(t.rgb[0].dx, t.rgb[1].dx, t.rgb[2].dx);
    colorDy = lanes(t.rgb[0].dy, t.rgb[1].dy, t.rgb[2].dy);
  }

  SpanStart Start(const TriangleSetup& t, std::int64_t left, int y) const {
    const __m128 px = _mm_set1_ps(static_cast<float>(static_cast<double>(left) - t.xa));
    const __m128 py = _mm_set1_ps(static_cast<float>(static_cast<double>(y) - t.ya));
    SpanStart start;
    start.coords = _mm_add_ps(coordBase, _mm_add_ps(_mm_mul_ps(coordDx, px), _mm_mul_ps(coordDy, py)));
    __m128 color = _mm_add_ps(colorBase, _mm_add_ps(_mm_mul_ps(colorDx, px), _mm_mul_ps(colorDy, py)));
    // NaN-free by the plane guard; limited so the 16.16 values cannot overflow.
    const __m128 colorLimit = _mm_set1_ps(8192.0f);
    color = _mm_min_ps(_mm_max_ps(color, _mm_sub_ps(_mm_setzero_ps(), colorLimit)), colorLimit);
    start.color = _mm_cvttps_epi32(_mm_mul_ps(color, _mm_set1_ps(65536.0f)));
    return start;
  }
};

// Hands a triangle's rows to the span implementation, with the lane constants in
// the span implementation's own form, made once per triangle. A span
// implementation may hold part of a row back to share a pass with part of a later
// row ('Pending'); rows of one triangle never share a pixel, so drawing it later
// changes no picture. Finish draws what is held.
template <class Span, bool Textured, bool Bilinear, DepthKind Depth>
class RowDrawer {
public:
  RowDrawer(const RasterTarget& target, const RowConstants& k) : target_(target), k_(k), constants_(k.span) {}

  void Add(int y, int left, int length, const SpanStart& start) {
    if (length <= k_.colorSteps.safeLength) {
      Span::template Draw<Textured, Bilinear, Depth>(target_, y, left, length, start, constants_, pending_);
    } else {
      const typename Span::Constants limited(k_.colorSteps.Limited(k_.span, length));
      Span::template Draw<Textured, Bilinear, Depth>(target_, y, left, length, start, limited, pending_);
    }
  }

  void Finish() { Span::template Finish<Textured, Bilinear, Depth>(target_, pending_); }

private:
  const RasterTarget& target_;
  const RowConstants& k_;
  const typename Span::Constants constants_;
  typename Span::Pending pending_;
};

// Draws rows [from, to) of the triangle (within its own rows).
template <class Span, bool Textured, bool Bilinear, DepthKind Depth>
void DrawRowRange(const TriangleSetup& t, const RowConstants& k, int from, int to) {
  const RasterTarget& target = t.target;
  EdgeWalker longEdge, shortEdge;
  longEdge.Start(t.x0, t.y0, t.x2, t.y2, static_cast<std::int64_t>(from) * 16);
  // All ones when the long edge is the left one. Sides are picked by masking, not
  // by a branch: neighbouring triangles of a mesh often lie the other way round.
  const std::int64_t longLeft = -static_cast<std::int64_t>(t.middleRight);
  RowDrawer<Span, Textured, Bilinear, Depth> rows(target, k);
  for (int part = 0; part < 2; ++part) {
    const int first = part == 0 ? from : std::max(from, t.rowMiddle);
    const int last = part == 0 ? std::min(to, t.rowMiddle) : to;
    if (first >= last) continue;
    if (part == 0) shortEdge.Start(t.x0, t.y0, t.x1, t.y1, static_cast<std::int64_t>(first) * 16);
    else shortEdge.Start(t.x1, t.y1, t.x2, t.y2, static_cast<std::int64_t>(first) * 16);
    for (int y = first; y < last; ++y, longEdge.Step(), shortEdge.Step()) {
      const std::int64_t swap = (longEdge.x ^ shortEdge.x) & longLeft;
      std::int64_t left = shortEdge.x ^ swap;
      std::int64_t right = longEdge.x ^ swap;
      left = std::max<std::int64_t>(left, target.clipMinX);
      right = std::min<std::int64_t>(right, target.clipMaxX);
      if (left >= right) continue;
      rows.Add(y, static_cast<int>(left), static_cast<int>(right - left), k.Start(t, left, y));
    }
  }
  rows.Finish();
}

// Draws the triangle's rows in [from, to).
template <class Span, bool Textured, bool Bilinear, DepthKind Depth>
void RowLoop(const TriangleSetup& t, int from, int to) {
  from = std::max(from, t.rowBegin);
  to = std::min(to, t.rowEnd);
  if (from >= to) return;
  const RowConstants k(t);
  DrawRowRange<Span, Textured, Bilinear, Depth>(t, k, from, to);
}

// The row functions of one span implementation, by texturing, filter and depth.
template <class Span, bool Textured, bool Bilinear>
glide_detail::RowsFunction RowsByDepth(DepthKind depth) {
  switch (depth) {
    case glide_detail::depthNone: return RowLoop<Span, Textured, Bilinear, glide_detail::depthNone>;
    case glide_detail::depthLessWrite: return RowLoop<Span, Textured, Bilinear, glide_detail::depthLessWrite>;
    default: return RowLoop<Span, Textured, Bilinear, glide_detail::depthGeneric>;
  }
}

template <class Span>
glide_detail::RowsFunction RowsFor(bool textured, bool bilinear, DepthKind depth) {
  if (textured) return bilinear ? RowsByDepth<Span, true, true>(depth) : RowsByDepth<Span, true, false>(depth);
  return RowsByDepth<Span, false, false>(depth);
}

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

}  // namespace
