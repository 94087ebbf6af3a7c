// Threads, critical sections, the tick source and global memory.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/win32/win32.h"

namespace {

DWORD fakeNow = 0;
DWORD FakeTicks() { return fakeNow; }

struct ThreadProbe {
  std::atomic<int> ran{0};
  std::atomic<int> priority{0};
  std::atomic<int> afterExit{0};
};

void ProbeEntry(void* raw) {
  auto* probe = static_cast<ThreadProbe*>(raw);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
  probe->priority = GetThreadPriority(GetCurrentThread());
  probe->ran = 1;
  _endthread();
}

TEST(Threads, BeginThreadRunsEntryWithArgumentAndEndsThroughEndThread) {
  ThreadProbe probe;
  std::uintptr_t result = _beginthread(ProbeEntry, 64 * 1024, &probe);
  ASSERT_NE(result, static_cast<std::uintptr_t>(-1));
  for (int i = 0; i < 2500 && probe.ran == 0; ++i) Sleep(2);
  EXPECT_EQ(probe.ran, 1);
  EXPECT_EQ(probe.priority, THREAD_PRIORITY_ABOVE_NORMAL);
  // The caller's own priority is its own business.
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
}

TEST(Threads, FailureInjectionAndBadArguments) {
  Win32FailThreadStarts(1);
  ThreadProbe probe;
  EXPECT_EQ(_beginthread(ProbeEntry, 0, &probe), static_cast<std::uintptr_t>(-1));
  EXPECT_EQ(_beginthread(nullptr, 0, nullptr), static_cast<std::uintptr_t>(-1));
  EXPECT_FALSE(SetThreadPriority(GetCurrentThread(), 7));
  EXPECT_FALSE(SetThreadPriority(reinterpret_cast<HANDLE>(&probe), THREAD_PRIORITY_NORMAL));
  EXPECT_EQ(GetThreadPriority(reinterpret_cast<HANDLE>(&probe)), THREAD_PRIORITY_ERROR_RETURN);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);  // re-entered by the holder: no deadlock
  struct Shared {
    CRITICAL_SECTION* section;
    std::atomic<int> got{-1};
  } shared{&section};
  _beginthread(
      [](void* raw) {
        auto* s = static_cast<Shared*>(raw);
        BOOL got = TryEnterCriticalSection(s->section);
        if (got != 0) LeaveCriticalSection(s->section);
        s->got = got;  // last: the test may delete the section once it sees this
      },
      0, &shared);
  for (int i = 0; i < 2500 && shared.got == -1; ++i) Sleep(2);
  EXPECT_EQ(shared.got, FALSE);
  LeaveCriticalSection(&section);
  LeaveCriticalSection(&section);
  shared.got = -1;
  _beginthread(
      [](void* raw) {
        auto* s = static_cast<Shared*>(raw);
        BOOL got = TryEnterCriticalSection(s->section);
        if (got != 0) LeaveCriticalSection(s->section);
        s->got = got;  // last: the test may delete the section once it sees this
      },
      0, &shared);
  for (int i = 0; i < 2500 && shared.got == -1; ++i) Sleep(2);
  EXPECT_EQ(shared.got, TRUE);
  DeleteCriticalSection(&section);
}

TEST(Time, TickSourceCanBeReplacedAndRestored) {
  fakeNow = 0xFFFFFFF0u;
  Win32SetTickSource(FakeTicks);
  EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
  fakeNow += 0x20;  // wraps like the real count
  EXPECT_EQ(GetTickCount(), 0x10u);
  Win32SetTickSource(nullptr);
  DWORD before = GetTickCount();
  Sleep(30);
  DWORD elapsed = GetTickCount() - before;
  EXPECT_GE(elapsed, 29u);
  EXPECT_LT(elapsed, 2000u);
}

TEST(GlobalMemory, LockGivesTheBlockAndFreeChecksTheHandle) {
  long before = Win32LiveGlobalBlocks();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE | GMEM_ZEROINIT, 100);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 100u);
  auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(bytes[i], 0);
  EXPECT_EQ(GlobalLock(block), bytes);
  EXPECT_TRUE(GlobalUnlock(block));    // still locked once
  EXPECT_FALSE(GlobalUnlock(block));   // now unlocked
  EXPECT_FALSE(GlobalUnlock(block));   // nothing to unlock
  EXPECT_EQ(Win32LiveGlobalBlocks(), before + 1);
  EXPECT_EQ(GlobalFree(block), nullptr);
  EXPECT_EQ(Win32LiveGlobalBlocks(), before);
  int notABlock = 0;
  EXPECT_EQ(GlobalFree(&notABlock), &notABlock);
  EXPECT_EQ(GlobalLock(nullptr), nullptr);
}

TEST(GlobalMemory, InjectedFailuresHitTheNamedCall) {
  Win32FailGlobalAlloc(2);
  HGLOBAL first = GlobalAlloc(GMEM_MOVEABLE, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, 8), nullptr);
  HGLOBAL third = GlobalAlloc(GMEM_MOVEABLE, 8);
  EXPECT_NE(third, nullptr);
  Win32FailGlobalLock(1);
  EXPECT_EQ(GlobalLock(first), nullptr);
  EXPECT_NE(GlobalLock(first), nullptr);
  GlobalUnlock(first);
  GlobalFree(first);
  GlobalFree(third);
}

}  // namespace
