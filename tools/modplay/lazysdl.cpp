// The SDL2 calls modplay makes (through the win32 layer, for live playback),
// defined here and passed on to the library, which is opened on the first
// of them. Rendering to a file never calls one, so it never loads SDL2 and
// the thirty-odd libraries SDL2 brings (display servers, sound servers),
// which took a good part of a short render's start-up. Without the library
// each call fails as SDL's own does when nothing can be opened.
#include <SDL.h>
#include <dlfcn.h>

namespace {

void* Library() {
  static void* const library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
  return library;
}

void* Symbol(const char* name) {
  void* library = Library();
  return library != nullptr ? dlsym(library, name) : nullptr;
}

}  // namespace

// Defines SDL function NAME: its own pointer, looked up once, is called with
// the arguments; FAILED is returned (nothing for void) when it cannot be.
#define MODPLAY_LAZY_SDL(ret, name, failed, params, args)                        \
  ret SDLCALL name params {                                                      \
    static const auto call = reinterpret_cast<decltype(&name)>(Symbol(#name));   \
    if (call == nullptr) {                                                       \
      return failed;                                                             \
    }                                                                            \
    return call args;                                                            \
  }

extern "C" {
MODPLAY_LAZY_SDL(int, SDL_InitSubSystem, -1, (Uint32 flags), (flags))
MODPLAY_LAZY_SDL(void, SDL_QuitSubSystem, , (Uint32 flags), (flags))
MODPLAY_LAZY_SDL(Uint32, SDL_WasInit, 0, (Uint32 flags), (flags))
MODPLAY_LAZY_SDL(const char*, SDL_GetCurrentVideoDriver, nullptr, (void), ())
MODPLAY_LAZY_SDL(const char*, SDL_GetError, "libSDL2 could not be opened", (void), ())
MODPLAY_LAZY_SDL(int, SDL_GetDesktopDisplayMode, -1, (int display, SDL_DisplayMode* mode),
                 (display, mode))
MODPLAY_LAZY_SDL(SDL_AudioDeviceID, SDL_OpenAudioDevice, 0,
                 (const char* device, int capture, const SDL_AudioSpec* desired,
                  SDL_AudioSpec* obtained, int changes),
                 (device, capture, desired, obtained, changes))
MODPLAY_LAZY_SDL(void, SDL_PauseAudioDevice, , (SDL_AudioDeviceID dev, int pause), (dev, pause))
MODPLAY_LAZY_SDL(void, SDL_CloseAudioDevice, , (SDL_AudioDeviceID dev), (dev))
MODPLAY_LAZY_SDL(SDL_Window*, SDL_CreateWindow, nullptr,
                 (const char* title, int x, int y, int w, int h, Uint32 flags),
                 (title, x, y, w, h, flags))
MODPLAY_LAZY_SDL(void, SDL_DestroyWindow, , (SDL_Window * window), (window))
MODPLAY_LAZY_SDL(Uint32, SDL_GetWindowID, 0, (SDL_Window * window), (window))
MODPLAY_LAZY_SDL(SDL_Surface*, SDL_GetWindowSurface, nullptr, (SDL_Window * window), (window))
MODPLAY_LAZY_SDL(int, SDL_UpdateWindowSurface, -1, (SDL_Window * window), (window))
MODPLAY_LAZY_SDL(void, SDL_ShowWindow, , (SDL_Window * window), (window))
MODPLAY_LAZY_SDL(void, SDL_HideWindow, , (SDL_Window * window), (window))
MODPLAY_LAZY_SDL(void, SDL_MinimizeWindow, , (SDL_Window * window), (window))
MODPLAY_LAZY_SDL(void, SDL_SetWindowTitle, , (SDL_Window * window, const char* title),
                 (window, title))
MODPLAY_LAZY_SDL(int, SDL_FillRect, -1, (SDL_Surface * surface, const SDL_Rect* rect, Uint32 color),
                 (surface, rect, color))
MODPLAY_LAZY_SDL(Uint32, SDL_MapRGB, 0, (const SDL_PixelFormat* format, Uint8 r, Uint8 g, Uint8 b),
                 (format, r, g, b))
MODPLAY_LAZY_SDL(int, SDL_PollEvent, 0, (SDL_Event * event), (event))
MODPLAY_LAZY_SDL(int, SDL_WaitEventTimeout, 0, (SDL_Event * event, int timeout), (event, timeout))
MODPLAY_LAZY_SDL(void, SDL_StartTextInput, , (void), ())
MODPLAY_LAZY_SDL(void, SDL_StopTextInput, , (void), ())
MODPLAY_LAZY_SDL(int, SDL_ShowSimpleMessageBox, -1,
                 (Uint32 flags, const char* title, const char* message, SDL_Window* window),
                 (flags, title, message, window))
}
