// Win32 stand-in: the thread's last-error code (GetLastError, SetLastError).
#pragma once

#include "platform/win32/win32_types.h"
