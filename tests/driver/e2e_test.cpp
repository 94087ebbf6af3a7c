// The program as a person uses it, on a virtual X display of its own: the set-up
// dialog is confirmed with a mouse click, the accelerator's window shows a scene
// and then the logo, a key press ends the program with exit code 0; and with its
// clock running fast the program also ends by itself when the timeline runs out.
// Every step waits for what it expects to see, not for a fixed time, and a
// failure tells what was seen on the way.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "content.h"
#include "screen_tools.h"
#include "virtual_display.h"

using namespace std::chrono_literals;
using testcontent::Content;
using testcontent::TempDir;

namespace {

std::string ReadText(const std::string& file) {
  std::ifstream in(file);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Where the set-up dialog's "OK" button is drawn: dialog units 200,4 50x14, at
// 3 x 3.25 pixels a unit.
constexpr int okX = 675;
constexpr int okY = 36;

class EndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    if (auto missing = e2e::FirstMissing({"Xvfb", "xdotool", "import", "convert"})) {
      GTEST_SKIP() << *missing << " is not installed";
    }
    display = std::make_unique<e2e::VirtualDisplay>();
    ASSERT_TRUE(display->Ready()) << display->Error();
    ASSERT_TRUE(Content::Default().WriteArchive(dir.Path()));
    ASSERT_TRUE(dir.Write("music.s3m", testcontent::Music()));
  }

  // Runs program (the built presentation unless named) in folder (the one holding
  // the content unless named).
  void Launch(const std::vector<std::string>& arguments, const std::string& program = DEMO_PROGRAM,
              const std::string& folder = "") {
    e2e::ChildOptions options;
    options.directory = folder.empty() ? dir.Path() : folder;
    options.stdoutFile = dir.File("demo.out");
    options.stderrFile = dir.File("demo.err");
    options.setEnv = {{"DISPLAY", display->Name()}, {"SDL_AUDIODRIVER", "dummy"}};
    options.unsetEnv = {"SDL_VIDEODRIVER"};
    std::vector<std::string> command{program};
    for (const std::string& argument : arguments) command.push_back(argument);
    demo = std::make_unique<e2e::ChildProcess>(command, options);
    started = std::chrono::steady_clock::now();
    Note("started the program on display " + display->Name());
  }

  // A line of the account a failure prints, stamped with the time since launch.
  void Note(const std::string& what) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    seen << "  " << ms.count() / 1000.0 << " s: " << what << "\n";
  }

  std::string Account() {
    return "what the test saw:\n" + seen.str() + "program's standard error:\n" + ReadText(dir.File("demo.err"));
  }

  // Waits for a visible window while the program runs; notes the outcome.
  std::optional<e2e::WindowArea> AwaitWindow(const std::string& pattern, std::chrono::milliseconds timeout) {
    std::optional<e2e::WindowArea> window;
    e2e::WaitFor([&] { return !demo->Running() || (window = e2e::FindWindow(*display, pattern)).has_value(); },
                 timeout);
    if (window) {
      Note("window '" + pattern + "' is " + window->id + " at " + std::to_string(window->x) + "," +
           std::to_string(window->y) + " size " + std::to_string(window->width) + "x" +
           std::to_string(window->height));
    } else {
      Note(demo->Running() ? "no window '" + pattern + "' yet" : "the program ended without window '" + pattern + "'");
    }
    return window;
  }

  // Clicks "OK" until the dialog has gone and the accelerator's window is shown:
  // a click that arrives before the dialog handles input is simply lost.
  std::optional<e2e::WindowArea> ConfirmDialog() {
    auto dialog = AwaitWindow("Setup", 60s);
    if (!dialog) return std::nullopt;
    e2e::ScreenShot(*display, dir.File("dialog.png"));
    for (int attempt = 1; attempt <= 5; ++attempt) {
      if (e2e::WindowShown(*display, "Setup")) {
        display->Run("xdotool mousemove --window " + dialog->id + " " + std::to_string(okX) + " " +
                     std::to_string(okY) + " click 1 2>/dev/null");
        Note("clicked OK (attempt " + std::to_string(attempt) + ")");
      }
      if (auto screen = AwaitWindow("^demo$", 8s)) return screen;
      if (!demo->Running()) return std::nullopt;
    }
    return std::nullopt;
  }

  // Takes pictures of the window until `looksRight` accepts one; notes the last look.
  bool AwaitPicture(const e2e::WindowArea& window, const std::string& file,
                    const std::function<bool(const std::string&, std::string&)>& looksRight, std::chrono::milliseconds timeout) {
    std::string look = "no picture taken";
    int pictures = 0;
    bool found = e2e::WaitFor(
        [&] {
          if (!demo->Running()) return false;
          ++pictures;
          return e2e::ScreenShot(*display, window, file) && looksRight(file, look);
        },
        timeout, 200ms);
    Note(std::string(found ? "saw " : "gave up on ") + file + " after " + std::to_string(pictures) +
         " pictures, the last: " + look + (demo->Running() ? "" : " (the program has ended)"));
    return found;
  }

  // Presses space until the program ends, allowing each press 10 seconds.
  std::optional<int> EndWithAKey(const e2e::WindowArea& window) {
    for (int attempt = 1; attempt <= 3 && demo->Running(); ++attempt) {
      display->Run("xdotool windowactivate --sync " + window.id + " 2>/dev/null || xdotool windowfocus --sync " +
                   window.id + " 2>/dev/null");
      display->Run("xdotool key --window " + window.id + " space 2>/dev/null");
      Note("pressed space (attempt " + std::to_string(attempt) + ")");
      if (auto code = demo->WaitForExit(10s)) return code;
    }
    return demo->WaitForExit(0ms);
  }

  std::optional<int> AwaitExit(std::chrono::milliseconds timeout) {
    auto code = demo->WaitForExit(timeout);
    Note(code ? "the program ended with " + std::to_string(*code) : "the program is still running");
    return code;
  }

  TempDir dir;
  std::unique_ptr<e2e::VirtualDisplay> display;
  std::unique_ptr<e2e::ChildProcess> demo;
  std::chrono::steady_clock::time_point started;
  std::ostringstream seen;
};

