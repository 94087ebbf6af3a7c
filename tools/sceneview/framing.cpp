// Bounds, orbit and the default camera and light of a scene.
#include "tools/sceneview/framing.h"

#include <algorithm>
#include <cmath>

#include "engine/render.h"
#include "engine/tracks.h"

namespace {

constexpr double degrees = 3.14159265358979323846 / 180.0;

int IgnoreTriangle(Polygon*) { return 1; }

void Pose(Scene* scene, float frame) {
  const Matrix identity = MatrixIdentity();
  for (int i = 0; i < scene->rootCount; ++i) EvaluateNodeTracks(scene->roots[i], frame);
  for (int i = 0; i < scene->rootCount; ++i) ComposeNodeMatrices(scene->roots[i], identity);
}

void Include(Bounds& b, const Vector& p) {
  if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return;
  if (b.empty) {
    b.min = b.max = p;
    b.empty = false;
    return;
  }
  b.min = {std::min(b.min.x, p.x), std::min(b.min.y, p.y), std::min(b.min.z, p.z)};
  b.max = {std::max(b.max.x, p.x), std::max(b.max.y, p.y), std::max(b.max.z, p.z)};
}

float Radius(const Bounds& b) {
  const float r = 0.5f * Length(Subtract(b.max, b.min));
  return r > 1e-6f ? r : 1e-6f;
}

// Whether the renderer can use the scene's first camera.
bool FirstCameraUsable(Scene* scene) {
  float fov = 0.0f;
  const FrameOutcome outcome = DrawSceneFrame(scene, IgnoreTriangle, 0.0f, &fov);
  return outcome != FrameOutcome::noCamera && outcome != FrameOutcome::cameraNotAnimated &&
         outcome != FrameOutcome::cameraDegenerate;
}

}  // namespace

Bounds SceneBounds(Scene* scene, float frame) {
  Bounds bounds;
  Pose(scene, frame);
  for (int i = 0; i < scene->rootCount; ++i) {
    VisitNodesParentFirst(scene->roots[i], [&bounds](Node* n) {
      if (n->kind != nodeMesh || !n->object || n->hide.value != 0) return;
      const Mesh& mesh = *static_cast<const Mesh*>(n->object);
      for (int v = 0; v < mesh.vertexCount; ++v) Include(bounds, TransformPoint(mesh.vertices[v], n->worldMatrix));
    });
  }
  return bounds;
}

Orbit FrameBounds(const Bounds& bounds, float aspect) {
  Orbit orbit;
  if (bounds.empty) return orbit;
  orbit.centre = Scale(Add(bounds.min, bounds.max), 0.5f);
  // The view's axes as the engine's camera builds them: forward, side, up.
  orbit.distance = 1.0f;
  const Vector forward = Normalize(Subtract(orbit.centre, OrbitEye(orbit)));
  const Vector side = Normalize(Vector{forward.y, -forward.x, 0.0f});
  const Vector up = Normalize(Cross(side, forward));
  // Each corner of the box, seen from the centre: across, up, and along the view.
  struct Corner {
    double x, y, z;
  };
  Corner corners[8];
  double nearest = 0.0;
  for (int i = 0; i < 8; ++i) {
    const Vector p{(i & 1) ? bounds.max.x : bounds.min.x, (i & 2) ? bounds.max.y : bounds.min.y,
                   (i & 4) ? bounds.max.z : bounds.min.z};
    const Vector o = Subtract(p, orbit.centre);
    corners[i] = {std::fabs(Dot(o, side)), std::fabs(Dot(o, up)) * aspect, Dot(o, forward)};
    nearest = std::min(nearest, corners[i].z);
  }
  // The distance at which every corner is inside the field of view, with a margin.
  const double tanHalf = std::tan(0.5 * orbit.fieldOfView * degrees) / 1.05;
  double distance = 0.0;
  for (const Corner& c : corners) distance = std::max(distance, std::max(c.x, c.y) / tanHalf - c.z);
  const double closest = 1.5 * nearPlane - nearest;  // keeps the nearest corner past the near plane
  if (distance >= closest) {
    orbit.distance = static_cast<float>(distance);
    return orbit;
  }
  // Too small for the near plane at this field of view: step back and narrow it.
  double needed = 1e-6;
  for (const Corner& c : corners) needed = std::max(needed, std::max(c.x, c.y) / (closest + c.z));
  orbit.distance = static_cast<float>(closest);
  orbit.fieldOfView = static_cast<float>(2.0 * std::atan(needed * 1.05) / degrees);
  return orbit;
}

