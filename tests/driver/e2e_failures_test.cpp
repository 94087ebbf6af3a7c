// The presentation when something is wrong, as a person meets it: without a
// display it says that it needs one and names the capture tool; a start-up
// failure after the set-up dialog shows its message in a box on the screen and
// on standard error and ends with a failure code; command lines it cannot use are
// refused with a message.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
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
using testcontent::TempDir;

namespace {

std::string ReadText(const std::string& file) {
  std::ifstream in(file);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Ended {
  std::optional<int> code;
  std::string errors;  // standard error
};

// Runs the program to its end in dir with the environment given; no display
// unless one is named.
Ended RunDemo(const TempDir& dir, const std::vector<std::string>& arguments,
              const std::vector<std::pair<std::string, std::string>>& environment = {}) {
  e2e::ChildOptions options;
  options.directory = dir.Path();
  options.stderrFile = dir.File("demo.err");
  options.setEnv = environment;
  options.setEnv.push_back({"SDL_AUDIODRIVER", "dummy"});
  options.unsetEnv = {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"};
  std::vector<std::string> command{DEMO_PROGRAM};
  command.insert(command.end(), arguments.begin(), arguments.end());
  e2e::ChildProcess demo(command, options);
  Ended ended;
  ended.code = demo.WaitForExit(30s);
  ended.errors = ReadText(dir.File("demo.err"));
  return ended;
}

TEST(DemoFailures, WithoutADisplayItSaysSoAndNamesTheCapture) {
  TempDir dir;
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{}, {"--"}, {"--fullscreen"}}) {
    const Ended ended = RunDemo(dir, arguments);
    EXPECT_EQ(ended.code, 1) << ended.errors;
    EXPECT_NE(ended.errors.find("needs a display"), std::string::npos) << ended.errors;
    EXPECT_NE(ended.errors.find("democapture"), std::string::npos) << ended.errors;
  }
}

TEST(DemoFailures, CommandLinesItCannotUseAreRefused) {
  TempDir dir;
  const struct {
    std::vector<std::string> arguments;
    const char* says;
  } cases[] = {
      {{"--time-scale"}, "--time-scale needs a value"},
      {{"--time-scale", "fast"}, "not \"fast\""},
      {{"--", "extra"}, "unexpected argument extra"},
      {{"--window"}, "unknown option --window"},
      {{"--window", "--", "extra"}, "unknown option --window"},
      {{"--time-scale", "0"}, "not \"0\""},
      {{"--time-scale", "1001"}, "not \"1001\""},
      {{"--data"}, "--data needs a value"},
      {{"--data", ""}, "--data: must not be empty"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    const Ended ended = RunDemo(dir, c.arguments);
    EXPECT_EQ(ended.code, 2) << ended.errors;
    EXPECT_NE(ended.errors.find(c.says), std::string::npos) << ended.errors;
  }
}

TEST(DemoFailures, AFolderOfDataThatCannotBeEnteredIsNamed) {
  TempDir dir;
  const Ended ended = RunDemo(dir, {"--data", dir.File("nowhere")});
  EXPECT_EQ(ended.code, 1) << ended.errors;
  EXPECT_NE(ended.errors.find("demo: cannot enter " + dir.File("nowhere") + ": No such file or directory"),
            std::string::npos)
      << ended.errors;
}

TEST(DemoFailures, HelpAndVersionNeedNoDisplay) {
  TempDir dir;
  e2e::ChildOptions options;
  options.directory = dir.Path();
  options.unsetEnv = {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"};
  options.stdoutFile = dir.File("help.out");
  e2e::ChildProcess help({DEMO_PROGRAM, "--help"}, options);
  EXPECT_EQ(help.WaitForExit(30s), 0);
  const std::string helpText = ReadText(dir.File("help.out"));
  EXPECT_NE(helpText.find("Usage: demo [OPTIONS]"), std::string::npos) << helpText;
  for (const char* option : {"--fullscreen", "--time-scale N", "--data DIR", "--version"}) {
    EXPECT_NE(helpText.find(option), std::string::npos) << option;
  }
  options.stdoutFile = dir.File("version.out");
  e2e::ChildProcess version({DEMO_PROGRAM, "--version"}, options);
  EXPECT_EQ(version.WaitForExit(30s), 0);
  EXPECT_EQ(ReadText(dir.File("version.out")).rfind("demo ", 0), 0u) << ReadText(dir.File("version.out"));
}

// Where the set-up dialog's "OK" button is drawn: dialog units 200,4 50x14, at
// 3 x 3.25 pixels a unit.
constexpr int okX = 675;
constexpr int okY = 36;

TEST(DemoFailures, AStartUpFailureIsShownInABoxAndEndsWithAFailureCode) {
  if (auto missing = e2e::FirstMissing({"Xvfb", "xdotool", "import"})) GTEST_SKIP() << *missing << " is not installed";
  e2e::VirtualDisplay display;
  ASSERT_TRUE(display.Ready()) << display.Error();
  TempDir dir;  // no demo.dat: the dialog comes first, then the failure
  e2e::ChildOptions options;
  options.directory = dir.Path();
  options.stderrFile = dir.File("demo.err");
  options.setEnv = {{"DISPLAY", display.Name()}, {"SDL_AUDIODRIVER", "dummy"}};
  options.unsetEnv = {"SDL_VIDEODRIVER"};
  e2e::ChildProcess demo({DEMO_PROGRAM}, options);

  std::optional<e2e::WindowArea> dialog;
  ASSERT_TRUE(e2e::WaitFor([&] { return (dialog = e2e::FindWindow(display, "Setup")).has_value(); }, 60s))
      << ReadText(dir.File("demo.err"));
  // A click before the dialog takes input is lost: click until the box shows.
  std::optional<e2e::WindowArea> box;
  for (int attempt = 0; attempt < 5 && !box; ++attempt) {
    if (e2e::WindowShown(display, "Setup")) {
      display.Run("xdotool mousemove --window " + dialog->id + " " + std::to_string(okX) + " " +
                  std::to_string(okY) + " click 1 2>/dev/null");
    }
    e2e::WaitFor([&] { return (box = e2e::FindWindow(display, "presentation")).has_value(); }, 8s);
  }
  ASSERT_TRUE(box) << "no message box; standard error:\n" << ReadText(dir.File("demo.err"));
  EXPECT_TRUE(demo.Running()) << "the program did not wait for the box";
  e2e::ScreenShot(display, dir.File("box.png"));

  // Return closes the box, as it presses its OK button.
  std::optional<int> code;
  for (int attempt = 0; attempt < 3 && !code; ++attempt) {
    display.Run("xdotool windowactivate --sync " + box->id + " 2>/dev/null; xdotool key --window " + box->id +
                " Return 2>/dev/null");
    code = demo.WaitForExit(5s);
  }
  EXPECT_EQ(code, 1);
  EXPECT_NE(ReadText(dir.File("demo.err")).find("Cannot open file library!"), std::string::npos);
}

}  // namespace
