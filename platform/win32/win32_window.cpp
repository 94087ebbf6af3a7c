// Win32 stand-in: window classes, windows, the message queue and message boxes,
// over SDL2 video when a display is there.

#include "platform/win32/win32_window.h"
#include "platform/win32/win32_dialog.h"
#include "platform/win32/win32_message_box.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/win32_thread.h"

struct HWND__ {
  WNDPROC proc = nullptr;
  std::string title;
  DWORD style = 0;
  int clientWidth = 0;
  int clientHeight = 0;
  SDL_Window* sdl = nullptr;  // null with the offscreen output
  Uint32 sdlId = 0;
  bool visible = false;
};

namespace {

struct RegisteredClass {
  WNDCLASSA info;
  std::string name;
};

// Everything in the queue state is guarded by `lock`, except the SDL calls, which
// only the main thread makes. It is never destroyed: threads that post while the
// process ends must not find it gone.
struct QueueState {
  std::mutex lock;
  std::condition_variable posted;
  std::map<std::string, RegisteredClass> classes;
  std::set<HWND__*> liveWindows;
  std::vector<HWND__*> creationOrder;  // live windows, oldest first
  std::deque<MSG> queue;
  bool quitPosted = false;
  int quitCode = 0;
};
QueueState& queueState = *new QueueState;
std::mutex& lock = queueState.lock;
std::condition_variable& posted = queueState.posted;
std::map<std::string, RegisteredClass>& classes = queueState.classes;
std::set<HWND__*>& liveWindows = queueState.liveWindows;
std::vector<HWND__*>& creationOrder = queueState.creationOrder;
std::deque<MSG>& queue = queueState.queue;
bool& quitPosted = queueState.quitPosted;
int& quitCode = queueState.quitCode;

std::atomic<Win32WindowOutput> selectedOutput{Win32WindowOutput::display};
std::atomic<Win32PumpHook> pumpHook{nullptr};
std::atomic<Win32ForeignEventFilter> foreignFilter{nullptr};
std::atomic<Win32MessageBoxHook> messageBoxHook{nullptr};
bool videoReady = false;  // main thread only

// Window handles are never freed: a message posted to a window that was destroyed
// meanwhile must find a dead record, not reused memory.
bool IsLive(HWND window) { return window != nullptr && liveWindows.count(window) != 0; }

void Enqueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = GetTickCount();
  queue.push_back(msg);
}

// Posts to a window only while it exists; the caller holds no lock.
void PostIfLive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!IsLive(window)) return;
    Enqueue(window, message, wParam, lParam);
  }
  posted.notify_all();
}

HWND FindBySdlId(Uint32 id) {
  std::lock_guard<std::mutex> guard(lock);
  for (HWND window : liveWindows) {
    if (window->sdl != nullptr && window->sdlId == id) return window;
  }
  return nullptr;
}

WPARAM VirtualKey(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return static_cast<WPARAM>('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<WPARAM>('0' + (key - SDLK_0));
  switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_RETURN: return VK_RETURN;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    default: return 0xFF;  // a key without a code of its own here
  }
}

// The class background is black; the window shows nothing else.
void PaintBlack(HWND window) {
  if (window->sdl == nullptr) return;
  if (SDL_Surface* surface = SDL_GetWindowSurface(window->sdl)) {
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    SDL_UpdateWindowSurface(window->sdl);
  }
}

void RouteEvent(const SDL_Event& event) {
  Uint32 id = 0;
  if (event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) {
    id = event.key.windowID;
  } else if (event.type == SDL_WINDOWEVENT) {
    id = event.window.windowID;
  } else if (event.type == SDL_QUIT) {
    // Ctrl+C in the terminal (SDL turns the signal into this event) closes the
    // program as closing its window would.
    PostIfLive(Win32KeyWindow(), WM_CLOSE, 0, 0);
    return;
  } else {
    return;  // mouse, text and the like: nothing in this program reads them
  }
  if (HWND window = FindBySdlId(id)) {
    if (event.type == SDL_KEYDOWN) {
      LPARAM state = event.key.repeat ? 0x40000001 : 1;
      PostIfLive(window, WM_KEYDOWN, VirtualKey(event.key.keysym.sym), state);
    } else if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE) {
      PostIfLive(window, WM_CLOSE, 0, 0);
    } else if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_EXPOSED) {
      PaintBlack(window);
    }
    return;
  }
  Win32ForeignEventFilter filter = foreignFilter.load();
  if (filter == nullptr) return;
  int answer = filter(&event);
  if (answer == 2 || answer == 3) {
    HWND target = Win32KeyWindow();
    if (answer == 2) {
      PostIfLive(target, WM_KEYDOWN, event.type == SDL_KEYDOWN ? VirtualKey(event.key.keysym.sym) : 0xFF, 1);
    } else {
      PostIfLive(target, WM_CLOSE, 0, 0);
    }
  }
}

void PumpOnce() {
  if (videoReady) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) RouteEvent(event);
  }
  if (Win32PumpHook hook = pumpHook.load()) hook();
}