// Something lit, as the intro draws from its first second to its fourteenth.
bool LitScene(const std::string& file, std::string& look) {
  auto mean = e2e::MeanBrightness(file);
  look = mean ? "mean brightness " + std::to_string(*mean) : "unreadable";
  return mean && *mean > 0.02;
}

// The logo's checkerboard: a white square beside a dark brown one.
bool LogoCheckerboard(const std::string& file, std::string& look) {
  auto pixels = e2e::PixelsAt(file, {{60, 20}, {20, 20}});
  if (!pixels) {
    look = "unreadable";
    return false;
  }
  const e2e::Rgb& white = (*pixels)[0];
  const e2e::Rgb& brown = (*pixels)[1];
  look = "pixel 60,20 " + e2e::Describe(white) + ", pixel 20,20 " + e2e::Describe(brown);
  return white.r > 200 && white.g > 200 && white.b > 200 && brown.r > 30 && brown.r < 120 && brown.b < 30;
}

TEST_F(EndToEnd, DialogClickFramesAndAKeyPress) {
  // At half speed: on a busy machine a picture can take a second or more, and the
  // logo shows for only three seconds of the timeline.
  Launch({"--time-scale", "0.5"});
  auto screen = ConfirmDialog();
  ASSERT_TRUE(screen) << Account();
  // The intro is at full brightness from 1 s to 14 s of the timeline, the logo from
  // 16 s to 19 s: at half speed from 2 s to 28 s and from 32 s to 38 s.
  ASSERT_TRUE(AwaitPicture(*screen, dir.File("scene.png"), LitScene, 30s)) << Account();
  ASSERT_TRUE(AwaitPicture(*screen, dir.File("logo.png"), LogoCheckerboard, 60s)) << Account();
  auto code = EndWithAKey(*screen);
  Note(code ? "the program ended with " + std::to_string(*code) : "the program is still running");
  EXPECT_EQ(code, 0) << Account();
  // For a person to look at afterwards.
  if (const char* keep = std::getenv("DRIVER_E2E_KEEP")) {
    std::system(("cp '" + dir.Path() + "'/*.png '" + keep + "'").c_str());
  }
}

TEST_F(EndToEnd, EndsByItselfWhenTheTimelineRunsOut) {
  // 218 seconds at 25 times the speed: under nine seconds.
  Launch({"--time-scale", "25"});
  ASSERT_TRUE(ConfirmDialog()) << Account();
  EXPECT_EQ(AwaitExit(60s), 0) << Account();
}

TEST_F(EndToEnd, AnInstalledCopyFindsItsContentFromAnyFolder) {
  // PREFIX/bin/demo with its content in PREFIX/share/demo, started elsewhere.
  namespace fs = std::filesystem;
  const fs::path prefix = dir.File("prefix");
  fs::create_directories(prefix / "bin");
  fs::create_directories(prefix / "share/demo");
  fs::create_directories(dir.File("elsewhere"));
  fs::copy_file(DEMO_PROGRAM, prefix / "bin/demo");
  fs::rename(dir.File("demo.dat"), prefix / "share/demo/demo.dat");
  fs::rename(dir.File("music.s3m"), prefix / "share/demo/music.s3m");
  Launch({"--time-scale", "25"}, prefix / "bin/demo", dir.File("elsewhere"));
  ASSERT_TRUE(ConfirmDialog()) << Account();
  EXPECT_EQ(AwaitExit(60s), 0) << Account();
  EXPECT_EQ(ReadText(dir.File("demo.err")).find("Cannot open"), std::string::npos) << Account();
}

}  // namespace
