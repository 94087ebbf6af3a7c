// Triangle set-up: vertices snapped to 1/16 pixel, culling, the rows within the
// clip window, the attribute planes and the colour combine; then the rows go to
// the span implementation in use (see glide_bands.cpp for who draws them). Very
// large triangles are first clipped to a band around the screen.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/glide/glide.h"
#include "platform/glide/glide_bands.h"
#include "platform/glide/glide_raster.h"

using glide_detail::Plane;
using glide_detail::State;
using glide_detail::TriangleSetup;
using glide_detail::depthNone;
using glide_detail::depthLessWrite;
using glide_detail::depthGeneric;

namespace {

// Vertices farther out than this (in pixels) are clipped geometrically first, so
// the edge arithmetic below stays well inside 64 bits.
constexpr float guardBand = 8192.0f;

// The edges from the first vertex to the other two, in pixels: the frame the
// attribute planes are solved in.
struct PlaneFrame {
  double dx1, dy1, dx2, dy2;
};

// Channel i (red, green, blue) of a vertex colour.
inline float Channel(const GrVertex& v, int i) { return i == 0 ? v.r : i == 1 ? v.g : v.b; }

// Ceiling of n / d for d > 0.
inline std::int64_t CeilDiv(std::int64_t n, std::int64_t d) {
  return n >= 0 ? (n + d - 1) / d : -((-n) / d);
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

// Sorts the snapped vertices by row and finds the rows the triangle covers inside
// the clip window. False when it covers no pixel there (or is culled).
bool SetUpRows(const State& s, const GrVertex* const* v, bool cullDone, TriangleSetup& t, PlaneFrame& f) {
  std::int64_t X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = _mm_cvtsd_si64(_mm_set_sd(static_cast<double>(v[i]->x) * 16.0));
    Y[i] = _mm_cvtsd_si64(_mm_set_sd(static_cast<double>(v[i]->y) * 16.0));
  }
  // Twice the signed area; positive for a counter-clockwise triangle with y up.
  const std::int64_t area = (X[0] - X[1]) * (Y[1] - Y[2]) - (X[1] - X[2]) * (Y[0] - Y[1]);
  if (area == 0) return false;
  if (!cullDone) {
    if (s.cull == GR_CULL_NEGATIVE && area < 0) return false;
    if (s.cull == GR_CULL_POSITIVE && area > 0) return false;
  }
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
  if (t.y2 == t.y0) return false;
  // Which side the middle vertex lies on, against the long edge 0-2.
  t.middleRight = (t.x1 - t.x0) * (t.y2 - t.y0) - (t.x2 - t.x0) * (t.y1 - t.y0) > 0;
  t.rowBegin = static_cast<int>(std::max<std::int64_t>(CeilDiv(t.y0, 16), s.clipMinY));
  t.rowEnd = static_cast<int>(std::min<std::int64_t>(CeilDiv(t.y2, 16), s.clipMaxY));
  if (t.rowBegin >= t.rowEnd) return false;
  const std::int64_t minX = std::min({X[0], X[1], X[2]}), maxX = std::max({X[0], X[1], X[2]});
  if (CeilDiv(maxX, 16) <= s.clipMinX || CeilDiv(minX, 16) >= s.clipMaxX) return false;
  // Rows below the middle vertex use the edge 0-1, the rest 1-2.
  t.rowMiddle = static_cast<int>(std::clamp<std::int64_t>(CeilDiv(t.y1, 16), t.rowBegin, t.rowEnd));
  // The planes start at the vertex given first, as snapped.
  t.xa = X[0] / 16.0;
  t.ya = Y[0] / 16.0;
  f.dx1 = (X[1] - X[0]) / 16.0;
  f.dy1 = (Y[1] - Y[0]) / 16.0;
  f.dx2 = (X[2] - X[0]) / 16.0;
  f.dy2 = (Y[2] - Y[0]) / 16.0;
  return true;
}

// The attribute planes through the three vertices, from the snapped positions.
void SetUpPlanes(const ColorSource& color, const GrVertex* const* v, const PlaneFrame& f, TriangleSetup& t) {
  const double invDet = 1.0 / (f.dx1 * f.dy2 - f.dx2 * f.dy1);
  auto plane = [&](double a0, double a1, double a2) {
    Plane p;
    p.base = a0;
    p.dx = ((a1 - a0) * f.dy2 - (a2 - a0) * f.dy1) * invDet;
    p.dy = ((a2 - a0) * f.dx1 - (a1 - a0) * f.dx2) * invDet;
    return p;
  };
  t.oow = plane(v[0]->oow, v[1]->oow, v[2]->oow);
  t.sow = t.tow = Plane{};
  if (color.textured) {
    t.sow = plane(v[0]->tmuvtx[0].sow, v[1]->tmuvtx[0].sow, v[2]->tmuvtx[0].sow);
    t.tow = plane(v[0]->tmuvtx[0].tow, v[1]->tmuvtx[0].tow, v[2]->tmuvtx[0].tow);
  }
  for (int i = 0; i < 3; ++i) {
    Plane& p = t.rgb[i];
    if (color.iterated) {
      const double k = color.scale[i];
      p = plane(Channel(*v[0], i) * k, Channel(*v[1], i) * k, Channel(*v[2], i) * k);
    } else {
      p = Plane{};
      p.base = color.constant[i];
    }
    if (!std::isfinite(p.base) || !std::isfinite(p.dx) || !std::isfinite(p.dy)) p = Plane{};
  }
}

// The render state the triangle's pixels are drawn with, filled in where it is
// kept: a copy through a temporary costs more than the filling.
void TakeTarget(State& s, glide_detail::RasterTarget& target) {
  target.color = s.back;
  target.depth = s.depth.data();
  target.texture = s.texture;
  target.depthFunction = s.depthFunction;
  target.depthMask = s.depthMask;
  target.ditherOn = s.dither != GR_DITHER_DISABLE;
  target.clipMinX = s.clipMinX;
  target.clipMaxX = s.clipMaxX;
}

}  // namespace

namespace glide_detail {

void RasterTriangle(const GrVertex* va, const GrVertex* vb, const GrVertex* vc, bool cullDone) {
  State& s = GetState();
  if (!s.open || s.clipMinX >= s.clipMaxX || s.clipMinY >= s.clipMaxY) return;
  const GrVertex* v[3] = {va, vb, vc};
  TriangleSetup local;
  TriangleSetup& t = TriangleSlot(local);
  PlaneFrame frame;
  if (!SetUpRows(s, v, cullDone, t, frame)) return;
  const ColorSource color = ResolveCombine(s);
  SetUpPlanes(color, v, frame, t);
  t.textured = color.textured;
  t.bilinear = s.bilinear;
  t.depth = depthNone;
  if (s.depthMode != GR_DEPTHBUFFER_DISABLE)
    t.depth = (s.depthFunction == GR_CMP_LESS && s.depthMask) ? depthLessWrite : depthGeneric;
  TakeTarget(s, t.target);
  SubmitTriangle(t);
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
