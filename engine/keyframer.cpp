// The keyframer section: node chunks linked by name to the editor's meshes,
// lights and cameras, placed in the node tree by their hierarchy value, and
// their tracks read and prepared for evaluation.
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/chunks.h"
#include "engine/scene.h"
#include "engine/tracks.h"

namespace {

// The chain of last nodes from the last root down: level 0 is the last root,
// level i + 1 the last child of level i. Placing a node by its hierarchy value
// only ever needs this chain, so it is kept instead of walked for every node.
using Spine = std::vector<Node*>;

Spine SpineOf(const Scene* scene) {
  Spine spine;
  if (scene->rootCount == 0) return spine;
  Node* n = scene->roots[scene->rootCount - 1];
  while (n) {
    spine.push_back(n);
    Node* last = n->child;
    if (!last) break;
    while (last->next) last = last->next;
    n = last;
  }
  return spine;
}

// Places the node as a root (h = -1) or under the node the hierarchy walk finds:
// from the last root, h levels down along the last children, stopping early
// where a node has none.
bool PlaceNode(Scene* scene, Spine& spine, Node* node, int h) {
  if (h == -1) {
    if (scene->rootCount >= maxRootNodes) return Fail("more than 256 root nodes");
    scene->roots[scene->rootCount++] = node;
    spine.assign(1, node);
    return true;
  }
  if (spine.empty()) return Fail("a child node comes before any root node");
  const std::size_t levels = h < 1 ? 1 : static_cast<std::size_t>(h);
  const std::size_t depth = (levels < spine.size() ? levels : spine.size()) - 1;
  Node* parent = spine[depth];
  node->parent = parent;
  if (depth + 1 < spine.size()) {
    Node* last = spine[depth + 1];
    last->next = node;
    node->previous = last;
  } else {
    parent->child = node;
  }
  spine.resize(depth + 1);
  spine.push_back(node);
  return true;
}

// Name lookups for one keyframer section. The first record of a name wins, as
// in FindMesh and its kin; the tables keep files with many objects and nodes
// from a search per node through every object.
struct Names {
  std::unordered_map<std::string, Mesh*> meshes;
  std::unordered_map<std::string, Light*> lights;
  std::unordered_map<std::string, Camera*> cameras;

