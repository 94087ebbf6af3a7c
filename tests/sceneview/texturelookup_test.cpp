// Texture maps looked up beside a scene file or in its archive, and pictures
// decoded and resampled for the accelerator.
#include <gtest/gtest.h>

#include <filesystem>

#include "gfx/texture.h"
#include "tests/sceneview/test_scenes.h"
#include "tests/stream/temp_dir.h"
#include "tools/archivewriter/archivewriter.h"
#include "tools/sceneview/picture.h"
#include "tools/sceneview/texturelookup.h"

namespace {

using sceneviewtest::MakePng;

constexpr std::uint16_t red565 = 0xF800;
constexpr std::uint16_t green565 = 0x07E0;

// The cube with its material textured by the given map.
Scene* TexturedCube(const std::string& map) {
  scenewriter::Scene s = sceneviewtest::Cube();
  s.materials[0].texture = sceneviewtest::Map(map);
  return sceneviewtest::Load(s);
}

void ClearTextures() {
  for (int i = 0; i < maxTextures; ++i) {
    delete[] textures[i].pixels;
    textures[i] = Texture{};
  }
  textureCount = 0;
}

class TextureLookup : public ::testing::Test {
 protected:
  void TearDown() override { ClearTextures(); }
  TempDir dir;
};

TEST(CandidateNames, AsNamedThenTheSystemRuleThenOtherExtensions) {
  const std::vector<std::string> names = CandidateNames("C:\\MAPS\\BRICK.JPG");
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(names[0], "BRICK.JPG");
  EXPECT_EQ(names[1], "BRICK.PCX");
  EXPECT_EQ(names[2], "BRICK.BMP");
  EXPECT_EQ(names[3], "BRICK.png");
  // No name twice, whatever the case.
  for (std::size_t i = 0; i < names.size(); ++i)
    for (std::size_t j = i + 1; j < names.size(); ++j) EXPECT_NE(names[i], names[j]);
}

TEST(CandidateNames, CutNameFindsItsStem) {
  // A name cut to the 8.3 field keeps a stem to try every picture extension on.
  const std::vector<std::string> names = CandidateNames("crate-base.b");
  EXPECT_NE(std::find(names.begin(), names.end(), "crate-base.png"), names.end());
  EXPECT_TRUE(CandidateNames("").empty());
}

TEST(TextureSide, PowerOfTwoAtOrAboveTheLongerSideWithinTheLimit) {
  EXPECT_EQ(TextureSide(40, 20), 64);
  EXPECT_EQ(TextureSide(64, 64), 64);
  EXPECT_EQ(TextureSide(300, 200), 256);
  EXPECT_EQ(TextureSide(4096, 1), 256);
  EXPECT_EQ(TextureSide(1, 1), 1);
  EXPECT_EQ(TextureSide(200, 200, 128), 128);
}

TEST_F(TextureLookup, PngBesideTheFileIsFoundWhateverItsCase) {
  ASSERT_TRUE(MakePng(dir.File("wall.png"), 40, 20, "red"));
  Scene* scene = TexturedCube("WALL.PNG");
  ASSERT_NE(scene, nullptr);
  SceneSource source;
  source.path = dir.File("scene.3ds");
  const TextureReport report = LoadSceneTextures(scene, TextureHomeOf(source));
  EXPECT_EQ(report.loaded, 1);
  EXPECT_TRUE(report.missing.empty());
  EXPECT_TRUE(scene->materials[0]->flags & materialTextured);
  const Texture& t = textures[scene->materials[0]->textureIndex];
  ASSERT_NE(t.pixels, nullptr);
  EXPECT_EQ(t.width, 64);
  EXPECT_EQ(t.height, 64);
  EXPECT_EQ(t.pixels[0], red565);
  EXPECT_EQ(t.pixels[64 * 64 - 1], red565);
  FreeScene(scene);
}

TEST_F(TextureLookup, SystemRuleAndTexturesFolderAreTried) {
  // The map names a .TGA; a .png of the same stem sits in "textures".
  std::filesystem::create_directory(dir.File("textures"));
  ASSERT_TRUE(MakePng(dir.File("textures/Stone.png"), 16, 16, "#00ff00"));
  Scene* scene = TexturedCube("STONE.TGA");
  SceneSource source;
  source.path = dir.File("scene.3ds");
  const TextureReport report = LoadSceneTextures(scene, TextureHomeOf(source));
  EXPECT_EQ(report.loaded, 1);
  EXPECT_EQ(textures[scene->materials[0]->textureIndex].pixels[0], green565);
  FreeScene(scene);
}

TEST_F(TextureLookup, MissingMapLeavesTheMaterialItsColour) {
  Scene* scene = TexturedCube("NOWHERE.JPG");
  SceneSource source;
  source.path = dir.File("scene.3ds");
  const TextureReport report = LoadSceneTextures(scene, TextureHomeOf(source));
  EXPECT_EQ(report.loaded, 0);
  ASSERT_EQ(report.missing.size(), 1u);
  EXPECT_EQ(report.missing[0], "NOWHERE.JPG");
  EXPECT_FALSE(scene->materials[0]->flags & materialTextured);
  FreeScene(scene);
}

TEST_F(TextureLookup, NotAPictureIsNotAMap) {
  const std::vector<std::uint8_t> junk(100, 0x5A);
  dir.Write("junk.png", junk);
  Scene* scene = TexturedCube("JUNK.PNG");
  SceneSource source;
  source.path = dir.File("scene.3ds");
  EXPECT_EQ(LoadSceneTextures(scene, TextureHomeOf(source)).loaded, 0);
  EXPECT_FALSE(scene->materials[0]->flags & materialTextured);
  FreeScene(scene);
}

TEST_F(TextureLookup, ArchiveMemberFindsItsMapInTheArchive) {
  ASSERT_TRUE(MakePng(dir.File("m.png"), 8, 8, "red"));
  std::vector<std::uint8_t> png;
  std::string error;
  ASSERT_TRUE(archivewriter::ReadFile(dir.File("m.png"), png, error));
  const std::vector<std::uint8_t> sceneBytes = scenewriter::Write([] {
    scenewriter::Scene s = sceneviewtest::Cube();
    s.materials[0].texture = sceneviewtest::Map("MARBLE.PNG");
    return s;
  }());
  ASSERT_TRUE(archivewriter::WriteFile({{"3ds\\room.3DS", sceneBytes}, {"textures\\marble.png", png}},
                                       dir.File("demo.dat"), error));
  SceneSource source;
  source.path = dir.File("demo.dat");
  source.member = "3ds\\room.3DS";
  std::string loadError;
  Scene* scene = LoadScene(source, loadError);
  ASSERT_NE(scene, nullptr) << loadError;
  EXPECT_EQ(LoadSceneTextures(scene, TextureHomeOf(source)).loaded, 1);
  EXPECT_EQ(textures[scene->materials[0]->textureIndex].pixels[0], red565);
  FreeScene(scene);
}

TEST_F(TextureLookup, ArchiveMemberUsesTheSystemRuleWithTheSystemDecoder) {
  ASSERT_TRUE(sceneviewtest::MakePcx(dir.File("b.pcx"), 20, 16, "red"));
  std::vector<std::uint8_t> pcx;
  std::string error;
  ASSERT_TRUE(archivewriter::ReadFile(dir.File("b.pcx"), pcx, error));
  scenewriter::Scene s = sceneviewtest::Cube();
  s.materials[0].texture = sceneviewtest::Map("BRICK.GIF");
  ASSERT_TRUE(archivewriter::WriteFile({{"3ds\\room.3DS", scenewriter::Write(s)}, {"textures\\BRICK.PCX", pcx}},
                                       dir.File("demo.dat"), error));
  SceneSource source;
  source.path = dir.File("demo.dat");
  source.member = "3ds\\room.3DS";
  Scene* scene = LoadScene(source, error);
  ASSERT_NE(scene, nullptr) << error;
  EXPECT_EQ(LoadSceneTextures(scene, TextureHomeOf(source)).loaded, 1);
  // The system's decoder keeps the picture's own size; SDL2_image's path would
  // have resampled it to 32 x 32.
  const Texture& t = textures[scene->materials[0]->textureIndex];
  EXPECT_EQ(t.width, 20);
  EXPECT_EQ(t.height, 16);
  EXPECT_EQ(t.pixels[0], red565);
  FreeScene(scene);
}

TEST(DecodePicture, RefusesWhatIsNoPictureAndLeavesTheTexture) {
  Texture t{};
  const std::uint8_t junk[16] = {1, 2, 3};
  EXPECT_FALSE(DecodePicture(junk, sizeof junk, &t));
  EXPECT_FALSE(DecodePicture(nullptr, 0, &t));
  EXPECT_EQ(t.pixels, nullptr);
  EXPECT_EQ(t.width, 0);
}

TEST(LoadScene, BadFilesSayWhy) {
  TempDir dir;
  std::string error;
  SceneSource missing;
  missing.path = dir.File("none.3ds");
  EXPECT_EQ(LoadScene(missing, error), nullptr);
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;

  SceneSource junk;
  junk.path = dir.Write("junk.3ds", std::vector<std::uint8_t>(64, 0x11));
  EXPECT_EQ(LoadScene(junk, error), nullptr);
  EXPECT_NE(error.find("not a readable 3D Studio scene"), std::string::npos) << error;

  SceneSource notArchive;
  notArchive.path = junk.path;
  notArchive.member = "3ds\\a.3DS";
  EXPECT_EQ(LoadScene(notArchive, error), nullptr);
  EXPECT_NE(error.find("not a valid archive"), std::string::npos) << error;
}

}  // namespace
