// The 3D Studio reader: main chunk and 3D editor section. Every count and length
// is checked against the bytes that are really there; a failed load frees the
// partial scene and returns null.
#include "engine/read3ds.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/chunks.h"
#include "stream/archive.h"
#include "stream/filelib.h"

namespace {

// Frees a partial scene on every early return unless dismissed.
class SceneGuard {
public:
  explicit SceneGuard(Scene* owned) : scene(owned) {}
  ~SceneGuard() { FreeScene(scene); }
  SceneGuard(const SceneGuard&) = delete;
  SceneGuard& operator=(const SceneGuard&) = delete;
  Scene* Release() {
    Scene* s = scene;
    scene = nullptr;
    return s;
  }

private:
  Scene* scene;
};

// Zeroed array of n records; null with ok = true for n = 0.
template <class T>
T* AllocArray(std::uint32_t n, bool& ok) {
  ok = true;
  if (n == 0) return nullptr;
  T* p = static_cast<T*>(std::calloc(n, sizeof(T)));
  ok = p != nullptr;
  return p;
}

// Appends one zeroed record to a growing array; null when memory runs out (the
// old array then stays valid and owned by the scene). The array stays
// contiguous but doubles when the count reaches a power of two, so a file with
// many objects does not copy the array once per object.
template <class T>
T* Append(T*& array, std::int32_t& count) {
  const std::size_t n = static_cast<std::size_t>(count);
  if ((n & (n - 1)) == 0) {
    T* grown = static_cast<T*>(std::realloc(array, (n ? 2 * n : 1) * sizeof(T)));
    if (!grown) return nullptr;
    array = grown;
  }
  T* added = &array[count];
  std::memset(static_cast<void*>(added), 0, sizeof(T));
  ++count;
  return added;
}

// ---- Mesh -----------------------------------------------------------------

struct MeshTarget {
  Scene* scene;
  Mesh* mesh;
};

bool ReadVertexList(MeshTarget& target, Chunk& chunk) {
  Mesh& mesh = *target.mesh;
  std::uint16_t count;
  if (!ReadU16(chunk, count) || chunk.length < 12u * count + 2u)
    return Fail("the vertex list holds fewer vertices than its count");
  bool ok1, ok2, ok3;
  Vector* vertices = AllocArray<Vector>(count, ok1);
  Vector* normals = AllocArray<Vector>(count, ok2);
  TexCoord* texCoords = AllocArray<TexCoord>(count, ok3);
  if (!ok1 || !ok2 || !ok3) {
    std::free(vertices);
    std::free(normals);
    std::free(texCoords);
    return false;
  }
  for (std::uint32_t i = 0; i < count; ++i) ReadVector(chunk, vertices[i]);
  std::free(mesh.vertices);
  std::free(mesh.vertexNormals);
  std::free(mesh.texCoords);
  mesh.vertices = vertices;
  mesh.vertexNormals = normals;
  mesh.texCoords = texCoords;
  mesh.vertexCount = count;
  mesh.texCoordCount = 0;
  SCENE_TRACE("    %i vertices\n", count);
  // A repeated, shorter vertex list must not leave faces pointing past it.
  for (int i = 0; i < mesh.faceCount; ++i) {
    const Face& f = mesh.faces[i];
    if (f.a >= count || f.b >= count || f.c >= count) return Fail("a face uses a vertex past the vertex list");
  }
  return true;
}

bool ReadMaterialGroup(MeshTarget& target, Chunk& chunk) {
  Mesh& mesh = *target.mesh;
  char name[sceneNameSize];
  ReadString(chunk, name, sizeof name);
  const int index = FindMaterial(target.scene, name);
  if (index < 0) {
    SCENE_TRACE("      material \"%s\" is not defined!", name);
    return Fail("a material group names a material not defined before it");
  }
  std::uint16_t count;
  if (!ReadU16(chunk, count) || Remaining(chunk) < 2u * count)
    return Fail("a material group holds fewer face numbers than its count");
  for (std::uint32_t i = 0; i < count; ++i) {
    std::int16_t face = 0;
    ReadI16(chunk, face);
    // A face number outside the mesh would be written past the face array.
    if (face < 0 || face >= mesh.faceCount) return Fail("a material group names a face past the face list");
    mesh.faces[face].material = index;
  }
  SCENE_TRACE("      material \"%s\" (#%i) used by %i face(s)\n", name, index, count);
  return true;
}

// The face records (corners, edge flags), each face's normal and centre, and
// the vertex normals as the normalised sums of their faces' normals.
bool ReadFaces(Mesh& mesh, Chunk& chunk) {
  std::uint16_t count;
  if (!ReadU16(chunk, count) || chunk.length < 8u * count + 2u)
    return Fail("the face list holds fewer faces than its count");
  SCENE_TRACE("    %i faces\n", count);
  bool ok;
  Face* faces = AllocArray<Face>(count, ok);
  if (!ok) return false;
  std::free(mesh.faces);
  mesh.faces = faces;
  mesh.faceCount = count;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint16_t a = 0, b = 0, c = 0, flags = 0;
    ReadU16(chunk, a);
    ReadU16(chunk, b);
    ReadU16(chunk, c);
    ReadU16(chunk, flags);
    // Indices past the vertex list would be read and lit out of bounds later.
    if (a >= mesh.vertexCount || b >= mesh.vertexCount || c >= mesh.vertexCount)
      return Fail("a face uses a vertex past the vertex list");
    Face& f = faces[i];
    f.a = a;
    f.b = b;
    f.c = c;
    f.edgeFlagCA = flags & 1;
    f.edgeFlagBC = flags & 2;
    f.edgeFlagAB = flags & 4;
    f.wrapFlag = flags & 8;
    f.material = -1;
    const Vector& va = mesh.vertices[a];
    const Vector& vb = mesh.vertices[b];
    const Vector& vc = mesh.vertices[c];
    f.normal = Normalize(Cross(Subtract(vb, va), Subtract(vc, va)));
    f.centre = Scale(Add(Add(va, vb), vc), 0.33333334f);
    mesh.vertexNormals[a] = Add(mesh.vertexNormals[a], f.normal);
    mesh.vertexNormals[b] = Add(mesh.vertexNormals[b], f.normal);
    mesh.vertexNormals[c] = Add(mesh.vertexNormals[c], f.normal);
  }
  for (int i = 0; i < mesh.vertexCount; ++i) mesh.vertexNormals[i] = Normalize(mesh.vertexNormals[i]);
  return true;
}

