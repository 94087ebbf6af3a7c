// scenenodes: the scene engine from another program. Loads a 3D Studio scene,
// from a file or from a member of an archive in the format of demo.dat, and
// prints its keyframer's node tree, one node a line, children indented.
//
//   scenenodes SCENE.3ds
//   scenenodes demo.dat '3ds\intro.3DS'

#include <cstdio>
#include <string>

#include "engine/read3ds.h"
#include "engine/scene.h"
#include "stream/filelib.h"
#include "stream/stream.h"

namespace {

const char* KindName(std::int32_t kind) {
  switch (kind) {
    case nodeMesh: return "mesh";
    case nodeLight: return "light";
    case nodeLightTarget: return "light target";
    case nodeSpotlight: return "spotlight";
    case nodeCamera: return "camera";
    case nodeCameraTarget: return "camera target";
    default: return "node";
  }
}

int Depth(const Node* node) {
  int depth = 0;
  for (const Node* up = node->parent; up != nullptr; up = up->parent) ++depth;
  return depth;
}

void PrintNodes(Scene* scene) {
  std::printf("%d frames, %d meshes, %d lights, %d cameras\n", scene->frameCount, scene->meshCount,
              scene->lightCount, scene->cameraCount);
  for (int i = 0; i < scene->rootCount; ++i) {
    VisitNodesParentFirst(scene->roots[i], [](Node* node) {
      std::printf("%*s%s \"%.*s\"\n", 2 * Depth(node), "", KindName(node->kind), static_cast<int>(sizeof node->name),
                  node->name);
    });
  }
}

Scene* Load(int argc, char** argv) {
  TFile file;
  file.SetName(argv[1]);
  if (!file.Open(modeRead)) {
    std::fprintf(stderr, "scenenodes: cannot open %s\n", argv[1]);
    return nullptr;
  }
  Scene* scene = nullptr;
  if (argc == 2) {
    scene = ReadSceneStream(&file);
  } else {
    TFileLib archive(&file);
    scene = archive.Error() ? nullptr : ReadSceneFile(&archive, argv[2]);
  }
  if (scene == nullptr) {
    const std::string why = SceneReadError();
    std::fprintf(stderr, "scenenodes: %s: %s\n", argv[argc - 1], why.empty() ? "not a readable scene" : why.c_str());
  }
  return scene;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: scenenodes SCENE.3ds | scenenodes ARCHIVE MEMBER\n");
    return 2;
  }
  Scene* scene = Load(argc, argv);
  if (scene == nullptr) return 1;
  PrintNodes(scene);
  FreeScene(scene);
  return 0;
}
