// The end-to-end tests' own tools: displays started together get numbers of
// their own and answer clients, even while other clients come and go; background
// programs report their exit codes and are stopped when they outlive their wait.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <memory>
#include <vector>

#include "child_process.h"
#include "screen_tools.h"
#include "virtual_display.h"

using namespace std::chrono_literals;

namespace {

class VirtualDisplays : public ::testing::Test {
protected:
  void SetUp() override {
    if (auto missing = e2e::FirstMissing({"Xvfb", "xdotool"})) GTEST_SKIP() << *missing << " is not installed";
  }
};

TEST_F(VirtualDisplays, StartedTogetherEachGetsItsOwnNumberAndAnswers) {
  std::vector<std::unique_ptr<e2e::VirtualDisplay>> displays;
  for (int i = 0; i < 3; ++i) displays.push_back(std::make_unique<e2e::VirtualDisplay>(i == 1 ? "800x600x24" : "1024x768x24"));
  for (const auto& display : displays) ASSERT_TRUE(display->Ready()) << display->Error();
  EXPECT_NE(displays[0]->Name(), displays[1]->Name());
  EXPECT_NE(displays[1]->Name(), displays[2]->Name());
  EXPECT_NE(displays[0]->Name(), displays[2]->Name());
  // Each client reaches the server it was given: the sizes differ.
  std::string size;
  EXPECT_EQ(displays[1]->Run("xdotool getdisplaygeometry", &size), 0);
  EXPECT_EQ(size, "800 600\n") << displays[1]->Name();
  EXPECT_EQ(displays[2]->Run("xdotool getdisplaygeometry", &size), 0);
  EXPECT_EQ(size, "1024 768\n") << displays[2]->Name();
}

TEST_F(VirtualDisplays, StoppedDisplayNoLongerAnswers) {
  // The server itself is checked, not its number: a display started meanwhile by a
  // test running beside this one may take the freed number at once.
  pid_t pid = -1;
  {
    e2e::VirtualDisplay display;
    ASSERT_TRUE(display.Ready()) << display.Error();
    pid = display.ServerPid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0);
  }
  errno = 0;
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH) << "the X server " << pid << " still runs";
}

TEST_F(VirtualDisplays, AClientArrivingAsTheLastOneLeavesIsServed) {
  // An X server that resets when its last client leaves turns away a client that
  // connects meanwhile; a test's probes and the program under test meet that way.
  e2e::VirtualDisplay display;
  ASSERT_TRUE(display.Ready()) << display.Error();
  const std::string script =
      "(while :; do xdotool getmouselocation >/dev/null 2>&1; done) & churn=$!; failed=0; "
      "for i in $(seq 150); do xdotool getmouselocation >/dev/null 2>&1 || failed=$((failed+1)); done; "
      "kill $churn; echo $failed";
  std::string failed;
  ASSERT_EQ(display.Run(script, &failed), 0);
  EXPECT_EQ(failed, "0\n") << "connections refused of 150";
}

TEST(ChildProcesses, ReportExitCodesAndSignals) {
  e2e::ChildProcess ok({"sh", "-c", "exit 7"}, {});
  EXPECT_EQ(ok.WaitForExit(10s), 7);
  e2e::ChildProcess killed({"sh", "-c", "kill -TERM $$"}, {});
  EXPECT_EQ(killed.WaitForExit(10s), 128 + 15);
  e2e::ChildProcess missing({"/nonexistent/program"}, {});
  EXPECT_EQ(missing.WaitForExit(10s), 127);
}

TEST(ChildProcesses, SeeTheirEnvironmentAndAreKilledAfterTheirWait) {
  e2e::ChildOptions options;
  options.setEnv = {{"E2E_CHECK", "yes"}};
  options.unsetEnv = {"HOME"};
  e2e::ChildProcess child({"sh", "-c", "[ \"$E2E_CHECK\" = yes ] && [ -z \"${HOME+set}\" ]"}, options);
  EXPECT_EQ(child.WaitForExit(10s), 0);

  e2e::ChildProcess sleeper({"sleep", "30"}, {});
  EXPECT_FALSE(sleeper.WaitForExit(100ms).has_value());
  EXPECT_TRUE(sleeper.Running());
  sleeper.Kill();
  EXPECT_FALSE(sleeper.Running());
}

}  // namespace
