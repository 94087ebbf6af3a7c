// Reader of Extended Modules (XM): builds a Module of kind 3 with packed
// patterns, instruments with note maps, volume and panning envelopes and
// automatic vibrato, and delta-decoded 8- and 16-bit samples.
#pragma once

#include <cstdint>

#include "sound/module.h"

// Loads fileName into *module. With addSamples set, each sample goes to
// device->AddSample (the device keeps its own copy) and the callback, if any,
// is called; otherwise each sample keeps its decoded data in
// ModuleSample::data and device may be null. Returns 0 or an error code; on
// failure *module is null and nothing of the module survives.
int gmpLoadXM(const char* fileName, const SoundDevice* device, int addSamples,
              ModuleSampleCallback callback, Module** module);
