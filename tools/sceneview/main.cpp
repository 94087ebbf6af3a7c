// sceneview: a 3D Studio scene through the scene engine, the polygon drawing and
// the software accelerator; in a window, or one frame as a PNG picture.
#include <cstdio>
#include <string>

#include "engine/scene.h"
#include "tools/common/samefile.h"
#include "tools/sceneview/frame.h"
#include "tools/sceneview/framing.h"
#include "tools/sceneview/options.h"
#include "tools/sceneview/sceneload.h"
#include "tools/sceneview/snapshot.h"
#include "tools/sceneview/texturelookup.h"
#include "tools/sceneview/viewer.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "sceneview: %s\n", message.c_str());
  return 1;
}

void ReportTextures(const TextureReport& report) {
  for (const std::string& name : report.missing)
    std::fprintf(stderr, "sceneview: texture map \"%s\" not found; its material shows its own colour\n", name.c_str());
}

int WritePicture(Scene* scene, const DefaultView& view, const SceneviewOptions& o) {
  if (!OpenAccelerator(GlideOutput::offscreen)) return Fail("the accelerator does not answer");
  UploadSceneTextures(scene);
  AimView(scene, view, o.frame);
  int triangles = 0;
  const FrameOutcome outcome = DrawFrame(scene, o.frame, false, &triangles);
  if (outcome != FrameOutcome::drawn) {
    std::fprintf(stderr, "sceneview: frame %g draws nothing: %s\n", o.frame, FrameOutcomeText(outcome));
  } else {
    std::printf("frame %g: %d triangles%s%s%s\n", o.frame, triangles, view.ownNodes ? ", a node per mesh" : "",
                view.camera.eye ? ", own camera" : "", view.ownLight ? ", own light" : "");
  }
  std::string error;
  const bool saved = SaveShownFrame(o.output, error);
  CloseAccelerator();
  if (!saved) return Fail(error);
  return 0;
}

int Run(Scene* scene, const SceneSource& source, const SceneviewOptions& o) {
  DefaultView view;
  if (!PrepareDefaultView(scene, view, o.ownCamera)) return Fail("out of memory");
  ReportTextures(LoadSceneTextures(scene, TextureHomeOf(source)));
  if (o.oneFrame) return WritePicture(scene, view, o);
  if (!OpenAccelerator(GlideOutput::window))
    return Fail("no display to open a window on; write a picture with --frame F -o out.png");
  UploadSceneTextures(scene);
  if (!view.camera.eye) std::printf("sceneview: viewing through the file's camera; --own-camera orbits one of the viewer's own\n");
  const int status = RunViewer(scene, view, o.fps);
  CloseAccelerator();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  SceneviewOptions options;
  if (auto status = ParseSceneviewOptions(argc, argv, &options)) return *status;
  if (options.oneFrame && toolio::SameFile(options.file, options.output))
    return Fail(options.output + " is the scene file itself; choose another output");
  SceneSource source;
  source.path = options.file;
  source.member = options.member;
  std::string error;
  Scene* scene = LoadScene(source, error);
  if (!scene) return Fail(error);
  const int status = Run(scene, source, options);
  FreeScene(scene);
  return status;
}
