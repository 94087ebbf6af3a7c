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
      if (!mesh) return FailQuoting("node ", node->name, " names no mesh");
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
      if (!light) return FailQuoting("node ", node->name, " names no light");
      node->object = light;
      light->node = node;
      return true;
    }
    case nodeCamera:
    case nodeCameraTarget: {
      Camera* camera = Names::Find(section.names.cameras, node->name);
      if (!camera) return FailQuoting("node ", node->name, " names no camera");
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

// Everything a node's sub-chunks fill.
struct NodeTarget {
  Section& section;
  Node* node;
  NodeState state;
};

bool ReadHeaderChunk(NodeTarget& t, Chunk& chunk) { return ReadNodeHeader(t.section, t.node, t.state, chunk); }

bool TraceInstanceName(NodeTarget&, Chunk& chunk) {
  char instance[sceneNameSize];
  ReadString(chunk, instance, sizeof instance);
  SCENE_TRACE("    Instance Name: \"%s\"\n", instance);
  return true;
}

bool TracePrescale(NodeTarget&, Chunk&) {
  SCENE_TRACE("    Prescale\n");
  return true;
}

// A mesh node's pivot is counted from the mesh's local origin.
bool ReadPivot(NodeTarget& t, Chunk& chunk) {
  Node* node = t.node;
  if (!ReadVector(chunk, node->pivot)) return false;
  SCENE_TRACE("    Pivot: x=%f y=%f z=%f\n", node->pivot.x, node->pivot.y, node->pivot.z);
  if (node->kind == nodeMesh && node->object) node->pivot = Add(node->pivot, static_cast<Mesh*>(node->object)->origin);
  return true;
}

bool TraceNodeId(NodeTarget&, Chunk& chunk) {
  std::int16_t id;
  if (ReadI16(chunk, id)) SCENE_TRACE("    Node ID: %i\n", id);
  return true;
}

// A track of three floats a key (position, scale, colour), traced as
// "name: a=.. b=.. c=.." with the given letters. childAxes stores each key as
// (x, z, -y), as children keep their positions.
bool ReadVectorTrack(Chunk& chunk, VectorTrack& track, const char* tag, const char* name, const char* letters,
                     bool childAxes = false) {
  SCENE_TRACE("    %s Track Tag\n", tag);
  const bool ok = ReadTrack(chunk, track, 12, [=](Chunk& c, VectorKey& key) {
    Vector v;
    if (!ReadVector(c, v)) return Fail("a key is cut short");
    SCENE_TRACE("        %s: %c=%f %c=%f %c=%f\n", name, letters[0], v.x, letters[1], v.y, letters[2], v.z);
    key.value = childAxes ? Vector{v.x, v.z, -v.y} : v;
    return true;
  });
  if (ok) ComputeVectorTangents(&track);
  return ok;
}

// A track of one float a key (field of view, roll, hotspot, falloff).
bool ReadScalarTrack(Chunk& chunk, ScalarTrack& track, const char* tag, const char* name) {
  SCENE_TRACE("    %s Track Tag\n", tag);
  const bool ok = ReadTrack(chunk, track, 4, [=](Chunk& c, ScalarKey& key) {
    if (!ReadFloat(c, key.value)) return Fail("a key is cut short");
    SCENE_TRACE("        %s: %f\n", name, key.value);
    return true;
  });
  if (ok) ComputeScalarTangents(&track);
  return ok;
}

bool ReadPositionTrack(NodeTarget& t, Chunk& chunk) {
  return ReadVectorTrack(chunk, t.node->position, "Position", "Position", "xyz", t.state.hierarchy != -1);
}

bool ReadScaleTrack(NodeTarget& t, Chunk& chunk) {
  return ReadVectorTrack(chunk, t.node->scale, "Scale", "Scale", "xyz");
}

bool ReadColourTrack(NodeTarget& t, Chunk& chunk) {
  return ReadVectorTrack(chunk, t.node->colour, "Color", "Color", "rgb");
}

bool ReadFieldOfViewTrack(NodeTarget& t, Chunk& chunk) {
  return ReadScalarTrack(chunk, t.node->fieldOfView, "FOV", "Camera field of view");
}

bool ReadRollTrack(NodeTarget& t, Chunk& chunk) { return ReadScalarTrack(chunk, t.node->roll, "Roll", "Camera roll"); }

bool ReadHotspotTrack(NodeTarget& t, Chunk& chunk) {
  return ReadScalarTrack(chunk, t.node->hotspot, "Hotspot", "Hotspot angle");
}

bool ReadFalloffTrack(NodeTarget& t, Chunk& chunk) {
  return ReadScalarTrack(chunk, t.node->falloff, "Fall", "Fallof angle");
}

// The first key's angle is taken as 0, so its matrices are the identity.
bool ReadRotationTrack(NodeTarget& t, Chunk& chunk) {
  SCENE_TRACE("    Rotation Track Tag\n");
  RotationTrack& track = t.node->rotation;
  if (!ReadTrack(chunk, track, 16, [](Chunk& c, RotationKey& key) {
        if (!ReadFloat(c, key.angle) || !ReadVector(c, key.axis)) return Fail("a key is cut short");
        SCENE_TRACE("        Rotation: angle=%f, axis: (%f|%f|%f)\n", key.angle, key.axis.x, key.axis.y, key.axis.z);
        return true;
      }))
    return false;
  if (track.keyCount > 0) track.keys[0].angle = 0.0f;
  PrepareRotationKeys(&track);
  return true;
}

bool ReadMorphTrack(NodeTarget& t, Chunk& chunk) {
  SCENE_TRACE("    Morph Track Tag\n");
  const Names& names = t.section.names;
  return ReadTrack(chunk, t.node->morph, 1, [&names](Chunk& c, MorphKey& key) {
    ReadString(c, key.target, sizeof key.target);
    SCENE_TRACE("        Object: \"%s\"\n", key.target);
    key.mesh = Names::Find(names.meshes, key.target);
    return key.mesh != nullptr || FailQuoting("a morph key names ", key.target, ", which is no mesh");
  });
}

bool ReadHideTrackChunk(NodeTarget& t, Chunk& chunk) {
  SCENE_TRACE("    Hide Track Tag\n");
  return ReadHideTrack(chunk, t.node->hide);
}

constexpr ChunkHandler<NodeTarget> nodeHandlers[] = {
    {0xB010, ReadHeaderChunk},      {0xB011, TraceInstanceName},    {0xB012, TracePrescale},
    {0xB013, ReadPivot},            {0xB020, ReadPositionTrack},    {0xB021, ReadRotationTrack},
    {0xB022, ReadScaleTrack},       {0xB023, ReadFieldOfViewTrack}, {0xB024, ReadRollTrack},
    {0xB025, ReadColourTrack},      {0xB026, ReadMorphTrack},       {0xB027, ReadHotspotTrack},
    {0xB028, ReadFalloffTrack},     {0xB029, ReadHideTrackChunk},   {0xB030, TraceNodeId},
};
constexpr std::uint16_t nodeSkipped[] = {0xB014, 0xB015};  // bounding box, morph smoothing

bool ReadNode(Section& section, Chunk& chunk, NodeKind kind) {
  auto* node = static_cast<Node*>(std::calloc(1, sizeof(Node)));
  if (!node) return false;
  node->kind = kind;
  node->isTarget = kind == nodeLightTarget || kind == nodeCameraTarget;
  NodeTarget target{section, node, {}};
  const bool ok =
      DispatchSubChunks(chunk, target, nodeHandlers, {2, "Keyframer object information chunk"}, nodeSkipped);
  // Once placed the node belongs to the scene. A node that never got a header
  // has no place in the tree and is dropped.
  if (!target.state.placed) FreeNode(node);
  return ok;
}

bool ReadKeyframerHeader(Section& section, Chunk& chunk) {
  std::uint16_t revision;
  char fileName[sceneNameSize];
  std::uint16_t frames;
  if (!ReadU16(chunk, revision)) return false;
  ReadString(chunk, fileName, sizeof fileName);
  if (!ReadU16(chunk, frames)) return false;
  section.scene->frameCount = static_cast<std::int16_t>(frames);
  SCENE_TRACE("  Header\n");
  SCENE_TRACE("    revision: %i\n", revision);
  SCENE_TRACE("    filename: \"%s\"\n", fileName);
  SCENE_TRACE("    %i frame(s)\n", section.scene->frameCount);
  return true;
}

// What the trace calls the node chunk of each kind.
const char* NodeChunkName(NodeKind kind) {
  switch (kind) {
    case nodeMesh: return "Object";
    case nodeCamera: return "Camera";
    case nodeCameraTarget: return "Camera target";
    case nodeLight: return "Light";
    case nodeLightTarget: return "Light target";
    case nodeSpotlight: return "Spotlight";
  }
  return "";
}

template <NodeKind kind>
bool ReadNodeOfKind(Section& section, Chunk& chunk) {
  SCENE_TRACE("  %s information\n", NodeChunkName(kind));
  return ReadNode(section, chunk, kind);
}

constexpr ChunkHandler<Section> keyframerHandlers[] = {
    {0xB00A, ReadKeyframerHeader},
    {0xB002, ReadNodeOfKind<nodeMesh>},
    {0xB003, ReadNodeOfKind<nodeCamera>},
    {0xB004, ReadNodeOfKind<nodeCameraTarget>},
    {0xB005, ReadNodeOfKind<nodeLight>},
    {0xB006, ReadNodeOfKind<nodeLightTarget>},
    {0xB007, ReadNodeOfKind<nodeSpotlight>},
};
// Viewport layout, ambient light node, the active frame range and the current frame.
constexpr std::uint16_t keyframerSkipped[] = {0x7001, 0xB001, 0xB008, 0xB009};

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
  if (!DispatchSubChunks(chunk, section, keyframerHandlers, {2, "Keyframer chunk"}, keyframerSkipped)) return false;
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
