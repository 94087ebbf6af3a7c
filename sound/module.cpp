// Allocation helpers for the module model and the release of a whole module,
// which walks only what exists so that a reader can free a half-built one.
#include "sound/module.h"

#include "sound/errors.h"
#include "sound/mem.h"
#include "sound/sdevice.h"

int ModuleAllocInstrument(std::uint32_t numSamples, ModuleInstrument** instrument) {
  if (instrument == nullptr) {
    return errInvalidArguments;
  }
  *instrument = nullptr;
  // Guard the size computation against a count read from a hostile file.
  constexpr std::size_t maxSamples =
      (SIZE_MAX - sizeof(ModuleInstrument)) / sizeof(ModuleSample*);
  if (static_cast<std::size_t>(numSamples) > maxSamples) {  // only possible where size_t is 32-bit
    return errOutOfMemory;
  }
  std::uint8_t* block = nullptr;
  std::size_t size = sizeof(ModuleInstrument) + std::size_t{numSamples} * sizeof(ModuleSample*);
  if (int error = memAllocArray(size, &block); error != errOK) {
    return error;
  }
  auto* inst = reinterpret_cast<ModuleInstrument*>(block);
  inst->numSamples = numSamples;
  inst->globalVolume = 64;
  inst->samples = numSamples != 0
                      ? reinterpret_cast<ModuleSample**>(block + sizeof(ModuleInstrument))
                      : nullptr;
  *instrument = inst;
  return errOK;
}

int ModuleAllocEmptyPattern(std::uint32_t rows, PackedPattern** pattern) {
  if (pattern == nullptr) {
    return errInvalidArguments;
  }
  *pattern = nullptr;
  if (rows > 0x10000) {
    return errInvalidArguments;
  }
  std::uint8_t* block = nullptr;
  std::size_t size = sizeof(PackedPattern) + rows;
  if (int error = memAllocArray(size, &block); error != errOK) {
    return error;
  }
  auto* patt = reinterpret_cast<PackedPattern*>(block);
  patt->length = static_cast<std::uint32_t>(size);
  patt->rows = rows;  // the zero-filled rows are the end markers
  *pattern = patt;
  return errOK;
}

namespace {

int FreeIf(void* block) { return block != nullptr ? memFree(block) : errOK; }

int FreeInstrument(ModuleInstrument* inst) {
  if (int error = FreeIf(inst->noteMap); error != errOK) {
    return error;
  }
  if (int error = FreeIf(inst->volEnvelope); error != errOK) {
    return error;
  }
  if (int error = FreeIf(inst->panEnvelope); error != errOK) {
    return error;
  }
  if (int error = FreeIf(inst->thirdEnvelope); error != errOK) {
    return error;
  }
  return memFree(inst);
}

int FreeSample(ModuleSample* sample, const SoundDevice* device) {
  if (sample->sdHandle != 0 && device != nullptr && device->RemoveSample != nullptr) {
    if (int error = device->RemoveSample(sample->sdHandle); error != errOK) {
      return error;
    }
    sample->sdHandle = 0;
  }
  if (int error = FreeIf(sample->data); error != errOK) {
    return error;
  }
  return memFree(sample);
}

}  // namespace

int ModuleFree(Module* module, const SoundDevice* device) {
  if (module == nullptr) {
    return errInvalidArguments;
  }
  if (int error = FreeIf(module->panning); error != errOK) {
    return error;
  }
  module->panning = nullptr;
  if (int error = FreeIf(module->orders); error != errOK) {
    return error;
  }
  module->orders = nullptr;

  if (module->instruments != nullptr) {
    for (std::uint32_t i = 0; i < module->numInstruments; i++) {
      if (module->instruments[i] == nullptr) {
        continue;
      }
      if (int error = FreeInstrument(module->instruments[i]); error != errOK) {
        return error;
      }
      module->instruments[i] = nullptr;
    }
    if (int error = memFree(module->instruments); error != errOK) {
      return error;
    }
    module->instruments = nullptr;
  }

  if (module->samples != nullptr) {
    for (std::uint32_t i = 0; i < module->numSamples; i++) {
      if (module->samples[i] == nullptr) {
        continue;
      }
      if (int error = FreeSample(module->samples[i], device); error != errOK) {
        return error;
      }
      module->samples[i] = nullptr;
    }
    if (int error = memFree(module->samples); error != errOK) {
      return error;
    }
    module->samples = nullptr;
  }

  if (module->patterns != nullptr) {
    for (std::uint32_t i = 0; i < module->numPatterns; i++) {
      if (module->patterns[i] == nullptr) {
        continue;
      }
      if (int error = memFree(module->patterns[i]); error != errOK) {
        return error;
      }
      module->patterns[i] = nullptr;
    }
    if (int error = memFree(module->patterns); error != errOK) {
      return error;
    }
    module->patterns = nullptr;
  }

  return memFree(module);
}
