// Win32 stand-in. One header and source per area (types, errors, files, threads
// and critical sections, global memory, wave output, DirectSound, libraries, the
// registry, windows and messages, dialogs built from in-memory templates and the
// window that draws them), implemented over POSIX and SDL2. Code outside this
// folder should include only this gate.
//
// The subset of the Win32 interface the system calls, by its published names.
// On Windows the real headers are used; elsewhere our own implementation stands in.
// Each area has a header of its own; this one gathers them.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <mmsystem.h>
#else
#include "platform/win32/win32_types.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_file.h"
#include "platform/win32/win32_thread.h"
#include "platform/win32/win32_memory.h"
#include "platform/win32/win32_wave.h"
#include "platform/win32/win32_library.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_dialog.h"
#include "platform/win32/win32_window.h"
#endif
