// Win32 stand-in: run-time loading of libraries. The libraries are built in: only
// "dsound.dll" (our DirectSound stand-in) can be loaded.
#pragma once

#include "platform/win32/win32_types.h"

HMODULE LoadLibraryA(LPCSTR fileName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
BOOL FreeLibrary(HMODULE module);
// With a null name: the process's own module handle.
HMODULE GetModuleHandleA(LPCSTR moduleName);

// Test hook: makes a built-in library missing (true) or present again (false).
void Win32SetLibraryMissing(LPCSTR fileName, bool missing);
