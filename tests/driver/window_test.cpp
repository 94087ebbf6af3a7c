// Windows, the message queue and message boxes of the platform layer, and the
// demo window's procedure.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "driver/demo.h"
#include "platform/win32/win32.h"

namespace {

std::vector<UINT> seen;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  seen.push_back(message);
  return DefWindowProcA(window, message, wParam, lParam);
}

class WindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    Win32SelectWindowOutput(Win32WindowOutput::offscreen);
    seen.clear();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.lpszClassName = "RecordingClass";
    RegisterClassA(&windowClass);
  }
  void TearDown() override {
    // Leave no quit message or stray message for the next case.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA("RecordingClass", nullptr);
  }
  HWND Create() {
    return CreateWindowExA(0, "RecordingClass", "t", WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 320, 218,
                           nullptr, nullptr, nullptr, nullptr);
  }
};

TEST_F(WindowTest, ClassesMustBeNamedAndUnique) {
  WNDCLASSA again{};
  again.lpfnWndProc = RecordingProc;
  again.lpszClassName = "RecordingClass";
  EXPECT_EQ(RegisterClassA(&again), 0);
  WNDCLASSA noProc{};
  noProc.lpszClassName = "Other";
  EXPECT_EQ(RegisterClassA(&noProc), 0);
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(WindowTest, CloseDestroysTheWindowAndEndsItsMessages) {
  HWND window = Create();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(seen, std::vector<UINT>{WM_CREATE});
  EXPECT_EQ(Win32KeyWindow(), window);

  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  MSG msg{};
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_CLOSE));
  DispatchMessageA(&msg);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_CREATE, WM_CLOSE, WM_DESTROY}));
  EXPECT_FALSE(IsWindow(window));
  // The window is gone: posting to it is refused, and a message already queued
  // for it is dropped when dispatched.
  EXPECT_FALSE(PostMessageA(window, WM_CLOSE, 0, 0));
  MSG stale = msg;
  EXPECT_EQ(DispatchMessageA(&stale), 0);
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_EQ(Win32KeyWindow(), nullptr);
}

TEST_F(WindowTest, QuitMessageEndsTheLoopWithItsCode) {
  PostQuitMessage(7);
  MSG msg{};
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(WindowTest, MessagesFromAnotherThreadWakeTheLoopInOrder) {
  HWND window = Create();
  ASSERT_NE(window, nullptr);
  std::thread poster([window] {
    for (int i = 0; i < 100; ++i) PostMessageA(window, WM_KEYDOWN, static_cast<WPARAM>(i), 0);
    PostQuitMessage(0);
  });
  MSG msg{};
  int expected = 0;
  bool ordered = true;
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    ordered = ordered && msg.wParam == static_cast<WPARAM>(expected);
    ++expected;
  }
  poster.join();
  EXPECT_EQ(expected, 100);
  EXPECT_TRUE(ordered);
  DestroyWindow(window);
}

TEST_F(WindowTest, PumpHookRunsWhileTheLoopWaits) {
  static std::atomic<int> calls{0};
  calls = 0;
  Win32SetPumpHook([] {
    if (++calls == 5) PostQuitMessage(0);
  });
  MSG msg{};
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
  Win32SetPumpHook(nullptr);
  EXPECT_GE(calls.load(), 5);
}

TEST_F(WindowTest, DisplayOutputWithoutADisplayCreatesNoWindow) {
  // The checks run with SDL's dummy video driver, which is no display for people.
  Win32SelectWindowOutput(Win32WindowOutput::display);
  EXPECT_EQ(Create(), nullptr);
  Win32SelectWindowOutput(Win32WindowOutput::offscreen);
}

TEST_F(WindowTest, MessageBoxTextGoesToStandardError) {
  static std::string text, caption;
  static UINT type = 0;
  Win32SetMessageBoxHook([](const char* t, const char* c, UINT s) {
    text = t;
    caption = c;
    type = s;
  });
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "Texture load error!\n", "caption", MB_TASKMODAL), IDOK);
  std::string err = ::testing::internal::GetCapturedStderr();
  Win32SetMessageBoxHook(nullptr);
  EXPECT_EQ(err, "Texture load error!\n\n");
  EXPECT_EQ(text, "Texture load error!\n");
  EXPECT_EQ(caption, "caption");
  EXPECT_EQ(type, static_cast<UINT>(MB_TASKMODAL));
}

TEST_F(WindowTest, DemoWindowEndsThePresentationOnAnyKey) {
  Win32SelectWindowOutput(Win32WindowOutput::offscreen);
  ASSERT_EQ(CreateDemoWindow(SW_SHOWNORMAL, nullptr), 1);
  ASSERT_NE(demoWindow, nullptr);
  EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_LOWEST);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);

  demoRunning = 1;
  PostMessageA(demoWindow, WM_KEYDOWN, 'Q', 0);
  MSG msg{};
  int dispatched = 0;
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    DispatchMessageA(&msg);
    ++dispatched;
  }
  EXPECT_EQ(dispatched, 1);
  EXPECT_EQ(demoRunning.load(), 0);
  EXPECT_EQ(msg.wParam, 0u);
  // The window stays until it is closed; closing it posts the quit message again.
  ASSERT_TRUE(IsWindow(demoWindow));
  demoRunning = 1;
  PostMessageA(demoWindow, WM_CLOSE, 0, 0);
  while (GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
  EXPECT_FALSE(IsWindow(demoWindow));
  EXPECT_EQ(demoRunning.load(), 0);
}

}  // namespace
