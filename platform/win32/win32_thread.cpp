// Threads, time and critical sections over POSIX threads.
#include "platform/win32/win32_thread.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>
#include <new>

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(pthread_mutex_t) <= 16);

pthread_mutex_t* MutexOf(LPCRITICAL_SECTION section) {
  return reinterpret_cast<pthread_mutex_t*>(section->opaque);
}

std::atomic<Win32TickSource> tickSource{nullptr};
std::atomic<int> failingThreadStarts{0};

thread_local int threadPriority = THREAD_PRIORITY_NORMAL;

// The pseudo-handle GetCurrentThread returns; any other handle is refused.
char currentThreadMarker;

struct ThreadStart {
  void (*entry)(void*);
  void* argument;
};

void* ThreadMain(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  start.entry(start.argument);
  return nullptr;
}

// Windows priorities -2..2 map to nice values 10..-10; lowering always works,
// raising needs the right to do so and is skipped quietly without it.
int NiceFor(int priority) {
  if (priority <= THREAD_PRIORITY_IDLE) return 19;
  if (priority >= THREAD_PRIORITY_TIME_CRITICAL) return -15;
  return -5 * priority;
}

}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(new (section->opaque) pthread_mutex_t, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_destroy(MutexOf(section)); }

void EnterCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_lock(MutexOf(section)); }

void LeaveCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_unlock(MutexOf(section)); }

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
  return pthread_mutex_trylock(MutexOf(section)) == 0 ? TRUE : FALSE;
}

std::uintptr_t _beginthread(void (*entry)(void*), unsigned stackSize, void* argument) {
  const auto failure = static_cast<std::uintptr_t>(-1);
  if (entry == nullptr) return failure;
  int pending = failingThreadStarts.load();
  while (pending > 0 && !failingThreadStarts.compare_exchange_weak(pending, pending - 1)) {
  }
  if (pending > 0) return failure;

  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (stackSize != 0) {
    std::size_t size = stackSize < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : stackSize;
    pthread_attr_setstacksize(&attributes, size);
  }
  auto* start = new (std::nothrow) ThreadStart{entry, argument};
  if (start == nullptr) {
    pthread_attr_destroy(&attributes);
    return failure;
  }
  pthread_t thread;
  int result = pthread_create(&thread, &attributes, ThreadMain, start);
  pthread_attr_destroy(&attributes);
  if (result != 0) {
    delete start;
    return failure;
  }
  return static_cast<std::uintptr_t>(thread) == failure ? 1 : static_cast<std::uintptr_t>(thread);
}

void _endthread() { pthread_exit(nullptr); }

HANDLE GetCurrentThread() { return &currentThreadMarker; }

DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

BOOL SetThreadPriority(HANDLE thread, int priority) {
  if (thread != &currentThreadMarker) return FALSE;
  bool known = (priority >= THREAD_PRIORITY_LOWEST && priority <= THREAD_PRIORITY_HIGHEST) ||
               priority == THREAD_PRIORITY_IDLE || priority == THREAD_PRIORITY_TIME_CRITICAL;
  if (!known) return FALSE;
  threadPriority = priority;
  // Best effort: the scheduler hint may be refused without the right to raise it.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), NiceFor(priority));
  return TRUE;
}

int GetThreadPriority(HANDLE thread) {
  if (thread != &currentThreadMarker) return THREAD_PRIORITY_ERROR_RETURN;
  return threadPriority;
}

void Sleep(DWORD milliseconds) {
  timespec request{static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
  timespec remaining{};
  while (nanosleep(&request, &remaining) == -1 && errno == EINTR) request = remaining;
  if (milliseconds == 0) sched_yield();
}

DWORD GetTickCount() {
  if (Win32TickSource source = tickSource.load()) return source();
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);
}

void Win32SetTickSource(Win32TickSource source) { tickSource.store(source); }

void Win32FailThreadStarts(int count) { failingThreadStarts.store(count < 0 ? 0 : count); }
