// The timeline: a fixed table of segments in seconds since the music started, and
// the demo thread's frame loop that draws whichever segment the clock is in.

#include <cmath>

#include "driver/demo.h"
#include "effects/effects.h"
#include "engine/render.h"
#include "engine/scene.h"
#include "gfx/device.h"
#include "gfx/draw.h"
#include "gfx/texture.h"

const TimelineEntry timeline[timelineEntryCount] = {
    {0.0f, 1, 0, 299},       // intro
    {15.0f, 2, 0, 0},        // logo picture
    {20.0f, 3, 0, 685},      // mainscene
    {45.0f, 4, 0, 899},      // mountainworld
    {67.0f, 3, 685, 865},    // mainscene
    {78.0f, 5, 0, 599},      // mountainhut
    {90.0f, 3, 865, 985},    // mainscene
    {95.0f, 6, 0, 99},       // planet_part1
    {98.0f, 7, 0, 172},      // planet_part2
    {106.0f, 8, 0, 179},     // planet_part3
    {116.0f, 3, 985, 1115},  // mainscene
    {123.0f, 9, 0, 599},     // stonehedge_fire
    {133.0f, 3, 1115, 1599}, // mainscene
    {160.0f, 11, 0, 0},      // bump scroller
    {218.0f, 0, 0, 0},       // end of the bump scroller; never shown
    {0.0f, 0, 0, 0},         // terminator
};

TimelinePosition LocateTimeline(float t) {
  TimelinePosition position{-1, 0, 0.0f};
  for (int i = 0; i < timelineEntryCount - 1; ++i) {
    if (timeline[i].start <= t && t < timeline[i + 1].start) {
      position.segment = i;
      break;
    }
  }
  if (position.segment < 0) return position;
  const float start = timeline[position.segment].start;
  const float local = t - start;
  const float duration = timeline[position.segment + 1].start - start;
  // Every segment fades in during its first second and out during its last.
  if (local < 1.0f) {
    position.fade = static_cast<int>(local * 255.0);
  } else if (local > duration - 1.0f) {
    position.fade = static_cast<int>((duration - local) * 255.0);
  } else {
    position.fade = 255;
  }
  position.progress = local / duration;
  return position;
}

float SceneFrameNumber(std::int32_t firstFrame, std::int32_t lastFrame, float progress) {
  return static_cast<float>(lastFrame - firstFrame) * progress + static_cast<float>(firstFrame);
}

void RenderSceneFrame(int slot, std::int32_t firstFrame, std::int32_t lastFrame, float progress) {
  polygonCount = 0;
  const float frame = SceneFrameNumber(firstFrame, lastFrame, progress);
  // A scene without a camera leaves the field of view alone and draws nothing.
  float fieldOfView = 45.0f;
  if (slot >= 0 && slot < sceneSlotCount && scenes[slot] != nullptr) {
    RenderScene(scenes[slot], CollectPolygon, frame, &fieldOfView);
  }
  DrawPolygonList(polygonList, polygonCount, textures, fieldOfView, fadeLevel);
}

void RunTimeline() {
  for (int j = 0; j < 256; ++j) {
    const int r = bumpPalette[j * 3], g = bumpPalette[j * 3 + 1], b = bumpPalette[j * 3 + 2];
    bumpColors[j] = static_cast<std::uint16_t>((r >> 1) << 11 | g << 5 | (b >> 1));
  }

  while (demoRunning.load() != 0) {
    const float t = DemoSeconds();
    ClearBuffer();
    const TimelinePosition position = LocateTimeline(t);
    if (position.segment < 0) break;  // the timeline has run out
    const TimelineEntry& entry = timeline[position.segment];
    fadeLevel = position.fade;
    if (entry.kind == segmentIntro) {
      RenderSceneFrame(0, entry.firstFrame, entry.lastFrame, position.progress);
    } else if (entry.kind >= segmentSceneFirst && entry.kind <= segmentSceneLast) {
      RenderSceneFrame(entry.kind - 2, entry.firstFrame, entry.lastFrame, position.progress);
    } else if (entry.kind == segmentLogo) {
      ShowLogo(position.progress);
    } else if (entry.kind == segmentBumpScroller) {
      BumpScroller(position.progress);
    }
    SwapBuffers(1);
  }

  for (Scene*& scene : scenes) {
    FreeScene(scene);
    scene = nullptr;
  }

  // Only when the timeline ran out: leave a black screen and close the output. After
  // a key press the main thread closes it.
  if (demoRunning.load() == 1) {
    ClearBuffer();
    SwapBuffers(0);
    ClearBuffer();
    DeviceClose();
  }
}
