// Building blocks for the generated scenes: world-space geometry (grids,
// boxes, prisms, spheres, tori, domes) and helpers that turn it into meshes,
// materials, lights, cameras and keyframer nodes of a scenewriter::Scene.
//
// Meshes are placed by their nodes: vertices are stored around the node's
// position and the node carries a position, rotation and scale track. The
// engine lights every face as if the light sat at the eye and compares it with
// the mesh-space normal, so a mesh-space normal pointing down its -z axis faces
// the light. Meshes are therefore stored turned half a turn about x (y and z
// negated) and their nodes scale by (s, -s, -s), which turns them back: the
// picture is unchanged, and surfaces facing up in the world are the lit ones,
// like daylight from above.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/scenewriter/scenewriter.h"

namespace content {

using scenewriter::Vec3;

inline Vec3 V(float x, float y, float z) { return Vec3{x, y, z}; }
Vec3 operator+(Vec3 a, Vec3 b);
Vec3 operator-(Vec3 a, Vec3 b);
Vec3 operator*(Vec3 a, float s);
float Length(Vec3 a);
Vec3 Normalise(Vec3 a);
Vec3 Cross(Vec3 a, Vec3 b);

// Triangles in world space, counter-clockwise seen from outside (the 3D Studio
// front face), with one texture coordinate pair per vertex: u across the
// picture (1 = its width), v down from its top row in steps of 256 texels.
struct Geometry {
  std::vector<Vec3> vertices;
  std::vector<std::pair<float, float>> uv;
  std::vector<std::array<std::uint16_t, 3>> faces;

  int AddVertex(Vec3 p, float u = 0, float v = 0);
  void AddFace(int a, int b, int c);
  void Append(const Geometry& other);
  // Moves every vertex.
  void Translate(Vec3 d);
  void ScaleBy(Vec3 s);
  // Turns every vertex about the z axis by angle radians.
  void RotateZ(float angle);
  void RotateX(float angle);
  // Swaps the winding of every face (outside becomes inside).
  void Flip();
};

// The geometry moved by d (for shapes built around the origin and placed
// elsewhere).
Geometry At(Geometry g, Vec3 d);

// Height field over [x0, x1] x [y0, y1] with nx x ny cells; uv repeats `tiles`
// times across.
template <class Height>
Geometry Grid(float x0, float y0, float x1, float y1, int nx, int ny, float tiles, Height height) {
  Geometry g;
  for (int j = 0; j <= ny; ++j) {
    for (int i = 0; i <= nx; ++i) {
      const float x = x0 + (x1 - x0) * static_cast<float>(i) / static_cast<float>(nx);
      const float y = y0 + (y1 - y0) * static_cast<float>(j) / static_cast<float>(ny);
      g.AddVertex(V(x, y, height(x, y)), tiles * static_cast<float>(i) / static_cast<float>(nx),
                  tiles * static_cast<float>(j) / static_cast<float>(ny));
    }
  }
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      const int a = j * (nx + 1) + i, b = a + 1, c = a + nx + 1, d = c + 1;
      g.AddFace(a, b, d);
      g.AddFace(a, d, c);
    }
  }
  return g;
}

// Axis-aligned box from its centre and half sizes, separate corners per side
// (sharp edges), each side mapped once by uv (scaled by uvScale).
Geometry Box(Vec3 centre, Vec3 half, float uvScale = 1.0f);
// Prism or cylinder standing on z = z0 up to z1, `sides` around, radii at the
// bottom and the top (a top radius of 0 makes a cone); capped ends optional.
Geometry Cylinder(Vec3 base, float radiusBottom, float radiusTop, float height, int sides, bool caps,
                  float uTiles = 1.0f, float vTiles = 1.0f);
Geometry Sphere(Vec3 centre, float radius, int slices, int stacks, float uTiles = 1.0f);
// Ellipsoid: a sphere scaled per axis.
Geometry Ellipsoid(Vec3 centre, Vec3 radii, int slices, int stacks);
// Torus around the z axis.
Geometry Torus(Vec3 centre, float major, float minor, int segments, int sides);
// Flat ring in the z = 0 plane around the centre; u runs across the ring, v around.
Geometry Annulus(Vec3 centre, float inner, float outer, int segments);
// Dome over the centre, seen from inside; u around (tiles), v from the zenith
// (0) down to the rim (vSpan at `rimAngle` radians below the zenith; 0.5 spans
// a 256 x 128 picture once).
Geometry Dome(Vec3 centre, float radius, int slices, int stacks, float rimAngle, float uTiles, float vSpan);
// Gable roof over a rectangle: ridge along x, eaves at z0, ridge at z0 + rise.
Geometry GableRoof(Vec3 centre, float halfX, float halfY, float z0, float rise, float overhang);
// Octahedron (a crystal) around the centre.
Geometry Crystal(Vec3 centre, float radius, float height);

