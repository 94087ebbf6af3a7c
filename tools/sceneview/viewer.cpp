// The viewer's loop on the main thread: draw, swap, present, handle events.
#include "tools/sceneview/viewer.h"

#include <SDL.h>

#include <cstdio>
#include <string>

#include "platform/glide/glide_window.h"
#include "tools/sceneview/frame.h"
#include "tools/sceneview/snapshot.h"

namespace {

constexpr float orbitStep = 5.0f;     // degrees per arrow key press
constexpr float dragDegrees = 0.4f;   // degrees per pixel of mouse drag

struct Playback {
  double fps;
  bool paused = false;
  float frame = 0.0f;            // the frame on screen
  double startTicks = 0.0;       // SDL ticks at which frame 0 would have played
  bool dragging = false;
  bool quit = false;
};

double Now() { return static_cast<double>(SDL_GetTicks64()) / 1000.0; }

// Restarts the clock so that playing continues from the frame on screen.
void Resume(Playback& p) { p.startTicks = Now() - p.frame / p.fps; }

void Step(Playback& p, const Scene* scene, int frames) {
  p.paused = true;
  p.frame = StepFrame(scene, p.frame, frames);
}

void Screenshot() {
  const std::string name = NextScreenshotName();
  std::string error;
  if (SaveShownFrame(name, error)) {
    std::printf("sceneview: saved %s\n", name.c_str());
  } else {
    std::fprintf(stderr, "sceneview: %s\n", error.c_str());
  }
}

void HandleKey(SDL_Keycode key, Playback& p, Scene* scene, DefaultView& view) {
  switch (key) {
    case SDLK_q:
    case SDLK_ESCAPE: p.quit = true; break;
    case SDLK_SPACE:
      p.paused = !p.paused;
      if (!p.paused) Resume(p);
      break;
    case SDLK_LEFT: Step(p, scene, -1); break;
    case SDLK_RIGHT: Step(p, scene, 1); break;
    case SDLK_UP: TurnOrbit(view.orbit, 0.0f, orbitStep); break;
    case SDLK_DOWN: TurnOrbit(view.orbit, 0.0f, -orbitStep); break;
    case SDLK_HOME:
      p.frame = 0.0f;
      view.orbit = view.home;
      Resume(p);
      break;
    case SDLK_s: Screenshot(); break;
    default: break;
  }
}

void HandleEvent(const SDL_Event& event, Playback& p, Scene* scene, DefaultView& view) {
  const int ours = GlideWindowFilterEvent(&event);
  if (ours == glideEventClose || event.type == SDL_QUIT) {
    p.quit = true;
  } else if (ours == glideEventKey) {
    HandleKey(event.key.keysym.sym, p, scene, view);
  } else if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_LEFT) {
    p.dragging = true;
  } else if (event.type == SDL_MOUSEBUTTONUP && event.button.button == SDL_BUTTON_LEFT) {
    p.dragging = false;
  } else if (event.type == SDL_MOUSEMOTION && p.dragging) {
    TurnOrbit(view.orbit, -dragDegrees * static_cast<float>(event.motion.xrel),
              dragDegrees * static_cast<float>(event.motion.yrel));
  } else if (event.type == SDL_MOUSEWHEEL) {
    ZoomOrbit(view.orbit, event.wheel.y > 0 ? 1.0f / 1.1f : 1.1f, view.bounds);
  }
}

}  // namespace

int RunViewer(Scene* scene, DefaultView& view, double fps) {
  Playback p{fps};
  Resume(p);
  while (!p.quit) {
    if (!p.paused) p.frame = PlayingFrame(scene, Now() - p.startTicks, p.fps);
    AimView(scene, view, p.frame);
    DrawFrame(scene, p.frame, true);
    GlideWindowService();
    SDL_Event event;
    while (SDL_PollEvent(&event)) HandleEvent(event, p, scene, view);
    if (!GlideWindowIsOpen()) p.quit = true;
  }
  return 0;
}
