// The sceneinfo tool end to end: text and JSON summaries of written scenes,
// archive members, posing, and the failures a user sees.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "archive_bytes.h"
#include "scene_builders.h"

namespace {

using namespace testscenes;

struct Result {
  int status;
  std::string out;
};

Result RunTool(const std::string& args) {
  const std::string command = std::string(SCENEINFO_PATH) + " " + args + " 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  Result r{-1, {}};
  if (!pipe) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const std::string path = ::testing::TempDir() + name;
  EXPECT_TRUE(sw::SaveFile(path, bytes));
  return path;
}

sw::Scene Sample() {
  sw::Scene s = BoxScene();
  s.materials[0].texture = sw::TextureMap{"RED.PCX", 100, std::nullopt, std::nullopt};
  s.meshes.push_back(Cube("Lid", 0.5f, {0, 0, 2}));
  s.lights.push_back({"Lamp", {1, 2, 3}, std::nullopt, true, {}, 20, 40, false});
  sw::Node lid = MeshNode("Lid", 1);
  lid.hide = sw::Track<sw::HideKey>{};
  lid.hide->keys = {{5}};
  s.keyframer->nodes.insert(s.keyframer->nodes.begin() + 1, lid);
  return s;
}

TEST(SceneInfo, TextSummary) {
  const std::string path = Write("sceneinfo_sample.3ds", sw::Write(Sample()));
  const Result r = RunTool(path);
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string nodeKeys = " keys position 1 rotation 1 scale 1 fov 0 roll 0 colour 0 morph 0 hotspot 0 falloff 0";
  EXPECT_EQ(r.out,
            "frames 100\n"
            "mesh \"Box\" vertices 8 faces 12 texcoords 0 sum 0.000 0.000 0.000\n"
            "mesh \"Lid\" vertices 8 faces 12 texcoords 0 sum 0.000 0.000 16.000\n"
            "material \"Red\" flags 0x8C texture \"RED.PCX\"\n"
            "light \"Lamp\" position 1.000 2.000 3.000 spot 1 colour 1.000 1.000 1.000\n"
            "camera \"Camera01\" position 0.000 -10.000 0.000 target 0.000 0.000 0.000 bank 0.000 lens 50.000\n"
            "node 0 \"Box\" kind mesh parent -" + nodeKeys + " hide 0\n"
            "node 1 \"Lid\" kind mesh parent 0" + nodeKeys + " hide 1\n"
            "node 2 \"Camera01\" kind camera parent - keys position 1 rotation 0 scale 0 fov 1 roll 1 colour 0 "
            "morph 0 hotspot 0 falloff 0 hide 0\n"
            "node 3 \"Camera01\" kind camera-target parent - keys position 1 rotation 0 scale 0 fov 0 roll 0 "
            "colour 0 morph 0 hotspot 0 falloff 0 hide 0\n");
  std::remove(path.c_str());
}

TEST(SceneInfo, PosedFrame) {
  const std::string path = Write("sceneinfo_pose.3ds", sw::Write(Sample()));
  Result r = RunTool("--frame 2 " + path);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("pose frame 2.000 fov 60.000 triangles 24 bbox -1.000 -1.000 9.000 1.000 2.500 11.000\n"),
            std::string::npos)
      << r.out;
  r = RunTool("--frame 7 " + path);  // the lid is hidden from frame 5
  EXPECT_NE(r.out.find("triangles 12 "), std::string::npos) << r.out;
  r = RunTool("--frame -3 " + path);
  EXPECT_NE(r.out.find("pose frame -3.000 not drawn\n"), std::string::npos) << r.out;
  std::remove(path.c_str());
}

TEST(SceneInfo, JsonShape) {
  const std::string path = Write("sceneinfo_json.3ds", sw::Write(Sample()));
  const Result r = RunTool("--json --frame 1 " + path);
  ASSERT_EQ(r.status, 0) << r.out;
  const nlohmann::json j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["frames"], 100);
  ASSERT_EQ(j["meshes"].size(), 2u);
  EXPECT_EQ(j["meshes"][1]["name"], "Lid");
  EXPECT_EQ(j["meshes"][1]["vertices"], 8);
  EXPECT_EQ(j["meshes"][1]["faces"], 12);
  EXPECT_EQ(j["meshes"][1]["texcoords"], 0);
  EXPECT_DOUBLE_EQ(j["meshes"][1]["vertex_sum"][2].get<double>(), 16.0);
  EXPECT_EQ(j["materials"][0]["name"], "Red");
  EXPECT_EQ(j["materials"][0]["flags"], 0x8C);
  EXPECT_EQ(j["materials"][0]["texture"], "RED.PCX");
  EXPECT_EQ(j["lights"][0]["spot"], true);
  EXPECT_DOUBLE_EQ(j["lights"][0]["position"][1].get<double>(), 2.0);
  EXPECT_DOUBLE_EQ(j["cameras"][0]["lens"].get<double>(), 50.0);
  EXPECT_DOUBLE_EQ(j["cameras"][0]["target"][0].get<double>(), 0.0);
  EXPECT_TRUE(j["cameras"][0]["bank"].is_number());
  ASSERT_EQ(j["nodes"].size(), 4u);
  EXPECT_TRUE(j["nodes"][0]["parent"].is_null());
  EXPECT_EQ(j["nodes"][1]["parent"], 0);
  EXPECT_EQ(j["nodes"][1]["kind"], "mesh");
  EXPECT_EQ(j["nodes"][1]["keys"]["hide"], 1);
  EXPECT_EQ(j["nodes"][2]["keys"]["fov"], 1);
  for (const char* track : {"position", "rotation", "scale", "fov", "roll", "colour", "morph", "hotspot", "falloff", "hide"})
    EXPECT_TRUE(j["nodes"][3]["keys"].contains(track)) << track;
  EXPECT_EQ(j["pose"]["triangles"], 24);
  std::remove(path.c_str());
}

