// The sound system's memory allocator over the C heap, with a count of live
// blocks so that tests can prove a module is released completely.
#include "sound/mem.h"

#include <atomic>
#include <cstdlib>

#include "sound/errors.h"

namespace {
std::atomic<std::size_t> blocksInUse{0};
std::atomic<int> allocationsUntilFailure{0};  // 0: none planned

bool PlannedFailure() {
  int left = allocationsUntilFailure.load();
  while (left > 0 && !allocationsUntilFailure.compare_exchange_weak(left, left - 1)) {
  }
  return left == 1;
}
}  // namespace

int memAlloc(std::size_t size, void** block) {
  if (block == nullptr) {
    return errInvalidArguments;
  }
  *block = PlannedFailure() ? nullptr : std::calloc(size == 0 ? 1 : size, 1);
  if (*block == nullptr) {
    return errOutOfMemory;
  }
  blocksInUse.fetch_add(1);
  return errOK;
}

int memFree(void* block) {
  if (block == nullptr) {
    return errInvalidBlock;
  }
  std::free(block);
  blocksInUse.fetch_sub(1);
  return errOK;
}

std::size_t memBlocksInUse() { return blocksInUse.load(); }

void memFailAllocation(int n) { allocationsUntilFailure.store(n > 0 ? n : 0); }
