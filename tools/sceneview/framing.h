// The default view of a scene: its bounds, a camera orbiting their centre that
// frames them (from the front and above), and what a scene needs before it can
// be drawn at all.
#pragma once

#include "engine/scene.h"
#include "tools/sceneview/sceneedit.h"

struct Bounds {
  Vector min{0.0f, 0.0f, 0.0f};
  Vector max{0.0f, 0.0f, 0.0f};
  bool empty = true;
};

// World-space bounds of every visible mesh vertex, posed at frame.
Bounds SceneBounds(Scene* scene, float frame);

// A camera on a sphere around centre. Azimuth 0 looks from the front (from -y
// towards +y in the file's axes, z up); elevation is the angle above the
// horizon. Angles in degrees; the field of view is horizontal.
struct Orbit {
  Vector centre{0.0f, 0.0f, 0.0f};
  float distance = 10.0f;
  float azimuth = 0.0f;
  float elevation = 45.0f;
  float fieldOfView = 45.0f;
};

// Eye-space depth of the near plane: nothing closer to the eye is drawn.
inline constexpr float nearPlane = 1.0f;
// The orbit never reaches the vertical, which the camera cannot look along.
inline constexpr float maxElevation = 85.0f;

// An orbit whose view holds the whole box, 45 degrees from the front and above,
// with every point beyond the near plane (a narrower field of view for a scene
// smaller than the near distance).
Orbit FrameBounds(const Bounds& bounds, float aspect = 640.0f / 480.0f);
Vector OrbitEye(const Orbit& orbit);
// Turns the orbit by degrees, elevation held inside +-maxElevation.
void TurnOrbit(Orbit& orbit, float azimuthDegrees, float elevationDegrees);
// Moves the eye nearer (factor < 1) or farther, never inside the near distance.
void ZoomOrbit(Orbit& orbit, float factor, const Bounds& bounds);
// Writes the orbit into the camera's eye and target nodes.
void PlaceCamera(const CameraNodes& camera, const Orbit& orbit);

// What was added to make a scene drawable.
struct DefaultView {
  bool ownNodes = false;   // the file has no keyframer: a node per mesh
  bool ownLight = false;   // nothing in the file gives light: a white light at the eye
  CameraNodes camera;      // set when the file's first camera cannot be used
  Bounds bounds;
  Orbit orbit;
  Orbit home;              // the orbit to go back to
};

// Places the own camera on the orbit and, when the light is ours, aims it:
// the engine compares light positions in eye space with normals in mesh
// space, so the light is put far out along the direction towards the eye,
// where it lights every face turned to the viewer (a headlight).
void AimView(Scene* scene, const DefaultView& view, float frame);

// Adds nodes, light and camera as the scene needs them and frames it. The
// file's own camera is kept when the keyframer animates it; forceOwnCamera
// adds ours in any case. False when memory runs out.
bool PrepareDefaultView(Scene* scene, DefaultView& view, bool forceOwnCamera = false);