constexpr ChunkHandler<MeshTarget> faceListHandlers[] = {{0x4130, ReadMaterialGroup}};
constexpr std::uint16_t faceListSkipped[] = {0x4150};  // smoothing groups

bool ReadFaceList(MeshTarget& target, Chunk& chunk) {
  return ReadFaces(*target.mesh, chunk) &&
         DispatchSubChunks(chunk, target, faceListHandlers, {6, "Face chunk"}, faceListSkipped);
}

bool ReadTexCoords(MeshTarget& target, Chunk& chunk) {
  Mesh& mesh = *target.mesh;
  std::uint16_t count;
  if (!ReadU16(chunk, count) || count != mesh.vertexCount)
    return Fail("the texture coordinate count differs from the vertex count");
  if (Remaining(chunk) < 8u * count) return Fail("the texture coordinates are cut short");
  for (std::uint32_t i = 0; i < count; ++i) {
    ReadFloat(chunk, mesh.texCoords[i].u);
    ReadFloat(chunk, mesh.texCoords[i].v);
    mesh.texCoords[i].v *= -1.0f;
  }
  mesh.texCoordCount = count;
  return true;
}

bool ReadLocalAxes(MeshTarget& target, Chunk& chunk) {
  Mesh& mesh = *target.mesh;
  if (!ReadVector(chunk, mesh.axes[0]) || !ReadVector(chunk, mesh.axes[1]) || !ReadVector(chunk, mesh.axes[2]) ||
      !ReadVector(chunk, mesh.origin))
    return Fail("the local axes are cut short");
  SCENE_TRACE("    Axis definition:\n");
  SCENE_TRACE("      X axis: x=%f y=%f z=%f\n", mesh.axes[0].x, mesh.axes[0].y, mesh.axes[0].z);
  SCENE_TRACE("      Y axis: x=%f y=%f z=%f\n", mesh.axes[1].x, mesh.axes[1].y, mesh.axes[1].z);
  SCENE_TRACE("      Z axis: x=%f y=%f z=%f\n", mesh.axes[2].x, mesh.axes[2].y, mesh.axes[2].z);
  return true;
}

