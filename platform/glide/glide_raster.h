// What the parts of the rasterizer share: a triangle after set-up (edges, attribute
// planes and the render state it was drawn with) and the span implementations to
// draw its rows with.
#pragma once

#include <cstdint>

#include "platform/glide/glide.h"
#include "platform/glide/glide_internal.h"

namespace glide_detail {

// A plane a(x, y) = base + dx * (x - x0) + dy * (y - y0) over the triangle.
struct Plane {
  double base = 0, dx = 0, dy = 0;
};

// Depth handling of a span: none, the frame's "less" with writes, or any other
// compare function and mask.
enum DepthKind : std::uint8_t { depthNone, depthLessWrite, depthGeneric };

// The render state a triangle's pixels need, taken when it was drawn, so that it
// can be drawn later on another thread.
struct RasterTarget {
  std::uint16_t* color = nullptr;  // rows of bufferStride pixels
  std::uint16_t* depth = nullptr;  // rows of bufferStride W-buffer values
  BoundTexture texture;
  GrCmpFnc_t depthFunction = GR_CMP_LESS;
  bool depthMask = true;
  bool ditherOn = true;
  int clipMinX = 0, clipMaxX = 0;
};

// One triangle ready for its rows: vertices in 1/16 pixel sorted by row, the rows
// it covers within the clip window, and its attribute planes.
struct TriangleSetup {
  std::int64_t x0, y0, x1, y1, x2, y2;
  bool middleRight;  // the middle vertex lies right of the long edge 0-2
  bool textured, bilinear;
  DepthKind depth;
  int rowBegin, rowMiddle, rowEnd;
  double xa, ya;  // origin of the planes
  Plane oow, sow, tow, rgb[3];
  RasterTarget target;
};

// Draws the triangle's rows in [rowFrom, rowTo) (clamped to its own rows).
using RowsFunction = void (*)(const TriangleSetup& t, int rowFrom, int rowTo);

// Span implementations: the SSE2 one (the reference, as every x86-64 has it) and
// the AVX2 one, chosen at run time. Both give the same pixels.
enum class SpanPath { sse2, avx2 };
RowsFunction ChooseRowsSse2(bool textured, bool bilinear, DepthKind depth);
RowsFunction ChooseRowsAvx2(bool textured, bool bilinear, DepthKind depth);
bool CpuHasAvx2();

}  // namespace glide_detail
