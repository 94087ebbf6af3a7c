// Reader of Impulse Tracker modules (IT): builds a Module of kind 4 in
// instrument mode (note maps and envelopes, old and new instrument layouts)
// or sample mode (one instrument made up per sample), with channel-masked
// patterns converted into the packed form and uncompressed 8- and 16-bit
// samples handed to the sound device.
#pragma once

#include <cstdint>

#include "sound/module.h"

// Loads fileName into *module. With addSamples set, each sample goes to
// device->AddSample (the device keeps its own copy) and the callback, if any,
// is called; otherwise each sample keeps its data in ModuleSample::data and
// device may be null. Returns 0 or an error code; on failure *module is null
// and nothing of the module survives. Compressed samples (both forms) are
// decoded as they load.
//
// Instrument note maps hold 120 pairs of (note, sample): the note is the
// file's note number 0..119 (C-0 = 0, twelve per octave), the sample an index
// into the instrument's own sample pointers, 0xFF = none.
int gmpLoadIT(const char* fileName, const SoundDevice* device, int addSamples,
              ModuleSampleCallback callback, Module** module);
