// sceneview run as a user would: one picture without a display, the Debian
// test models, bad files and option errors, and the window under a virtual
// display.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/driver/run_program.h"
#include "tests/sceneview/test_scenes.h"
#include "tests/stream/temp_dir.h"
#include "virtual_display.h"

namespace {

using sceneviewtest::Picture;
using sceneviewtest::ReadPng;

testprogram::Outcome Sceneview(const std::string& arguments) { return testprogram::Run(SCENEVIEW_PATH, arguments); }

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Pixels unlike the top-left one (the background), and the number of colours.
struct PictureFacts {
  double drawnShare = 0.0;
  std::size_t colours = 0;
};

PictureFacts Facts(const Picture& p) {
  PictureFacts f;
  std::set<std::uint32_t> colours;
  std::size_t drawn = 0;
  const std::uint8_t* bg = p.rgb.data();
  for (std::size_t i = 0; i + 2 < p.rgb.size(); i += 3) {
    const std::uint8_t* c = p.rgb.data() + i;
    colours.insert(static_cast<std::uint32_t>(c[0] << 16 | c[1] << 8 | c[2]));
    if (c[0] != bg[0] || c[1] != bg[1] || c[2] != bg[2]) ++drawn;
  }
  f.drawnShare = static_cast<double>(drawn) / (p.rgb.size() / 3);
  f.colours = colours.size();
  return f;
}

// Writes frame 0 of the scene and checks that something shaded was drawn.
void ExpectDrawn(const std::string& scene, const std::string& extra = "") {
  TempDir dir;
  const std::string out = dir.File("out.png");
  const auto run = Sceneview("--frame 0 -o " + Quote(out) + " " + Quote(scene) + " " + extra);
  ASSERT_EQ(run.code, 0) << run.output;
  Picture picture;
  ASSERT_TRUE(ReadPng(out, picture));
  EXPECT_EQ(picture.width, 640);
  EXPECT_EQ(picture.height, 480);
  const PictureFacts facts = Facts(picture);
  EXPECT_GT(facts.drawnShare, 0.02) << run.output;
  EXPECT_GT(facts.colours, 8u) << "flat picture: " << run.output;
}

TEST(SceneviewPicture, SceneWithoutCameraIsFramedAndLit) {
  TempDir dir;
  ASSERT_TRUE(scenewriter::SaveFile(dir.File("cube.3ds"), scenewriter::Write(sceneviewtest::Cube())));
  ExpectDrawn(dir.File("cube.3ds"));
  const auto run = Sceneview("--frame 0 -o " + Quote(dir.File("b.png")) + " " + Quote(dir.File("cube.3ds")));
  EXPECT_NE(run.output.find("12 triangles, a node per mesh, own camera, own light"), std::string::npos) << run.output;
}

TEST(SceneviewPicture, TexturedSceneShowsItsPng) {
  TempDir dir;
  ASSERT_TRUE(sceneviewtest::MakePng(dir.File("paint.png"), 32, 32, "#ff0000"));
  scenewriter::Scene s = sceneviewtest::Cube();
  s.materials[0].texture = sceneviewtest::Map("PAINT.PNG");
  s.meshes[0].texCoords.assign(8, {0.5f, 0.5f});
  ASSERT_TRUE(scenewriter::SaveFile(dir.File("cube.3ds"), scenewriter::Write(s)));
  const auto run = Sceneview("--frame 0 -o " + Quote(dir.File("o.png")) + " " + Quote(dir.File("cube.3ds")));
  ASSERT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(run.output.find("not found"), std::string::npos) << run.output;
  Picture p;
  ASSERT_TRUE(ReadPng(dir.File("o.png"), p));
  // The middle of the picture is the red texture, lit: red well above green and blue.
  const std::uint8_t* c = p.rgb.data() + (240 * 640 + 320) * 3;
  EXPECT_GT(c[0], 100);
  EXPECT_LT(c[1], c[0] / 2);
  EXPECT_LT(c[2], c[0] / 2);
}

// One file of each Debian package of test models, when installed.
TEST(SceneviewPicture, DebianTestModelsAreDrawn) {
  const char* models[] = {"/usr/share/assimp/models/3DS/cube_with_diffuse_texture.3DS",
                          "/usr/share/assimp/models/3DS/CameraRollAnim.3ds",
                          "/usr/share/glmark2/models/horse.3ds"};
  int found = 0;
  for (const char* model : models) {
    if (!std::filesystem::exists(model)) continue;
    ++found;
    SCOPED_TRACE(model);
    ExpectDrawn(model);
  }
  if (found == 0) GTEST_SKIP() << "assimp-testmodels and glmark2-data are not installed";
}

TEST(SceneviewErrors, BadFilesGiveTheReasonAndFail) {
  TempDir dir;
  const std::string junk = dir.Write("junk.3ds", std::vector<std::uint8_t>(100, 0x41));
  auto run = Sceneview("--frame 0 -o " + Quote(dir.File("o.png")) + " " + Quote(junk));
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.output.find("not a readable 3D Studio scene"), std::string::npos) << run.output;
  EXPECT_FALSE(std::filesystem::exists(dir.File("o.png")));