TEST(SceneInfo, ArchiveMember) {
  const std::string path =
      Write("sceneinfo_demo.dat", ArchiveBytes({{"3ds\\BOX.3DS", sw::Write(BoxScene())}, {"other", {1, 2, 3}}}));
  Result r = RunTool(path + " '3ds\\BOX.3DS'");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.rfind("frames 100\nmesh \"Box\"", 0), 0u) << r.out;
  r = RunTool(path + " '3ds\\NONE.3DS'");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("no member"), std::string::npos) << r.out;
  r = RunTool(path + " other");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("not a readable 3D Studio scene"), std::string::npos) << r.out;
  std::remove(path.c_str());
}

TEST(SceneInfo, FailuresAndHelp) {
  std::vector<std::uint8_t> bytes = sw::Write(BoxScene());
  bytes.resize(bytes.size() / 2);
  const std::string path = Write("sceneinfo_cut.3ds", bytes);
  Result r = RunTool(path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("sceneinfo: "), std::string::npos);
  r = RunTool(::testing::TempDir() + "no_such_file.3ds");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("cannot open"), std::string::npos);
  r = RunTool("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Usage: sceneinfo [OPTIONS] FILE [MEMBER]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("--frame F"), std::string::npos) << r.out;
  r = RunTool("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("sceneinfo ", 0), 0u) << r.out;
  std::remove(path.c_str());
}

// A command line it cannot use is refused with exit status 2 and a message that
// names what is wrong, before any file is read.
TEST(SceneInfo, CommandLinesItCannotUseAreRefused) {
  const struct {
    const char* arguments;
    const char* says;
  } cases[] = {
      {"--frame", "--frame: 1 required F missing"},
      {"--frame abc scene.3ds", "not a frame number: \"abc\""},
      {"--frame inf scene.3ds", "not a frame number"},
      {"", "FILE is required"},
      {"--colour red scene.3ds", "not expected: --colour"},
      {"a.dat 3ds/A.3DS extra", "not expected: extra"},
      {"''", "FILE: must not be empty"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const Result r = RunTool(c.arguments);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind("sceneinfo: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
  }
}

TEST(SceneInfo, PoseSaysWhyNothingIsDrawn) {
  sw::Scene blind = Sample();
  blind.cameras.clear();
  blind.keyframer->nodes.resize(2);  // the box and the lid, no camera nodes
  const std::string path = Write("sceneinfo_blind.3ds", sw::Write(blind));
  Result r = RunTool("--frame 2 " + path);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("pose frame 2.000 not drawn\nreason: the scene has no camera\n"), std::string::npos) << r.out;
  r = RunTool("--json --frame -1 " + path);
  ASSERT_EQ(r.status, 0) << r.out;
  const nlohmann::json j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["pose"]["reason"], "the frame lies before the start of the animation");
  std::remove(path.c_str());
}

TEST(SceneInfo, FilesOfOtherKindsAndMissingFiles) {
  const std::string png = Write("sceneinfo_picture.png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13});
  Result r = RunTool(png);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("the file is not a 3D Studio file"), std::string::npos) << r.out;
  r = RunTool("/no/such/dir/scene.3ds");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("cannot open /no/such/dir/scene.3ds: No such file or directory"), std::string::npos) << r.out;
  r = RunTool(::testing::TempDir());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(": Is a directory"), std::string::npos) << r.out;
  std::remove(png.c_str());
}

TEST(SceneInfo, RefusedNodeIsNamed) {
  sw::Scene s = Sample();
  s.keyframer->nodes.push_back(MeshNode("$$$DUMMY"));
  const std::string path = Write("sceneinfo_dummy.3ds", sw::Write(s));
  const Result r = RunTool(path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("node \"$$$DUMMY\" names no mesh"), std::string::npos) << r.out;
  std::remove(path.c_str());
}

}  // namespace
