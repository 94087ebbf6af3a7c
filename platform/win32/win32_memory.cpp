// Global memory blocks on the C++ heap. A handle is the block record itself, so a
// stale or foreign handle is recognised by its signature and refused.
#include "platform/win32/win32_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr std::uint32_t kSignature = 0x474D454Du;  // "GMEM"

struct Block {
  std::uint32_t signature;
  std::uint32_t locks;
  std::size_t size;
  unsigned char* data;
};

std::atomic<int> allocCountdown{0};
std::atomic<int> lockCountdown{0};
std::atomic<long> liveBlocks{0};

// Counts a countdown down by one; true when this call is the one that must fail.
bool Due(std::atomic<int>& countdown) {
  int value = countdown.load();
  while (value > 0 && !countdown.compare_exchange_weak(value, value - 1)) {
  }
  return value == 1;
}

Block* BlockOf(HGLOBAL handle) {
  auto* block = static_cast<Block*>(handle);
  if (block == nullptr || block->signature != kSignature) return nullptr;
  return block;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (Due(allocCountdown)) return nullptr;
  auto* block = new (std::nothrow) Block{kSignature, 0, bytes, nullptr};
  if (block == nullptr) return nullptr;
  block->data = static_cast<unsigned char*>(std::malloc(bytes == 0 ? 1 : bytes));
  if (block->data == nullptr) {
    delete block;
    return nullptr;
  }
  if ((flags & GMEM_ZEROINIT) != 0) std::memset(block->data, 0, bytes);
  liveBlocks.fetch_add(1);
  return block;
}

LPVOID GlobalLock(HGLOBAL handle) {
  Block* block = BlockOf(handle);
  if (block == nullptr || Due(lockCountdown)) return nullptr;
  ++block->locks;
  return block->data;
}

BOOL GlobalUnlock(HGLOBAL handle) {
  Block* block = BlockOf(handle);
  if (block == nullptr || block->locks == 0) return FALSE;
  --block->locks;
  return block->locks != 0 ? TRUE : FALSE;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
  Block* block = BlockOf(handle);
  if (block == nullptr) return handle;
  block->signature = 0;
  std::free(block->data);
  delete block;
  liveBlocks.fetch_sub(1);
  return nullptr;
}

SIZE_T GlobalSize(HGLOBAL handle) {
  Block* block = BlockOf(handle);
  return block == nullptr ? 0 : block->size;
}

void Win32FailGlobalAlloc(int n) { allocCountdown.store(n < 0 ? 0 : n); }
void Win32FailGlobalLock(int n) { lockCountdown.store(n < 0 ? 0 : n); }
long Win32LiveGlobalBlocks() { return liveBlocks.load(); }
