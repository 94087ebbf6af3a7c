// Frame rendering: tracks, matrices, eye-space vertices and per-face or
// per-vertex lighting, emitted as triangles. Allocates nothing; every work array
// was sized when the scene was read.
#include "engine/render.h"

#include <cmath>
#include <cstring>

#include "engine/tracks.h"
#include "gfx/texture.h"

namespace {

Matrix TranslationMatrix(const Vector& t) {
  Matrix m = MatrixIdentity();
  m.m[12] = t.x;
  m.m[13] = t.y;
  m.m[14] = t.z;
  return m;
}

void AddTranslation(Matrix& m, const Vector& t) {
  m.m[12] += t.x;
  m.m[13] += t.y;
  m.m[14] += t.z;
}

// Each channel: diffuse times the gathered light, at least the ambient value, at
// most 255. NaN from broken input ends up as the ambient value or 0, never in a
// polygon.
float Channel(float diffuse, float light, float ambient) {
  float v = diffuse * light;
  if (!(v > ambient)) v = ambient;
  if (v > 255.0f) v = 255.0f;
  if (!(v >= 0.0f)) v = 0.0f;
  return v;
}

struct Colour {
  float r, g, b;
};

Colour LightPoint(const Scene* scene, const Node* node, int lightCount, const Material& material,
                  const Vector& point, const Vector& normal) {
  const float si = material.selfIllumination;
  Vector acc{si, si, si};
  for (int j = 0; j < lightCount; ++j) {
    const Node* lightNode = scene->lights[j].node;
    if (!lightNode) continue;  // a light no node animates gives no light
    const Vector d = Subtract(node->lightPositions[j], point);
    const float distance = Length(d);
    // A light sitting on the point has no direction to light it from.
    if (!(distance > 0.0f)) continue;
    float k = Dot(normal, d) / distance;
    if (!(k > 0.0f)) k = 0.0f;
    acc = Add(acc, Scale(lightNode->colour.value, k));
  }
  return {Channel(material.diffuse.x, acc.x, material.ambient.x), Channel(material.diffuse.y, acc.y, material.ambient.y),
          Channel(material.diffuse.z, acc.z, material.ambient.z)};
}

bool FiniteCorners(const Polygon& p) {
  for (int c = 0; c < 3; ++c) {
    const PolygonVertex& v = p.vertices[c];
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z) || !std::isfinite(v.s) ||
        !std::isfinite(v.t))
      return false;
  }
  return true;
}

bool Visible(const Node* node) { return node->kind == nodeMesh && node->object && node->hide.value == 0; }

// Emits the faces of one mesh node; stops early when the sink returns 0.
void EmitNode(const Scene* scene, Node* node, TriangleSink sink, Polygon& polygon) {
  const Mesh& mesh = *static_cast<const Mesh*>(node->object);
  const int lightCount = scene->lightCount < node->lightPositionCount ? scene->lightCount : node->lightPositionCount;
  for (int j = 0; j < lightCount; ++j) {
    const Node* lightNode = scene->lights[j].node;
    node->lightPositions[j] =
        lightNode ? TransformPoint(MatrixTranslation(lightNode->worldMatrix), node->lightTransform) : Vector{};
  }
  for (int i = 0; i < mesh.faceCount; ++i) {
    if (!node->faceVisible[i]) continue;
    const Face& face = mesh.faces[i];
    const Material& material = face.material >= 0 && face.material < scene->materialCount
                                   ? *scene->materials[face.material]
                                   : scene->defaultMaterial;
    polygon.flags = material.flags & 0xFF;
    polygon.texture = material.textureIndex;
    polygon.count = 3;
    const float texScale = (material.flags & materialTextured) ? TextureScale(material.textureIndex) : 256.0f;
    const bool flat = (material.flags & materialShadingMask) == 0;
    const std::int32_t corners[3] = {face.a, face.b, face.c};
    Colour flatColour{};
    if (flat) flatColour = LightPoint(scene, node, lightCount, material, node->eyeVertices[face.a], face.normal);
    for (int c = 0; c < 3; ++c) {
      const int v = corners[c];
      const Vector& eye = node->eyeVertices[v];
      const Colour colour =
          flat ? flatColour : LightPoint(scene, node, lightCount, material, eye, mesh.vertexNormals[v]);
      PolygonVertex& out = polygon.vertices[c];
      out.x = eye.x;
      out.y = eye.y;
      out.z = eye.z;
      out.r = colour.r;
      out.g = colour.g;
      out.b = colour.b;
      out.s = texScale * mesh.texCoords[v].u;
      out.t = texScale * mesh.texCoords[v].v;
    }
    // Coordinates that are not finite (from a file holding NaN or overflowing
    // keys) cannot be projected; such a face is left out instead of handed on.
    if (!FiniteCorners(polygon)) continue;
    if (sink(&polygon) == 0) return;
  }
}

}  // namespace