  explicit Names(Scene* scene) {
    for (int i = 0; i < scene->meshCount; ++i) meshes.emplace(scene->meshes[i].name, &scene->meshes[i]);
    for (int i = 0; i < scene->lightCount; ++i) lights.emplace(scene->lights[i].name, &scene->lights[i]);
    for (int i = 0; i < scene->cameraCount; ++i) cameras.emplace(scene->cameras[i].name, &scene->cameras[i]);
  }
  template <class T>
  static T* Find(const std::unordered_map<std::string, T*>& table, const char* name) {
    const auto it = table.find(name);
    return it == table.end() ? nullptr : it->second;
  }
};

// Everything a node chunk needs from its section.
struct Section {
  Scene* scene;
  Spine spine;
  Names names;
};

bool LinkNode(Section& section, Node* node) {
  Scene* scene = section.scene;
  switch (node->kind) {
    case nodeMesh: {
      Mesh* mesh = Names::Find(section.names.meshes, node->name);
      if (!mesh) return Fail("a node names a mesh that does not exist");
      node->object = mesh;
      const std::size_t vertices = static_cast<std::size_t>(mesh->vertexCount);
      const std::size_t faces = static_cast<std::size_t>(mesh->faceCount);
      const std::size_t lights = static_cast<std::size_t>(scene->lightCount);
      if (vertices) {
        node->eyeVertices = static_cast<Vector*>(std::calloc(vertices, sizeof(Vector)));
        node->vertexVisible = static_cast<std::int32_t*>(std::calloc(vertices, sizeof(std::int32_t)));
        if (!node->eyeVertices || !node->vertexVisible) return false;
      }
      if (faces) {
        node->faceVisible = static_cast<std::int32_t*>(std::calloc(faces, sizeof(std::int32_t)));
        if (!node->faceVisible) return false;
      }
      if (lights) {
        node->lightPositions = static_cast<Vector*>(std::calloc(lights, sizeof(Vector)));
        if (!node->lightPositions) return false;
      }
      node->lightPositionCount = scene->lightCount;
      return true;
    }
    case nodeLight:
    case nodeLightTarget:
    case nodeSpotlight: {
      Light* light = Names::Find(section.names.lights, node->name);
      if (!light) return Fail("a node names a light that does not exist");
      node->object = light;
      light->node = node;
      return true;
    }
    case nodeCamera:
    case nodeCameraTarget: {
      Camera* camera = Names::Find(section.names.cameras, node->name);
      if (!camera) return Fail("a node names a camera that does not exist");
      node->object = camera;
      if (node->kind == nodeCamera) {
        camera->node = node;
      } else {
        camera->targetNode = node;
      }
      return true;
    }
    default:
      return false;
  }
}

// The spline flag word and its floats: bits 0 to 4 are tension, continuity,
// bias, ease to and ease from; bits 5 to 15 each announce a float we skip.
bool ReadSplineParams(Chunk& chunk, SplineParams& spline) {
  std::uint16_t word;
  if (!ReadU16(chunk, word)) return Fail("a key is cut short");
  float* fields[5] = {&spline.tension, &spline.continuity, &spline.bias, &spline.easeTo, &spline.easeFrom};
  static constexpr const char* names[5] = {"Tension", "Continuity", "Bias", "Ease to", "Ease from"};
  for (int bit = 0; bit < 16; ++bit) {
    if (!(word & (1u << bit))) continue;
    float v;
    if (!ReadFloat(chunk, v)) return Fail("a key's spline parameters are cut short");
    if (bit < 5) {
      *fields[bit] = v;
      SCENE_TRACE("        %s: %f\n", names[bit], v);
    } else {
      SCENE_TRACE("        Unknown (bit %i): %f\n", bit, v);
    }
  }
  return true;
}

// Track header: flags at 0, key count at 10 (32 bits stored), keys from 14. The
// count must fit in the bytes left at minKeyBytes each.
bool ReadTrackHeader(Chunk& chunk, std::int32_t& flags, std::uint32_t& count, std::uint32_t minKeyBytes) {
  std::uint16_t f;
  if (!ReadU16(chunk, f) || !SkipBytes(chunk, 8) || !ReadU32(chunk, count))
    return Fail("a track header is cut short");
  flags = static_cast<std::int16_t>(f);
  if (count > Remaining(chunk) / minKeyBytes) return Fail("a track holds fewer keys than its count");
  SCENE_TRACE("      Flags: %i\n", flags);
  SCENE_TRACE("      Keys: %i\n", static_cast<int>(count));
  return true;
}

// Reads a track of any kind: readValue(chunk, key) reads one key's values after
// its frame and spline parameters.
template <class Key, class Value, class ReadValue>
bool ReadTrack(Chunk& chunk, Track<Key, Value>& track, std::uint32_t valueBytes, ReadValue readValue) {
  std::int32_t flags;
  std::uint32_t count;
  if (!ReadTrackHeader(chunk, flags, count, 6 + valueBytes)) return false;
  Key* keys = nullptr;
  if (count) {
    keys = static_cast<Key*>(std::calloc(count, sizeof(Key)));
    if (!keys) return false;
  }
  // A repeated track replaces the earlier one.
  std::free(track.keys);
  track.keys = keys;
  track.flags = flags;
  track.keyCount = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t frame;
    if (!ReadU32(chunk, frame)) return Fail("a key is cut short");
    keys[i].frame = static_cast<std::int32_t>(frame);
    SCENE_TRACE("      Frame %i:\n", keys[i].frame);
    if (!ReadSplineParams(chunk, keys[i].spline)) return false;
    if (!readValue(chunk, keys[i])) return false;
    track.keyCount = static_cast<std::int32_t>(i + 1);
  }
  return true;
}