bool DisplayPresent() {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver != nullptr && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0)) {
    return false;
  }
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != 0) || (wayland != nullptr && *wayland != 0);
}

unsigned char stockObjects[20];
unsigned char iconMarker;
unsigned char cursorMarker;

}  // namespace

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr || windowClass->lpszClassName == nullptr ||
      windowClass->lpszClassName[0] == 0) {
    return 0;
  }
  std::lock_guard<std::mutex> guard(lock);
  std::string name = windowClass->lpszClassName;
  if (classes.count(name) != 0) return 0;
  RegisteredClass& entry = classes[name];
  entry.name = name;
  entry.info = *windowClass;
  entry.info.lpszClassName = entry.name.c_str();
  entry.info.lpszMenuName = nullptr;  // not kept: the caller's string may not outlive the call
  return static_cast<ATOM>(0xC000 + classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  if (className == nullptr) return FALSE;
  std::lock_guard<std::mutex> guard(lock);
  return classes.erase(className) != 0 ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND, HMENU, HINSTANCE, LPVOID) {
  if (className == nullptr) return nullptr;
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock);
    auto found = classes.find(className);
    if (found == classes.end()) return nullptr;
    proc = found->second.info.lpfnWndProc;
  }
  auto* window = new HWND__;
  window->proc = proc;
  window->title = windowName != nullptr ? windowName : "";
  window->style = style;
  // The outer height includes the caption; SDL sizes the client area.
  int client = height;
  if ((style & (WS_SYSMENU | WS_CAPTION)) != 0) {
    client = height - GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYBORDER);
  }
  window->clientWidth = std::clamp(width == CW_USEDEFAULT ? 320 : width, 1, 8192);
  window->clientHeight = std::clamp(client, 1, 8192);

  if (selectedOutput.load() == Win32WindowOutput::display) {
    if (!videoReady) {
      if (!DisplayPresent() || SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        delete window;
        return nullptr;
      }
      videoReady = true;
    }
    int px = x == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : x;
    int py = y == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : y;
    window->sdl = SDL_CreateWindow(window->title.c_str(), px, py, window->clientWidth, window->clientHeight,
                                   SDL_WINDOW_HIDDEN);
    if (window->sdl == nullptr) {
      delete window;
      return nullptr;
    }
    window->sdlId = SDL_GetWindowID(window->sdl);
  }
  {
    std::lock_guard<std::mutex> guard(lock);
    liveWindows.insert(window);
    creationOrder.push_back(window);
  }
  proc(window, WM_CREATE, 0, 0);
  if ((style & WS_VISIBLE) != 0) ShowWindow(window, SW_SHOW);
  return window;
}

BOOL DestroyWindow(HWND window) {
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!IsLive(window)) return FALSE;
  }
  window->proc(window, WM_DESTROY, 0, 0);
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!IsLive(window)) return TRUE;  // destroyed again from inside WM_DESTROY
    liveWindows.erase(window);
    creationOrder.erase(std::remove(creationOrder.begin(), creationOrder.end(), window), creationOrder.end());
  }
  if (window->sdl != nullptr) {
    SDL_DestroyWindow(window->sdl);
    window->sdl = nullptr;
  }
  return TRUE;
}

BOOL ShowWindow(HWND window, int command) {
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!IsLive(window)) return FALSE;
  }
  BOOL wasVisible = window->visible ? TRUE : FALSE;
  bool show = command != SW_HIDE;
  window->visible = show;
  if (window->sdl != nullptr) {
    if (show) {
      SDL_ShowWindow(window->sdl);
      if (command == SW_SHOWMINIMIZED || command == SW_MINIMIZE) SDL_MinimizeWindow(window->sdl);
      PaintBlack(window);
    } else {
      SDL_HideWindow(window->sdl);
    }
  }
  return wasVisible;
}

BOOL IsWindow(HWND window) {
  if (Win32IsDialogWindow(window)) return TRUE;
  std::lock_guard<std::mutex> guard(lock);
  return IsLive(window) ? TRUE : FALSE;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  // Only dialogs show a caption of their own; top-level windows keep their title.
  return Win32IsDialogWindow(window) ? Win32DialogSetText(window, text) : IsWindow(window);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_CLOSE) DestroyWindow(window);
  return 0;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!IsLive(window)) return 0;
  }
  return window->proc(window, message, wParam, lParam);
}

HICON LoadIconA(HINSTANCE, LPCSTR name) { return name != nullptr ? &iconMarker : nullptr; }
HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) { return name != nullptr ? &cursorMarker : nullptr; }

HGDIOBJ GetStockObject(int object) {
  if (object < 0 || object >= static_cast<int>(sizeof stockObjects)) return nullptr;
  return &stockObjects[object];
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
      SDL_DisplayMode mode;
      if (videoReady && SDL_GetDesktopDisplayMode(0, &mode) == 0) return index == SM_CXSCREEN ? mode.w : mode.h;
      return index == SM_CXSCREEN ? 640 : 480;
    }
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    default: return 0;
  }
}