bool TraceMeshColour(MeshTarget&, Chunk& chunk) {
  SCENE_TRACE("    0x4165 chunk size = %i\n", static_cast<int>(chunk.length));
  if (chunk.length > 0) SCENE_TRACE("    0x4165 chunk buffer = %X\n", chunk.data[0]);
  return true;
}

constexpr ChunkHandler<MeshTarget> meshHandlers[] = {
    {0x4110, ReadVertexList}, {0x4120, ReadFaceList},  {0x4140, ReadTexCoords},
    {0x4160, ReadLocalAxes},  {0x4165, TraceMeshColour},
};
constexpr std::uint16_t meshSkipped[] = {0x4111, 0x4170};  // vertex flags, texture info

bool ReadMesh(Scene* scene, const char* name, Chunk& chunk) {
  Mesh* mesh = Append(scene->meshes, scene->meshCount);
  if (!mesh) return false;
  std::memcpy(mesh->name, name, sceneNameSize);
  SCENE_TRACE("    Mesh\n");
  MeshTarget target{scene, mesh};
  return DispatchSubChunks(chunk, target, meshHandlers, {4, "Mesh chunk"}, meshSkipped);
}

// ---- Light and camera -------------------------------------------------------

bool ReadLightFloatColour(Light& light, Chunk& chunk) { return ReadVector(chunk, light.colour); }

bool ReadLightByteColour(Light& light, Chunk& chunk) {
  std::uint8_t rgb[3];
  if (!ReadBytes(chunk, rgb, 3)) return false;
  const double scale = 0.00392156862745098;
  light.colour = {static_cast<float>(rgb[0] * scale), static_cast<float>(rgb[1] * scale),
                  static_cast<float>(rgb[2] * scale)};
  SCENE_TRACE("    lightsource color: r%f g%f b%f\n", light.colour.x, light.colour.y, light.colour.z);
  return true;
}

bool ReadSpotlight(Light& light, Chunk&) {
  light.isSpot = 1;
  SCENE_TRACE("    Light is spotlight\n");
  return true;
}

bool ReadLightOff(Light& light, Chunk&) {
  light.off = 0;
  SCENE_TRACE("    Light is deactivated\n");
  return true;
}

constexpr ChunkHandler<Light> lightHandlers[] = {
    {0x0010, ReadLightFloatColour},
    {0x0011, ReadLightByteColour},
    {0x4610, ReadSpotlight},
    {0x4620, ReadLightOff},
};

bool ReadLight(Scene* scene, const char* name, Chunk& chunk) {
  Light* light = Append(scene->lights, scene->lightCount);
  if (!light) return false;
  std::memcpy(light->name, name, sceneNameSize);
  light->colour = {1.0f, 1.0f, 1.0f};
  SCENE_TRACE("    Light\n");
  if (!ReadVector(chunk, light->position)) return Fail("the light's position is cut short");
  return DispatchSubChunks(chunk, *light, lightHandlers, {4, "Light chunk"}, {}, Trailing::refused);
}

bool ReadCameraRanges(Camera& camera, Chunk& chunk) {
  return ReadFloat(chunk, camera.nearRange) && ReadFloat(chunk, camera.farRange);
}

