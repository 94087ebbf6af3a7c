// Creation, lookup and release of scenes.
#include "engine/scene.h"

#include <cstdlib>
#include <cstring>

Scene* CreateScene() {
  auto* scene = static_cast<Scene*>(std::calloc(1, sizeof(Scene)));
  if (!scene) return nullptr;
  scene->framesPerSecond = 30.0f;
  Material& m = scene->defaultMaterial;
  m.flags = materialEmit | 0x01;  // emit, smooth shading
  m.textureIndex = -1;
  m.diffuse = {255.0f, 255.0f, 255.0f};
  return scene;
}

void FreeNode(Node* node) {
  if (!node) return;
  std::free(node->position.keys);
  std::free(node->rotation.keys);
  std::free(node->scale.keys);
  std::free(node->fieldOfView.keys);
  std::free(node->roll.keys);
  std::free(node->colour.keys);
  std::free(node->morph.keys);
  std::free(node->hotspot.keys);
  std::free(node->falloff.keys);
  std::free(node->hide.keys);
  std::free(node->eyeVertices);
  std::free(node->faceVisible);
  std::free(node->vertexVisible);
  std::free(node->lightPositions);
  std::free(node);
}

void FreeScene(Scene* scene) {
  if (!scene) return;
  for (int i = 0; i < scene->rootCount; ++i) VisitNodesChildrenFirst(scene->roots[i], FreeNode);
  for (int i = 0; i < scene->materialCount; ++i) std::free(scene->materials[i]);
  for (int i = 0; i < scene->meshCount; ++i) {
    Mesh& mesh = scene->meshes[i];
    std::free(mesh.vertices);
    std::free(mesh.vertexNormals);
    std::free(mesh.texCoords);
    std::free(mesh.faces);
  }
  std::free(scene->meshes);
  std::free(scene->lights);
  std::free(scene->cameras);
  std::free(scene);
}

namespace {

bool SameName(const char (&stored)[sceneNameSize], const char* name) {
  return std::strncmp(stored, name, sceneNameSize) == 0;
}

}  // namespace

Mesh* FindMesh(Scene* scene, const char* name) {
  for (int i = 0; i < scene->meshCount; ++i)
    if (SameName(scene->meshes[i].name, name)) return &scene->meshes[i];
  return nullptr;
}

Light* FindLight(Scene* scene, const char* name) {
  for (int i = 0; i < scene->lightCount; ++i)
    if (SameName(scene->lights[i].name, name)) return &scene->lights[i];
  return nullptr;
}

Camera* FindCamera(Scene* scene, const char* name) {
  for (int i = 0; i < scene->cameraCount; ++i)
    if (SameName(scene->cameras[i].name, name)) return &scene->cameras[i];
  return nullptr;
}

int FindMaterial(const Scene* scene, const char* name) {
  for (int i = 0; i < scene->materialCount; ++i)
    if (SameName(scene->materials[i]->name, name)) return i;
  return -1;
}
