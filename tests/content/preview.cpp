// content_preview: draws frames of the generated scenes through the scene
// engine and the software accelerator's offscreen output, to look at them
// without the whole presentation.
//   content_preview DEMO.DAT SCENE FRAME OUT.png [SCENE FRAME OUT.png ...]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/render.h"
#include "gfx/device.h"
#include "gfx/draw.h"
#include "gfx/texture.h"
#include "platform/glide/glide_output.h"
#include "tests/content/contentkit.h"

int main(int argc, char** argv) {
  if (argc < 5 || (argc - 2) % 3 != 0) {
    std::fprintf(stderr, "usage: content_preview DEMO.DAT SCENE FRAME OUT.png [SCENE FRAME OUT.png ...]\n");
    return 2;
  }
  contentkit::OpenArchive archiveFile(argv[1]);
  if (!archiveFile.Ok()) {
    std::fprintf(stderr, "content_preview: cannot open %s as an archive\n", argv[1]);
    return 1;
  }
  std::vector<contentkit::ScenePtr> owned;
  std::vector<Scene*> scenes;
  for (const char* name : contentkit::sceneNames) {
    owned.push_back(contentkit::LoadScene(name));
    scenes.push_back(owned.back().get());
  }
  contentkit::ResolveTextures(scenes);
  GlideSelectOutput(GlideOutput::offscreen);
  DeviceInit();
  const ScreenMode* mode = FindScreenMode(screenModes, screenModeCount, 640, 480);
  DeviceOpen(mode->resolution);
  if (!DeviceIsOpen()) {
    std::fprintf(stderr, "content_preview: the accelerator did not open\n");
    return 1;
  }
  SetViewportScale(1.0f);
  for (int i = 0; i < textureCount; ++i) {
    if (!UploadTexture(&textures[i])) {
      std::fprintf(stderr, "content_preview: texture %s does not fit\n", textureNames[i]);
      return 1;
    }
  }
  for (int a = 2; a + 2 < argc; a += 3) {
    Scene* scene = nullptr;
    for (std::size_t s = 0; s < scenes.size(); ++s) {
      if (std::string(argv[a]) == contentkit::sceneNames[s]) scene = scenes[s];
    }
    if (!scene) {
      std::fprintf(stderr, "content_preview: no scene %s\n", argv[a]);
      return 1;
    }
    const float frame = static_cast<float>(std::atof(argv[a + 1]));
    ClearBuffer();
    polygonCount = 0;
    float fov = 60.0f;
    RenderScene(scene, CollectPolygon, frame, &fov);
    DrawPolygonList(polygonList, polygonCount, textures, fov, 255);
    SwapBuffers(0);
    if (!GlideSaveShownFramePng(argv[a + 2])) {
      std::fprintf(stderr, "content_preview: cannot write %s\n", argv[a + 2]);
      return 1;
    }
    std::printf("%s frame %.1f: %d polygons -> %s\n", argv[a], frame, polygonCount, argv[a + 2]);
  }
  DeviceClose();
  return 0;
}
