// qvrlib: creates, lists and extracts archives in the format of "demo.dat".
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "stream/filelib.h"
#include "tools/archivewriter/archivewriter.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* usage =
    "usage: qvrlib create ARCHIVE DIR      pack every file below DIR\n"
    "       qvrlib list ARCHIVE            print name, offset and size of each member\n"
    "       qvrlib extract ARCHIVE MEMBER [OUT]\n"
    "                                      write one member to OUT (default: its file name)\n"
    "\n"
    "Member names are the paths below DIR with backslashes between folders, at most\n"
    "51 characters; lookups fold A-Z to lower case.\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "qvrlib: %s\n", message.c_str());
  return 1;
}

int Create(const std::string& archivePath, const std::string& dir) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return Fail(dir + " is not a folder");

  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (ec) return Fail("cannot walk " + dir + ": " + ec.message());
  if (files.empty()) return Fail(dir + " holds no files");
  std::sort(files.begin(), files.end());

  std::vector<archivewriter::Member> members;
  for (const fs::path& file : files) {
    std::string name = file.lexically_relative(dir).generic_string();
    std::replace(name.begin(), name.end(), '/', '\\');
    if (name.size() > archivewriter::maxNameLength)
      return Fail("member name \"" + name + "\" is longer than 51 characters");
    archivewriter::Member m{name, {}};
    std::string error;
    if (!archivewriter::ReadFile(file.string(), m.data, error)) return Fail(error);
    members.push_back(std::move(m));
  }
  std::string error;
  if (!archivewriter::WriteFile(members, archivePath, error)) return Fail(error);
  std::printf("%s: %zu members\n", archivePath.c_str(), members.size());
  return 0;
}

// Opens the archive with the system's own reader.
struct OpenArchive {
  TFile file;
  TFileLib* lib = nullptr;
  ~OpenArchive() { delete lib; }

  bool Open(const std::string& path, std::string& error) {
    file.SetName(path.c_str());
    if (!file.Open(modeRead)) {
      error = "cannot open archive " + path;
      return false;
    }
    lib = new TFileLib(&file);
    if (lib->Error()) {
      error = path + " is not a valid archive";
      return false;
    }
    return true;
  }
};

std::string EntryName(const TFileLibEntry& e) {
  return std::string(e.name, strnlen(e.name, TFileLibEntry::nameSize));
}

int List(const std::string& archivePath) {
  OpenArchive a;
  std::string error;
  if (!a.Open(archivePath, error)) return Fail(error);
  for (int i = 0; i < a.lib->EntryCount(); ++i) {
    const TFileLibEntry& e = *a.lib->Entry(i);
    std::printf("%-51s %10u %10d\n", EntryName(e).c_str(), e.offset, e.size);
  }
  return 0;
}

int Extract(const std::string& archivePath, const std::string& member, std::string out) {
  OpenArchive a;
  std::string error;
  if (!a.Open(archivePath, error)) return Fail(error);

  TFileInLib in(a.lib);
  in.SetName(member.c_str());
  if (!in.Open(modeRead)) return Fail("no member \"" + member + "\" in " + archivePath);
  const std::int32_t size = in.Size();
  if (size < 0) return Fail("member \"" + member + "\" has a negative size");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (size > 0 && in.Read(bytes.data(), size, 1) != 1)
    return Fail("member \"" + member + "\" runs past the end of " + archivePath);

  if (out.empty()) {
    out = member.substr(member.find_last_of('\\') == std::string::npos ? 0 : member.find_last_of('\\') + 1);
  }
  const std::string temporary = out + ".tmp";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (!f) return Fail("cannot create " + temporary);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !written || std::rename(temporary.c_str(), out.c_str()) != 0) {
    std::remove(temporary.c_str());
    return Fail("cannot write " + out);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(usage, stderr);
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    std::fputs(usage, stdout);
    return 0;
  }
  if (args[0] == "create" && args.size() == 3) return Create(args[1], args[2]);
  if (args[0] == "list" && args.size() == 2) return List(args[1]);
  if (args[0] == "extract" && (args.size() == 3 || args.size() == 4))
    return Extract(args[1], args[2], args.size() == 4 ? args[3] : std::string());
  std::fputs(usage, stderr);
  return 2;
}
