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
#include "platform/win32/win32.h"

using testcontent::Content;
using testcontent::TempDir;
using ::testing::ExitedWithCode;

namespace {

std::atomic<DWORD> fakeNow{5000};
DWORD FakeTicks() { return fakeNow.fetch_add(1500); }

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

TEST_F(DemoMainTest, StartUpFailureIsReportedAndEndsWithCodeZero) {
  // No archive at all.
  EXPECT_EXIT(MainIn(dir.Path(), IDOK, [] { return true; }), ExitedWithCode(0),
              "(^|\n)Cannot open file library!\n");
}

[[noreturn]] void PlayWithFastClock(const std::string& dir, bool pressKey) {
  Win32SetTickSource(FakeTicks);
  std::thread presser;
  if (pressKey) {
    presser = std::thread([] {
      // A key in the middle of the presentation, once the window exists.
      while (fakeNow.load() < 5000u + 60000u || Win32KeyWindow() == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      PostMessageA(Win32KeyWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
  }
  MainIn(dir, IDOK, [&] {
    if (presser.joinable()) presser.join();
    const bool early = DemoSeconds() < 218.0f;
    std::fprintf(stderr, "early %d open %d music %d running %d\n", early, DeviceIsOpen(), musicModule != nullptr,
                 demoRunning.load());
    return !DeviceIsOpen() && demoRunning.load() == 0;
  });
}

TEST_F(DemoMainTest, PlaysToTheEndAndShutsDown) {
  ASSERT_TRUE(Content::Default().WriteArchive(dir.Path()));
  ASSERT_TRUE(dir.Write("music.s3m", testcontent::Music()));
  EXPECT_EXIT(PlayWithFastClock(dir.Path(), false), ExitedWithCode(0), "early 0 open 0 music 1 running 0");
}

TEST_F(DemoMainTest, WithoutMusicPlayAndStopAreSkipped) {
  ASSERT_TRUE(Content::Default().WriteArchive(dir.Path()));
  // No music.s3m: the presentation runs silently to its end.
  EXPECT_EXIT(PlayWithFastClock(dir.Path(), false), ExitedWithCode(0), "early 0 open 0 music 0 running 0");
}

TEST_F(DemoMainTest, KeyPressEndsThePresentationEarly) {
  ASSERT_TRUE(Content::Default().WriteArchive(dir.Path()));
  ASSERT_TRUE(dir.Write("music.s3m", testcontent::Music()));
  EXPECT_EXIT(PlayWithFastClock(dir.Path(), true), ExitedWithCode(0), "early 1 open 0 music 1 running 0");
}

}  // namespace
