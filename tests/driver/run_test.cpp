// The demo thread and the main thread together: the timeline runs out by itself,
// or a key press ends it; the accelerator is closed only after the demo thread has
// stopped drawing, and nothing hangs or crashes at shutdown. Runs under
// ThreadSanitizer in the thread checks.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "content.h"
#include "driver/demo.h"
#include "gfx/device.h"
#include "platform/glide/glide_output.h"
#include "sound/sound.h"

using testcontent::Content;
using testcontent::TempDir;
using ::testing::ExitedWithCode;

namespace {

// A clock that moves `step` milliseconds every time it is read.
std::atomic<DWORD> fakeNow{1000};
std::atomic<DWORD> fakeStep{0};
DWORD FakeTicks() { return fakeNow.fetch_add(fakeStep.load()); }

// Whether the picture shown by the latest swap was all black (checked on the demo
// thread, read after it has stopped).
bool lastSwapBlack = false;
void CheckShownFrame(void*) {
  int width = 0, height = 0, stride = 0;
  const std::uint16_t* shown = GlideShownFrame565(width, height, stride);
  bool black = shown != nullptr;
  for (int y = 0; black && y < height; ++y)
    for (int x = 0; x < width; ++x) black = black && shown[y * stride + x] == 0;
  lastSwapBlack = black;
}

// The main thread's part of the program after the start-up: window, demo thread,
// message loop, then the accelerator closed once the demo thread has stopped.
// Returns the quit code.
int PlayAndShutDown(const std::function<void()>& whilePlaying) {
  if (!CreateDemoWindow(SW_SHOWNORMAL, nullptr)) std::_Exit(6);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
  std::thread helper;
  if (!StartDemoThread()) std::_Exit(8);
  if (whilePlaying) helper = std::thread(whilePlaying);
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  WaitForDemoThread();
  const std::uint64_t swaps = GlideSwapCount();
  DeviceClose();
  if (helper.joinable()) helper.join();
  // Nothing may be drawn once the main thread has closed the accelerator.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (GlideSwapCount() != swaps && DeviceIsOpen()) std::_Exit(7);
  return static_cast<int>(msg.wParam);
}

class RunTest : public ::testing::Test {
protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ASSERT_TRUE(Content::Default().WriteArchive(dir.Path()));
  }
  TempDir dir;
};

[[noreturn]] void TimelineRunsOut(const std::string& dir) {
  if (chdir(dir.c_str()) != 0) std::_Exit(3);
  DemoSelectOutput(DemoOutput::offscreen);
  if (!StartUp()) std::_Exit(4);
  Win32SetTickSource(FakeTicks);
  fakeStep = 1500;  // the 218 seconds pass in under two hundred frames
  GlideSetSwapHook(CheckShownFrame, nullptr);
  int code = PlayAndShutDown(nullptr);
  bool allFreed = true;
  for (Scene* scene : scenes) allFreed = allFreed && scene == nullptr;
  // The demo thread closed the accelerator itself, after a black picture.
  const bool black = lastSwapBlack;
  std::fprintf(stderr, "code %d freed %d black %d open %d swaps %llu\n", code, allFreed, black, DeviceIsOpen(),
               static_cast<unsigned long long>(GlideSwapCount()));
  std::exit(code == 0 && allFreed && black && !DeviceIsOpen() && !IsWindow(demoWindow) ? 0 : 1);
}

TEST_F(RunTest, TimelineRunsOutAndTheWindowClosesByItself) {
  EXPECT_EXIT(TimelineRunsOut(dir.Path()), ExitedWithCode(0), "code 0 freed 1 black 1 open 0");
}

[[noreturn]] void KeyPressDuringTheScroller(const std::string& dir) {
  if (chdir(dir.c_str()) != 0) std::_Exit(3);
  DemoSelectOutput(DemoOutput::offscreen);
  if (!StartUp()) std::_Exit(4);
  Win32SetTickSource(FakeTicks);
  fakeNow = 1000;
  fakeStep = 1500;
  int code = PlayAndShutDown([] {
    // Wait until the bump scroller is on, then press a key.
    while (fakeNow.load() - startTick.load() < 170000u) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    PostMessageA(demoWindow, WM_KEYDOWN, VK_SPACE, 0);
  });
  bool allFreed = true;
  for (Scene* scene : scenes) allFreed = allFreed && scene == nullptr;
  const float stoppedAt = DemoSeconds();
  std::fprintf(stderr, "code %d freed %d open %d early %d\n", code, allFreed, DeviceIsOpen(),
               stoppedAt < 218.0f);
  std::exit(code == 0 && allFreed && !DeviceIsOpen() ? 0 : 1);
}

TEST_F(RunTest, KeyPressEndsThePresentationAndTheAcceleratorClosesAfterTheLastFrame) {
  EXPECT_EXIT(KeyPressDuringTheScroller(dir.Path()), ExitedWithCode(0), "code 0 freed 1 open 0 early 1");
}

}  // namespace