  run = Sceneview("--frame 0 -o " + Quote(dir.File("o.png")) + " " + Quote(dir.File("missing.3ds")));
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.output.find("cannot open"), std::string::npos) << run.output;

  ASSERT_TRUE(scenewriter::SaveFile(dir.File("cube.3ds"), scenewriter::Write(sceneviewtest::Cube())));
  run = Sceneview("--frame 0 -o " + Quote(dir.File("cube.3ds")) + " " + Quote(dir.File("cube.3ds")));
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.output.find("the scene file itself"), std::string::npos) << run.output;
  EXPECT_GT(std::filesystem::file_size(dir.File("cube.3ds")), 100u);

  run = Sceneview(Quote(dir.File("cube.3ds")) + " 3ds\\\\none.3DS --frame 0 -o " + Quote(dir.File("o.png")));
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.output.find("not a valid archive"), std::string::npos) << run.output;
}

TEST(SceneviewErrors, OptionErrorsNameTheOption) {
  struct Case {
    const char* arguments;
    const char* named;
  };
  const Case cases[] = {
      {"--frame 0 x.3ds", "--output"},         {"-o a.png x.3ds", "--frame"},
      {"--frame -1 -o a.png x.3ds", "--frame"}, {"--frame abc -o a.png x.3ds", "--frame"},
      {"--fps 0 x.3ds", "--fps"},               {"--fps 30 --frame 0 -o a.png x.3ds", "--fps"},
      {"--bogus x.3ds", "--bogus"},             {"", "FILE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const auto run = Sceneview(c.arguments);
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.output.find(c.named), std::string::npos) << run.output;
  }
  const auto help = Sceneview("--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.output.find("--own-camera"), std::string::npos);
  EXPECT_EQ(Sceneview("--version").code, 0);
}

TEST(SceneviewWindow, KeysSaveAScreenshotAndQuit) {
  e2e::VirtualDisplay display;
  if (!display.Ready()) GTEST_SKIP() << display.Error();
  TempDir dir;
  ASSERT_TRUE(scenewriter::SaveFile(dir.File("cube.3ds"), scenewriter::Write(sceneviewtest::Cube())));
  // Started in the folder, the screenshot lands there; keys go to the focused window.
  const std::string command = "cd " + Quote(dir.Path()) + " && (" + Quote(SCENEVIEW_PATH) +
                              " cube.3ds > run.log 2>&1 & pid=$!; "
                              "for i in $(seq 50); do w=$(xdotool search --name . 2>/dev/null | head -1); "
                              "[ -n \"$w\" ] && break; sleep 0.2; done; sleep 1; "
                              "xdotool search --name . windowfocus --sync key s; sleep 1; "
                              "xdotool search --name . windowfocus --sync key q; "
                              "for i in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done; "
                              "kill -0 $pid 2>/dev/null && { kill $pid; exit 3; }; wait $pid)";
  const int status = display.Run(command);
  EXPECT_EQ(status, 0);
  Picture shot;
  ASSERT_TRUE(ReadPng(dir.File("sceneview-0001.png"), shot));
  EXPECT_GT(Facts(shot).drawnShare, 0.02);
}

}  // namespace
