// modplay --info: modules' facts as text or JSON: one object for one module,
// an array for several (a module that cannot be read there as its file and
// the error).
#pragma once

#include "tools/modplay/options.h"

// Prints the facts of options.files; returns 0 when every one could be read.
int PrintModuleInfo(const ModplayOptions& options);
