// Geometry builders and scene helpers for the generated scenes.
#include "tools/mkcontent/scenekit.h"

#include <cmath>

namespace content {
namespace {

constexpr float pi = 3.14159265f;

// Four corners counter-clockwise seen from outside, with the texture mapped
// once over them.
void Quad(Geometry& g, Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3, float uScale, float vScale) {
  const int a = g.AddVertex(p0, 0, 0);
  const int b = g.AddVertex(p1, uScale, 0);
  const int c = g.AddVertex(p2, uScale, vScale);
  const int d = g.AddVertex(p3, 0, vScale);
  g.AddFace(a, b, c);
  g.AddFace(a, c, d);
}

scenewriter::Spline Spline(const Shape& shape, bool first, bool last) {
  scenewriter::Spline s;
  s.tension = shape.tension;
  s.continuity = shape.continuity;
  s.bias = shape.bias;
  if (first) s.easeFrom = shape.easeFirst;
  if (last) s.easeTo = shape.easeLast;
  return s;
}

}  // namespace

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Length(Vec3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
Vec3 Normalise(Vec3 a) {
  const float l = Length(a);
  return l > 0 ? a * (1.0f / l) : a;
}
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

int Geometry::AddVertex(Vec3 p, float u, float v) {
  vertices.push_back(p);
  uv.emplace_back(u, v);
  return static_cast<int>(vertices.size()) - 1;
}

void Geometry::AddFace(int a, int b, int c) {
  faces.push_back({static_cast<std::uint16_t>(a), static_cast<std::uint16_t>(b), static_cast<std::uint16_t>(c)});
}

void Geometry::Append(const Geometry& other) {
  const int base = static_cast<int>(vertices.size());
  vertices.insert(vertices.end(), other.vertices.begin(), other.vertices.end());
  uv.insert(uv.end(), other.uv.begin(), other.uv.end());
  for (const auto& f : other.faces) AddFace(f[0] + base, f[1] + base, f[2] + base);
}

void Geometry::Translate(Vec3 d) {
  for (Vec3& p : vertices) p = p + d;
}

Geometry At(Geometry g, Vec3 d) {
  g.Translate(d);
  return g;
}

void Geometry::ScaleBy(Vec3 s) {
  for (Vec3& p : vertices) p = {p.x * s.x, p.y * s.y, p.z * s.z};
}

void Geometry::RotateZ(float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  for (Vec3& p : vertices) p = {p.x * c - p.y * s, p.x * s + p.y * c, p.z};
}

void Geometry::RotateX(float angle) {
  const float c = std::cos(angle), s = std::sin(angle);
  for (Vec3& p : vertices) p = {p.x, p.y * c - p.z * s, p.y * s + p.z * c};
}

void Geometry::Flip() {
  for (auto& f : faces) std::swap(f[1], f[2]);
}

Geometry Box(Vec3 c, Vec3 h, float uvScale) {
  Geometry g;
  const float u = uvScale;
  // +z, -z
  Quad(g, c + V(-h.x, -h.y, h.z), c + V(h.x, -h.y, h.z), c + V(h.x, h.y, h.z), c + V(-h.x, h.y, h.z), u, u);
  Quad(g, c + V(-h.x, h.y, -h.z), c + V(h.x, h.y, -h.z), c + V(h.x, -h.y, -h.z), c + V(-h.x, -h.y, -h.z), u, u);
  // -y, +y
  Quad(g, c + V(-h.x, -h.y, -h.z), c + V(h.x, -h.y, -h.z), c + V(h.x, -h.y, h.z), c + V(-h.x, -h.y, h.z), u, u);
  Quad(g, c + V(h.x, h.y, -h.z), c + V(-h.x, h.y, -h.z), c + V(-h.x, h.y, h.z), c + V(h.x, h.y, h.z), u, u);
  // +x, -x
  Quad(g, c + V(h.x, -h.y, -h.z), c + V(h.x, h.y, -h.z), c + V(h.x, h.y, h.z), c + V(h.x, -h.y, h.z), u, u);
  Quad(g, c + V(-h.x, h.y, -h.z), c + V(-h.x, -h.y, -h.z), c + V(-h.x, -h.y, h.z), c + V(-h.x, h.y, h.z), u, u);
  return g;
}

Geometry Cylinder(Vec3 base, float rb, float rt, float height, int sides, bool caps, float uTiles, float vTiles) {
  Geometry g;
  const bool cone = rt <= 0.0f;
  std::vector<int> bottom, top;
  for (int k = 0; k <= sides; ++k) {
    const float t = 2.0f * pi * static_cast<float>(k) / static_cast<float>(sides);
    const float u = uTiles * static_cast<float>(k) / static_cast<float>(sides);
    bottom.push_back(g.AddVertex(base + V(rb * std::cos(t), rb * std::sin(t), 0), u, vTiles));
    if (!cone) top.push_back(g.AddVertex(base + V(rt * std::cos(t), rt * std::sin(t), height), u, 0));
  }
  for (int k = 0; k < sides; ++k) {
    if (cone) {
      // One apex per side keeps the texture seam clean and no face degenerate.
      const float u = uTiles * (static_cast<float>(k) + 0.5f) / static_cast<float>(sides);
      const int apex = g.AddVertex(base + V(0, 0, height), u, 0);
      g.AddFace(bottom[k], bottom[k + 1], apex);
    } else {
      g.AddFace(bottom[k], bottom[k + 1], top[k + 1]);
      g.AddFace(bottom[k], top[k + 1], top[k]);
    }
  }
  if (caps) {
    const int cb = g.AddVertex(base, 0.5f, 0.5f);
    std::vector<int> rim;
    for (int k = 0; k <= sides; ++k) {
      const float t = 2.0f * pi * static_cast<float>(k) / static_cast<float>(sides);
      rim.push_back(g.AddVertex(base + V(rb * std::cos(t), rb * std::sin(t), 0), 0.5f + 0.5f * std::cos(t),
                                0.5f + 0.5f * std::sin(t)));
    }
    for (int k = 0; k < sides; ++k) g.AddFace(cb, rim[k + 1], rim[k]);
    if (!cone) {
      const int ct = g.AddVertex(base + V(0, 0, height), 0.5f, 0.5f);
      std::vector<int> rimTop;
      for (int k = 0; k <= sides; ++k) {
        const float t = 2.0f * pi * static_cast<float>(k) / static_cast<float>(sides);
        rimTop.push_back(g.AddVertex(base + V(rt * std::cos(t), rt * std::sin(t), height), 0.5f + 0.5f * std::cos(t),
                                     0.5f + 0.5f * std::sin(t)));
      }
      for (int k = 0; k < sides; ++k) g.AddFace(ct, rimTop[k], rimTop[k + 1]);
    }
  }
  return g;
}

Geometry Ellipsoid(Vec3 c, Vec3 r, int slices, int stacks) {
  Geometry g;
  // Ring j = 0 is the north pole, ring `stacks` the south pole.
  for (int j = 0; j <= stacks; ++j) {
    const float phi = pi * static_cast<float>(j) / static_cast<float>(stacks);
    for (int k = 0; k <= slices; ++k) {
      const float t = 2.0f * pi * static_cast<float>(k) / static_cast<float>(slices);
      g.AddVertex(c + V(r.x * std::sin(phi) * std::cos(t), r.y * std::sin(phi) * std::sin(t), r.z * std::cos(phi)),
                  static_cast<float>(k) / static_cast<float>(slices), static_cast<float>(j) / static_cast<float>(stacks));
    }
  }
  for (int j = 0; j < stacks; ++j) {
    for (int k = 0; k < slices; ++k) {
      const int upper = j * (slices + 1) + k, lower = upper + slices + 1;
      // The pole rows have one zero-area triangle per quad: leave it out.
      if (j + 1 < stacks) g.AddFace(lower, lower + 1, upper + 1);
      if (j > 0) g.AddFace(lower, upper + 1, upper);
    }
  }
  return g;
}

Geometry Sphere(Vec3 centre, float radius, int slices, int stacks, float uTiles) {
  Geometry g = Ellipsoid(centre, V(radius, radius, radius), slices, stacks);
  for (auto& t : g.uv) t.first *= uTiles;
  return g;
}

Geometry Torus(Vec3 c, float major, float minor, int segments, int sides) {
  Geometry g;
  for (int i = 0; i <= segments; ++i) {
    const float t = 2.0f * pi * static_cast<float>(i) / static_cast<float>(segments);
    for (int j = 0; j <= sides; ++j) {
      const float p = 2.0f * pi * static_cast<float>(j) / static_cast<float>(sides);
      const float rr = major + minor * std::cos(p);
      g.AddVertex(c + V(rr * std::cos(t), rr * std::sin(t), minor * std::sin(p)),
                  4.0f * static_cast<float>(i) / static_cast<float>(segments), static_cast<float>(j) / static_cast<float>(sides));
    }
  }
  for (int i = 0; i < segments; ++i) {
    for (int j = 0; j < sides; ++j) {
      const int a = i * (sides + 1) + j, b = a + sides + 1, cc = a + 1, d = b + 1;
      g.AddFace(a, b, d);
      g.AddFace(a, d, cc);
    }
  }
  return g;
}

Geometry Annulus(Vec3 c, float inner, float outer, int segments) {
  Geometry g;
  for (int k = 0; k <= segments; ++k) {
    const float t = 2.0f * pi * static_cast<float>(k) / static_cast<float>(segments);
    const float v = static_cast<float>(k) / static_cast<float>(segments) * 4.0f;
    g.AddVertex(c + V(inner * std::cos(t), inner * std::sin(t), 0), 0.0f, v);
    g.AddVertex(c + V(outer * std::cos(t), outer * std::sin(t), 0), 0.999f, v);
  }
  for (int k = 0; k < segments; ++k) {
    const int a = 2 * k, b = a + 1, cc = a + 2, d = a + 3;
    g.AddFace(a, b, d);
    g.AddFace(a, d, cc);
  }
  return g;
}

Geometry Dome(Vec3 c, float radius, int slices, int stacks, float rimAngle, float uTiles, float vSpan) {
  Geometry g;
  for (int j = 0; j <= stacks; ++j) {
    const float phi = rimAngle * static_cast<float>(j) / static_cast<float>(stacks);
    for (int k = 0; k <= slices; ++k) {
      const float t = 2.0f * pi * static_cast<float>(k) / static_cast<float>(slices);
      // Texture rows stay inside the picture (no wrap into the zenith row).
      const float v = vSpan * (0.004f + 0.99f * static_cast<float>(j) / static_cast<float>(stacks));
      g.AddVertex(c + V(radius * std::sin(phi) * std::cos(t), radius * std::sin(phi) * std::sin(t), radius * std::cos(phi)),
                  uTiles * static_cast<float>(k) / static_cast<float>(slices), v);
    }
  }
  for (int j = 0; j < stacks; ++j) {
    for (int k = 0; k < slices; ++k) {
      const int upper = j * (slices + 1) + k, lower = upper + slices + 1;
      // Wound to face inwards.
      g.AddFace(lower, upper + 1, lower + 1);
      if (j > 0) g.AddFace(lower, upper, upper + 1);
    }
  }
  return g;
}

Geometry GableRoof(Vec3 c, float hx, float hy, float z0, float rise, float o) {
  Geometry g;
  const float x0 = c.x - hx - o, x1 = c.x + hx + o, ys = c.y - hy - o, yn = c.y + hy + o;
  const float zt = z0 + rise;
  Quad(g, V(x0, ys, z0), V(x1, ys, z0), V(x1, c.y, zt), V(x0, c.y, zt), 2.0f, 1.0f);
  Quad(g, V(x1, yn, z0), V(x0, yn, z0), V(x0, c.y, zt), V(x1, c.y, zt), 2.0f, 1.0f);
  const int a = g.AddVertex(V(c.x - hx, c.y + hy, z0), 0, 1), b = g.AddVertex(V(c.x - hx, c.y - hy, z0), 1, 1),
            t = g.AddVertex(V(c.x - hx, c.y, zt), 0.5f, 0);
  g.AddFace(a, b, t);
  const int d = g.AddVertex(V(c.x + hx, c.y - hy, z0), 0, 1), e = g.AddVertex(V(c.x + hx, c.y + hy, z0), 1, 1),
            f = g.AddVertex(V(c.x + hx, c.y, zt), 0.5f, 0);
  g.AddFace(d, e, f);
  return g;
}

Geometry Crystal(Vec3 c, float radius, float height) {
  Geometry g;
  for (int k = 0; k < 6; ++k) {
    const float t0 = 2.0f * pi * static_cast<float>(k) / 6.0f, t1 = 2.0f * pi * static_cast<float>(k + 1) / 6.0f;
    const Vec3 e0 = c + V(radius * std::cos(t0), radius * std::sin(t0), 0);
    const Vec3 e1 = c + V(radius * std::cos(t1), radius * std::sin(t1), 0);
    const int a = g.AddVertex(e0, 0, 0.5f), b = g.AddVertex(e1, 1, 0.5f), top = g.AddVertex(c + V(0, 0, height), 0.5f, 0);
    g.AddFace(a, b, top);
    const int a2 = g.AddVertex(e0, 0, 0.5f), b2 = g.AddVertex(e1, 1, 0.5f), bot = g.AddVertex(c + V(0, 0, -height), 0.5f, 1);
    g.AddFace(b2, a2, bot);
  }
  return g;
}

void AddMaterial(scenewriter::Scene& scene, const MaterialDesc& desc) {
  scenewriter::Material m;
  m.name = desc.name;
  m.ambient = scenewriter::Colour{desc.ambient.r, desc.ambient.g, desc.ambient.b, true};
  m.diffuse = scenewriter::Colour{desc.diffuse.r, desc.diffuse.g, desc.diffuse.b, true};
  m.specular = scenewriter::Colour{255, 255, 255, true};
  m.shading = static_cast<std::uint16_t>(desc.shading);
  m.twoSided = desc.twoSided;
  if (desc.selfIllum != 0) m.selfIllumination = static_cast<std::int16_t>(desc.selfIllum);
  if (!desc.texture.empty()) {
    scenewriter::TextureMap map;
    map.file = desc.texture;
    m.texture = map;
  }
  scene.materials.push_back(m);
}

scenewriter::Track<scenewriter::VectorKey> VectorTrack(const std::vector<PathPoint>& points, Shape shape) {
  scenewriter::Track<scenewriter::VectorKey> track;
  for (std::size_t i = 0; i < points.size(); ++i) {
    scenewriter::VectorKey k;
    k.frame = points[i].frame;
    k.value = points[i].p;
    k.spline = Spline(shape, i == 0, i + 1 == points.size());
    track.keys.push_back(k);
  }
  return track;
}

scenewriter::Track<scenewriter::VectorKey> Constant(Vec3 v) { return VectorTrack({{0, v}}); }

scenewriter::Track<scenewriter::ScalarKey> ScalarTrack(const std::vector<std::pair<int, float>>& points, Shape shape) {
  scenewriter::Track<scenewriter::ScalarKey> track;
  for (std::size_t i = 0; i < points.size(); ++i) {
    scenewriter::ScalarKey k;
    k.frame = points[i].first;
    k.value = points[i].second;
    k.spline = Spline(shape, i == 0, i + 1 == points.size());
    track.keys.push_back(k);
  }
  return track;
}

scenewriter::Track<scenewriter::RotationKey> Spin(Vec3 axis, float totalAngle, int first, int last, float step) {
  scenewriter::Track<scenewriter::RotationKey> track;
  const int steps = std::max(1, static_cast<int>(std::ceil(std::fabs(totalAngle) / step)));
  scenewriter::RotationKey k0;
  k0.frame = first;
  k0.angle = 0;
  k0.axis = axis;
  track.keys.push_back(k0);
  for (int i = 1; i <= steps; ++i) {
    scenewriter::RotationKey k;
    k.frame = first + (last - first) * i / steps;
    k.angle = totalAngle / static_cast<float>(steps);
    k.axis = axis;
    track.keys.push_back(k);
  }
  return track;
}

scenewriter::Track<scenewriter::HideKey> Toggles(const std::vector<int>& frames) {
  scenewriter::Track<scenewriter::HideKey> track;
  for (int f : frames) track.keys.push_back({f});
  return track;
}

Vec3 ChildOffset(Vec3 o) { return V(o.x, -o.z, o.y); }

scenewriter::Track<scenewriter::VectorKey> MeshScale(float s) { return Constant(V(s, -s, -s)); }

scenewriter::Track<scenewriter::VectorKey> MeshScaleTrack(const std::vector<std::pair<int, float>>& points,
                                                          Shape shape) {
  std::vector<PathPoint> p;
  for (const auto& [f, s] : points) p.push_back({f, V(s, -s, -s)});
  return VectorTrack(p, shape);
}

scenewriter::Node& AddObjectGroups(scenewriter::Scene& scene, const std::string& name, const Geometry& geometry,
                                   const std::vector<std::pair<std::string, std::vector<std::uint16_t>>>& groups,
                                   Vec3 place, int hierarchy, Vec3 parentPlace) {
  scenewriter::Mesh mesh;
  mesh.name = name;
  for (const Vec3& p : geometry.vertices) {
    const Vec3 d = p - place;
    mesh.vertices.push_back(V(d.x, -d.y, -d.z));  // half a turn about x, undone by the node's scale
  }
  // The engine negates v when it reads it and then measures both coordinates in
  // texels of the texture's width, so v here counts 256-texel steps down the
  // picture from its top row.
  for (const auto& [u, v] : geometry.uv) mesh.texCoords.emplace_back(u, -v);
  for (const auto& f : geometry.faces) mesh.faces.push_back({f[0], f[1], f[2], 7});
  for (const auto& [material, faces] : groups) mesh.groups.push_back({material, faces});
  scene.meshes.push_back(std::move(mesh));

  scenewriter::Node node;
  node.kind = scenewriter::NodeKind::mesh;
  node.name = name;
  node.hierarchy = static_cast<std::int16_t>(hierarchy);
  node.position = Constant(hierarchy < 0 ? place : ChildOffset(place - parentPlace));
  node.rotation = Spin(V(0, 0, 1), 0.0f, 0, 0);
  node.rotation->keys.resize(1);
  node.scale = MeshScale(1.0f);
  scene.keyframer->nodes.push_back(std::move(node));
  return scene.keyframer->nodes.back();
}

scenewriter::Node& AddObject(scenewriter::Scene& scene, const std::string& name, const Geometry& geometry,
                             const std::string& material, Vec3 place, int hierarchy, Vec3 parentPlace) {
  std::vector<std::uint16_t> all(geometry.faces.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint16_t>(i);
  return AddObjectGroups(scene, name, geometry, {{material, all}}, place, hierarchy, parentPlace);
}

void AddCamera(scenewriter::Scene& scene, const std::string& name, const std::vector<PathPoint>& eye,
               const std::vector<PathPoint>& target, const std::vector<std::pair<int, float>>& fov, Shape eyeShape,
               Shape targetShape, const std::vector<std::pair<int, float>>& roll) {
  scenewriter::Camera camera;
  camera.name = name;
  camera.position = eye.front().p;
  camera.target = target.front().p;
  camera.ranges = std::make_pair(1.0f, 20000.0f);
  scene.cameras.push_back(camera);

  scenewriter::Node node;
  node.kind = scenewriter::NodeKind::camera;
  node.name = name;
  node.position = VectorTrack(eye, eyeShape);
  node.fieldOfView = ScalarTrack(fov);
  node.roll = ScalarTrack(roll.empty() ? std::vector<std::pair<int, float>>{{0, 0.0f}} : roll);
  scene.keyframer->nodes.push_back(node);

  scenewriter::Node targetNode;
  targetNode.kind = scenewriter::NodeKind::cameraTarget;
  targetNode.name = name;
  targetNode.position = VectorTrack(target, targetShape);
  scene.keyframer->nodes.push_back(targetNode);
}

void AddLight(scenewriter::Scene& scene, const std::string& name, const std::vector<PathPoint>& colour, Shape shape) {
  scenewriter::Light light;
  light.name = name;
  light.colour = scenewriter::Colour{colour.front().p.x, colour.front().p.y, colour.front().p.z, false};
  scene.lights.push_back(light);

  scenewriter::Node node;
  node.kind = scenewriter::NodeKind::light;
  node.name = name;
  node.position = Constant(V(0, 0, 0));
  node.colour = VectorTrack(colour, shape);
  scene.keyframer->nodes.push_back(node);
}

scenewriter::Scene NewScene(const std::string& fileName, int frameCount) {
  scenewriter::Scene scene;
  scene.keyframer = scenewriter::Keyframer{};
  scene.keyframer->fileName = fileName;
  scene.keyframer->frameCount = static_cast<std::uint32_t>(frameCount);
  return scene;
}

std::size_t TriangleCount(const scenewriter::Scene& scene) {
  std::size_t n = 0;
  for (const auto& m : scene.meshes) n += m.faces.size();
  return n;
}

}  // namespace content
