// Scene engine. read3ds reads a 3D Studio scene (main and editor chunks; the
// materials in readmaterial, the node tree and its tracks in keyframer), walking
// the chunk tree with the bounds-checked cursors of chunks.h; tracks evaluates
// keyframe tracks; render poses, lights and emits a scene's triangles for one
// frame; math3d holds the vector, matrix and quaternion arithmetic. Files come
// through stream/ (the open archive); the only tie to gfx/ is the texture table,
// whose widths scale texel coordinates.
//
// The in-memory scene: meshes, materials, lights and cameras from the 3D editor
// section of a 3D Studio file, and the tree of keyframer nodes with their tracks
// and the per-frame work arrays of the renderer. Plain records; every array is a
// heap block owned by the record that points to it, and FreeScene releases all.
#pragma once

#include <cstdint>

#include "engine/math3d.h"

inline constexpr int sceneNameSize = 64;         // NUL-terminated: at most 63 characters
inline constexpr int textureFileSize = 80;       // NUL-terminated: at most 79 characters
inline constexpr int maxRootNodes = 256;
inline constexpr int maxMaterials = 256;

// Bits of Material::flags.
enum MaterialFlags : std::int32_t {
  materialShadingMask = 0x03,  // shading mode minus one; 0 is flat
  materialTextured = 0x04,
  materialTwoSided = 0x10,
  materialEmit = 0x80,
  materialCreated = 0x88,  // flags of a material read from a file before its chunks
};

enum NodeKind : std::int32_t {
  nodeMesh = 1,
  nodeLight = 2,
  nodeLightTarget = 3,
  nodeSpotlight = 4,
  nodeCamera = 5,
  nodeCameraTarget = 6,
};

struct Face {
  std::int32_t a, b, c;
  std::int32_t edgeFlagCA;  // 0 or 1
  std::int32_t edgeFlagBC;  // 0 or 2
  std::int32_t edgeFlagAB;  // 0 or 4
  std::int32_t wrapFlag;    // 0 or 8
  std::int32_t material;    // index into Scene::materials, -1 for the default material
  Vector normal;            // unit (b - a) x (c - a), mesh coordinates
  Vector centre;            // mean of the three vertices
};

struct TexCoord {
  float u, v;  // v stored negated
};

struct Mesh {
  char name[sceneNameSize];
  Vector origin;   // translation of the local axis system
  Vector axes[3];  // X, Y and Z axis vectors
  std::int32_t vertexCount;
  Vector* vertices;
  Vector* vertexNormals;
  TexCoord* texCoords;
  std::int32_t texCoordCount;  // pairs the file gave: 0 or vertexCount
  std::int32_t faceCount;
  Face* faces;
};

struct Material {
  char name[sceneNameSize];
  std::int32_t flags;         // MaterialFlags
  std::int32_t textureIndex;  // into the device layer's texture table
  Vector ambient;             // red, green, blue, 0 to 255
  Vector diffuse;
  Vector specular;
  float selfIllumination;     // 0 to 1
  char textureFile[textureFileSize];
};

struct Node;

struct Light {
  char name[sceneNameSize];
  Vector position;
  std::int32_t isSpot;
  std::int32_t off;
  Vector colour;  // 0 to 1
  Node* node;     // the last light, light-target or spotlight node naming it
};

struct Camera {
  char name[sceneNameSize];
  Vector position;
  Vector target;
  float bank;
  float lens;
  float nearRange;
  float farRange;
  Node* node;
  Node* targetNode;
};

struct SplineParams {
  float tension, continuity, bias, easeTo, easeFrom;
};

struct ScalarKey {
  std::int32_t frame;
  float value;
  float out;  // outgoing tangent
  float in;   // incoming tangent
  SplineParams spline;
};

struct VectorKey {
  std::int32_t frame;
  Vector value;
  Vector out;
  Vector in;
  SplineParams spline;
};

struct RotationKey {
  std::int32_t frame;
  Matrix matrix;   // cumulative rotation up to this key
  Matrix inverse;  // its inverse
  float angle;     // radians, incremental
  Vector axis;
  SplineParams spline;
};

struct MorphKey {
  std::int32_t frame;
  SplineParams spline;
  char target[sceneNameSize];
  Mesh* mesh;
};

struct HideKey {
  std::int32_t frame;
};

struct RotationValue {
  Matrix rotation;
  Matrix inverse;
};

// Bits 0 and 1 of Track::flags.
enum : std::int32_t {
  trackModeMask = 0x03,
  trackRepeat = 0x02,  // as a mode value: the key range repeats endlessly
};

