// modplay live in a terminal of its own (tmux), driven by keys as a person
// presses them: the status line, pause, order jumps, volume, next and
// previous file, quit. Everything waits for what the screen shows.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "tests/e2e/terminal_session.h"
#include "tests/modplay/modplay_run.h"

using namespace modplaytest;
using namespace std::chrono_literals;

namespace {

// Long enough (four orders of 64 rows at speed 12) that the song is still
// playing while the keys are tried, on a busy machine too.
std::string LongSong(TempDir& dir, const std::string& file, const std::string& name) {
  s3m::Song song = ShortSong(4, 2, 64);
  song.name = name;
  song.speed = 12;
  song.orders = {0, 0, 0, 0};
  return dir.Write(file, s3m::Write(song));
}

class ModplayKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v tmux >/dev/null") != 0) GTEST_SKIP() << "tmux is not installed";
    first = LongSong(dir, "first.s3m", "first tune");
    second = LongSong(dir, "second.s3m", "second tune");
  }
  std::string Command() const {
    return "SDL_AUDIODRIVER=none-here " + std::string(MODPLAY_PATH) + " " + first + " " + second +
           "; echo modplay-exit=$?";
  }
  TempDir dir;
  std::string first, second;
};

constexpr auto patience = 20s;

TEST_F(ModplayKeys, KeysSteerThePlayAndTheStatusLineFollows) {
  e2e::TerminalSession terminal(Command());
  ASSERT_TRUE(terminal.Started());
  ASSERT_TRUE(terminal.WaitForText("[1/2] " + first + "  order   0/4", patience)) << terminal.Screen();
  EXPECT_TRUE(terminal.WaitForText("/ 1:01.4  vol 100%  |", patience)) << "duration and volume: " << terminal.Screen();

  terminal.SendKeys({"Right", "Right"});
  EXPECT_TRUE(terminal.WaitForText("order   2/4", patience)) << terminal.Screen();
  terminal.SendKeys({"Left"});
  EXPECT_TRUE(terminal.WaitForText("order   1/4", patience)) << terminal.Screen();

  terminal.SendKeys({"Space"});
  EXPECT_TRUE(terminal.WaitForText("paused", patience)) << terminal.Screen();
  terminal.SendKeys({"Space", "+", "+"});
  EXPECT_TRUE(terminal.WaitForText("vol 120%  |", patience)) << terminal.Screen();
  EXPECT_EQ(terminal.Screen().find("paused"), std::string::npos) << "going on again";
  terminal.SendKeys({"-", "-", "-"});
  EXPECT_TRUE(terminal.WaitForText("vol  90%", patience)) << terminal.Screen();

  terminal.SendKeys({"n"});
  EXPECT_TRUE(terminal.WaitForText("[2/2] " + second + "  order", patience)) << terminal.Screen();
  EXPECT_TRUE(terminal.WaitForText("vol  90%", patience)) << "the volume is kept: " << terminal.Screen();
  terminal.SendKeys({"p"});
  EXPECT_TRUE(terminal.WaitForText("[1/2] " + first + "  order   0/4", patience)) << terminal.Screen();

  terminal.SendKeys({"q"});
  EXPECT_TRUE(terminal.WaitForText("modplay-exit=0", patience)) << terminal.Screen();
}

TEST_F(ModplayKeys, TheLastFileEndsThePlayAndTheTerminalIsGivenBack) {
  e2e::TerminalSession terminal(Command() + "; stty -a | grep -o ' -\\?icanon'");
  ASSERT_TRUE(terminal.Started());
  ASSERT_TRUE(terminal.WaitForText("[1/2]", patience)) << terminal.Screen();
  terminal.SendKeys({"n"});
  ASSERT_TRUE(terminal.WaitForText("[2/2]", patience)) << terminal.Screen();
  terminal.SendKeys({"n"});
  EXPECT_TRUE(terminal.WaitForText("modplay-exit=0", patience)) << terminal.Screen();
  EXPECT_TRUE(terminal.WaitForText(" icanon", patience)) << "line editing restored: " << terminal.Screen();
}

// The time played as the status line last showed it, in seconds (-1 if none).
double LastTimeShown(const std::string& screen) {
  const std::regex clock(R"(row +\d+  (\d+):(\d\d)\.(\d) / )");
  double seconds = -1;
  for (auto it = std::sregex_iterator(screen.begin(), screen.end(), clock); it != std::sregex_iterator(); ++it) {
    seconds = std::stoi((*it)[1]) * 60 + std::stoi((*it)[2]) + std::stoi((*it)[3]) / 10.0;
  }
  return seconds;
}

TEST_F(ModplayKeys, LoopPlaysTheSongAgainBeforeItEnds) {
  s3m::Song song = ShortSong(4, 2, 16);  // 1.92 s
  const std::string shortSong = dir.Write("short.s3m", s3m::Write(song));
  e2e::TerminalSession terminal("SDL_AUDIODRIVER=none-here " + std::string(MODPLAY_PATH) + " --loop 2 " + shortSong +
                                "; echo modplay-exit=$?");
  ASSERT_TRUE(terminal.Started());
  ASSERT_TRUE(terminal.WaitForText("modplay-exit=0", 60s)) << terminal.Screen();
  const std::string screen = terminal.Screen();
  EXPECT_NE(screen.find("/ 0:01.9"), std::string::npos) << "one play-through's duration: " << screen;
  // Three play-throughs took at least their time (more on a busy machine).
  EXPECT_GE(LastTimeShown(screen), 3 * 1.92 - 0.3) << screen;
}

}  // namespace