Vector OrbitEye(const Orbit& orbit) {
  const double az = orbit.azimuth * degrees, el = orbit.elevation * degrees;
  const Vector direction{static_cast<float>(std::cos(el) * std::sin(az)), static_cast<float>(-std::cos(el) * std::cos(az)),
                         static_cast<float>(std::sin(el))};
  return Add(orbit.centre, Scale(direction, orbit.distance));
}

void TurnOrbit(Orbit& orbit, float azimuthDegrees, float elevationDegrees) {
  orbit.azimuth = static_cast<float>(std::fmod(orbit.azimuth + azimuthDegrees, 360.0f));
  orbit.elevation = std::clamp(orbit.elevation + elevationDegrees, -maxElevation, maxElevation);
}

void ZoomOrbit(Orbit& orbit, float factor, const Bounds& bounds) {
  const float nearest = bounds.empty ? 1.5f * nearPlane : 0.05f * Radius(bounds) + 1.5f * nearPlane;
  orbit.distance = std::max(orbit.distance * factor, nearest);
}

void PlaceCamera(const CameraNodes& camera, const Orbit& orbit) {
  if (!camera.eye || !camera.target) return;
  camera.eye->position.value = OrbitEye(orbit);
  camera.eye->fieldOfView.value = orbit.fieldOfView;
  camera.eye->roll.value = 0.0f;
  camera.target->position.value = orbit.centre;
}

void AimView(Scene* scene, const DefaultView& view, float frame) {
  PlaceCamera(view.camera, view.orbit);
  if (!view.ownLight || scene->cameraCount == 0) return;
  Pose(scene, frame);
  const Camera& camera = scene->cameras[0];
  if (!camera.node || !camera.targetNode) return;
  const Vector eye = MatrixTranslation(camera.node->worldMatrix);
  const Vector target = MatrixTranslation(camera.targetNode->worldMatrix);
  const Vector towardsEye = Normalize(Subtract(eye, target));
  // Far enough that the direction to it is the same from every point drawn.
  const float far = 1000.0f * (Length(Subtract(eye, target)) + Radius(view.bounds) + 1.0f);
  Matrix transform{};
  transform.m[12] = towardsEye.x * far;
  transform.m[13] = towardsEye.y * far;
  transform.m[14] = towardsEye.z * far;
  transform.m[15] = 1.0f;
  for (int i = 0; i < scene->rootCount; ++i)
    VisitNodesParentFirst(scene->roots[i], [&transform](Node* n) {
      if (n->kind == nodeMesh) n->lightTransform = transform;
    });
}

bool PrepareDefaultView(Scene* scene, DefaultView& view, bool forceOwnCamera) {
  if (scene->rootCount == 0) {
    if (!AddMeshNodes(scene)) return false;
    view.ownNodes = true;
  }
  // Without a frame count the renderer draws nothing; one still frame will do.
  if (scene->frameCount <= 0) scene->frameCount = 1;
  if (!SceneHasLight(scene)) {
    if (!AddWhiteLight(scene)) return false;
    view.ownLight = true;
  }
  view.bounds = SceneBounds(scene, 0.0f);
  view.orbit = view.home = FrameBounds(view.bounds);
  if (forceOwnCamera || !FirstCameraUsable(scene)) {
    view.camera = AddCamera(scene);
    if (!view.camera.eye) return false;
    PlaceCamera(view.camera, view.orbit);
  }
  return true;
}
