#include "tools/democapture/output_file.h"

#include "tools/common/samefile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string PartialName(const std::string& path) {
  const std::string folder = FolderOf(path);
  return (folder == "/" ? "" : folder) + "/." + NameOf(path) + ".partial-" + std::to_string(getpid());
}

std::string CheckWritable(const std::string& path, const std::vector<std::string>& inputs) {
  if (NameOf(path).empty()) return "\"" + path + "\" names a folder, not a file";
  for (const std::string& input : inputs) {
    if (toolio::SameFile(path, input)) return "the output " + path + " is the input " + input + "; choose another name";
  }
  const std::string folder = FolderOf(path);
  struct stat info{};
  if (stat(folder.c_str(), &info) != 0) return "cannot write " + path + ": " + std::strerror(errno);
  if (!S_ISDIR(info.st_mode)) return "cannot write " + path + ": " + folder + " is not a folder";
  if (access(folder.c_str(), W_OK | X_OK) != 0) return "cannot write " + path + ": " + std::strerror(errno);
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return path + " is a folder";
  return "";
}

std::string ExtensionOf(const std::string& path) {
  const std::string name = NameOf(path);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return "";
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

std::string StemOf(const std::string& path) {
  const std::string name = NameOf(path);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return path;
  return path.substr(0, path.size() - (name.size() - dot));
}