float TextureScale(int textureIndex) {
  // An index outside the table names no texture: the untextured scale.
  if (textureIndex < 0 || textureIndex >= maxTextures) return 256.0f;
  return static_cast<float>(textures[textureIndex].width);
}

void ComposeNodeMatrices(Node* node, const Matrix& parent) {
  if (!node) return;
  const Node* boundary = node->parent;
  VisitNodesParentFirst(node, [&](Node* n) {
    const Matrix& p = n->parent == boundary ? parent : n->parent->childMatrix;
    Matrix rm = MatrixIdentity();
    Vector pv{0.0f, 0.0f, 0.0f};
    Vector sc{1.0f, 1.0f, 1.0f};
    if (n->kind == nodeMesh) {
      rm = n->rotation.value.rotation;
      pv = n->pivot;
      sc = n->scale.value;
    }
    const Vector& position = n->position.value;
    Matrix local = rm;
    AddTranslation(local, position);
    n->childMatrix = MatrixMultiply(local, p);

    Matrix s = MatrixIdentity();
    s.m[0] = sc.x;
    s.m[5] = sc.y;
    s.m[10] = sc.z;
    s.m[12] = -pv.x * sc.x;
    s.m[13] = -pv.y * sc.y;
    s.m[14] = -pv.z * sc.z;
    Matrix world = MatrixMultiply(s, rm);
    AddTranslation(world, position);
    n->worldMatrix = MatrixMultiply(world, p);
  });
}

bool BuildCameraMatrix(const Vector& eye, const Vector& target, float roll, Matrix& out) {
  const Vector f = Normalize(Subtract(target, eye));
  if (f.x == 0.0f && f.y == 0.0f && f.z == 0.0f) return false;
  const Vector up{0.0f, 0.0f, -1.0f};
  const Vector sd = Normalize(Cross(up, f));
  if (sd.x == 0.0f && sd.y == 0.0f && sd.z == 0.0f) return false;  // looking straight along z
  const Vector v = Normalize(Cross(sd, f));
  Matrix a = MatrixIdentity();
  a.m[0] = sd.x;
  a.m[1] = v.x;
  a.m[2] = f.x;
  a.m[4] = sd.y;
  a.m[5] = v.y;
  a.m[6] = f.y;
  a.m[8] = sd.z;
  a.m[9] = v.z;
  a.m[10] = f.z;
  const double angle = roll * 0.005555555555555555 * 3.14159265359;
  const float c = static_cast<float>(std::cos(angle));
  const float s = static_cast<float>(std::sin(angle));
  Matrix r = MatrixIdentity();
  r.m[0] = c;
  r.m[1] = s;
  r.m[4] = -s;
  r.m[5] = c;
  out = MatrixMultiply(MatrixMultiply(TranslationMatrix(Scale(eye, -1.0f)), a), r);
  return true;
}