bool ReadHideTrack(Chunk& chunk, HideTrack& track) {
  std::int32_t flags;
  std::uint32_t count;
  if (!ReadTrackHeader(chunk, flags, count, 6)) return false;
  HideKey* keys = nullptr;
  if (count) {
    keys = static_cast<HideKey*>(std::calloc(count, sizeof(HideKey)));
    if (!keys) return false;
  }
  std::free(track.keys);
  track.keys = keys;
  track.flags = flags;
  track.keyCount = static_cast<std::int32_t>(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t frame = 0;
    ReadU32(chunk, frame);
    SkipBytes(chunk, 2);  // the flag word of a hide key announces nothing we read
    keys[i].frame = static_cast<std::int32_t>(frame);
    SCENE_TRACE("      Frame %i: change visibility\n", keys[i].frame);
  }
  return true;
}

struct NodeState {
  bool headerRead = false;
  bool placed = false;
  int hierarchy = 0;
};

bool ReadNodeHeader(Section& section, Node* node, NodeState& state, Chunk& chunk) {
  // A second header would link and place the same node twice.
  if (state.headerRead) return Fail("a node has two headers");
  state.headerRead = true;
  ReadString(chunk, node->name, sizeof node->name);
  std::uint16_t flags1, flags2;
  std::int16_t h;
  if (!ReadU16(chunk, flags1) || !ReadU16(chunk, flags2) || !ReadI16(chunk, h))
    return Fail("a node header is cut short");
  state.hierarchy = h;
  SCENE_TRACE("    Node Header\n");
  SCENE_TRACE("      Name: \"%s\"\n", node->name);
  SCENE_TRACE("      Hirachy: %i\n", h);
  if (!LinkNode(section, node)) return false;
  if (!PlaceNode(section.scene, section.spine, node, h)) return false;
  state.placed = true;
  return true;
}

