// mkcontent: writes the presentation's default content, "demo.dat" and
// "music.s3m", into a directory.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/mkcontent/content.h"
#include "tools/mkcontent/textures.h"

namespace {

void Usage(std::FILE* out) {
  std::fputs(
      "usage: mkcontent [--stats] OUTDIR\n"
      "Writes OUTDIR/demo.dat (scenes, textures and pictures) and OUTDIR/music.s3m.\n"
      "  --stats  also print each scene's triangle count and the texture memory used\n"
      "  --help   show this text\n",
      out);
}

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

}  // namespace

int main(int argc, char** argv) {
  bool stats = false;
  const char* directory = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--stats") == 0) {
      stats = true;
    } else if (argv[i][0] == '-') {
      std::fprintf(stderr, "mkcontent: unknown option %s\n", argv[i]);
      Usage(stderr);
      return 2;
    } else if (directory) {
      std::fprintf(stderr, "mkcontent: only one output directory may be given\n");
      return 2;
    } else {
      directory = argv[i];
    }
  }
  if (!directory) {
    Usage(stderr);
    return 2;
  }
  std::string error;
  if (!content::WriteContent(directory, error)) {
    std::fprintf(stderr, "mkcontent: %s\n", error.c_str());
    return 1;
  }
  if (stats) PrintStats();
  return 0;
}
