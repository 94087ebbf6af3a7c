// Start-up: every failure gives its own message and ends with exit code 0; the
// texture names, the fallback chain and the pictures are set up as the timeline
// and the accelerator expect them.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "content.h"
#include "driver/demo.h"
#include "effects/effects.h"
#include "engine/scene.h"
#include "gfx/device.h"
#include "gfx/texture.h"
#include "platform/glide/glide_output.h"

using testcontent::Content;
using testcontent::TempDir;
using ::testing::ExitedWithCode;

namespace {

// Runs the start-up in a child process inside dir, as the program would: a
// failure must come back as exit code 0 with its message on standard error.
[[noreturn]] void StartUpIn(const std::string& dir, DemoOutput output = DemoOutput::offscreen) {
  if (chdir(dir.c_str()) != 0) std::_Exit(3);
  if (output == DemoOutput::display) {
    // No display at all: no X or Wayland server, and no SDL video driver to use.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("SDL_VIDEODRIVER", "none-at-all", 1);
  }
  DemoSelectOutput(output);
  std::exit(StartUp() ? 42 : 0);
}

// Runs the start-up in a child and then the given check; the child ends with 0
// only when the start-up succeeded and the check holds.
template <class Check>
[[noreturn]] void StartUpAndCheck(const std::string& dir, Check check) {
  if (chdir(dir.c_str()) != 0) std::_Exit(3);
  DemoSelectOutput(DemoOutput::offscreen);
  if (!StartUp()) std::exit(4);
  std::exit(check() ? 0 : 5);
}

class StartUpTest : public ::testing::Test {
protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  void Write(const Content& content) { ASSERT_TRUE(content.WriteArchive(dir.Path())); }
  TempDir dir;
};

TEST_F(StartUpTest, MissingArchive) {
  EXPECT_EXIT(StartUpIn(dir.Path()), ExitedWithCode(0), "(^|\n)Cannot open file library!\n");
}

TEST_F(StartUpTest, ArchiveWithBadHeaderOrDirectory) {
  ASSERT_TRUE(dir.Write("demo.dat", std::vector<std::uint8_t>(100, 0x55)));
  EXPECT_EXIT(StartUpIn(dir.Path()), ExitedWithCode(0), "(^|\n)File library invalid!\n");
  // Right magic, but a directory far larger than the file.
  std::vector<std::uint8_t> truncated = {'Q', 'V', 'R', 'L', 'I', 'B', '1', 0x1A, 0x10, 0x00, 0x00, 0x00};
  ASSERT_TRUE(dir.Write("demo.dat", truncated));
  EXPECT_EXIT(StartUpIn(dir.Path()), ExitedWithCode(0), "(^|\n)File library invalid!\n");
}

TEST_F(StartUpTest, EachMissingSceneHasItsOwnMessage) {
  const char* const messages[8] = {
      "Error on loading 3D animation 0\n",     "Error on loading 3D animation 1\n",
      "Error on loading 3D animation 1a\n",    "Error on loading 3D animation 1b\n",
      "Error on loading 3D animation 1c I\n",  "Error on loading 3D animation 1c II\n",
      "Error on loading 3D animation 1c III\n", "Error on loading 3D animation 1d\n"};
  for (int slot = 0; slot < 8; ++slot) {
    SCOPED_TRACE(testcontent::sceneNames[slot]);
    Content content = Content::Default();
    content.members.erase(std::string("3ds\\") + testcontent::sceneNames[slot] + ".3DS");
    Write(content);
    EXPECT_EXIT(StartUpIn(dir.Path()), ExitedWithCode(0), std::string("(^|\n)") + messages[slot]);
  }
}

TEST_F(StartUpTest, CorruptSceneIsReportedLikeAMissingOne) {
  Content content = Content::Default();
  auto& bytes = content.members["3ds\\mountainhut.3DS"];
  bytes.resize(bytes.size() / 2);  // the main chunk now claims more than the file holds
  Write(content);
  EXPECT_EXIT(StartUpIn(dir.Path()), ExitedWithCode(0), "(^|\n)Error on loading 3D animation 1b\n");
}

TEST_F(StartUpTest, EachMissingPictureHasItsOwnMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"textures\\brind.pcx", "Error on loading logo!\n"},
      {"textures\\bump\\scroller\\background.pcx", "Error on loading scroller background!\n"},
      {"textures\\bump\\256.pcx", "Error on loading bump!\n"},
      {"textures\\bump\\scroller\\text1024.pcx", "Error on loading scroller!\n"},
  };
  for (const auto& [member, message] : cases) {
    SCOPED_TRACE(member);
    Content content = Content::Default();
    content.members.erase(member);
    Write(content);
    EXPECT_EXIT(StartUpIn(dir.Path()), ExitedWithCode(0), std::string("(^|\n)") + message);
  }
}

TEST_F(StartUpTest, TextureWithoutAnyPictureOrFallback) {
  Content content = Content::Default();
  content.maps[3] = {"NOWHERE.TGA"};
  content.RebuildScenes();
  content.members.erase("textures\\plasm.pcx");
  Write(content);
  // The message keeps its newline.
  EXPECT_EXIT(StartUpIn(dir.Path()), ExitedWithCode(0), "(^|\n)Texture load error!\n\n");
}

