// Win32 stand-in: wave calls. (Filled in as the parts that call them are built.)
#pragma once

#include "platform/win32/win32_types.h"