bool ReadNodeChunks(Section& section, Node* node, NodeState& state, Chunk& chunk) {
  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  while (HasMore(reader)) {
    const ChunkStatus status = NextChunk(reader, sub);
    if (status == ChunkStatus::end) break;
    if (status == ChunkStatus::malformed) return FailMalformed(reader);
    switch (sub.id) {
      case 0xB010:
        if (!ReadNodeHeader(section, node, state, sub)) return FailIn(sub);
        break;
      case 0xB011: {
        char instance[sceneNameSize];
        ReadString(sub, instance, sizeof instance);
        SCENE_TRACE("    Instance Name: \"%s\"\n", instance);
        break;
      }
      case 0xB012:
        SCENE_TRACE("    Prescale\n");
        break;
      case 0xB013:
        if (!ReadVector(sub, node->pivot)) return FailIn(sub);
        SCENE_TRACE("    Pivot: x=%f y=%f z=%f\n", node->pivot.x, node->pivot.y, node->pivot.z);
        if (node->kind == nodeMesh && node->object)
          node->pivot = Add(node->pivot, static_cast<Mesh*>(node->object)->origin);
        break;
      case 0xB014:
      case 0xB015:
        break;
      case 0xB020: {
        SCENE_TRACE("    Position Track Tag\n");
        // Children keep their positions with y and z exchanged and y negated.
        const bool root = state.hierarchy == -1;
        if (!ReadTrack(sub, node->position, 12, [root](Chunk& c, VectorKey& key) {
              Vector v;
              if (!ReadVector(c, v)) return Fail("a key is cut short");
              SCENE_TRACE("        Position: x=%f y=%f z=%f\n", v.x, v.y, v.z);
              key.value = root ? v : Vector{v.x, v.z, -v.y};
              return true;
            }))
          return FailIn(sub);
        ComputeVectorTangents(&node->position);
        break;
      }
      case 0xB021: {
        SCENE_TRACE("    Rotation Track Tag\n");
        if (!ReadTrack(sub, node->rotation, 16, [](Chunk& c, RotationKey& key) {
              if (!ReadFloat(c, key.angle) || !ReadVector(c, key.axis)) return Fail("a key is cut short");
              SCENE_TRACE("        Rotation: angle=%f, axis: (%f|%f|%f)\n", key.angle, key.axis.x, key.axis.y,
                          key.axis.z);
              return true;
            }))
          return FailIn(sub);
        if (node->rotation.keyCount > 0) node->rotation.keys[0].angle = 0.0f;
        PrepareRotationKeys(&node->rotation);
        break;
      }
      case 0xB022:
        SCENE_TRACE("    Scale Track Tag\n");
        if (!ReadTrack(sub, node->scale, 12, [](Chunk& c, VectorKey& key) {
              if (!ReadVector(c, key.value)) return Fail("a key is cut short");
              SCENE_TRACE("        Scale: x=%f y=%f z=%f\n", key.value.x, key.value.y, key.value.z);
              return true;
            }))
          return FailIn(sub);
        ComputeVectorTangents(&node->scale);
        break;
      case 0xB023:
        SCENE_TRACE("    FOV Track Tag\n");
        if (!ReadTrack(sub, node->fieldOfView, 4, [](Chunk& c, ScalarKey& key) {
              if (!ReadFloat(c, key.value)) return Fail("a key is cut short");
              SCENE_TRACE("        Camera field of view: %f\n", key.value);
              return true;
            }))
          return FailIn(sub);
        ComputeScalarTangents(&node->fieldOfView);
        break;
      case 0xB024:
        SCENE_TRACE("    Roll Track Tag\n");
        if (!ReadTrack(sub, node->roll, 4, [](Chunk& c, ScalarKey& key) {
              if (!ReadFloat(c, key.value)) return Fail("a key is cut short");
              SCENE_TRACE("        Camera roll: %f\n", key.value);
              return true;
            }))
          return FailIn(sub);
        ComputeScalarTangents(&node->roll);
        break;
      case 0xB025:
        SCENE_TRACE("    Color Track Tag\n");
        if (!ReadTrack(sub, node->colour, 12, [](Chunk& c, VectorKey& key) {
              if (!ReadVector(c, key.value)) return Fail("a key is cut short");
              SCENE_TRACE("        Color: r=%f g=%f b=%f\n", key.value.x, key.value.y, key.value.z);
              return true;
            }))
          return FailIn(sub);
        ComputeVectorTangents(&node->colour);
        break;
      case 0xB026:
        SCENE_TRACE("    Morph Track Tag\n");
        if (!ReadTrack(sub, node->morph, 1, [&section](Chunk& c, MorphKey& key) {
              ReadString(c, key.target, sizeof key.target);
              SCENE_TRACE("        Object: \"%s\"\n", key.target);
              key.mesh = Names::Find(section.names.meshes, key.target);
              return key.mesh != nullptr || Fail("a morph key names a mesh that does not exist");
            }))
          return FailIn(sub);
        break;
      case 0xB027:
        SCENE_TRACE("    Hotspot Track Tag\n");
        if (!ReadTrack(sub, node->hotspot, 4, [](Chunk& c, ScalarKey& key) {
              if (!ReadFloat(c, key.value)) return Fail("a key is cut short");
              SCENE_TRACE("        Hotspot angle: %f\n", key.value);
              return true;
            }))
          return FailIn(sub);
        ComputeScalarTangents(&node->hotspot);
        break;
      case 0xB028:
        SCENE_TRACE("    Fall Track Tag\n");
        if (!ReadTrack(sub, node->falloff, 4, [](Chunk& c, ScalarKey& key) {
              if (!ReadFloat(c, key.value)) return Fail("a key is cut short");
              SCENE_TRACE("        Fallof angle: %f\n", key.value);
              return true;
            }))
          return FailIn(sub);
        ComputeScalarTangents(&node->falloff);
        break;
      case 0xB029:
        SCENE_TRACE("    Hide Track Tag\n");
        if (!ReadHideTrack(sub, node->hide)) return FailIn(sub);
        break;
      case 0xB030: {
        std::int16_t id;
        if (ReadI16(sub, id)) SCENE_TRACE("    Node ID: %i\n", id);
        break;
      }
      default:
        SCENE_TRACE("  Unknown chunk ID 0x%X in Keyframer object information chunk found!\n", sub.id);
        break;
    }
  }
  return true;
}

