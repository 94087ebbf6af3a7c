// Loading fuzz input as a module through the no-sound device's sample store,
// with a leak check against the sound allocator. The reader is the format
// table's record for the harness's module kind.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fuzz/support.h"
#include "sound/dsmnsnd.h"
#include "sound/loadformats.h"
#include "sound/mem.h"
#include "sound/module.h"

namespace fuzz {

// Loads the bytes as a module and frees it again; fails when a load leaves
// sound allocator blocks behind or reports success without a module.
inline void LoadModule(ModuleKind kind, const std::uint8_t* data, std::size_t size) {
  const ModuleFormat* format = gmpModuleFormatOfKind(kind);
  if (!format) Fail("no module format of this kind");
  static bool deviceOpen = false;
  if (!deviceOpen) {
    if (NoSoundDevice.Init(44100, 0) != 0) Fail("the no-sound device does not start");
    deviceOpen = true;
  }
  const std::size_t blocksBefore = memBlocksInUse();
  const char* path = WriteScratch(data, size);
  Module* module = nullptr;
  int error = format->Load(path, &NoSoundDevice, 1, nullptr, &module);
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
