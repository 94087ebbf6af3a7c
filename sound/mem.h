// The sound system's memory allocator: every record of the sound system
// (modules, patterns, instruments, raw-file records, mixer tables) is taken and
// returned here. Blocks come back zero-filled. Both calls return error codes.
#pragma once

#include <cstddef>
#include <cstdint>

// Allocates size bytes (at least 1), zero-filled, into *block: the primitive
// under memAllocArray, through which the sound system allocates.
// errOutOfMemory when the heap cannot serve the request; errInvalidArguments
// when block is null.
int memAlloc(std::size_t size, void** block);

// Returns a block taken with memAlloc. errInvalidBlock for a null block.
int memFree(void* block);

// count elements of T, zero-filled; a count whose byte size does not fit in
// size_t fails with errOutOfMemory rather than wrapping to a small block.
// A record is memAllocArray(1, &record); a block that a record heads (a packed
// pattern and its rows) is an array of std::uint8_t of the whole size.
template <typename T>
int memAllocArray(std::size_t count, T** block) {
  if (block == nullptr) {
    return memAlloc(0, nullptr);
  }
  if (count != 0 && sizeof(T) > SIZE_MAX / count) {
    *block = nullptr;
    return 2;  // errOutOfMemory: the byte count would overflow
  }
  void* raw = nullptr;
  int error = memAlloc(count * sizeof(T), &raw);
  *block = static_cast<T*>(raw);
  return error;
}

// Number of blocks currently allocated and not yet freed (for leak checks).
std::size_t memBlocksInUse();

// For tests: the n-th allocation from now fails with errOutOfMemory (n = 1 is
// the next one); 0 lets every allocation through again.
void memFailAllocation(int n);