constexpr ChunkHandler<Camera> cameraHandlers[] = {{0x4720, ReadCameraRanges}};

bool ReadCamera(Scene* scene, const char* name, Chunk& chunk) {
  Camera* camera = Append(scene->cameras, scene->cameraCount);
  if (!camera) return false;
  std::memcpy(camera->name, name, sceneNameSize);
  SCENE_TRACE("  Camera\n");
  if (!ReadVector(chunk, camera->position) || !ReadVector(chunk, camera->target) ||
      !ReadFloat(chunk, camera->bank) || !ReadFloat(chunk, camera->lens))
    return Fail("the camera's fields are cut short");
  camera->farRange = 1000.0f;
  return DispatchSubChunks(chunk, *camera, cameraHandlers, {4, "Camera chunk"}, {}, Trailing::refused);
}

bool ReadObject(Scene* scene, Chunk& chunk) {
  char name[sceneNameSize];
  ReadString(chunk, name, sizeof name);
  SCENE_TRACE("  Object: %s\n", name);
  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  // Only the first sub-chunk says what the object is.
  if (NextChunk(reader, sub) != ChunkStatus::ok) return Fail("an object has no sub-chunk saying what it is");
  switch (sub.id) {
    case 0x4100:
      return ReadMesh(scene, name, sub);
    case 0x4600:
      return ReadLight(scene, name, sub);
    case 0x4700:
      return ReadCamera(scene, name, sub);
    case 0x4710:
      SCENE_TRACE("    Unknown 1\n");
      return true;
    case 0x4720:
      SCENE_TRACE("    Unknown 2\n");
      return true;
    default:
      SCENE_TRACE("    Unknown chunk ID 0x%X in Object chunk found!\n", sub.id);
      return true;
  }
}

// ---- Sections ---------------------------------------------------------------

bool TraceMeshVersion(Scene&, Chunk& chunk) {
  if (chunk.length > 0) SCENE_TRACE("  Mesh version %i\n", chunk.data[0]);
  return true;
}

bool ReadObjectChunk(Scene& scene, Chunk& chunk) { return ReadObject(&scene, chunk); }
bool ReadMaterialChunk(Scene& scene, Chunk& chunk) { return ReadMaterial(&scene, chunk); }

constexpr ChunkHandler<Scene> editorHandlers[] = {
    {0x3D3E, TraceMeshVersion},
    {0x4000, ReadObjectChunk},
    {0xAFFF, ReadMaterialChunk},
};

// Settings of the editor's views, background, fog and ambient light.
constexpr std::uint16_t editorSkipped[] = {0x0100, 0x1100, 0x1101, 0x1200, 0x1201, 0x1300, 0x1301, 0x1400,
                                           0x1410, 0x1420, 0x1430, 0x1440, 0x1450, 0x1460, 0x1500, 0x2100,
                                           0x2200, 0x2201, 0x2210, 0x2300, 0x2301, 0x2302, 0x2303, 0x2310,
                                           0x2D2D, 0x2D3D, 0x3000, 0x7001};

struct MainTarget {
  Scene* scene;
  bool keyframerRead;
};

bool TraceVersion(MainTarget&, Chunk& chunk) {
  if (chunk.length >= 2) SCENE_TRACE("File format version is %i\n", chunk.data[0] | chunk.data[1] << 8);
  return true;
}

bool ReadEditor(MainTarget& target, Chunk& chunk) {
  SCENE_TRACE("3D Editor\n");
  // Nodes point into the mesh, light and camera arrays; an editor section
  // after the keyframer would move those arrays under them.
  if (target.keyframerRead) return Fail("a 3D editor section follows the keyframer section");
  return DispatchSubChunks(chunk, *target.scene, editorHandlers, {2, "3D Editor chunk"}, editorSkipped);
}

