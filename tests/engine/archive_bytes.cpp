#include "archive_bytes.h"

#include "tools/archivewriter/archivewriter.h"

namespace testscenes {

std::vector<std::uint8_t> ArchiveBytes(const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& members) {
  std::vector<archivewriter::Member> list;
  for (const auto& [name, data] : members) list.push_back({name, data});
  std::vector<std::uint8_t> out;
  std::string error;
  if (!archivewriter::Build(list, out, error)) out.clear();
  return out;
}

}  // namespace testscenes
