// Loading fuzz input as a module through the no-sound device's sample store,
// with a leak check against the sound allocator.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fuzz/support.h"
#include "sound/dsmnsnd.h"
#include "sound/mem.h"
#include "sound/module.h"

namespace fuzz {

// The module loaders' shape.
using ModuleLoader = int (*)(const char* fileName, const SoundDevice* device, int addSamples,
                             int (*callback)(const SampleDescriptor*, ModuleSample*), Module** module);

// Loads the bytes as a module and frees it again; fails when a load leaves
// sound allocator blocks behind or reports success without a module.
inline void LoadModule(ModuleLoader loader, const std::uint8_t* data, std::size_t size) {
  static bool deviceOpen = false;
  if (!deviceOpen) {
    if (NoSoundDevice.Init(44100, 0) != 0) Fail("the no-sound device does not start");
    deviceOpen = true;
  }
  const std::size_t blocksBefore = memBlocksInUse();
  const char* path = WriteScratch(data, size);
  Module* module = nullptr;
  int error = loader(path, &NoSoundDevice, 1, nullptr, &module);
  if (error == 0) {
    if (!module) Fail("a load reported success without a module");
    if (ModuleFree(module, &NoSoundDevice) != 0) Fail("a loaded module does not free");
  } else if (module) {
    Fail("a failed load left a module behind");
  }
  // Copied sample data lives in sound allocator blocks too, so handles the
  // mixer did not get back show here as well.
  if (memBlocksInUse() != blocksBefore) Fail("sound allocator blocks leaked by a load");
}

}  // namespace fuzz
