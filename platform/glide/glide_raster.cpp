// The software rasterizer: one triangle at a time, vertices in 1/16 pixel, a
// top-left fill rule in the buffer's own row order (a pixel centre on a left edge
// or on the edge with the lower row number is inside, on a right edge or on the
// edge with the higher row number outside), so triangles sharing an edge cover
// every pixel once. Colour is iterated linearly in screen space; texture
// coordinates and depth come from s/w, t/w and 1/w, divided per pixel.
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

// 4 x 4 ordered dither thresholds.
constexpr int bayer4[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

struct DitherTables {
  std::uint16_t red[17][256];    // index 16: no dither (rounding)
  std::uint16_t green[17][256];
  std::uint16_t blue[17][256];
  DitherTables() {
    for (int d = 0; d < 17; ++d) {
      const double threshold = d < 16 ? (bayer4[d] + 0.5) / 16.0 * 255.0 : 127.5;
      for (int v = 0; v < 256; ++v) {
        const int r5 = std::min(31, static_cast<int>((v * 31 + threshold) / 255.0));
        const int g6 = std::min(63, static_cast<int>((v * 63 + threshold) / 255.0));
        red[d][v] = static_cast<std::uint16_t>(r5 << 11);
        green[d][v] = static_cast<std::uint16_t>(g6 << 5);
        blue[d][v] = static_cast<std::uint16_t>(r5);
      }
    }
  }
};

const DitherTables& Dither() {
  static const DitherTables tables;
  return tables;
}

// A plane a(x, y) = base + dx * (x - x0) + dy * (y - y0) over the triangle.
struct Plane {
  double base = 0, dx = 0, dy = 0;
};

struct SpanSetup {
  // Start values at the span's first pixel and steps per pixel.
  float oow, doow;
  float sow, dsow;
  float tow, dtow;
  std::int32_t r, dr, g, dg, b, db;  // 16.16
};

inline std::int32_t ClampColor(std::int32_t v) {
  return std::clamp<std::int32_t>(v, 0, 255 << 16) >> 16;
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

template <bool Textured, bool Bilinear, bool DepthTest>
void DrawSpan(State& s, int y, int x0, int x1, SpanSetup a, const std::uint16_t* ditherRow,
              bool ditherOn) {
  const DitherTables& dt = Dither();
  std::uint16_t* out = s.back + static_cast<std::ptrdiff_t>(y) * glide_detail::bufferStride;
  std::uint16_t* zrow = s.depth.data() + static_cast<std::ptrdiff_t>(y) * s.width;
  const std::uint64_t* texels = s.texture.texels;
  const int wl = s.texture.widthLog2;
  const int wm = s.texture.widthMask;
  const int hm = s.texture.heightMask;
  const bool depthWrite = s.depthMask;
  const GrCmpFnc_t function = s.depthFunction;
  for (int x = x0; x < x1; ++x) {
    const float oow = std::max(a.oow, 1e-20f);
    const float w = 1.0f / oow;
    bool draw = true;
    if constexpr (DepthTest) {
      const std::uint16_t z = glide_detail::EncodeW(w);
      draw = DepthPass(function, z, zrow[x]);
      if (draw && depthWrite) zrow[x] = z;
    }
    if (draw) {
      int r = ClampColor(a.r), g = ClampColor(a.g), b = ClampColor(a.b);
      if constexpr (Textured) {
        std::uint32_t tr, tg, tb;
        if constexpr (Bilinear) {
          const long iu = std::lrint(a.sow * w * 256.0f - 128.0f);
          const long iv = std::lrint(a.tow * w * 256.0f - 128.0f);
          const int fu = static_cast<int>(iu & 255), fv = static_cast<int>(iv & 255);
          const int u0 = static_cast<int>(iu >> 8) & wm, u1 = (u0 + 1) & wm;
          const int v0 = static_cast<int>(iv >> 8) & hm, v1 = (v0 + 1) & hm;
          const std::uint64_t* row0 = texels + (v0 << wl);
          const std::uint64_t* row1 = texels + (v1 << wl);
          const std::uint64_t w11 = static_cast<std::uint64_t>((fu * fv) >> 8);
          const std::uint64_t w10 = static_cast<std::uint64_t>(fu) - w11;
          const std::uint64_t w01 = static_cast<std::uint64_t>(fv) - w11;
          const std::uint64_t w00 = 256 - static_cast<std::uint64_t>(fu + fv) + w11;
          const std::uint64_t sum = row0[u0] * w00 + row0[u1] * w10 + row1[u0] * w01 + row1[u1] * w11;
          tr = static_cast<std::uint32_t>(sum >> 40) & 0xFF;
          tg = static_cast<std::uint32_t>(sum >> 24) & 0xFF;
          tb = static_cast<std::uint32_t>(sum >> 8) & 0xFF;
        } else {
          const long iu = std::lrint(a.sow * w * 256.0f);
          const long iv = std::lrint(a.tow * w * 256.0f);
          const std::uint64_t t = texels[((static_cast<int>(iv >> 8) & hm) << wl) + (static_cast<int>(iu >> 8) & wm)];
          tr = static_cast<std::uint32_t>(t >> 32) & 0xFF;
          tg = static_cast<std::uint32_t>(t >> 16) & 0xFF;
          tb = static_cast<std::uint32_t>(t) & 0xFF;
        }
        r = static_cast<int>((tr * static_cast<std::uint32_t>(r + 1)) >> 8);
        g = static_cast<int>((tg * static_cast<std::uint32_t>(g + 1)) >> 8);
        b = static_cast<int>((tb * static_cast<std::uint32_t>(b + 1)) >> 8);
      }
      const int d = ditherOn ? ditherRow[x & 3] : 16;
      out[x] = static_cast<std::uint16_t>(dt.red[d][r] | dt.green[d][g] | dt.blue[d][b]);
    }
    a.oow += a.doow;
    if constexpr (Textured) {
      a.sow += a.dsow;
      a.tow += a.dtow;
    }
    a.r += a.dr;
    a.g += a.dg;
    a.b += a.db;
  }
}

using SpanFunction = void (*)(State&, int, int, int, SpanSetup, const std::uint16_t*, bool);

SpanFunction ChooseSpan(bool textured, bool bilinear, bool depth) {
  if (textured) {
    if (bilinear) return depth ? DrawSpan<true, true, true> : DrawSpan<true, true, false>;
    return depth ? DrawSpan<true, false, true> : DrawSpan<true, false, false>;
  }
  return depth ? DrawSpan<false, false, true> : DrawSpan<false, false, false>;
}

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

}  // namespace

namespace glide_detail {

void RasterTriangle(const GrVertex* va, const GrVertex* vb, const GrVertex* vc, bool cullDone) {
  State& s = GetState();
  if (!s.open || s.clipMinX >= s.clipMaxX || s.clipMinY >= s.clipMaxY) return;

  const GrVertex* v[3] = {va, vb, vc};
  std::int64_t X[3], Y[3];
  for (int i = 0; i < 3; ++i) {
    X[i] = std::lrint(static_cast<double>(v[i]->x) * 16.0);
    Y[i] = std::lrint(static_cast<double>(v[i]->y) * 16.0);
  }
  // Twice the signed area; positive for a counter-clockwise triangle with y up.
  const std::int64_t area = (X[0] - X[1]) * (Y[1] - Y[2]) - (X[1] - X[2]) * (Y[0] - Y[1]);
  if (area == 0) return;
  if (!cullDone) {
    if (s.cull == GR_CULL_NEGATIVE && area < 0) return;
    if (s.cull == GR_CULL_POSITIVE && area > 0) return;
  }

  // Attribute planes from the snapped positions.
  const ColorSource color = ResolveCombine(s);
  const double xa = X[0] / 16.0, ya = Y[0] / 16.0;
  const double dx1 = (X[1] - X[0]) / 16.0, dy1 = (Y[1] - Y[0]) / 16.0;
  const double dx2 = (X[2] - X[0]) / 16.0, dy2 = (Y[2] - Y[0]) / 16.0;
  const double det = dx1 * dy2 - dx2 * dy1;
  auto plane = [&](double a0, double a1, double a2) {
    Plane p;
    p.base = a0;
    p.dx = ((a1 - a0) * dy2 - (a2 - a0) * dy1) / det;
    p.dy = ((a2 - a0) * dx1 - (a1 - a0) * dx2) / det;
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

  const bool depth = s.depthMode != GR_DEPTHBUFFER_DISABLE;
  const SpanFunction span = ChooseSpan(color.textured, s.bilinear, depth);
  const bool ditherOn = s.dither != GR_DITHER_DISABLE;

  // Sort by row: 0 lowest.
  int o[3] = {0, 1, 2};
  if (Y[o[1]] < Y[o[0]]) std::swap(o[0], o[1]);
  if (Y[o[2]] < Y[o[1]]) std::swap(o[1], o[2]);
  if (Y[o[1]] < Y[o[0]]) std::swap(o[0], o[1]);
  const std::int64_t x0 = X[o[0]], y0 = Y[o[0]], x1 = X[o[1]], y1 = Y[o[1]], x2 = X[o[2]],
                     y2 = Y[o[2]];
  if (y2 == y0) return;
  // Which side the middle vertex lies on, against the long edge 0-2.
  const bool middleRight = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0) > 0;

  const int rowBegin = static_cast<int>(std::max<std::int64_t>(CeilDiv(y0, 16), s.clipMinY));
  const int rowEnd = static_cast<int>(std::min<std::int64_t>(CeilDiv(y2, 16), s.clipMaxY));

  // Edge x at row centre y (in 1/16), as the first pixel column at or right of it.
  auto edgeColumn = [](std::int64_t ex0, std::int64_t ey0, std::int64_t ex1, std::int64_t ey1,
                       std::int64_t ys) {
    const std::int64_t dy = ey1 - ey0;
    // x = ex0 + (ys - ey0) (ex1 - ex0) / dy, in 1/16; the column is ceil(x / 16).
    return CeilDiv(ex0 * dy + (ys - ey0) * (ex1 - ex0), dy * 16);
  };

  for (int y = rowBegin; y < rowEnd; ++y) {
    const std::int64_t ys = static_cast<std::int64_t>(y) * 16;
    const std::int64_t longX = edgeColumn(x0, y0, x2, y2, ys);
    const std::int64_t shortX =
        ys < y1 ? edgeColumn(x0, y0, x1, y1, ys) : edgeColumn(x1, y1, x2, y2, ys);
    std::int64_t left = middleRight ? longX : shortX;
    std::int64_t right = middleRight ? shortX : longX;
    left = std::max<std::int64_t>(left, s.clipMinX);
    right = std::min<std::int64_t>(right, s.clipMaxX);
    if (left >= right) continue;

    const double px = static_cast<double>(left) - xa;
    const double py = static_cast<double>(y) - ya;
    SpanSetup a;
    a.oow = static_cast<float>(oow.base + oow.dx * px + oow.dy * py);
    a.doow = static_cast<float>(oow.dx);
    a.sow = static_cast<float>(sow.base + sow.dx * px + sow.dy * py);
    a.dsow = static_cast<float>(sow.dx);
    a.tow = static_cast<float>(tow.base + tow.dx * px + tow.dy * py);
    a.dtow = static_cast<float>(tow.dx);
    auto fixed = [](double value) {
      return static_cast<std::int32_t>(std::clamp(value, -16384.0, 16384.0) * 65536.0);
    };
    a.r = fixed(rgb[0].base + rgb[0].dx * px + rgb[0].dy * py);
    a.dr = fixed(rgb[0].dx);
    a.g = fixed(rgb[1].base + rgb[1].dx * px + rgb[1].dy * py);
    a.dg = fixed(rgb[1].dx);
    a.b = fixed(rgb[2].base + rgb[2].dx * px + rgb[2].dy * py);
    a.db = fixed(rgb[2].dx);
    static thread_local std::uint16_t ditherRow[4];
    for (int i = 0; i < 4; ++i) ditherRow[i] = static_cast<std::uint16_t>(((y & 3) << 2) | i);
    span(s, y, static_cast<int>(left), static_cast<int>(right), a, ditherRow, ditherOn);
  }
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
