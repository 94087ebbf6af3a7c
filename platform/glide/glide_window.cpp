// The window output: the drawing thread posts finished frames, the main thread's
// GlideWindowService creates and destroys the SDL window and presents them.
#include <SDL.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "platform/glide/glide_internal.h"
#include "platform/glide/glide_window.h"
#include "platform/glide/glide_window_internal.h"

namespace {

struct WindowState {
  std::mutex lock;
  // Requests from the accelerator, served by the main thread.
  bool wantOpen = false;
  bool fullscreen = false;
  int width = 0;
  int height = 0;
  // The newest finished frame, top row first, gamma applied, as XRGB8888.
  std::vector<std::uint32_t> frame;
  int frameWidth = 0;
  int frameHeight = 0;
  bool frameReady = false;

  // Owned by the main thread.
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int textureWidth = 0;
  int textureHeight = 0;
  bool videoReady = false;
};

WindowState& Window() {
  static WindowState state;
  return state;
}

void DestroyWindow(WindowState& w) {
  if (w.texture) SDL_DestroyTexture(w.texture);
  if (w.renderer) SDL_DestroyRenderer(w.renderer);
  if (w.window) SDL_DestroyWindow(w.window);
  w.texture = nullptr;
  w.renderer = nullptr;
  w.window = nullptr;
}

bool CreateWindow(WindowState& w, int width, int height, bool fullscreen) {
  Uint32 flags = SDL_WINDOW_SHOWN;
  if (fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  w.window = SDL_CreateWindow("demo", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                              flags);
  if (!w.window) return false;
  w.renderer = SDL_CreateRenderer(w.window, -1, 0);
  if (!w.renderer) w.renderer = SDL_CreateRenderer(w.window, -1, SDL_RENDERER_SOFTWARE);
  if (!w.renderer) {
    DestroyWindow(w);
    return false;
  }
  SDL_RenderSetLogicalSize(w.renderer, width, height);
  w.texture = SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING,
                                width, height);
  if (!w.texture) {
    DestroyWindow(w);
    return false;
  }
  w.textureWidth = width;
  w.textureHeight = height;
  SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
  SDL_RenderClear(w.renderer);
  SDL_RenderPresent(w.renderer);
  return true;
}

}  // namespace

namespace glide_detail {

bool WindowVideoAvailable() {
  WindowState& w = Window();
  if (!w.videoReady) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    if (SDL_GetNumVideoDisplays() < 1) {
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      return false;
    }
    w.videoReady = true;
  }
  return true;
}

bool WindowRequestOpen(int width, int height, bool fullscreen) {
  if (!WindowVideoAvailable()) return false;
  WindowState& w = Window();
  std::lock_guard<std::mutex> guard(w.lock);
  w.wantOpen = true;
  w.width = width;
  w.height = height;
  w.fullscreen = fullscreen;
  w.frameReady = false;
  return true;
}

void WindowRequestClose() {
  WindowState& w = Window();
  std::lock_guard<std::mutex> guard(w.lock);
  w.wantOpen = false;
  w.frameReady = false;
}

void WindowPostFrame(const std::uint16_t* frame, int stride, int width, int height, float gamma) {
  std::uint8_t five[32], six[64];
  BuildGammaTable(gamma, 5, five);
  BuildGammaTable(gamma, 6, six);
  WindowState& w = Window();
  std::lock_guard<std::mutex> guard(w.lock);
  w.frame.resize(static_cast<std::size_t>(width) * height);
  std::uint32_t* out = w.frame.data();
  for (int y = height - 1; y >= 0; --y) {
    const std::uint16_t* row = frame + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      const std::uint16_t c = row[x];
      *out++ = static_cast<std::uint32_t>(five[c >> 11]) << 16 |
               static_cast<std::uint32_t>(six[(c >> 5) & 63]) << 8 | five[c & 31];
    }
  }
  w.frameWidth = width;
  w.frameHeight = height;
  w.frameReady = true;
}

}  // namespace glide_detail

void GlideWindowService() {
  WindowState& w = Window();
  bool wantOpen, fullscreen;
  int width, height;
  {
    std::lock_guard<std::mutex> guard(w.lock);
    wantOpen = w.wantOpen;
    fullscreen = w.fullscreen;
    width = w.width;
    height = w.height;
  }
  if (!wantOpen) {
    if (w.window) DestroyWindow(w);
    return;
  }
  if (w.window && (w.textureWidth != width || w.textureHeight != height)) DestroyWindow(w);
  if (!w.window && !CreateWindow(w, width, height, fullscreen)) {
    // Without a window there is nothing to show; stop asking until reopened.
    std::lock_guard<std::mutex> guard(w.lock);
    w.wantOpen = false;
    return;
  }
  bool present = false;
  {
    std::lock_guard<std::mutex> guard(w.lock);
    if (w.frameReady && w.frameWidth == w.textureWidth && w.frameHeight == w.textureHeight) {
      SDL_UpdateTexture(w.texture, nullptr, w.frame.data(), w.frameWidth * 4);
      w.frameReady = false;
      present = true;
    }
  }
  if (present) {
    SDL_RenderClear(w.renderer);
    SDL_RenderCopy(w.renderer, w.texture, nullptr, nullptr);
    SDL_RenderPresent(w.renderer);
  }
}

bool GlideWindowIsOpen() { return Window().window != nullptr; }

unsigned GlideWindowId() { return Window().window ? SDL_GetWindowID(Window().window) : 0; }

int GlideWindowFilterEvent(const SDL_Event* event) {
  WindowState& w = Window();
  if (!event || !w.window) return glideEventNotOurs;
  const Uint32 id = SDL_GetWindowID(w.window);
  switch (event->type) {
    case SDL_KEYDOWN:
      return event->key.windowID == id ? glideEventKey : glideEventNotOurs;
    case SDL_WINDOWEVENT:
      if (event->window.windowID != id) return glideEventNotOurs;
      return event->window.event == SDL_WINDOWEVENT_CLOSE ? glideEventClose : glideEventOther;
    default:
      return glideEventNotOurs;
  }
}
