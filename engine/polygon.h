// The triangle record the scene engine hands to its sink: eye-space vertices with
// lit colours and texel coordinates. The device layer collects and draws them.
#pragma once

#include <cstdint>

struct PolygonVertex {
  float x, y, z;  // eye space: z along the view direction, x right, y up
  float r, g, b;  // 0 to 255
  float s, t;     // texture coordinates in texels
};
static_assert(sizeof(PolygonVertex) == 32);

// Bits of the low byte of Polygon::flags.
enum : std::int32_t {
  polygonShadingMask = 0x07,  // 0 flat, 1-3 Gouraud; +4 textured
  polygonTextured = 0x04,
  polygonTwoSided = 0x10,
  polygonEmit = 0x80,  // the triangle is to be drawn
};

struct Polygon {
  static constexpr int maxVertices = 8;
  PolygonVertex vertices[maxVertices];  // the engine fills three; the rest is room
  std::int32_t flags;    // low byte: the face material's flags
  std::int32_t texture;  // the material's textureIndex
  std::int32_t count;    // filled vertex slots (0 to 8)
  float depth;           // mean z, written by the collector
};

// Receives each triangle; returns 0 to stop the current node's triangles.
// The engine reuses one Polygon for every face: the sink copies what it keeps.
using TriangleSink = int (*)(Polygon* polygon);
