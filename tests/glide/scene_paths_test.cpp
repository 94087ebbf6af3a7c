// The default content's eight scenes, at frames across each animation, drawn
// through the scene engine and the polygon drawing under every raster mode: the
// pictures and depths must equal the reference's.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/render.h"
#include "gfx/device.h"
#include "gfx/draw.h"
#include "gfx/texture.h"
#include "platform/glide/glide_output.h"
#include "raster_paths.h"
#include "tests/content/contentkit.h"

namespace {

class ScenePaths : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    const std::string path = std::string(DEMO_CONTENT_DIR) + "/demo.dat";
    if (!std::filesystem::exists(path)) return;
    archive = new contentkit::OpenArchive(path);
    for (const char* name : contentkit::sceneNames) {
      owned.push_back(contentkit::LoadScene(name));
      scenes.push_back(owned.back().get());
    }
    contentkit::ResolveTextures(scenes);
    GlideSelectOutput(GlideOutput::offscreen);
    DeviceInit();
    DeviceOpen(FindScreenMode(screenModes, screenModeCount, 640, 480)->resolution);
    SetViewportScale(1.0f);
    for (int i = 0; i < textureCount; ++i) UploadTexture(&textures[i]);
  }
  static void TearDownTestSuite() {
    if (DeviceIsOpen()) DeviceClose();
    owned.clear();
    scenes.clear();
    delete archive;
    archive = nullptr;
  }

  static contentkit::OpenArchive* archive;
  static std::vector<contentkit::ScenePtr> owned;
  static std::vector<Scene*> scenes;
};

contentkit::OpenArchive* ScenePaths::archive = nullptr;
std::vector<contentkit::ScenePtr> ScenePaths::owned;
std::vector<Scene*> ScenePaths::scenes;

}  // namespace

TEST_F(ScenePaths, EveryModeDrawsTheReferencePictures) {
  if (!archive) GTEST_SKIP() << "the default content is not built";
  ASSERT_TRUE(archive->Ok());
  ASSERT_TRUE(DeviceIsOpen());
  int drawn = 0;
  for (std::size_t s = 0; s < scenes.size(); ++s) {
    Scene* scene = scenes[s];
    ASSERT_NE(scene, nullptr) << contentkit::sceneNames[s];
    for (int step = 0; step < 3; ++step) {
      const float frame = static_cast<float>(scene->frameCount) * static_cast<float>(step) / 3.0f;
      const auto failures = rasterpaths::CompareModes([&] {
        ClearBuffer();
        polygonCount = 0;
        float fieldOfView = 60.0f;
        RenderScene(scene, CollectPolygon, frame, &fieldOfView);
        DrawPolygonList(polygonList, polygonCount, textures, fieldOfView, 255);
      });
      for (const std::string& failure : failures)
        ADD_FAILURE() << contentkit::sceneNames[s] << " frame " << frame << ": " << failure;
      drawn += polygonCount > 0;
    }
  }
  EXPECT_GE(drawn, 18);
}
