// Loads arbitrary bytes as the stored sound configuration: five little-endian
// 32-bit values, each applied as it is read, so those read before a failure
// stay applied.
#include <cstddef>
#include <cstdint>

#include "fuzz/support.h"
#include "sound/mem.h"
#include "sound/sound.h"

namespace {

constexpr int storedOptions[5] = {soundOptMixRate, soundOptOutputMode, soundOptInterpolation,
                                  soundOptBufferLength, soundOptDSoundBufferLength};

std::int32_t StoredValue(const std::uint8_t* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) |
                                   static_cast<std::uint32_t>(p[1]) << 8 |
                                   static_cast<std::uint32_t>(p[2]) << 16 |
                                   static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t blocksBefore = memBlocksInUse();
  int result = SoundLoadConfig(fuzz::WriteScratch(data, size));
  if (result != 0 && size < 20) fuzz::Fail("a short configuration file was accepted");
  if (result == 0 && size >= 20) fuzz::Fail("a complete configuration file was refused");
  if (memBlocksInUse() != blocksBefore) fuzz::Fail("sound allocator blocks leaked");
  const std::size_t read = size / 4 < 5 ? size / 4 : 5;
  for (std::size_t i = 0; i < read; ++i) {
    if (SoundGetOption(storedOptions[i]) != StoredValue(data + 4 * i)) {
      fuzz::Fail("a stored value was not applied as the file holds it");
    }
  }
  return 0;
}
