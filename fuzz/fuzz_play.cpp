// Loads arbitrary bytes as a module of any kind and plays the first seconds of
// it through the player and the mixer, then checks that nothing was leaked.
#include <cstddef>
#include <cstdint>

#include "fuzz/support.h"
#include "sound/gmprender.h"
#include "sound/mem.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t blocksBefore = memBlocksInUse();
  const char* path = fuzz::WriteScratch(data, size);
  RenderSettings settings;
  settings.rate = 8000;
  settings.mono = true;
  settings.interpolate = (size & 1) != 0;  // both mixing paths
  settings.maxSeconds = 4.0;
  auto discard = [](const std::uint8_t*, std::size_t, double, void*) { return true; };
  gmpRenderModule(path, settings, discard, nullptr, nullptr);
  if (memBlocksInUse() != blocksBefore) fuzz::Fail("sound allocator blocks leaked by playing");
  return 0;
}