TEST_F(StartUpTest, TooManyOrTooLongTextureNamesAreRefused) {
  Content many = Content::Default();
  for (int i = 0; i < 129; ++i) many.maps[4].push_back("T" + std::to_string(i) + ".GIF");
  many.RebuildScenes();
  Write(many);
  EXPECT_EXIT(StartUpIn(dir.Path()), ExitedWithCode(0), "(^|\n)Texture load error!\n\n");

  Content longName = Content::Default();
  longName.maps[2] = {std::string(64, 'L') + ".GIF"};  // 64 characters once the extension is cut
  longName.RebuildScenes();
  Write(longName);
  EXPECT_EXIT(StartUpIn(dir.Path()), ExitedWithCode(0), "(^|\n)Texture load error!\n\n");
}

TEST_F(StartUpTest, NoAcceleratorWithoutADisplay) {
  Write(Content::Default());
  // The window output needs a display; the checks run without one.
  EXPECT_EXIT(StartUpIn(dir.Path(), DemoOutput::display), ExitedWithCode(0),
              "(^|\n)Cannot initialize 3D mode!!! \\(no GLIDE\\?\\)\n\n");
}

TEST_F(StartUpTest, TextureThatDoesNotFitTheAccelerator) {
  Content content = Content::Default();
  // 256 x 16 is 16:1, a shape the accelerator has no aspect code for.
  content.members["textures\\ROCK.PCX"] = testcontent::FlatPcx(256, 16, 3, 0x808080);
  Write(content);
  EXPECT_EXIT(StartUpIn(dir.Path()), ExitedWithCode(0), "(^|\n)Error on uploading textures!\n\n");
}

TEST_F(StartUpTest, TextureNamesAreSharedAndLookedUpThroughTheFallbacks) {
  Content content = Content::Default();
  content.maps[0] = {"ROCK.GIF", "WOOD.GIF", "GONE.JPG", "PAD"};
  content.RebuildScenes();
  Write(content);
  EXPECT_EXIT(StartUpAndCheck(dir.Path(),
                              [] {
                                // Names in first-use order, cut before the extension; a
                                // name too short to have one is kept whole.
                                if (textureCount != 4) return false;
                                if (std::strcmp(textureNames[0], "ROCK") != 0 ||
                                    std::strcmp(textureNames[1], "WOOD") != 0 ||
                                    std::strcmp(textureNames[2], "GONE") != 0 ||
                                    std::strcmp(textureNames[3], "PAD") != 0) {
                                  return false;
                                }
                                // ROCK from its PCX, WOOD from its BMP, GONE and PAD from plasm.
                                if (textures[0].width != 64 || textures[1].width != 32 ||
                                    textures[2].width != 16 || textures[3].width != 16) {
                                  return false;
                                }
                                // Every scene's ROCK material shares index 0; scene 1 has
                                // WOOD first and ROCK second.
                                for (int slot = 0; slot < 8; ++slot) {
                                  Scene* scene = scenes[slot];
                                  if (scene == nullptr || scene->framesPerSecond != 25.0f) return false;
                                }
                                if (scenes[1]->materials[0]->textureIndex != 1 ||
                                    scenes[1]->materials[1]->textureIndex != 0 ||
                                    scenes[5]->materials[0]->textureIndex != 0 ||
                                    scenes[0]->materials[2]->textureIndex != 2) {
                                  return false;
                                }
                                // Uploaded one after another from the bottom of texture memory.
                                return textures[1].startAddress ==
                                       textures[0].startAddress + textures[0].memoryRequired;
                              }),
              ExitedWithCode(0), "");
}

TEST_F(StartUpTest, PicturesAndColourTablesAreReady) {
  Write(Content::Default());
  EXPECT_EXIT(StartUpAndCheck(dir.Path(),
                              [] {
                                // Logo palette entry 200 is (252, 252, 252) -> 6-bit 63.
                                if (logoColors[200] != 0xFFFF || logoColors[1] != ((16 >> 1) << 11 | 8 << 5))
                                  return false;
                                if (logoPicture[0] != 1 || logoPicture[40] != 200) return false;
                                if (bumpPalette[3 * 255] != 63 || bumpPalette[3 * 255 + 2] != 31) return false;
                                if (lightMap[128 * 256 + 128] != 255) return false;
                                if (slopeMap[0] != 0 || slopeMap[319] != 0) return false;
                                return DeviceIsOpen() == 1 && viewWidth == 640 && viewHeight == 480 &&
                                       ditherEnabled == 1;
                              }),
              ExitedWithCode(0), "");
}

TEST(DemoClock, CountsAcrossTheWrapOfTheTickCounter) {
  static DWORD now = 0;
  Win32SetTickSource([] { return now; });
  startTick.store(0xFFFFFF00u);
  now = 0x00000100u;  // 512 ms later, after the wrap
  EXPECT_FLOAT_EQ(DemoSeconds(), 0.512f);
  now = 0xFFFFFF00u + 14500u;
  EXPECT_FLOAT_EQ(DemoSeconds(), 14.5f);
  Win32SetTickSource(nullptr);
}

}  // namespace
