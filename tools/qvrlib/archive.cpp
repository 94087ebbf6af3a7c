#include "tools/qvrlib/archive.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace qvrlib {

bool OpenArchive::Open(const std::string& path, std::string& error) {
  path_ = path;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error = path + " is a folder, not an archive";
    return false;
  }
  file_.SetName(path.c_str());
  if (!file_.Open(modeRead)) {
    error = "cannot open archive " + path + ": " + std::strerror(errno);
    return false;
  }
  fileSize_ = std::filesystem::file_size(path, ec);
  lib_ = new TFileLib(&file_);
  if (lib_->Error()) {
    error = path + " is not a valid archive";
    return false;
  }
  return true;
}

bool OpenArchive::Read(const std::string& member, std::vector<std::uint8_t>& bytes, std::string& error) {
  TFileInLib in(lib_);
  in.SetName(member.c_str());
  if (!in.Open(modeRead)) {
    error = "no member \"" + member + "\" in " + path_;
    return false;
  }
  const std::int32_t size = in.Size();
  if (size < 0) {
    error = "member \"" + member + "\" has a negative size";
    return false;
  }
  bytes.assign(static_cast<std::size_t>(size), 0);
  if (size > 0 && in.Read(bytes.data(), size, 1) != 1) {
    error = "member \"" + member + "\" runs past the end of " + path_;
    return false;
  }
  return true;
}

std::string EntryName(const TFileLibEntry& entry) {
  return std::string(entry.name, strnlen(entry.name, TFileLibEntry::nameSize));
}

std::string ArchiveName(const std::string& typed) {
  std::string name = typed;
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

}  // namespace qvrlib
