// The program as a person uses it, under a virtual X display: the set-up dialog is
// confirmed with a mouse click, the accelerator's window shows a scene and then
// the logo, a key press ends the program with exit code 0; and with its clock
// running fast the program also ends by itself when the timeline runs out.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "content.h"

using testcontent::Content;
using testcontent::TempDir;

namespace {

bool Installed(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Colour of one pixel of a picture file, through ImageMagick.
bool Pixel(const std::string& file, int x, int y, int& r, int& g, int& b) {
  std::string command = "convert '" + file + "' -crop 1x1+" + std::to_string(x) + "+" + std::to_string(y) +
                        " -depth 8 txt:- 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char line[512];
  std::string text;
  while (std::fgets(line, sizeof line, pipe)) text += line;
  pclose(pipe);
  // "0,0: (R,G,B)  #RRGGBB  srgb(...)"
  std::size_t hash = text.find('#', text.find('\n'));
  if (hash == std::string::npos || hash + 7 > text.size()) return false;
  unsigned value = 0;
  if (std::sscanf(text.c_str() + hash + 1, "%6x", &value) != 1) return false;
  r = static_cast<int>(value >> 16);
  g = static_cast<int>((value >> 8) & 0xFF);
  b = static_cast<int>(value & 0xFF);
  return true;
}

// Mean brightness (0 to 1) of a picture file.
double Mean(const std::string& file) {
  FILE* pipe = popen(("convert '" + file + "' -colorspace Gray -format '%[fx:mean]' info: 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return -1;
  double mean = -1;
  if (std::fscanf(pipe, "%lf", &mean) != 1) mean = -1;
  pclose(pipe);
  return mean;
}

std::string ReadText(const std::string& file) {
  std::ifstream in(file);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class EndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* program : {"xvfb-run", "xdotool", "import", "convert"}) {
      if (!Installed(program)) GTEST_SKIP() << program << " is not installed";
    }
    ASSERT_TRUE(Content::Default().WriteArchive(dir.Path()));
    ASSERT_TRUE(dir.Write("music.s3m", testcontent::Music()));
  }

  // Runs script under a fresh virtual display; returns its exit status.
  int RunUnderDisplay(const std::string& script) {
    const std::string path = dir.File("run.sh");
    std::ofstream(path) << script;
    const std::string command = "cd '" + dir.Path() + "' && timeout 110 xvfb-run -a -s '-screen 0 1024x768x24' bash '" +
                                path + "' > '" + dir.File("script.log") + "' 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The common start: the program in the background, its dialog confirmed with a
  // click on "OK" (dialog units 200,4 50x14, drawn at 3 x 3.25 pixels a unit).
  std::string Start(const std::string& arguments) {
    return "set -u\n"
           "unset SDL_VIDEODRIVER\n"
           "export SDL_AUDIODRIVER=dummy\n"
           "'" DEMO_PROGRAM "' " + arguments + " > demo.out 2> demo.err &\n"
           "pid=$!\n"
           "find_window() { for i in $(seq 1 200); do w=$(xdotool search --onlyvisible --name \"$1\" 2>/dev/null | head -1);"
           " if [ -n \"$w\" ]; then echo $w; return 0; fi; sleep 0.1; done; return 1; }\n"
           "dialog=$(find_window 'Setup') || { echo 'no dialog'; kill $pid; exit 10; }\n"
           "sleep 0.5\n"
           "import -window root dialog.png\n"
           "xdotool mousemove --window $dialog 675 36 click 1\n"
           "screen=$(find_window '^demo$') || { echo 'no accelerator window'; kill $pid; exit 11; }\n"
           "t0=$(date +%s.%N)\n"
           "echo \"accelerator window $screen\"\n"
           // Sleeps until `s` seconds after the accelerator window appeared, which is
           // when the music started, give or take a tenth of a second.
           "wait_until() { sleep $(awk -v t0=$t0 -v s=$1 -v n=$(date +%s.%N) 'BEGIN { d = t0 + s - n; print (d > 0 ? d : 0) }'); }\n"
           // Its place on the screen, to cut its pictures out of screenshots of the
           // whole screen (the window's own contents cannot be read back).
           "eval $(xdotool getwindowgeometry --shell $screen)\n"
           "crop() { import -window root \"$1-root.png\"; convert \"$1-root.png\" -crop 640x480+$X+$Y +repage \"$1.png\"; }\n";
  }

  // Waits up to `seconds` for the program; prints its exit code as "exit N".
  static std::string WaitForExit(int seconds) {
    return "for i in $(seq 1 " + std::to_string(seconds * 10) +
           "); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done\n"
           "if kill -0 $pid 2>/dev/null; then echo 'still running'; kill -9 $pid; exit 12; fi\n"
           "wait $pid; code=$?\n"
           "echo \"exit $code\"\n"
           "exit $code\n";
  }

  TempDir dir;
};

TEST_F(EndToEnd, DialogClickFramesAndAKeyPress) {
  std::string script = Start("") +
                       // The intro is at full brightness from 1 s to 14 s, the logo from 16 s to 19 s.
                       "wait_until 6\n"
                       "crop scene\n"
                       "wait_until 17.3\n"
                       "crop logo\n"
                       "xdotool windowactivate --sync $screen 2>/dev/null || xdotool windowfocus --sync $screen\n"
                       "xdotool key --window $screen space\n" +
                       WaitForExit(20);
  int status = RunUnderDisplay(script);
  const std::string log = ReadText(dir.File("script.log"));
  ASSERT_EQ(status, 0) << log << "\nstderr:\n" << ReadText(dir.File("demo.err"));

  // Something lit is drawn during the intro.
  EXPECT_GT(Mean(dir.File("scene.png")), 0.02) << "the scene picture is black";
  // The logo's checkerboard: white squares beside dark brown ones.
  int r = 0, g = 0, b = 0;
  ASSERT_TRUE(Pixel(dir.File("logo.png"), 60, 20, r, g, b));
  EXPECT_GT(r, 200);
  EXPECT_GT(g, 200);
  EXPECT_GT(b, 200);
  ASSERT_TRUE(Pixel(dir.File("logo.png"), 20, 20, r, g, b));
  EXPECT_GT(r, 30);
  EXPECT_LT(b, 30);
  EXPECT_LT(r, 120);
  // For a person to look at afterwards.
  if (const char* keep = std::getenv("DRIVER_E2E_KEEP")) {
    std::system(("cp '" + dir.Path() + "'/*.png '" + keep + "'").c_str());
  }
}

TEST_F(EndToEnd, EndsByItselfWhenTheTimelineRunsOut) {
  // 218 seconds at 25 times the speed: under nine seconds.
  std::string script = Start("--time-scale 25") + WaitForExit(60);
  int status = RunUnderDisplay(script);
  ASSERT_EQ(status, 0) << ReadText(dir.File("script.log")) << "\nstderr:\n" << ReadText(dir.File("demo.err"));
  EXPECT_NE(ReadText(dir.File("script.log")).find("exit 0"), std::string::npos);
}

}  // namespace
