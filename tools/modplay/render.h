// modplay -o: the module rendered offline through the player and the mixer
// into a WAVE, FLAC or Ogg Vorbis file or raw PCM, never over the module itself.
#pragma once

#include "tools/modplay/options.h"

// Renders options.file to options.output; returns the process exit status.
int RenderModule(const ModplayOptions& options);
