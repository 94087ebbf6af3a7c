// Finding the presentation's data beside an installed program.
#include "driver/contentdir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#ifndef DEMO_INSTALLED_CONTENT
#define DEMO_INSTALLED_CONTENT "../share/demo"
#endif

namespace {

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string DemoInstalledContentDir(const std::string& programPath) {
  const std::size_t slash = programPath.rfind('/');
  if (slash == std::string::npos) return "";
  return programPath.substr(0, slash + 1) + DEMO_INSTALLED_CONTENT;
}

std::string DemoDefaultContentDir(const std::string& programPath) {
  if (IsFile("demo.dat")) return "";
  const std::string installed = DemoInstalledContentDir(programPath);
  if (!installed.empty() && IsFile(installed + "/demo.dat")) return installed;
  return "";
}

std::string DemoProgramPath() {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  // A path that fills the buffer may have been cut short: better none than a wrong one.
  if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return "";
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}