void TransformNodeVertices(Node* node, const Matrix& camera) {
  VisitNodesParentFirst(node, [&camera](Node* n) {
    n->modelView = MatrixMultiply(n->worldMatrix, camera);
    if (!Visible(n)) return;
    const Mesh& mesh = *static_cast<const Mesh*>(n->object);
    if (mesh.faceCount > 0) std::memset(n->faceVisible, 0x01, sizeof(std::int32_t) * mesh.faceCount);
    if (mesh.vertexCount > 0) std::memset(n->vertexVisible, 0x01, sizeof(std::int32_t) * mesh.vertexCount);
    for (int i = 0; i < mesh.vertexCount; ++i)
      if (n->vertexVisible[i]) n->eyeVertices[i] = TransformPoint(mesh.vertices[i], n->modelView);
  });
}

void LightAndEmitNode(const Scene* scene, Node* node, TriangleSink sink) {
  Polygon polygon;
  std::memset(&polygon, 0, sizeof polygon);
  VisitNodesChildrenFirst(node, [&](Node* n) {
    if (Visible(n)) EmitNode(scene, n, sink, polygon);
  });
}

FrameOutcome DrawSceneFrame(Scene* scene, TriangleSink sink, float frame, float* fieldOfView) {
  if (!scene || !sink) return FrameOutcome::noScene;
  const std::int32_t frames = scene->frameCount;
  // Without frames the animation cannot repeat; there is nothing to pose.
  if (frames <= 0) return FrameOutcome::noFrames;
  if (!std::isfinite(frame)) return FrameOutcome::frameNotFinite;
  double f = frame;
  if (f > frames) f -= std::ceil((f - frames) / frames) * frames;
  for (int i = 0; i < 4 && f > frames; ++i) f -= frames;
  if (f < 0.0) return frame < 0.0f ? FrameOutcome::beforeStart : FrameOutcome::frameTooLarge;
  if (f > frames) return FrameOutcome::frameTooLarge;
  const float posed = static_cast<float>(f);

  for (int i = 0; i < scene->rootCount; ++i) EvaluateNodeTracks(scene->roots[i], posed);
  const Matrix identity = MatrixIdentity();
  for (int i = 0; i < scene->rootCount; ++i) ComposeNodeMatrices(scene->roots[i], identity);
  if (scene->cameraCount == 0) return FrameOutcome::noCamera;

  const Camera& camera = scene->cameras[0];
  // A camera the keyframer never animated has no eye or target to look from.
  if (!camera.node || !camera.targetNode) return FrameOutcome::cameraNotAnimated;
  const Vector eye = MatrixTranslation(camera.node->worldMatrix);
  const Vector target = MatrixTranslation(camera.targetNode->worldMatrix);
  Matrix view;
  if (!BuildCameraMatrix(eye, target, camera.node->roll.value, view)) return FrameOutcome::cameraDegenerate;
  if (fieldOfView) *fieldOfView = camera.node->fieldOfView.value;

  for (int i = 0; i < scene->rootCount; ++i) TransformNodeVertices(scene->roots[i], view);
  for (int i = 0; i < scene->rootCount; ++i) LightAndEmitNode(scene, scene->roots[i], sink);
  return FrameOutcome::drawn;
}

void RenderScene(Scene* scene, TriangleSink sink, float frame, float* fieldOfView) {
  DrawSceneFrame(scene, sink, frame, fieldOfView);
}

const char* FrameOutcomeText(FrameOutcome outcome) {
  switch (outcome) {
    case FrameOutcome::drawn: return "the frame is drawn";
    case FrameOutcome::noScene: return "there is no scene to draw";
    case FrameOutcome::noFrames: return "the scene has no frames (no keyframer section, or a frame count of 0)";
    case FrameOutcome::frameNotFinite: return "the frame number is not a finite number";
    case FrameOutcome::beforeStart: return "the frame lies before the start of the animation";
    case FrameOutcome::frameTooLarge: return "the frame number is too large to repeat the animation at";
    case FrameOutcome::noCamera: return "the scene has no camera";
    case FrameOutcome::cameraNotAnimated: return "the first camera has no keyframer node for its eye or its target";
    case FrameOutcome::cameraDegenerate:
      return "the first camera looks from its own target or straight along the vertical axis";
  }
  return "";
}
