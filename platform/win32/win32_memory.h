// Win32 stand-in: global memory blocks (GlobalAlloc and friends).
#pragma once

#include "platform/win32/win32_types.h"

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GMEM_SHARE 0x2000
#define GMEM_DDESHARE GMEM_SHARE
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

using SIZE_T = std::size_t;

// A block is a handle; GlobalLock gives its address and counts the lock.
// GlobalFree returns null on success and the handle when it is not a block.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);
SIZE_T GlobalSize(HGLOBAL block);

// Test hooks: the n-th next GlobalAlloc (or GlobalLock) fails, n = 1 the very next;
// 0 turns the failure off. Win32LiveGlobalBlocks counts blocks not yet freed.
void Win32FailGlobalAlloc(int n);
void Win32FailGlobalLock(int n);
long Win32LiveGlobalBlocks();