bool ReadKeyframerSection(MainTarget& target, Chunk& chunk) {
  SCENE_TRACE("Keyframer\n");
  if (!ReadKeyframer(target.scene, chunk)) return false;
  target.keyframerRead = true;
  return true;
}

constexpr ChunkHandler<MainTarget> mainHandlers[] = {
    {0x0002, TraceVersion},
    {0x3D3D, ReadEditor},
    {0xB000, ReadKeyframerSection},
};

}  // namespace

Scene* ReadSceneMemory(const void* data, std::uint32_t size) {
  if (!data && size != 0) return nullptr;
  ChunkReader file{static_cast<const std::uint8_t*>(data), size, 0, 1};
  sceneReadFailure = {file.data, nullptr, 0, 0, false, {}};
  // A picture, a module or any other file is told by its first bytes, before
  // a length read from them could say something misleading.
  if ((size >= 1 && file.data[0] != 0x4D) || (size >= 2 && file.data[1] != 0x4D)) {
    Fail("the file is not a 3D Studio file (it does not start with the main chunk id 0x4D4D)");
    return nullptr;
  }
  Chunk main;
  if (NextChunk(file, main) != ChunkStatus::ok) {
    Fail("the file is too short for its main chunk");
    return nullptr;
  }
  Scene* created = CreateScene();
  if (!created) return nullptr;
  SceneGuard guard(created);
  MainTarget target{created, false};
  if (!DispatchSubChunks(main, target, mainHandlers, {0, "mainchunk"})) return nullptr;
  sceneReadFailure = {};
  return guard.Release();
}

Scene* ReadSceneStream(TStream* stream) {
  sceneReadFailure = {};
  if (!stream) return nullptr;
  const std::int32_t size = stream->Size();
  if (stream->Error() || size <= 0) {
    Fail(size == 0 ? "the file is empty" : "the file cannot be opened");
    return nullptr;
  }
  auto* block = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(size)));
  if (!block) {
    Fail("out of memory");
    return nullptr;
  }
  Scene* scene = nullptr;
  if (stream->Read(block, size, 1) == 1) {
    scene = ReadSceneMemory(block, static_cast<std::uint32_t>(size));
  } else {
    Fail("the file cannot be read");
  }
  std::free(block);
  return scene;
}

Scene* ReadSceneFile(TFileLib* lib, const char* path) {
  if (!lib || !path) {
    sceneReadFailure = {};
    Fail("no archive is open");
    return nullptr;
  }
  auto* member = new TFileInLib(lib);
  member->SetName(path);
  member->Open(modeRead);
  Scene* scene = ReadSceneStream(member);
  delete member;
  return scene;
}

Scene* ReadSceneFile(const char* path) { return ReadSceneFile(archive, path); }

thread_local SceneReadFailure sceneReadFailure = {};

bool FailQuoting(const char* before, const char* name, const char* after) {
  if (sceneReadFailure.reason) return false;
  char quoted[4 * sceneNameSize + 1];
  std::size_t n = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p && n + 5 <= sizeof quoted; ++p) {
    if (*p >= 0x20 && *p < 0x7F) {
      quoted[n++] = static_cast<char>(*p);
    } else {
      n += static_cast<std::size_t>(std::snprintf(quoted + n, sizeof quoted - n, "\\x%02X", *p));
    }
  }
  quoted[n] = 0;
  std::snprintf(sceneReadFailure.text, sizeof sceneReadFailure.text, "%s\"%s\"%s", before, quoted, after);
  sceneReadFailure.reason = sceneReadFailure.text;
  return false;
}

std::string SceneReadError() {
  const SceneReadFailure& f = sceneReadFailure;
  if (!f.reason && !f.haveChunk) return {};
  std::string text = f.reason ? f.reason : "malformed or unsupported data";
  if (f.haveChunk) {
    char where[64];
    std::snprintf(where, sizeof where, " (chunk 0x%04X at offset %u)", f.chunkId, f.chunkOffset);
    text += where;
  }
  return text;
}
