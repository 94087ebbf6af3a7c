#include "tools/modplay/playlist.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>

#include "tools/modplay/render.h"

namespace fs = std::filesystem;

std::vector<std::string> ShuffledOrder(std::vector<std::string> files, std::optional<std::uint64_t> seed) {
  std::mt19937_64 random(seed ? *seed : std::random_device{}());
  // Fisher-Yates written out: std::shuffle's order differs between standard
  // libraries, and a seed should name one order everywhere.
  for (std::size_t i = files.size(); i > 1; --i) {
    const std::size_t j = static_cast<std::size_t>(random() % i);
    std::swap(files[i - 1], files[j]);
  }
  return files;
}

std::string OutputNameFor(const std::string& folder, const std::string& input, AudioContainer container) {
  fs::path name = fs::path(input).filename();
  name.replace_extension(AudioExtension(container));
  return (fs::path(folder) / name).string();
}

int RenderEach(const ModplayOptions& options) {
  int status = 0;
  std::map<std::string, std::string> written;  // output → the module it holds
  const AudioContainer container = OutputContainer(options);
  for (const std::string& file : options.files) {
    ModplayOptions one = options;
    one.file = file;
    one.output = OutputNameFor(options.output, file, container);
    if (auto [at, added] = written.emplace(one.output, file); !added) {
      std::fprintf(stderr, "modplay: %s: skipped; its output %s holds %s, rendered before it\n", file.c_str(),
                   one.output.c_str(), at->second.c_str());
      status = 1;
      continue;
    }
    if (RenderModule(one) != 0) status = 1;
  }
  return status;
}
