// The DirectSound interface the DirectSound output device uses, by its
// published names: the real header on Windows, our stand-in elsewhere.
#pragma once

#include "platform/win32/win32.h"

#ifdef _WIN32
#include <dsound.h>
#else
#include "platform/win32/win32_dsound.h"
#endif
