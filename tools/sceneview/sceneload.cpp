// Opening a scene file or archive member through the engine's reader.
#include "tools/sceneview/sceneload.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "engine/read3ds.h"

namespace {

// Opens the file for reading; on failure says why, as the system gives it.
bool OpenFile(SceneSource& source, std::string& error) {
  struct stat info;
  const int why = stat(source.path.c_str(), &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
  source.file = std::make_unique<TFile>();
  source.file->SetName(source.path.c_str());
  if (why == 0 && source.file->Open(modeRead)) return true;
  error = "cannot open " + source.path + ": " + std::strerror(why ? why : errno);
  return false;
}

}  // namespace

Scene* LoadScene(SceneSource& source, std::string& error) {
  if (!OpenFile(source, error)) return nullptr;
  if (source.member.empty()) {
    Scene* scene = ReadSceneStream(source.file.get());
    if (!scene) error = source.path + ": not a readable 3D Studio scene: " + SceneReadError();
    return scene;
  }
  source.archive = std::make_unique<TFileLib>(source.file.get());
  if (source.archive->Error()) {
    error = source.path + ": not a valid archive";
    return nullptr;
  }
  if (!source.archive->Find(source.member.c_str())) {
    error = source.path + ": no member " + source.member;
    return nullptr;
  }
  Scene* scene = ReadSceneFile(source.archive.get(), source.member.c_str());
  if (!scene) error = source.path + ": " + source.member + ": not a readable 3D Studio scene: " + SceneReadError();
  return scene;
}
