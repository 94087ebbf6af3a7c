#include "tools/common/outputfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tools/common/partialoutputs.h"

namespace fs = std::filesystem;

namespace toolio {
namespace {

// The file a name leads to: links followed, also when the last one dangles
// (the output is then created where it points).
std::string FollowLinks(const std::string& path) {
  std::error_code ec;
  fs::path at = path;
  for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(at, ec)); ++hops) {
    const fs::path link = fs::read_symlink(at, ec);
    if (ec) break;
    at = link.is_absolute() ? link : at.parent_path() / link;
  }
  return at.string();
}

mode_t CreationMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Open(const std::string& path, std::string& error) {
  path_ = path;
  if (path.empty()) {
    error = "no output file named";
    return false;
  }
  if (path == "-") {
    if (isatty(STDOUT_FILENO) != 0) {
      error = "standard output is a terminal; send it to a file or a program";
      return false;
    }
    fd_ = STDOUT_FILENO;
    struct stat info {};
    const off_t at = lseek(fd_, 0, SEEK_CUR);
    seekable_ = fstat(fd_, &info) == 0 && S_ISREG(info.st_mode) && at >= 0 &&
                (fcntl(fd_, F_GETFL) & O_APPEND) == 0;
    start_ = seekable_ ? static_cast<std::uint64_t>(at) : 0;
    return true;
  }
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    error = path + " is a folder";
    return false;
  }
  if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), W_OK) != 0) {
    // Replacing it through a temporary would get round its permissions.
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    // A device, FIFO or socket: written to as it is, never replaced.
    fd_ = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0) {
      error = "cannot open " + path + ": " + std::strerror(errno);
      return false;
    }
    ownsFd_ = true;
    return true;
  }
  return OpenTemporary(FollowLinks(path), error);
}

bool OutputFile::OpenTemporary(const std::string& target, std::string& error) {
  const fs::path where(target);
  std::string pattern = (where.parent_path() / ("." + where.filename().string() + ".XXXXXX")).string();
  SignalsHeld held;  // no signal between creating the file and registering it
  fd_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) {
    error = "cannot write " + path_ + ": " + std::strerror(errno);
    return false;
  }
  ownsFd_ = true;
  seekable_ = true;
  target_ = target;
  temporary_ = pattern;
  RegisterPartialOutput(temporary_.c_str());
  // Keep an existing file's permissions; a new one gets the usual ones.
  struct stat old {};
  fchmod(fd_, stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : CreationMode());
  return true;
}

bool OutputFile::Write(const void* data, std::size_t bytes) {
  if (fd_ < 0 || errno_ != 0) return false;
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (bytes > 0) {
    const ssize_t n = write(fd_, p, bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      errno_ = n < 0 ? errno : EIO;
      return false;
    }
    p += n;
    bytes -= static_cast<std::size_t>(n);
  }
  return true;
}

bool OutputFile::WriteAt(std::uint64_t offset, const void* data, std::size_t bytes) {
  if (fd_ < 0 || errno_ != 0 || !seekable_) return false;
  const auto* p = static_cast<const std::uint8_t*>(data);
  auto at = static_cast<off_t>(start_ + offset);
  while (bytes > 0) {
    const ssize_t n = pwrite(fd_, p, bytes, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      errno_ = n < 0 ? errno : EIO;
      return false;
    }
    p += n;
    at += n;
    bytes -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string OutputFile::Reason() const { return std::strerror(errno_); }

bool OutputFile::Commit(std::string& error) {
  if (fd_ < 0) {
    error = "cannot write " + path_ + ": not open";
    return false;
  }
  // Standard output stays open: its writes were unbuffered and already checked.
  if (ownsFd_ && close(fd_) != 0 && errno_ == 0) errno_ = errno;
  fd_ = -1;
  if (!temporary_.empty()) {
    if (errno_ == 0 && std::rename(temporary_.c_str(), target_.c_str()) != 0) errno_ = errno;
    if (errno_ != 0) unlink(temporary_.c_str());
    ForgetPartialOutput(temporary_.c_str());
    temporary_.clear();
  }
  if (errno_ != 0) error = "cannot write " + path_ + ": " + Reason();
  return errno_ == 0;
}

void OutputFile::Abandon() {
  if (fd_ >= 0 && ownsFd_) close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) {
    unlink(temporary_.c_str());
    ForgetPartialOutput(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace toolio
