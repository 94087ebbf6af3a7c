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

bool ReadVertexList(Mesh& mesh, Chunk& chunk) {
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

bool ReadMaterialGroup(Scene* scene, Mesh& mesh, Chunk& chunk) {
  char name[sceneNameSize];
  ReadString(chunk, name, sizeof name);
  const int index = FindMaterial(scene, name);
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

bool ReadFaceList(Scene* scene, Mesh& mesh, Chunk& chunk) {
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

  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  while (HasMore(reader)) {
    const ChunkStatus status = NextChunk(reader, sub);
    if (status == ChunkStatus::end) break;
    if (status == ChunkStatus::malformed) return FailMalformed(reader);
    switch (sub.id) {
      case 0x4130:
        if (!ReadMaterialGroup(scene, mesh, sub)) return FailIn(sub);
        break;
      case 0x4150:
        break;
      default:
        SCENE_TRACE("      Unknown chunk ID 0x%X in Face chunk found!\n", sub.id);
        break;
    }
  }
  return true;
}

bool ReadTexCoords(Mesh& mesh, Chunk& chunk) {
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

bool ReadMesh(Scene* scene, const char* name, Chunk& chunk) {
  Mesh* mesh = Append(scene->meshes, scene->meshCount);
  if (!mesh) return false;
  std::memcpy(mesh->name, name, sceneNameSize);
  SCENE_TRACE("    Mesh\n");
  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  while (HasMore(reader)) {
    const ChunkStatus status = NextChunk(reader, sub);
    if (status == ChunkStatus::end) break;
    if (status == ChunkStatus::malformed) return FailMalformed(reader);
    switch (sub.id) {
      case 0x4110:
        if (!ReadVertexList(*mesh, sub)) return FailIn(sub);
        break;
      case 0x4111:
        break;
      case 0x4120:
        if (!ReadFaceList(scene, *mesh, sub)) return FailIn(sub);
        break;
      case 0x4140:
        if (!ReadTexCoords(*mesh, sub)) return FailIn(sub);
        break;
      case 0x4160:
        if (!ReadVector(sub, mesh->axes[0]) || !ReadVector(sub, mesh->axes[1]) || !ReadVector(sub, mesh->axes[2]) ||
            !ReadVector(sub, mesh->origin))
          return false;
        SCENE_TRACE("    Axis definition:\n");
        SCENE_TRACE("      X axis: x=%f y=%f z=%f\n", mesh->axes[0].x, mesh->axes[0].y, mesh->axes[0].z);
        SCENE_TRACE("      Y axis: x=%f y=%f z=%f\n", mesh->axes[1].x, mesh->axes[1].y, mesh->axes[1].z);
        SCENE_TRACE("      Z axis: x=%f y=%f z=%f\n", mesh->axes[2].x, mesh->axes[2].y, mesh->axes[2].z);
        break;
      case 0x4165:
        SCENE_TRACE("    0x4165 chunk size = %i\n", static_cast<int>(sub.length));
        if (sub.length > 0) SCENE_TRACE("    0x4165 chunk buffer = %X\n", sub.data[0]);
        break;
      case 0x4170:
        break;
      default:
        SCENE_TRACE("    Unknown chunk ID 0x%X in Mesh chunk found!\n", sub.id);
        break;
    }
  }
  return true;
}

// ---- Light and camera -------------------------------------------------------

bool ReadLight(Scene* scene, const char* name, Chunk& chunk) {
  Light* light = Append(scene->lights, scene->lightCount);
  if (!light) return false;
  std::memcpy(light->name, name, sceneNameSize);
  light->colour = {1.0f, 1.0f, 1.0f};
  SCENE_TRACE("    Light\n");
  if (!ReadVector(chunk, light->position)) return Fail("the light's position is cut short");
  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  while (HasMore(reader)) {
    if (NextChunk(reader, sub) != ChunkStatus::ok) return FailMalformed(reader);
    switch (sub.id) {
      case 0x0010:
        if (!ReadVector(sub, light->colour)) return FailIn(sub);
        break;
      case 0x0011: {
        std::uint8_t rgb[3];
        if (!ReadBytes(sub, rgb, 3)) return FailIn(sub);
        const double scale = 0.00392156862745098;
        light->colour = {static_cast<float>(rgb[0] * scale), static_cast<float>(rgb[1] * scale),
                         static_cast<float>(rgb[2] * scale)};
        SCENE_TRACE("    lightsource color: r%f g%f b%f\n", light->colour.x, light->colour.y, light->colour.z);
        break;
      }
      case 0x4610:
        light->isSpot = 1;
        SCENE_TRACE("    Light is spotlight\n");
        break;
      case 0x4620:
        light->off = 0;
        SCENE_TRACE("    Light is deactivated\n");
        break;
      default:
        SCENE_TRACE("    Unknown chunk ID 0x%X in Light chunk found!\n", sub.id);
        break;
    }
  }
  return true;
}

bool ReadCamera(Scene* scene, const char* name, Chunk& chunk) {
  Camera* camera = Append(scene->cameras, scene->cameraCount);
  if (!camera) return false;
  std::memcpy(camera->name, name, sceneNameSize);
  SCENE_TRACE("  Camera\n");
  if (!ReadVector(chunk, camera->position) || !ReadVector(chunk, camera->target) ||
      !ReadFloat(chunk, camera->bank) || !ReadFloat(chunk, camera->lens))
    return Fail("the camera's fields are cut short");
  camera->farRange = 1000.0f;
  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  while (HasMore(reader)) {
    if (NextChunk(reader, sub) != ChunkStatus::ok) return FailMalformed(reader);
    if (sub.id == 0x4720) {
      if (!ReadFloat(sub, camera->nearRange) || !ReadFloat(sub, camera->farRange)) return FailIn(sub);
    } else {
      SCENE_TRACE("    Unknown chunk ID 0x%X in Camera chunk found!\n", sub.id);
    }
  }
  return true;
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

// ---- Material ---------------------------------------------------------------

// Reads a material colour: floats (0 to 1) win over bytes (0 to 255); a colour
// with neither fails.
bool ReadColour(Chunk& chunk, Vector& colour) {
  bool haveFloat = false, haveBytes = false;
  Vector fromFloat{}, fromBytes{};
  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  while (HasMore(reader)) {
    const ChunkStatus status = NextChunk(reader, sub);
    if (status == ChunkStatus::end) break;
    if (status == ChunkStatus::malformed) return FailMalformed(reader);
    if (sub.id == 0x0010) {
      if (sub.length != 12) return FailIn(sub, "a colour chunk has the wrong size");
      ReadVector(sub, fromFloat);
      haveFloat = true;
    } else if (sub.id == 0x0011) {
      if (sub.length != 3) return FailIn(sub, "a colour chunk has the wrong size");
      fromBytes = {static_cast<float>(sub.data[0]), static_cast<float>(sub.data[1]), static_cast<float>(sub.data[2])};
      haveBytes = true;
    }
  }
  if (haveFloat) {
    colour = fromFloat;
  } else if (haveBytes) {
    colour = fromBytes;
  } else {
    return Fail("a material colour has neither float nor byte values");
  }
  return true;
}

struct TextureMapInfo {
  std::int16_t percentage;
  char fileName[textureFileSize];
  std::uint16_t tiling;
  float blur;
  float uScale, vScale, uOffset, vOffset, rotation;
  Vector colour1, colour2, redTint, greenTint, blueTint;
};

bool ReadTextureMap(Chunk& chunk, TextureMapInfo& map) {
  map = {};
  map.uScale = map.vScale = 1.0f;
  map.colour2 = {255.0f, 255.0f, 255.0f};
  map.redTint = {255.0f, 0.0f, 0.0f};
  map.greenTint = {0.0f, 255.0f, 0.0f};
  map.blueTint = {0.0f, 0.0f, 255.0f};
  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  while (HasMore(reader)) {
    const ChunkStatus status = NextChunk(reader, sub);
    if (status == ChunkStatus::end) break;
    if (status == ChunkStatus::malformed) return FailMalformed(reader);
    bool ok = true;
    switch (sub.id) {
      case 0x0030: ok = ReadI16(sub, map.percentage); break;
      case 0xA300: ReadString(sub, map.fileName, sizeof map.fileName); break;
      case 0xA351: ok = ReadU16(sub, map.tiling); break;
      case 0xA353: ok = ReadFloat(sub, map.blur); break;
      case 0xA354: ok = ReadFloat(sub, map.uScale); break;
      case 0xA356: ok = ReadFloat(sub, map.vScale); break;
      case 0xA358: ok = ReadFloat(sub, map.uOffset); break;
      case 0xA35A: ok = ReadFloat(sub, map.vOffset); break;
      case 0xA35C: ok = ReadFloat(sub, map.rotation); break;
      case 0xA360: ok = ReadVector(sub, map.colour1); break;
      case 0xA362: ok = ReadVector(sub, map.colour2); break;
      case 0xA364: ok = ReadVector(sub, map.redTint); break;
      case 0xA366: ok = ReadVector(sub, map.greenTint); break;
      case 0xA368: ok = ReadVector(sub, map.blueTint); break;
      default: break;
    }
    if (!ok) return FailIn(sub, "a texture map field is cut short");
  }
  return true;
}

bool ReadSelfIllumination(Material& material, Chunk& chunk) {
  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  while (HasMore(reader)) {
    const ChunkStatus status = NextChunk(reader, sub);
    if (status == ChunkStatus::end) break;
    if (status == ChunkStatus::malformed) return FailMalformed(reader);
    if (sub.id == 0x0030) {
      std::int16_t percent;
      if (!ReadI16(sub, percent)) return FailIn(sub);
      material.selfIllumination = static_cast<float>(percent) * 0.01f;
    } else {
      SCENE_TRACE("      Unknown chunk ID 0x%X in self illuminating chunk found!\n", sub.id);
    }
  }
  return true;
}

bool ReadMaterialChunks(Material& material, Chunk& chunk) {
  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  while (HasMore(reader)) {
    const ChunkStatus status = NextChunk(reader, sub);
    if (status == ChunkStatus::end) break;
    if (status == ChunkStatus::malformed) return FailMalformed(reader);
    switch (sub.id) {
      case 0xA000: {
        const std::uint32_t n = sub.length < sceneNameSize - 1 ? sub.length : sceneNameSize - 1;
        std::memcpy(material.name, sub.data, n);
        material.name[n] = 0;
        SCENE_TRACE("  Material: \"%s\"\n", material.name);
        break;
      }
      case 0xA010:
        if (!ReadColour(sub, material.ambient)) return FailIn(sub);
        break;
      case 0xA020:
        if (!ReadColour(sub, material.diffuse)) return FailIn(sub);
        break;
      case 0xA030:
        if (!ReadColour(sub, material.specular)) return FailIn(sub);
        break;
      case 0xA081:
        material.flags |= materialTwoSided;
        break;
      case 0xA084:
        if (!ReadSelfIllumination(material, sub)) return FailIn(sub);
        break;
      case 0xA100: {
        std::uint16_t v;
        if (sub.length != 2 || !ReadU16(sub, v) || v < 1 || v > 4)
          return FailIn(sub, "a material's shading value is not 1 to 4");
        material.flags = (material.flags & ~materialShadingMask) | (v - 1);
        break;
      }
      case 0xA200: {
        TextureMapInfo map;
        if (!ReadTextureMap(sub, map)) return FailIn(sub);
        std::memcpy(material.textureFile, map.fileName, textureFileSize);
        material.flags |= materialTextured;
        SCENE_TRACE("    texture filename: \"%s\"\n", material.textureFile);
        break;
      }
      case 0xA204: case 0xA210: case 0xA220: case 0xA230: case 0xA33A: case 0xA33C: case 0xA33D:
      case 0xA33E: case 0xA340: case 0xA342: case 0xA344: case 0xA346: case 0xA348: case 0xA34A:
      case 0xA34C: {
        TextureMapInfo scratch;
        if (!ReadTextureMap(sub, scratch)) return FailIn(sub);
        break;
      }
      case 0xA040: case 0xA041: case 0xA050: case 0xA052: case 0xA053: case 0xA083: case 0xA085:
      case 0xA087: case 0xA088: case 0xA08A: case 0xA08C: case 0xA08E: case 0xA240: case 0xA250:
      case 0xA310:
        break;
      default:
        SCENE_TRACE("    Unknown chunk ID 0x%X in Material chunk found!\n", sub.id);
        break;
    }
  }
  return true;
}

bool ReadMaterial(Scene* scene, Chunk& chunk) {
  if (scene->materialCount >= maxMaterials) return Fail("more than 256 materials");
  auto* material = static_cast<Material*>(std::calloc(1, sizeof(Material)));
  if (!material) return false;
  material->flags = materialCreated;
  material->textureIndex = 0;
  if (!ReadMaterialChunks(*material, chunk)) {
    std::free(material);
    return false;
  }
  scene->materials[scene->materialCount++] = material;
  return true;
}

// ---- Sections ---------------------------------------------------------------

bool ReadEditor(Scene* scene, Chunk& chunk) {
  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  while (HasMore(reader)) {
    const ChunkStatus status = NextChunk(reader, sub);
    if (status == ChunkStatus::end) break;
    if (status == ChunkStatus::malformed) return FailMalformed(reader);
    switch (sub.id) {
      case 0x3D3E:
        if (sub.length > 0) SCENE_TRACE("  Mesh version %i\n", sub.data[0]);
        break;
      case 0x4000:
        if (!ReadObject(scene, sub)) return FailIn(sub);
        break;
      case 0xAFFF:
        if (!ReadMaterial(scene, sub)) return FailIn(sub);
        break;
      case 0x0100: case 0x1100: case 0x1101: case 0x1200: case 0x1201: case 0x1300: case 0x1301:
      case 0x1400: case 0x1410: case 0x1420: case 0x1430: case 0x1440: case 0x1450: case 0x1460:
      case 0x1500: case 0x2100: case 0x2200: case 0x2201: case 0x2210: case 0x2300: case 0x2301:
      case 0x2302: case 0x2303: case 0x2310: case 0x2D2D: case 0x2D3D: case 0x3000: case 0x7001:
        break;
      default:
        SCENE_TRACE("  Unknown chunk ID 0x%X in 3D Editor chunk found!\n", sub.id);
        break;
    }
  }
  return true;
}

}  // namespace

Scene* ReadSceneMemory(const void* data, std::uint32_t size) {
  if (!data && size != 0) return nullptr;
  ChunkReader file{static_cast<const std::uint8_t*>(data), size, 0, 1};
  sceneReadFailure = {file.data, nullptr, 0, 0, false};
  Chunk main;
  const ChunkStatus first = NextChunk(file, main);
  if (first != ChunkStatus::ok || main.id != 0x4D4D) {
    Fail(first == ChunkStatus::ok ? "the file does not start with a 3D Studio main chunk (0x4D4D)"
                                  : "the file is too short for its main chunk");
    return nullptr;
  }
  Scene* created = CreateScene();
  if (!created) return nullptr;
  SceneGuard guard(created);
  bool keyframerRead = false;
  ChunkReader reader = SubReader(main);
  Chunk sub;
  while (HasMore(reader)) {
    const ChunkStatus status = NextChunk(reader, sub);
    if (status == ChunkStatus::end) break;
    if (status == ChunkStatus::malformed) {
      FailMalformed(reader);
      return nullptr;
    }
    switch (sub.id) {
      case 0x0002:
        if (sub.length >= 2) SCENE_TRACE("File format version is %i\n", sub.data[0] | sub.data[1] << 8);
        break;
      case 0x3D3D:
        SCENE_TRACE("3D Editor\n");
        // Nodes point into the mesh, light and camera arrays; an editor section
        // after the keyframer would move those arrays under them.
        if (keyframerRead) {
          FailIn(sub, "a 3D editor section follows the keyframer section");
          return nullptr;
        }
        if (!ReadEditor(created, sub)) {
          FailIn(sub);
          return nullptr;
        }
        break;
      case 0xB000:
        SCENE_TRACE("Keyframer\n");
        if (!ReadKeyframer(created, sub)) {
          FailIn(sub);
          return nullptr;
        }
        keyframerRead = true;
        break;
      default:
        SCENE_TRACE("Unknown chunk ID 0x%X in mainchunk found!\n", sub.id);
        break;
    }
  }
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
