// Finding and loading the texture maps a scene's materials name. A map is looked
// for beside the scene: first under the name it has (real files name .png,
// .jpg, .gif, .tga, .bmp), then by the system's rule (the name without its last
// four characters, with .PCX, then .BMP), then under its stem with any picture
// extension. File names match without regard to case, as on the systems the
// files were made on. A material whose map is not found shows its own colour.
#pragma once

#include <string>
#include <vector>

#include "engine/scene.h"
#include "tools/sceneview/sceneload.h"

// Where maps are looked for.
struct TextureHome {
  std::vector<std::string> folders;  // a plain file: searched in order
  TFileLib* archive = nullptr;       // an archive member: the archive
  std::string memberFolder;          // the member's folder inside it, with its backslash
};

// The scene file's folder, its "textures" folder and the "textures" folder
// beside it; or the member's archive.
TextureHome TextureHomeOf(const SceneSource& source);

// The names tried for a material's map, in order, without any folder.
std::vector<std::string> CandidateNames(const char* textureFile);

// The entry of folder whose name equals name without regard to case (an exact
// match first); empty when there is none.
std::string FindNoCase(const std::string& folder, const std::string& name);

struct TextureReport {
  int loaded = 0;
  std::vector<std::string> missing;  // map names found nowhere
};

// Fills the texture table with every distinct map and points each textured
// material at its entry; a material whose map does not load loses its texture
// flag. Textures are resampled small enough that all of them fit in texture
// memory together.
TextureReport LoadSceneTextures(Scene* scene, const TextureHome& home);

// Uploads the table (the accelerator must be open). A texture that does not
// fit leaves its materials with their own colour; returns how many did not.
int UploadSceneTextures(Scene* scene);
