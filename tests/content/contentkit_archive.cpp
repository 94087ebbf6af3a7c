// Archive writing for the tests, kept apart from the device layer's headers
// (whose global `archive` would clash with the writer's namespace).
#include "tests/content/contentkit.h"
#include "tools/archivewriter/archivewriter.h"

namespace contentkit {

bool ReadBytes(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::string error;
  return archive::ReadFile(path, bytes, error);
}

bool WriteArchive(const std::string& path,
                  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& members) {
  std::vector<archive::Member> list;
  for (const auto& [name, data] : members) list.push_back({name, data});
  std::string error;
  return archive::WriteFile(list, path, error);
}

}  // namespace contentkit
