// qvrlib create: every file below a folder, sorted by path, as members named
// with backslashes.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "tools/archivewriter/archivewriter.h"
#include "tools/common/outputfile.h"
#include "tools/common/samefile.h"
#include "tools/qvrlib/commands.h"

namespace fs = std::filesystem;

namespace qvrlib {
namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "qvrlib: %s\n", message.c_str());
  return 1;
}

bool FilesBelow(const std::string& dir, std::vector<fs::path>& files, std::string& error) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (ec) error = "cannot walk " + dir + ": " + ec.message();
  std::sort(files.begin(), files.end());
  return !ec;
}

bool WriteArchive(const std::vector<archivewriter::Member>& members, const std::string& path, std::string& error) {
  std::vector<std::uint8_t> bytes;
  if (!archivewriter::Build(members, bytes, error)) return false;
  toolio::OutputFile out;
  if (!out.Open(path, error)) return false;
  out.Write(bytes.data(), bytes.size());  // a failure is reported by Commit
  return out.Commit(error);
}

}  // namespace

int Create(const std::string& archivePath, const std::string& dir) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return Fail(dir + " is not a folder");
  std::vector<fs::path> files;
  std::string error;
  if (!FilesBelow(dir, files, error)) return Fail(error);
  if (files.empty()) return Fail(dir + " holds no files");

  std::vector<archivewriter::Member> members;
  for (const fs::path& file : files) {
    if (toolio::SameFile(file.string(), archivePath)) {
      return Fail(archivePath + " is one of the files to pack (" + file.string() + "); choose another name");
    }
    std::string name = file.lexically_relative(dir).generic_string();
    std::replace(name.begin(), name.end(), '/', '\\');
    if (name.size() > archivewriter::maxNameLength)
      return Fail("member name \"" + name + "\" is longer than 51 characters");
    archivewriter::Member m{name, {}};
    if (!archivewriter::ReadFile(file.string(), m.data, error)) return Fail(error);
    members.push_back(std::move(m));
  }
  if (!WriteArchive(members, archivePath, error)) return Fail(error);
  std::printf("%s: %zu members\n", archivePath.c_str(), members.size());
  return 0;
}

}  // namespace qvrlib
