#include "fuzz/support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>


namespace fuzz {
namespace {

std::string scratchDir;
std::string scratchPath;

void RemoveScratch() {
  if (!scratchPath.empty()) std::remove(scratchPath.c_str());
  if (!scratchDir.empty()) rmdir(scratchDir.c_str());
}

}  // namespace

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz harness: %s\n", what);
  std::abort();
}

const char* WriteScratch(const std::uint8_t* data, std::size_t size) {
  if (scratchDir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzzinput.XXXXXX";
    if (!mkdtemp(pattern.data())) Fail("cannot create a scratch directory");
    scratchDir = pattern;
    scratchPath = scratchDir + "/input";
    std::atexit(RemoveScratch);
  }
  std::FILE* file = std::fopen(scratchPath.c_str(), "wb");
  if (!file) Fail("cannot write the scratch file");
  if (size && std::fwrite(data, 1, size, file) != size) Fail("short write to the scratch file");
  std::fclose(file);
  return scratchPath.c_str();
}

bool MemoryStream::Open(int mode) {
  position = 0;
  error = mode != modeRead;
  return !error;
}

void MemoryStream::Seek(std::int32_t offset, int origin) {
  std::int64_t base = origin == seekStart ? 0
                      : origin == seekCurrent ? static_cast<std::int64_t>(position)
                                              : static_cast<std::int64_t>(size);
  std::int64_t target = base + offset;
  if (target < 0 || target > static_cast<std::int64_t>(size)) {
    error = true;
    return;
  }
  position = static_cast<std::size_t>(target);
}

int MemoryStream::Read(void* buffer, int itemSize, int count) {
  if (itemSize <= 0 || count <= 0) return 0;
  std::size_t want = static_cast<std::size_t>(itemSize) * static_cast<std::size_t>(count);
  std::size_t left = size - position;
  std::size_t items = (want <= left ? want : left) / static_cast<std::size_t>(itemSize);
  std::size_t bytes = items * static_cast<std::size_t>(itemSize);
  std::memcpy(buffer, data + position, bytes);
  position += bytes;
  if (items < static_cast<std::size_t>(count)) error = true;
  return static_cast<int>(items);
}

}  // namespace fuzz
