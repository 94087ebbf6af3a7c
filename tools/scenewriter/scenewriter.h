// Writes 3D Studio scene files: build a scene description in memory, then turn it
// into chunk bytes. Covers what the engine reads: meshes with texture coordinates,
// local axes and material groups, materials with colours, shading and texture
// maps, lights, cameras, and the keyframer with every track kind and spline
// parameters. ChunkWriter underneath writes any chunk, well-formed or not.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace scenewriter {

// Low-level chunk building: Begin a chunk, write its fields and sub-chunks, End
// it (its length is patched in). Lengths can be forced for malformed files.
class ChunkWriter {
public:
  void Begin(std::uint16_t id);
  void End();
  void U8(std::uint8_t v);
  void U16(std::uint16_t v);
  void I16(std::int16_t v) { U16(static_cast<std::uint16_t>(v)); }
  void U32(std::uint32_t v);
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void F32(float v);
  void Vec(float x, float y, float z);
  void Str(const std::string& s);  // with its NUL
  void Raw(const std::vector<std::uint8_t>& bytes);
  // A whole chunk with the given data and, when given, a stored length that
  // differs from the real one.
  void Chunk(std::uint16_t id, const std::vector<std::uint8_t>& data,
             std::optional<std::uint32_t> storedLength = std::nullopt);

  const std::vector<std::uint8_t>& Bytes() const { return bytes; }
  std::vector<std::uint8_t> Take() { return std::move(bytes); }

private:
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> open;
};

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

struct Colour {
  float r = 0, g = 0, b = 0;   // 0 to 1 when written as floats, 0 to 255 as bytes
  bool asBytes = false;        // write chunk 0x0011 (bytes) instead of 0x0010 (floats)
};

struct Face {
  std::uint16_t a = 0, b = 0, c = 0;
  std::uint16_t flags = 7;  // edge visibility bits, as editors write them
};

struct MaterialGroup {
  std::string material;
  std::vector<std::uint16_t> faces;  // written as 16-bit values
};

struct Axes {
  Vec3 x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  Vec3 origin;
};

struct Mesh {
  std::string name;
  std::vector<Vec3> vertices;
  std::vector<std::pair<float, float>> texCoords;  // (u, v); written only when not empty
  std::optional<Axes> axes;
  std::vector<Face> faces;
  std::vector<MaterialGroup> groups;
  bool smoothingGroups = false;  // writes a 0x4150 chunk with one group per face
};

struct TextureMap {
  std::string file;
  std::int16_t percentage = 100;
  std::optional<float> uScale, vScale;
};

struct Material {
  std::string name;
  std::optional<Colour> ambient, diffuse, specular;
  std::optional<std::uint16_t> shading;          // 1 flat, 2 Gouraud, 3 Phong, 4 metal
  bool twoSided = false;
  std::optional<std::int16_t> selfIllumination;  // percent
  std::optional<TextureMap> texture;
  std::optional<TextureMap> bumpMap;             // read and dropped by the engine
};

struct Light {
  std::string name;
  Vec3 position;
  std::optional<Colour> colour;
  bool spot = false;
  Vec3 spotTarget;
  float hotspot = 30, falloff = 45;
  bool off = false;
};

struct Camera {
  std::string name;
  Vec3 position, target;
  float bank = 0, lens = 50;
  std::optional<std::pair<float, float>> ranges;  // near, far
};

// Spline parameters of a key. Non-zero fields are written with their flag bits;
// `unknown` adds floats under bits 5 to 15 that readers skip.
struct Spline {
  float tension = 0, continuity = 0, bias = 0, easeTo = 0, easeFrom = 0;
  std::vector<std::pair<int, float>> unknown;  // (bit, value)
};

struct ScalarKey {
  std::int32_t frame = 0;
  float value = 0;
  Spline spline;
};
struct VectorKey {
  std::int32_t frame = 0;
  Vec3 value;
  Spline spline;
};
struct RotationKey {
  std::int32_t frame = 0;
  float angle = 0;  // radians, relative to the previous key
  Vec3 axis{0, 0, 1};
  Spline spline;
};
struct MorphKey {
  std::int32_t frame = 0;
  std::string target;
  Spline spline;
};
struct HideKey {
  std::int32_t frame = 0;
};

template <class K>
struct Track {
  std::uint16_t flags = 0;  // bits 0-1: 2 repeats, 3 loops
  std::vector<K> keys;
};

enum class NodeKind : std::uint16_t {
  mesh = 0xB002,
  camera = 0xB003,
  cameraTarget = 0xB004,
  light = 0xB005,
  lightTarget = 0xB006,
  spotlight = 0xB007,
};

struct Node {
  NodeKind kind = NodeKind::mesh;
  std::string name;
  std::int16_t hierarchy = -1;  // -1: a root; otherwise the depth below the last root
  std::uint16_t flags1 = 0, flags2 = 0;
  std::optional<Vec3> pivot;
  std::optional<std::string> instance;
  std::optional<std::int16_t> id;
  std::optional<Track<VectorKey>> position, scale, colour;
  std::optional<Track<RotationKey>> rotation;
  std::optional<Track<ScalarKey>> fieldOfView, roll, hotspot, falloff;
  std::optional<Track<MorphKey>> morph;
  std::optional<Track<HideKey>> hide;
};

struct Keyframer {
  std::uint16_t revision = 5;
  std::string fileName = "scene";
  std::uint32_t frameCount = 100;  // stored as 32 bits; readers take the low 16
  std::vector<Node> nodes;
};

struct Scene {
  std::uint32_t version = 3;
  std::vector<Material> materials;
  std::vector<Mesh> meshes;
  std::vector<Light> lights;
  std::vector<Camera> cameras;
  std::optional<Keyframer> keyframer;
};

// The whole file: main chunk, version, editor section (materials, then mesh,
// light and camera objects), keyframer section.
std::vector<std::uint8_t> Write(const Scene& scene);

// Pieces of Write, for building unusual files by hand.
void WriteMaterial(ChunkWriter& w, const Material& material);
void WriteMesh(ChunkWriter& w, const Mesh& mesh);
void WriteLight(ChunkWriter& w, const Light& light);
void WriteCamera(ChunkWriter& w, const Camera& camera);
void WriteKeyframer(ChunkWriter& w, const Keyframer& keyframer);
void WriteNode(ChunkWriter& w, const Node& node);

// Writes bytes to a file; false when it cannot.
bool SaveFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace scenewriter
