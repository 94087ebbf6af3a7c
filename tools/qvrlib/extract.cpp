// qvrlib extract: one member to a file or standard output, or every member
// into folders. Member paths that would leave the target folder are refused.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "tools/common/outputfile.h"
#include "tools/common/samefile.h"
#include "tools/qvrlib/archive.h"
#include "tools/qvrlib/commands.h"

namespace fs = std::filesystem;

namespace qvrlib {
namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "qvrlib: %s\n", message.c_str());
  return 1;
}

bool WriteMember(const std::vector<std::uint8_t>& bytes, const std::string& path, std::string& error) {
  toolio::OutputFile out;
  if (!out.Open(path, error)) return false;
  out.Write(bytes.data(), bytes.size());  // a failure is reported by Commit
  return out.Commit(error);
}

// The member's path below a folder, or nothing when a part of it is empty,
// "." or ".." (an absolute name, or one that climbs out).
std::optional<fs::path> RelativePath(const std::string& member) {
  fs::path path;
  std::size_t start = 0;
  while (start <= member.size()) {
    std::size_t end = member.find_first_of("\\/", start);
    if (end == std::string::npos) end = member.size();
    const std::string part = member.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return std::nullopt;
    path /= part;
    start = end + 1;
  }
  return path;
}

}  // namespace

int ExtractMember(const std::string& archivePath, const std::string& typed, const std::string& outName) {
  OpenArchive a;
  std::string error;
  if (!a.Open(archivePath, error)) return Fail(error);
  const std::string member = ArchiveName(typed);
  // The member's own file name, alone or inside a folder given as OUT.
  const std::string fileName = member.substr(member.find_last_of('\\') + 1);  // npos + 1 is 0
  std::string out = outName.empty() ? fileName : outName;
  std::error_code ec;
  if (out != "-" && fs::is_directory(out, ec)) out = (fs::path(out) / fileName).string();
  if (out != "-" && toolio::SameFile(archivePath, out)) {
    return Fail(out + " is the archive itself; choose another output name");
  }
  std::vector<std::uint8_t> bytes;
  if (!a.Read(member, bytes, error)) return Fail(error);
  if (!WriteMember(bytes, out, error)) return Fail(error);
  return 0;
}

int ExtractAll(const std::string& archivePath, const std::string& dir) {
  OpenArchive a;
  std::string error;
  if (!a.Open(archivePath, error)) return Fail(error);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return Fail(dir + " is not a folder");
  int failed = 0;
  int written = 0;
  for (int i = 0; i < a.Lib().EntryCount(); ++i) {
    const std::string member = EntryName(*a.Lib().Entry(i));
    const std::optional<fs::path> relative = RelativePath(member);
    std::vector<std::uint8_t> bytes;
    const fs::path target = fs::path(dir) / relative.value_or("");
    if (!relative) {
      error = "member \"" + member + "\" names no place inside " + dir + "; left out";
    } else if (toolio::SameFile(archivePath, target.string())) {
      error = target.string() + " is the archive itself; member \"" + member + "\" left out";
    } else if (fs::create_directories(target.parent_path(), ec); ec) {
      error = "cannot create " + target.parent_path().string() + ": " + ec.message();
    } else if (a.Read(member, bytes, error) && WriteMember(bytes, target.string(), error)) {
      ++written;
      continue;
    }
    Fail(error);
    ++failed;
  }
  std::printf("%s: %d member%s written below %s\n", archivePath.c_str(), written, written == 1 ? "" : "s",
              dir.c_str());
  return failed == 0 ? 0 : 1;
}

}  // namespace qvrlib
