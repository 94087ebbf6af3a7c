// Loads arbitrary bytes as a IT module through the no-sound device and frees it.
#include <cstddef>
#include <cstdint>

#include "fuzz/module_load.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::LoadModule(modKindIT, data, size);
  return 0;
}
