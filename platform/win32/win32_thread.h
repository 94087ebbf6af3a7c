// Win32 stand-in: threads and their priority, the C runtime's thread start and
// exit, Sleep, GetTickCount and critical sections.
#pragma once

#include "platform/win32/win32_types.h"

// Thread priorities, as on Windows.
#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

// A critical section may be entered again by the thread that holds it, and must be
// left as many times as it was entered. The storage holds a recursive mutex.
struct CRITICAL_SECTION {
  alignas(16) unsigned char opaque[64];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);

// The C runtime's thread start: runs entry (argument) on a new detached thread
// with the given stack size (0 = default). Returns a non-zero value, or
// (uintptr_t) -1 when the thread cannot be created.
std::uintptr_t _beginthread(void (*entry)(void*), unsigned stackSize, void* argument);
// Ends the calling thread, which must have been started by _beginthread.
[[noreturn]] void _endthread();

// The calling thread's pseudo-handle, valid only for the calls below.
HANDLE GetCurrentThread();
DWORD GetCurrentThreadId();
// Priorities are recorded per thread and, where the system allows it, passed on to
// the scheduler as a nice value. GetThreadPriority returns what was recorded.
BOOL SetThreadPriority(HANDLE thread, int priority);
int GetThreadPriority(HANDLE thread);

void Sleep(DWORD milliseconds);

// Milliseconds since an arbitrary start, wrapping at 2^32.
DWORD GetTickCount();

// Test hook: replaces the tick source of GetTickCount (null restores the clock).
using Win32TickSource = DWORD (*)();
void Win32SetTickSource(Win32TickSource source);

// Test hook: makes the next `count` calls of _beginthread fail.
void Win32FailThreadStarts(int count);