// Colours on the 0 to 255 scale.
struct Tint {
  float r, g, b;
};

struct MaterialDesc {
  std::string name;
  Tint diffuse{200, 200, 200};
  Tint ambient{60, 60, 60};
  int shading = 2;        // 1 flat, 2 smooth
  bool twoSided = false;
  int selfIllum = 0;      // percent
  std::string texture;    // base name of a texture, empty for none
};

void AddMaterial(scenewriter::Scene& scene, const MaterialDesc& desc);

// Spline shape of the keys a helper writes.
struct Shape {
  float tension = 0, continuity = 0, bias = 0;
  float easeFirst = 0;  // ease from on the first key
  float easeLast = 0;   // ease to on the last key
};

struct PathPoint {
  int frame;
  Vec3 p;
};

scenewriter::Track<scenewriter::VectorKey> VectorTrack(const std::vector<PathPoint>& points, Shape shape = {});
scenewriter::Track<scenewriter::VectorKey> Constant(Vec3 v);
scenewriter::Track<scenewriter::ScalarKey> ScalarTrack(const std::vector<std::pair<int, float>>& points,
                                                       Shape shape = {});
// Turns about one axis: total angle (radians) reached over [first, last],
// split into steps of at most `step` radians so the spline stays even.
scenewriter::Track<scenewriter::RotationKey> Spin(Vec3 axis, float totalAngle, int first, int last,
                                                  float step = 1.5f);
// Visibility changes at the given frames; the node starts visible, a key at 0
// hides it from the start.
scenewriter::Track<scenewriter::HideKey> Toggles(const std::vector<int>& frames);

// A mesh and its node. Vertices are stored relative to `place` (turned as the
// header describes); the node stands at `place` unless a position track is
// given afterwards. Returns the node for further tracks (valid until the next
// node is added). For a child
// (hierarchy 1 under the last root, 2 under its last child) the node stands at
// place - parentPlace in its parent's frame.
scenewriter::Node& AddObject(scenewriter::Scene& scene, const std::string& name, const Geometry& geometry,
                             const std::string& material, Vec3 place, int hierarchy = -1,
                             Vec3 parentPlace = Vec3{});
// Same, with the faces split between materials: (material, face numbers).
scenewriter::Node& AddObjectGroups(scenewriter::Scene& scene, const std::string& name, const Geometry& geometry,
                                   const std::vector<std::pair<std::string, std::vector<std::uint16_t>>>& groups,
                                   Vec3 place, int hierarchy = -1, Vec3 parentPlace = Vec3{});

// Position track value for a child node: the engine stores a child's key
// (x, y, z) as (x, z, -y), so the offset is written the other way round.
Vec3 ChildOffset(Vec3 offset);
// Scale track keeping the half turn of stored meshes.
scenewriter::Track<scenewriter::VectorKey> MeshScale(float s);
scenewriter::Track<scenewriter::VectorKey> MeshScaleTrack(const std::vector<std::pair<int, float>>& points,
                                                          Shape shape = {});

// A camera with its node and target node; field of view in degrees.
void AddCamera(scenewriter::Scene& scene, const std::string& name, const std::vector<PathPoint>& eye,
               const std::vector<PathPoint>& target, const std::vector<std::pair<int, float>>& fov,
               Shape eyeShape = {}, Shape targetShape = {},
               const std::vector<std::pair<int, float>>& roll = {});
// A light at the origin whose colour (0 to 1 per channel) follows the keys.
void AddLight(scenewriter::Scene& scene, const std::string& name, const std::vector<PathPoint>& colour,
              Shape shape = {});

// A fresh scene with its keyframer header.
scenewriter::Scene NewScene(const std::string& fileName, int frameCount);

// Number of triangles the scene's meshes hold.
std::size_t TriangleCount(const scenewriter::Scene& scene);

}  // namespace content