template <class Key, class Value>
struct Track {
  std::int32_t flags;     // the file's 16-bit flags, sign-extended
  std::int32_t keyCount;
  Key* keys;
  Value value;            // current value, written by the evaluators
};

using ScalarTrack = Track<ScalarKey, float>;
using VectorTrack = Track<VectorKey, Vector>;
using RotationTrack = Track<RotationKey, RotationValue>;
struct MorphValue {
  std::int32_t words[4];
};
using MorphTrack = Track<MorphKey, MorphValue>;
using HideTrack = Track<HideKey, std::int32_t>;  // value: 0 visible, 1 hidden

struct Node {
  Node* next;
  Node* child;
  Node* parent;
  char name[sceneNameSize];
  void* object;  // Mesh, Light or Camera, by kind
  std::int32_t kind;
  std::int32_t isTarget;
  Vector pivot;
  Matrix worldMatrix;
  Matrix lightTransform;  // stays all zero: every light acts from the eye
  Matrix modelView;

  VectorTrack position;
  RotationTrack rotation;
  VectorTrack scale;
  ScalarTrack fieldOfView;
  ScalarTrack roll;
  VectorTrack colour;
  MorphTrack morph;
  ScalarTrack hotspot;
  ScalarTrack falloff;
  HideTrack hide;

  Vector* eyeVertices;            // mesh nodes: vertexCount points
  Vector* lightPositions;         // mesh nodes: lightPositionCount points
  std::int32_t* faceVisible;      // mesh nodes: faceCount flags
  std::int32_t* vertexVisible;    // mesh nodes: vertexCount flags

  // Bookkeeping of our own, so that the frame walk needs no recursion.
  Node* previous;                 // previous sibling, null for the first one
  Matrix childMatrix;             // parent matrix handed to the children this frame
  std::int32_t lightPositionCount;  // lights known when the node was read
};

struct Scene {
  std::int32_t frameCount;
  float framesPerSecond;
  std::int32_t rootCount;
  Node* roots[maxRootNodes];
  std::int32_t meshCount;
  Mesh* meshes;
  std::int32_t lightCount;
  Light* lights;
  std::int32_t cameraCount;
  Camera* cameras;
  std::int32_t materialCount;
  Material* materials[maxMaterials];
  Material defaultMaterial;
};

// Allocates a zeroed scene with 30 frames per second and the default material;
// null when memory runs out.
Scene* CreateScene();
// Releases the scene and everything it owns; accepts partly built scenes and null.
void FreeScene(Scene* scene);
// Releases one node's arrays and the node; its children and siblings are untouched.
void FreeNode(Node* node);

// First record whose name equals name byte for byte, or null.
Mesh* FindMesh(Scene* scene, const char* name);
Light* FindLight(Scene* scene, const char* name);
Camera* FindCamera(Scene* scene, const char* name);
// Index of the first material named name, or -1.
int FindMaterial(const Scene* scene, const char* name);

// Nodes of a subtree (node, its following siblings and all their descendants)
// in the order the renderer emits them: following siblings first, then the
// children, then the node itself. Walks without recursion, so any depth is safe;
// visit may free the node it is given.
template <class Visit>
void VisitNodesChildrenFirst(Node* start, Visit visit) {
  if (!start) return;
  auto descend = [](Node* n) {
    for (;;) {
      if (n->next) {
        n = n->next;
      } else if (n->child) {
        n = n->child;
      } else {
        return n;
      }
    }
  };
  // The previous sibling, found by a scan when a tree was linked by hand
  // without `previous`.
  auto previousOf = [start](Node* n) -> Node* {
    if (n->previous) return n->previous;
    Node* first = n->parent != start->parent ? n->parent->child : start;
    for (Node* p = first; p && p != n; p = p->next)
      if (p->next == n) return p;
    return nullptr;
  };
  Node* current = descend(start);
  for (;;) {
    const bool last = current == start;
    // The node this one hangs from: its previous sibling, or its parent when it
    // is the first child.
    Node* previous = last ? nullptr : previousOf(current);
    Node* up = previous ? previous : current->parent;
    const bool cameFromNext = previous != nullptr;
    visit(current);
    if (last) return;
    if (cameFromNext && up->child) {
      current = descend(up->child);
    } else {
      current = up;
    }
  }
}

// Nodes of a subtree, each before its children and following siblings.
template <class Visit>
void VisitNodesParentFirst(Node* start, Visit visit) {
  if (!start) return;
  Node* boundary = start->parent;
  Node* current = start;
  for (;;) {
    visit(current);
    if (current->child) {
      current = current->child;
      continue;
    }
    while (current && current != boundary) {
      if (current->next) {
        current = current->next;
        break;
      }
      current = current->parent;
    }
    if (!current || current == boundary) return;
  }
}
