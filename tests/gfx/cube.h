// Closed meshes as a 3D Studio file holds them (right-handed, z up, faces
// counter-clockwise seen from outside) and the scene engine's camera mapping into
// eye space, so drawing tests see triangles exactly as the engine hands them over.
#pragma once

#include <array>
#include <cmath>
#include <vector>

#include "engine/polygon.h"

struct Vec3 {
  double x, y, z;
};

inline Vec3 Sub(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline Vec3 Normalise(Vec3 a) {
  const double l = std::sqrt(Dot(a, a));
  return {a.x / l, a.y / l, a.z / l};
}

// Camera at eye looking at target: x = p.Sd, y = p.V, z = p.F with F the view
// direction, Sd = (0, 0, -1) x F and V = Sd x F, as the engine builds it.
struct Camera {
  Vec3 eye, sd, v, f;
  Camera(Vec3 e, Vec3 target) : eye(e) {
    f = Normalise(Sub(target, e));
    sd = Normalise(Vec3{f.y, -f.x, 0});
    v = Normalise(Cross(sd, f));
  }
  Vec3 ToEye(Vec3 p) const {
    const Vec3 d = Sub(p, eye);
    return {Dot(d, sd), Dot(d, v), Dot(d, f)};
  }
};

struct Triangle {
  std::array<Vec3, 3> corners;
  std::array<double, 6> st;  // s, t per corner
};

// Twelve triangles of an axis-aligned cube, counter-clockwise seen from outside.
inline std::vector<Triangle> CubeTriangles(Vec3 c, double h) {
  const Vec3 p[8] = {{c.x - h, c.y - h, c.z - h}, {c.x + h, c.y - h, c.z - h}, {c.x + h, c.y + h, c.z - h},
                     {c.x - h, c.y + h, c.z - h}, {c.x - h, c.y - h, c.z + h}, {c.x + h, c.y - h, c.z + h},
                     {c.x + h, c.y + h, c.z + h}, {c.x - h, c.y + h, c.z + h}};
  // Each face as a quad a b c d, counter-clockwise from outside.
  const int quads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {3, 0, 4, 7}};
  std::vector<Triangle> out;
  for (const auto& q : quads) {
    out.push_back({{p[q[0]], p[q[1]], p[q[2]]}, {0, 0, 1, 0, 1, 1}});
    out.push_back({{p[q[0]], p[q[2]], p[q[3]]}, {0, 0, 1, 1, 0, 1}});
  }
  return out;
}

inline Polygon MakePolygon(const Camera& camera, const Triangle& t, int flags, float r, float g, float b,
                           double textureScale = 256) {
  Polygon p{};
  p.flags = flags;
  p.count = 3;
  p.texture = 0;
  for (int i = 0; i < 3; ++i) {
    const Vec3 e = camera.ToEye(t.corners[static_cast<std::size_t>(i)]);
    p.vertices[i] = {static_cast<float>(e.x), static_cast<float>(e.y), static_cast<float>(e.z), r, g, b,
                     static_cast<float>(t.st[static_cast<std::size_t>(2 * i)] * textureScale),
                     static_cast<float>(t.st[static_cast<std::size_t>(2 * i + 1)] * textureScale)};
  }
  return p;
}
