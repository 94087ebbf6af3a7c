// Reader of 31-instrument Amiga-style modules (MOD): builds a Module of kind 1
// with notes turned back from periods, 8-bit unsigned samples and the
// sample-swapping loop modes of the mixer.
#pragma once

#include <cstdint>

#include "sound/module.h"

// Loads fileName into *module. Channel pannings use the default stereo
// separation of gmpSetStereoSeparation (sound/loads3m.h). With addSamples
// set, each sample goes to device->AddSample (the device keeps its own copy)
// and the callback, if any, is called; otherwise each sample keeps its data
// in ModuleSample::data and device may be null. Returns 0 or an error code;
// on failure *module is null and nothing of the module survives.
int gmpLoadMOD(const char* fileName, const SoundDevice* device, int addSamples,
               ModuleSampleCallback callback, Module** module);

// Channel count named by the 4 signature bytes at file offset 1080: 4 for
// "M.K.", "M!K!", "FLT4"; 8 for "OCTA"; the digits of "xCHN", "xxCH" and
// "TDZx". 0 for anything else, and for counts outside 1..32.
int gmpModChannelsFromSignature(const std::uint8_t* signature);
