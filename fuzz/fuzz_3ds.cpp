// Reads arbitrary bytes as a 3D Studio scene, from memory and as an archive
// member, and frees what it builds.
#include <cstddef>
#include <cstdint>

#include "engine/read3ds.h"
#include "engine/scene.h"
#include "fuzz/member.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Scene* scene = ReadSceneMemory(data, static_cast<std::uint32_t>(size));
  if (scene) {
    FreeScene(scene);
    // The same bytes through the archive path the presentation uses must load too.
    fuzz::MemberArchive lib(data, size);
    Scene* again = ReadSceneFile(fuzz::memberName);
    if (!again) fuzz::Fail("a scene that loads from memory fails from the archive");
    FreeScene(again);
  } else if (SceneReadError().empty()) {
    fuzz::Fail("a failed load without a reason");
  }
  return 0;
}
