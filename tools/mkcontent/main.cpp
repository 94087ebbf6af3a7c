// mkcontent: writes the presentation's default content, "demo.dat" and
// "music.s3m", into a folder.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "tools/common/cli.h"
#include "tools/mkcontent/content.h"
#include "tools/mkcontent/textures.h"

namespace fs = std::filesystem;

namespace {

void PrintStats() {
  for (const content::SceneAsset& s : content::BuildScenes()) {
    std::printf("scene %-16s frames 0-%-5d %6zu triangles %7zu bytes\n", s.name.c_str(), s.lastFrame, s.triangles,
                s.bytes.size());
  }
  std::uint32_t memory = 0;
  for (const content::TextureAsset& t : content::BuildTextures()) memory += content::TextureMemory(t.width, t.height);
  memory += content::TextureMemory(256, 256);  // the fallback picture
  std::printf("texture memory %u bytes of 4194304\n", memory);
}

// The output folder: used when it exists; created when only its last level is
// missing (a mistyped path never grows a tree of folders); else an error.
bool PrepareFolder(const std::string& directory, std::string& error) {
  std::error_code ec;
  fs::path dir(directory);
  if (!dir.has_filename()) dir = dir.parent_path();  // "out/" names "out"
  if (fs::is_directory(dir, ec)) return true;
  if (fs::exists(dir, ec)) {
    error = directory + " exists and is not a folder";
    return false;
  }
  const fs::path parent = dir.parent_path().empty() ? fs::path(".") : dir.parent_path();
  if (!fs::is_directory(parent, ec)) {
    error = "cannot create " + directory + ": the folder " + parent.string() + " does not exist";
    return false;
  }
  if (!fs::create_directory(dir, ec) && ec) {
    error = "cannot create " + directory + ": " + ec.message();
    return false;
  }
  std::fprintf(stderr, "mkcontent: created the folder %s\n", directory.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Writes OUTDIR/demo.dat (scenes, textures and pictures) and OUTDIR/music.s3m,\n"
               "the same bytes on every run. OUTDIR is created when only its last level is missing.",
               "mkcontent"};
  toolcli::Setup(app);
  std::string directory;
  bool stats = false;
  app.add_option("OUTDIR", directory, "the folder to write into")->type_name("")->required()->check(toolcli::NonEmpty());
  app.add_flag("--stats", stats, "also print each scene's triangle count and the texture memory used");
  if (auto status = toolcli::Parse(app, argc, argv)) return *status;

  std::string error;
  if (!PrepareFolder(directory, error) || !content::WriteContent(directory, error)) {
    std::fprintf(stderr, "mkcontent: %s\n", error.c_str());
    return 1;
  }
  if (stats) PrintStats();
  return 0;
}
