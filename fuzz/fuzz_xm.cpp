// Loads arbitrary bytes as a XM module through the no-sound device and frees it.
#include <cstddef>
#include <cstdint>

#include "fuzz/module_load.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::LoadModule(modKindXM, data, size);
  return 0;
}
