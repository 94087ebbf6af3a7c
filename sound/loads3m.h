// Scream Tracker 3 module reader: builds a Module of kind S3M from a file,
// converting its patterns into the player's packed form and handing every
// used instrument's sample to the sound device.
#pragma once

#include <cstdint>

#include "sound/module.h"

// Loads fileName. With addSamples set, every sample goes to device->AddSample
// (copied) and the module keeps only the handle; otherwise each sample keeps
// its own data and device may be null. Returns 0 and the module in *module,
// or an error code and no module.
int gmpLoadS3M(const char* fileName, const SoundDevice* device, int addSamples,
               ModuleSampleCallback callback, Module** module);

// Default stereo separation the S3M and MOD readers give left and right
// channels (0..64, initially 64): left channels pan to 64 − sep, right ones
// to 64 + sep on the 0..128 scale.
void gmpSetStereoSeparation(int separation);
int gmpGetStereoSeparation();

// Sizes of the pattern buffers: packed data after the stored length word,
// and the converted block. Larger patterns are rejected as invalid data.
inline constexpr std::uint32_t s3mPatternReadMax = 12290;
inline constexpr std::uint32_t s3mPatternWorkMax = 12296;
