// Win32 stand-in: window classes and windows, the message queue, message boxes and
// system metrics.
//
// Windows are SDL2 windows when a display is there, or plain records when the
// offscreen output is chosen in code (tests, the capture tool). There is one
// message queue, owned by the thread that calls GetMessageA (the main thread);
// PostMessageA may be called from any thread. While GetMessageA waits it pumps
// SDL events (key presses become WM_KEYDOWN, a closed window WM_CLOSE) and runs
// the pump hook, through which other parts of the program serve their own windows
// from the main thread.
#pragma once

#include <string>

#include "platform/win32/win32_types.h"

union SDL_Event;

// ---- Messages ----
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102

// Virtual key codes delivered with WM_KEYDOWN (the ones a key press maps to).
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20

// ---- Class and window styles ----
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_BYTEALIGNCLIENT 0x1000
#define WS_OVERLAPPED 0x00000000L
#define WS_SYSMENU 0x00080000L
#define WS_CAPTION 0x00C00000L
#define WS_VISIBLE 0x10000000L
#define CW_USEDEFAULT (static_cast<int>(0x80000000u))

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWDEFAULT 10

// GetSystemMetrics indices.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CYCAPTION 4
#define SM_CXBORDER 5
#define SM_CYBORDER 6

// GetStockObject indices.
#define WHITE_BRUSH 0
#define GRAY_BRUSH 2
#define BLACK_BRUSH 4
#define NULL_BRUSH 5

// MessageBoxA styles and results.
#define MB_OK 0x00000000L
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONINFORMATION 0x00000040L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define IDOK 1
#define IDCANCEL 2

using ATOM = WORD;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct POINT {
  LONG x;
  LONG y;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
using LPMSG = MSG*;

struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
};

// A resource named by number, as the resource calls take it.
inline LPCSTR MAKEINTRESOURCEA(WORD id) {
  return reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(id));
}

// ---- Classes and windows ----
// 0 when the class has no procedure or name, or a class of that name exists.
ATOM RegisterClassA(const WNDCLASSA* windowClass);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
// Null when the class is unknown or, with the display output, no window can be
// shown (no display). WM_CREATE is sent to the procedure before it returns.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
// Sends WM_DESTROY, then removes the window. Main thread only.
BOOL DestroyWindow(HWND window);
// Returns whether the window was visible before.
BOOL ShowWindow(HWND window, int command);
BOOL IsWindow(HWND window);
BOOL SetWindowTextA(HWND window, LPCSTR text);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window's procedure at once, on the calling thread.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Icons and cursors are placeholders: any resource id gives a valid handle.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HGDIOBJ GetStockObject(int object);
int GetSystemMetrics(int index);

// ---- Message queue ----
// Waits for a message. Returns 0 for WM_QUIT (its wParam is the exit code), else
// non-zero. The window and range filters are accepted and ignored.
BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
// Takes a message if one is queued, without waiting (PM_REMOVE) or leaving it (0).
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
// Any thread. A null window posts a message for the queue itself; a window that
// no longer exists is refused (FALSE).
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// ---- Message boxes ----
// The text always goes to standard error (followed by a newline). With the display
// output and a display present, an SDL message box shows it as well and waits for
// the user; where SDL cannot show one, the dialog stand-in's own window does.
// Returns IDOK.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// ---- Choices made in code ----
enum class Win32WindowOutput {
  display,    // SDL2 windows; window creation fails without a display
  offscreen,  // windows are records only; message boxes go to standard error only
};
void Win32SelectWindowOutput(Win32WindowOutput output);
// True when windows can be shown to a person: a display is named and SDL's video
// starts on it. Otherwise reason, when given, says why not.
bool Win32DisplayUsable(std::string* reason = nullptr);
Win32WindowOutput Win32SelectedWindowOutput();

// Run by GetMessageA on the calling thread every time it looks for work (a few
// times per frame at most 2 ms apart), so that other windows are served from the
// main thread. Null removes it.
using Win32PumpHook = void (*)();
void Win32SetPumpHook(Win32PumpHook hook);

// Asked about every SDL event that belongs to none of our windows. Answers:
// 0 not known, 1 known and ignored, 2 a key press, 3 a request to close. Key
// presses and close requests are delivered to the key window as WM_KEYDOWN and
// WM_CLOSE. Null removes it.
using Win32ForeignEventFilter = int (*)(const SDL_Event* event);
void Win32SetForeignEventFilter(Win32ForeignEventFilter filter);

// The window that receives key presses from other windows: the most recently
// created window that still exists, or null.
HWND Win32KeyWindow();

// Test hook: every MessageBoxA call is also reported here (null removes it).
using Win32MessageBoxHook = void (*)(const char* text, const char* caption, UINT type);
void Win32SetMessageBoxHook(Win32MessageBoxHook hook);
