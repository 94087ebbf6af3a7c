// One scene frame through the engine, the polygon drawing and the accelerator.
#include "tools/sceneview/frame.h"

#include <cmath>

#include "gfx/device.h"
#include "gfx/draw.h"
#include "gfx/texture.h"

bool OpenAccelerator(GlideOutput output) {
  GlideSelectOutput(output);
  DeviceInit();
  if (!deviceInitialized) return false;
  DeviceOpen(FindScreenMode(screenModes, screenModeCount, 640, 480)->resolution);
  if (!DeviceIsOpen()) return false;
  SetViewportScale(1.0f);
  return true;
}

void CloseAccelerator() { DeviceClose(); }

namespace {

// The frame being drawn: its field of view (written by the engine before the
// first triangle) and the triangles drawn in earlier batches.
float frameFieldOfView = 45.0f;
int trianglesDrawn = 0;

// Collects triangles; a full list is drawn and emptied, so a scene of more
// triangles than the list holds is drawn whole. The depth buffer sorts the
// batches as it sorts the triangles of one list.
int CollectInBatches(Polygon* polygon) {
  if (polygonCount >= maxPolygons) {
    DrawPolygonList(polygonList, polygonCount, textures, frameFieldOfView, 255);
    trianglesDrawn += polygonCount;
    polygonCount = 0;
  }
  return CollectPolygon(polygon);
}

// A dark grey background, so that an object in black still shows.
constexpr GrColor_t background = 0x00282828;

}  // namespace

FrameOutcome DrawFrame(Scene* scene, float frame, bool wait, int* triangles) {
  grBufferClear(background, 0, 0xFFFF);
  polygonCount = 0;
  trianglesDrawn = 0;
  frameFieldOfView = 45.0f;
  const FrameOutcome outcome = DrawSceneFrame(scene, CollectInBatches, frame, &frameFieldOfView);
  DrawPolygonList(polygonList, polygonCount, textures, frameFieldOfView, 255);
  if (triangles) *triangles = trianglesDrawn + polygonCount;
  SwapBuffers(wait ? 1 : 0);
  return outcome;
}

float PlayingFrame(const Scene* scene, double seconds, double fps) {
  const double frames = scene->frameCount > 0 ? scene->frameCount : 1;
  const double f = std::fmod(seconds * fps, frames);
  return static_cast<float>(f < 0.0 ? f + frames : f);
}

float StepFrame(const Scene* scene, float frame, int frames) {
  const long long count = scene->frameCount > 0 ? scene->frameCount : 1;
  long long f = (static_cast<long long>(std::floor(frame)) + frames) % count;
  if (f < 0) f += count;
  return static_cast<float>(f);
}
