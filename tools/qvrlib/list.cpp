// qvrlib list: the directory as the archive holds it.
#include <cstdio>

#include "tools/qvrlib/archive.h"
#include "tools/qvrlib/commands.h"

namespace qvrlib {

int List(const std::string& archivePath) {
  OpenArchive a;
  std::string error;
  if (!a.Open(archivePath, error)) {
    std::fprintf(stderr, "qvrlib: %s\n", error.c_str());
    return 1;
  }
  int pastTheEnd = 0;
  for (int i = 0; i < a.Lib().EntryCount(); ++i) {
    const TFileLibEntry& e = *a.Lib().Entry(i);
    std::printf("%-51s %10u %10d\n", EntryName(e).c_str(), e.offset, e.size);
    const std::uint64_t end = std::uint64_t{e.offset} + static_cast<std::uint32_t>(e.size);
    if (e.size < 0 || end > a.FileSize()) {
      std::fprintf(stderr, "qvrlib: warning: member \"%s\" runs past the end of %s (to byte %llu of %llu)\n",
                   EntryName(e).c_str(), archivePath.c_str(), static_cast<unsigned long long>(end),
                   static_cast<unsigned long long>(a.FileSize()));
      ++pastTheEnd;
    }
  }
  if (pastTheEnd > 0) {
    std::fprintf(stderr, "qvrlib: %s is cut short: %d member%s cannot be read whole\n", archivePath.c_str(),
                 pastTheEnd, pastTheEnd == 1 ? "" : "s");
    return 1;
  }
  return 0;
}

}  // namespace qvrlib
