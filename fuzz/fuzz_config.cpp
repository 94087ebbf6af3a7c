// Loads arbitrary bytes as the stored sound configuration.
#include <cstddef>
#include <cstdint>

#include "fuzz/support.h"
#include "sound/mem.h"
#include "sound/sound.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t blocksBefore = memBlocksInUse();
  int result = SoundLoadConfig(fuzz::WriteScratch(data, size));
  if (result != 0 && size < 20) fuzz::Fail("a short configuration file was accepted");
  if (memBlocksInUse() != blocksBefore) fuzz::Fail("sound allocator blocks leaked");
  return 0;
}
