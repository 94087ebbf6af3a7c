// Adding nodes, a light and a camera to a scene through the engine's records.
#include "tools/sceneview/sceneedit.h"

#include <cstdlib>
#include <cstring>

namespace {

void SetName(char (&field)[sceneNameSize], const char* name) {
  std::strncpy(field, name, sceneNameSize - 1);
  field[sceneNameSize - 1] = 0;
}

// A zeroed node that stands still: identity rotation, unit scale.
Node* NewNode(NodeKind kind, const char* name, void* object) {
  auto* node = static_cast<Node*>(std::calloc(1, sizeof(Node)));
  if (!node) return nullptr;
  node->kind = kind;
  node->isTarget = kind == nodeLightTarget || kind == nodeCameraTarget;
  node->object = object;
  SetName(node->name, name);
  node->rotation.value.rotation = MatrixIdentity();
  node->rotation.value.inverse = MatrixIdentity();
  node->scale.value = {1.0f, 1.0f, 1.0f};
  return node;
}

// A root of its own while there is room, else a sibling after the last root.
void AppendRoot(Scene* scene, Node* node) {
  if (scene->rootCount < maxRootNodes) {
    scene->roots[scene->rootCount++] = node;
    return;
  }
  Node* last = scene->roots[maxRootNodes - 1];
  while (last->next) last = last->next;
  last->next = node;
  node->previous = last;
}

template <class Visit>
void ForEachNode(Scene* scene, Visit visit) {
  for (int i = 0; i < scene->rootCount; ++i) VisitNodesParentFirst(scene->roots[i], visit);
}

bool IsLightNode(const Node* n) { return n->kind == nodeLight || n->kind == nodeLightTarget || n->kind == nodeSpotlight; }
bool IsCameraNode(const Node* n) { return n->kind == nodeCamera || n->kind == nodeCameraTarget; }

// The per-light work array of every mesh node, grown to the scene's light count.
bool ResizeLightPositions(Scene* scene) {
  bool ok = true;
  ForEachNode(scene, [&](Node* n) {
    if (n->kind != nodeMesh || n->lightPositionCount >= scene->lightCount) return;
    auto* grown = static_cast<Vector*>(std::calloc(static_cast<std::size_t>(scene->lightCount), sizeof(Vector)));
    if (!grown) {
      ok = false;
      return;
    }
    std::free(n->lightPositions);
    n->lightPositions = grown;
    n->lightPositionCount = scene->lightCount;
  });
  return ok;
}

// Nodes point into the record arrays; a new array moves each record by shift.
template <class Record, class IsKind>
void Repoint(Scene* scene, const Record* old, Record* now, int count, int shift, IsKind isKind) {
  ForEachNode(scene, [&](Node* n) {
    if (!isKind(n) || !n->object) return;
    const Record* r = static_cast<const Record*>(n->object);
    for (int i = 0; i < count; ++i)
      if (r == old + i) n->object = now + i + shift;
  });
}

}  // namespace

bool AddMeshNodes(Scene* scene) {
  for (int i = 0; i < scene->meshCount; ++i) {
    Mesh* mesh = &scene->meshes[i];
    Node* node = NewNode(nodeMesh, mesh->name, mesh);
    if (!node) return false;
    const std::size_t vertices = static_cast<std::size_t>(mesh->vertexCount);
    const std::size_t faces = static_cast<std::size_t>(mesh->faceCount);
    const std::size_t lights = static_cast<std::size_t>(scene->lightCount);
    node->eyeVertices = static_cast<Vector*>(std::calloc(vertices + 1, sizeof(Vector)));
    node->vertexVisible = static_cast<std::int32_t*>(std::calloc(vertices + 1, sizeof(std::int32_t)));
    node->faceVisible = static_cast<std::int32_t*>(std::calloc(faces + 1, sizeof(std::int32_t)));
    node->lightPositions = static_cast<Vector*>(std::calloc(lights + 1, sizeof(Vector)));
    node->lightPositionCount = scene->lightCount;
    AppendRoot(scene, node);  // the scene owns it from here, complete or not
    if (!node->eyeVertices || !node->vertexVisible || !node->faceVisible || !node->lightPositions) return false;
  }
  return true;
}

bool SceneHasLight(const Scene* scene) {
  for (int i = 0; i < scene->lightCount; ++i) {
    const Node* n = scene->lights[i].node;
    if (n && n->colour.keyCount > 0) return true;
  }
  return false;
}

bool AddWhiteLight(Scene* scene) {
  const int count = scene->lightCount;
  auto* lights = static_cast<Light*>(std::calloc(static_cast<std::size_t>(count) + 1, sizeof(Light)));
  if (!lights) return false;
  if (count) std::memcpy(lights, scene->lights, sizeof(Light) * static_cast<std::size_t>(count));
  Light& light = lights[count];
  SetName(light.name, "sceneview light");
  light.colour = {1.0f, 1.0f, 1.0f};
  Node* node = NewNode(nodeLight, light.name, &light);
  if (!node) {
    std::free(lights);
    return false;
  }
  node->colour.value = {1.0f, 1.0f, 1.0f};
  light.node = node;
  Repoint(scene, scene->lights, lights, count, 0, IsLightNode);
  std::free(scene->lights);
  scene->lights = lights;
  scene->lightCount = count + 1;
  AppendRoot(scene, node);
  return ResizeLightPositions(scene);
}

CameraNodes AddCamera(Scene* scene) {
  const int count = scene->cameraCount;
  auto* cameras = static_cast<Camera*>(std::calloc(static_cast<std::size_t>(count) + 1, sizeof(Camera)));
  if (!cameras) return {};
  if (count) std::memcpy(cameras + 1, scene->cameras, sizeof(Camera) * static_cast<std::size_t>(count));
  Camera& camera = cameras[0];
  SetName(camera.name, "sceneview camera");
  camera.farRange = 1000.0f;
  Node* eye = NewNode(nodeCamera, camera.name, &camera);
  Node* target = NewNode(nodeCameraTarget, camera.name, &camera);
  if (!eye || !target) {
    std::free(eye);
    std::free(target);
    std::free(cameras);
    return {};
  }
  camera.node = eye;
  camera.targetNode = target;
  Repoint(scene, scene->cameras, cameras, count, 1, IsCameraNode);
  std::free(scene->cameras);
  scene->cameras = cameras;
  scene->cameraCount = count + 1;
  AppendRoot(scene, eye);
  AppendRoot(scene, target);
  return {eye, target};
}
