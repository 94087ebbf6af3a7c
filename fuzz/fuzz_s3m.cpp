// Loads arbitrary bytes as a S3M module through the no-sound device and frees it.
#include <cstddef>
#include <cstdint>

#include "fuzz/module_load.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::LoadModule(modKindS3M, data, size);
  return 0;
}
