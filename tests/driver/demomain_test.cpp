// The whole program from its entry: the set-up dialog (acted on by a script), the
// start-up, the sound system, the window, the demo thread and the shutdown.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "content.h"
#include "driver/demo.h"
#include "gfx/device.h"
#include "platform/glide/glide_output.h"
#include "platform/win32/win32.h"
#include "stream/archive.h"

using testcontent::Content;
using testcontent::TempDir;
using ::testing::ExitedWithCode;

namespace {

std::atomic<DWORD> fakeNow{5000};
DWORD FakeTicks() { return fakeNow.fetch_add(1500); }

// Checked on the demo thread after every swap: whether the picture shown was all
// black. With pressKey, the key is pressed from inside a swap during the bump
// scroller, so that the frame is still in progress when the main thread sees the
// key; the swap is then drawn out, and a main thread that does not wait for the
// frame would close the output under it.
bool pressKey = false;
bool lastSwapBlack = false;
std::atomic<int> keyPressed{0};
std::atomic<int> closedDuringFrame{0};
void CheckSwap(void*) {
  int width = 0, height = 0, stride = 0;
  const std::uint16_t* shown = GlideShownFrame565(width, height, stride);
  bool black = shown != nullptr;
  for (int y = 0; black && y < height; ++y)
    for (int x = 0; x < width; ++x) black = black && shown[y * stride + x] == 0;
  lastSwapBlack = black;
  if (pressKey && keyPressed.load() == 0 && DemoSeconds() >= 170.0f) {
    keyPressed = 1;
    PostMessageA(Win32KeyWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
    for (int i = 0; i < 200 && demoRunning.load() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!DeviceIsOpen()) ++closedDuringFrame;
  }
}

void ScriptDialog(int button) {
  Win32DialogScript script;
  script.step = [button](HWND dialog) {
    Win32DialogClick(dialog, button);
    return true;
  };
  Win32SetDialogScript(script);
}

// Runs DemoMain in dir with the dialog answered by `button`; the child's exit code
// is DemoMain's, unless `after` finds something wrong (then 9).
template <class After>
[[noreturn]] void MainIn(const std::string& dir, int button, After after) {
  if (chdir(dir.c_str()) != 0) std::_Exit(3);
  DemoSelectOutput(DemoOutput::offscreen);
  ScriptDialog(button);
  int code = DemoMain(nullptr, SW_SHOWNORMAL);
  std::exit(after() ? code : 9);
}

class DemoMainTest : public ::testing::Test {
protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  TempDir dir;
};

TEST_F(DemoMainTest, CancellingTheDialogEndsBeforeAnythingIsOpened) {
  ASSERT_TRUE(Content::Default().WriteArchive(dir.Path()));
  EXPECT_EXIT(MainIn(dir.Path(), IDCANCEL,
                     [] {
                       std::fprintf(stderr, "archive %d device %d\n", archiveFile != nullptr, deviceInitialized);
                       return archiveFile == nullptr && deviceInitialized == 0;
                     }),
              ExitedWithCode(0), "archive 0 device 0");
}

TEST_F(DemoMainTest, StartUpFailureIsReportedAndEndsWithAFailureCode) {
  // No archive at all.
  EXPECT_EXIT(MainIn(dir.Path(), IDOK, [] { return true; }), ExitedWithCode(demoExitFailure),
              "(^|\n)Cannot open file library!\n");
}

[[noreturn]] void PlayWithFastClock(const std::string& dir, bool withKey) {
  Win32SetTickSource(FakeTicks);
  GlideSetSwapHook(CheckSwap, nullptr);
  pressKey = withKey;
  MainIn(dir, IDOK, [&] {
    const bool early = DemoSeconds() < 218.0f;
    bool freed = true;
    for (Scene* scene : scenes) freed = freed && scene == nullptr;
    std::fprintf(stderr, "early %d open %d music %d running %d freed %d black %d closed early %d\n", early,
                 DeviceIsOpen(), musicModule != nullptr, demoRunning.load(), freed, lastSwapBlack,
                 closedDuringFrame.load());
    return !DeviceIsOpen() && demoRunning.load() == 0 && freed && closedDuringFrame.load() == 0 &&
           keyPressed.load() == (withKey ? 1 : 0);
  });
}

TEST_F(DemoMainTest, PlaysToTheEndAndShutsDown) {
  ASSERT_TRUE(Content::Default().WriteArchive(dir.Path()));
  ASSERT_TRUE(dir.Write("music.s3m", testcontent::Music()));
  EXPECT_EXIT(PlayWithFastClock(dir.Path(), false), ExitedWithCode(0), "early 0 open 0 music 1 running 0 freed 1 black 1 closed early 0");
}

TEST_F(DemoMainTest, WithoutMusicPlayAndStopAreSkipped) {
  ASSERT_TRUE(Content::Default().WriteArchive(dir.Path()));
  // No music.s3m: the presentation runs silently to its end.
  EXPECT_EXIT(PlayWithFastClock(dir.Path(), false), ExitedWithCode(0), "early 0 open 0 music 0 running 0 freed 1 black 1 closed early 0");
}

TEST_F(DemoMainTest, KeyPressEndsThePresentationEarly) {
  ASSERT_TRUE(Content::Default().WriteArchive(dir.Path()));
  ASSERT_TRUE(dir.Write("music.s3m", testcontent::Music()));
  EXPECT_EXIT(PlayWithFastClock(dir.Path(), true), ExitedWithCode(0), "early 1 open 0 music 1 running 0 freed 1 black 0 closed early 0");
}

}  // namespace
