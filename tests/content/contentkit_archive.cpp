// Archive reading and writing for the content tests.
#include "tests/content/contentkit.h"
#include "tools/archivewriter/archivewriter.h"

namespace contentkit {

bool ReadBytes(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::string error;
  return archivewriter::ReadFile(path, bytes, error);
}

bool WriteArchive(const std::string& path,
                  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& members) {
  std::vector<archivewriter::Member> list;
  for (const auto& [name, data] : members) list.push_back({name, data});
  std::string error;
  return archivewriter::WriteFile(list, path, error);
}

}  // namespace contentkit
