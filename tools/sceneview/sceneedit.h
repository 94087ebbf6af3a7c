// Records sceneview adds to a scene in memory, built as the reader builds its
// own (zeroed nodes from calloc, freed by FreeScene): a node per mesh for a file
// without a keyframer, a white light, and a camera with its eye and target.
// Nodes added here have no keys; their track values are set directly and stay.
#pragma once

#include "engine/scene.h"

// A root node for every mesh, drawn where the editor placed it. False when
// memory runs out.
bool AddMeshNodes(Scene* scene);
// A white light; every light acts from the eye. False when memory runs out.
bool AddWhiteLight(Scene* scene);

struct CameraNodes {
  Node* eye = nullptr;
  Node* target = nullptr;
};
// A camera of our own at the front of the camera list, so the renderer uses it.
// Empty nodes when memory runs out.
CameraNodes AddCamera(Scene* scene);

// Whether any light has a keyframer node with a colour to give.
bool SceneHasLight(const Scene* scene);