BOOL PeekMessageA(LPMSG msg, HWND, UINT, UINT, UINT removeMessage) {
  if (msg == nullptr) return FALSE;
  PumpOnce();
  std::lock_guard<std::mutex> guard(lock);
  if (!queue.empty()) {
    *msg = queue.front();
    if ((removeMessage & PM_REMOVE) != 0) queue.pop_front();
    return TRUE;
  }
  if (quitPosted) {
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = static_cast<WPARAM>(quitCode);
    if ((removeMessage & PM_REMOVE) != 0) quitPosted = false;
    return TRUE;
  }
  return FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND, UINT, UINT) {
  if (msg == nullptr) return -1;
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(lock);
      if (!queue.empty()) {
        *msg = queue.front();
        queue.pop_front();
        return msg->message == WM_QUIT ? FALSE : TRUE;
      }
      if (quitPosted) {
        quitPosted = false;
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(quitCode);
        msg->time = GetTickCount();
        return FALSE;
      }
    }
    PumpOnce();
    // Wait for work: SDL events when windows are on screen, else posted messages.
    // With windows or a pump hook to serve, look again after 2 ms at the latest.
    if (videoReady) {
      SDL_WaitEventTimeout(nullptr, 2);
    } else {
      std::unique_lock<std::mutex> guard(lock);
      auto ready = [] { return !queue.empty() || quitPosted; };
      if (pumpHook.load() != nullptr) {
        posted.wait_for(guard, std::chrono::milliseconds(2), ready);
      } else {
        posted.wait(guard, ready);
      }
    }
  }
}

BOOL TranslateMessage(const MSG* msg) {
  // Characters are not produced: no window of this program reads WM_CHAR.
  return msg != nullptr && msg->message == WM_KEYDOWN ? TRUE : FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) return 0;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!IsLive(msg->hwnd)) return 0;
  }
  return msg->hwnd->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Dialogs keep a queue of their own while their modal loop runs.
  if (window != nullptr && Win32IsDialogWindow(window)) return Win32DialogPostMessage(window, message, wParam, lParam);
  {
    std::lock_guard<std::mutex> guard(lock);
    if (window != nullptr && !IsLive(window)) return FALSE;
    Enqueue(window, message, wParam, lParam);
  }
  posted.notify_all();
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  {
    std::lock_guard<std::mutex> guard(lock);
    quitPosted = true;
    quitCode = exitCode;
  }
  posted.notify_all();
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  const char* shown = text != nullptr ? text : "";
  std::fprintf(stderr, "%s\n", shown);
  std::fflush(stderr);
  if (Win32MessageBoxHook hook = messageBoxHook.load()) hook(shown, caption != nullptr ? caption : "", type);
  if (selectedOutput.load() == Win32WindowOutput::display && DisplayPresent()) {
    Uint32 flags = (type & 0xF0) == MB_ICONINFORMATION ? SDL_MESSAGEBOX_INFORMATION
                   : (type & 0xF0) == MB_ICONEXCLAMATION ? SDL_MESSAGEBOX_WARNING
                                                         : SDL_MESSAGEBOX_ERROR;
    // Where the system's box cannot be shown (no message-box support for that
    // display), the dialog stand-in's own window shows the text.
    if (SDL_ShowSimpleMessageBox(flags, caption != nullptr ? caption : "", shown, nullptr) != 0) {
      Win32ShowOwnMessageBox(shown, caption != nullptr ? caption : "");
    }
  }
  return IDOK;
}

bool Win32DisplayUsable(std::string* reason) {
  auto refuse = [reason](const std::string& why) {
    if (reason != nullptr) *reason = why;
    return false;
  };
  if (!DisplayPresent()) return refuse("neither DISPLAY nor WAYLAND_DISPLAY is set");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return refuse(SDL_GetError());
  const char* driver = SDL_GetCurrentVideoDriver();
  const bool usable = driver != nullptr && std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0;
  if (!usable) refuse(std::string("SDL could open none, only its ") + (driver ? driver : "unnamed") + " video driver");
  // A usable video subsystem stays up for the windows to come: shutting it down
  // and starting it again at once can fail on X.
  if (!usable) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return usable;
}

void Win32SelectWindowOutput(Win32WindowOutput output) { selectedOutput.store(output); }
Win32WindowOutput Win32SelectedWindowOutput() { return selectedOutput.load(); }
void Win32SetPumpHook(Win32PumpHook hook) { pumpHook.store(hook); }
void Win32SetForeignEventFilter(Win32ForeignEventFilter filter) { foreignFilter.store(filter); }
void Win32SetMessageBoxHook(Win32MessageBoxHook hook) { messageBoxHook.store(hook); }

HWND Win32KeyWindow() {
  std::lock_guard<std::mutex> guard(lock);
  return creationOrder.empty() ? nullptr : creationOrder.back();
}
