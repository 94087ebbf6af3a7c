// Posing and lighting a scene at a float frame number: node tracks evaluated,
// matrices composed down the tree, vertices moved into eye space, faces lit and
// handed to a TriangleSink one at a time.
#pragma once

#include "engine/polygon.h"
#include "engine/scene.h"

// Poses the scene at frame (repeating the animation past its end) and emits every
// visible face. Writes the first camera's field of view into *fieldOfView when a
// frame is drawn; nothing is drawn without a camera, for a frame below 0, for a
// scene without frames, or when the camera is unlinked or degenerate.
void RenderScene(Scene* scene, TriangleSink sink, float frame, float* fieldOfView);

// What became of a frame: drawn, or why nothing was.
enum class FrameOutcome {
  drawn,
  noScene,            // no scene or no sink
  noFrames,           // the keyframer gives no frame count
  frameNotFinite,
  beforeStart,        // a frame below 0
  frameTooLarge,      // too large to wrap into the animation in float arithmetic
  noCamera,
  cameraNotAnimated,  // the first camera has no node for its eye or its target
  cameraDegenerate,   // eye on the target, or a view straight along the vertical
};
// RenderScene, telling what became of the frame.
FrameOutcome DrawSceneFrame(Scene* scene, TriangleSink sink, float frame, float* fieldOfView);
// A sentence for a person ("the scene has no camera").
const char* FrameOutcomeText(FrameOutcome outcome);

// World matrices of the node, its following siblings and their descendants under
// the parent matrix.
void ComposeNodeMatrices(Node* node, const Matrix& parent);
// Camera matrix Translate(-eye) x A x Roll(roll in degrees); false when the view
// direction is zero or parallel to the z axis.
bool BuildCameraMatrix(const Vector& eye, const Vector& target, float roll, Matrix& out);
void TransformNodeVertices(Node* node, const Matrix& camera);
// Lights and emits the faces of the node's subtree: following siblings first,
// then children, then the node. A 0 from the sink ends only the current node's
// faces.
void LightAndEmitNode(const Scene* scene, Node* node, TriangleSink sink);

// Texel scale of a textured material: the width of its texture in the device
// layer's texture table, or 256 when the index is outside the table or empty.
float TextureScale(int textureIndex);
