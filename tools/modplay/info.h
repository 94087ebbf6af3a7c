// modplay --info: a module's facts as text or one JSON object.
#pragma once

#include "tools/modplay/options.h"

// Prints the facts of options.file; returns the process exit status.
int PrintModuleInfo(const ModplayOptions& options);
