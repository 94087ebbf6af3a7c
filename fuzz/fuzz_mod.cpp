// Loads arbitrary bytes as a MOD module through the no-sound device and frees it.
#include <cstddef>
#include <cstdint>

#include "fuzz/module_load.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::LoadModule(modKindMOD, data, size);
  return 0;
}