bool ReadNode(Section& section, Chunk& chunk, NodeKind kind) {
  auto* node = static_cast<Node*>(std::calloc(1, sizeof(Node)));
  if (!node) return false;
  node->kind = kind;
  node->isTarget = kind == nodeLightTarget || kind == nodeCameraTarget;
  NodeState state;
  const bool ok = ReadNodeChunks(section, node, state, chunk);
  // Once placed the node belongs to the scene. A node that never got a header
  // has no place in the tree and is dropped.
  if (!state.placed) FreeNode(node);
  return ok;
}

void TraceTree(const Node* node, int indent) {
  for (; node; node = node->next) {
    SCENE_TRACE("%*s%s (%i)\n", indent, "", node->name, node->kind);
    int children = 0;
    for (const Node* c = node->child; c; c = c->next) ++children;
    if (children == 1) {
      SCENE_TRACE("%*s1 child\n", indent + 2, "");
    } else if (children > 1) {
      SCENE_TRACE("%*s%i children\n", indent + 2, "", children);
    }
    TraceTree(node->child, indent + 2);
  }
}

}  // namespace

bool ReadKeyframer(Scene* scene, Chunk& chunk) {
  Section section{scene, SpineOf(scene), Names(scene)};
  ChunkReader reader = SubReader(chunk);
  Chunk sub;
  while (HasMore(reader)) {
    const ChunkStatus status = NextChunk(reader, sub);
    if (status == ChunkStatus::end) break;
    if (status == ChunkStatus::malformed) return FailMalformed(reader);
    bool ok = true;
    switch (sub.id) {
      case 0xB00A: {
        std::uint16_t revision;
        char fileName[sceneNameSize];
        std::uint16_t frames;
        if (!ReadU16(sub, revision)) return FailIn(sub);
        ReadString(sub, fileName, sizeof fileName);
        if (!ReadU16(sub, frames)) return FailIn(sub);
        scene->frameCount = static_cast<std::int16_t>(frames);
        SCENE_TRACE("  Header\n");
        SCENE_TRACE("    revision: %i\n", revision);
        SCENE_TRACE("    filename: \"%s\"\n", fileName);
        SCENE_TRACE("    %i frame(s)\n", scene->frameCount);
        break;
      }
      case 0xB002:
        SCENE_TRACE("  Object information\n");
        ok = ReadNode(section, sub, nodeMesh);
        break;
      case 0xB003:
        SCENE_TRACE("  Camera information\n");
        ok = ReadNode(section, sub, nodeCamera);
        break;
      case 0xB004:
        SCENE_TRACE("  Camera target information\n");
        ok = ReadNode(section, sub, nodeCameraTarget);
        break;
      case 0xB005:
        SCENE_TRACE("  Light information\n");
        ok = ReadNode(section, sub, nodeLight);
        break;
      case 0xB006:
        SCENE_TRACE("  Light target information\n");
        ok = ReadNode(section, sub, nodeLightTarget);
        break;
      case 0xB007:
        SCENE_TRACE("  Spotlight information\n");
        ok = ReadNode(section, sub, nodeSpotlight);
        break;
      case 0x7001:
      case 0xB001:
      case 0xB008:
      case 0xB009:
        break;
      default:
        SCENE_TRACE("  Unknown chunk ID 0x%X in Keyframer chunk found!\n", sub.id);
        break;
    }
    if (!ok) return FailIn(sub);
  }
  if constexpr (verbose) {
    SCENE_TRACE("Objects: \n");
    int count = 0;
    for (int i = 0; i < scene->rootCount; ++i) {
      TraceTree(scene->roots[i], 0);
      VisitNodesParentFirst(scene->roots[i], [&count](Node*) { ++count; });
    }
    SCENE_TRACE("%i objects\n", count);
  }
  return true;
}
