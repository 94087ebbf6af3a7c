// TFile: a stream over a disk file, opened through the C library's buffered I/O.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "stream/stream.h"

TFile::~TFile() {
  Close();
  std::free(name);
}

void TFile::SetName(const char* newName) {
  std::free(name);
  name = newName ? strdup(newName) : nullptr;
}

bool TFile::Open(int mode) {
  Close();
  if (!name) return false;

  const char* how = nullptr;
  switch (mode) {
    case 1: how = "rb"; break;
    case 2: how = "wb"; break;
    case 3: how = "r+b"; break;
    case 5: how = "rb"; break;  // read, positioned at the end
    case 6: how = "ab"; break;
    case 7: how = "a+b"; break;
    default: break;
  }
  if (how) file = std::fopen(name, how);
  open = file != nullptr;
  error = !open;
  if (open && mode == 5) Seek(0, seekEnd);
  return open;
}

void TFile::Close() {
  if (open) std::fclose(file);
  file = nullptr;
  open = 0;
}

void TFile::Seek(std::int32_t offset, int origin) {
  static constexpr int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (!open || origin < 0 || origin > 2) {
    error = 1;
    return;
  }
  // A seek the C library refuses (a target before the start) counts as an error
  // too, so that a reader never goes on reading at the old position unwarned.
  const int failed = std::fseek(file, offset, whence[origin]);
  error = failed != 0 || std::ferror(file) != 0;
}

int TFile::Read(void* buffer, int size, int count) {
  if (!open) {
    error = 1;
    return 0;
  }
  if (stream_detail::RequestBytes(size, count) <= 0) return 0;
  return static_cast<int>(std::fread(buffer, static_cast<std::size_t>(size),
                                     static_cast<std::size_t>(count), file));
}

int TFile::Write(const void* buffer, int size, int count) {
  if (!open) {
    error = 1;
    return 0;
  }
  if (stream_detail::RequestBytes(size, count) <= 0) return 0;
  return static_cast<int>(std::fwrite(buffer, static_cast<std::size_t>(size),
                                      static_cast<std::size_t>(count), file));
}

bool TFile::Error() {
  if (error) return true;
  return open && std::ferror(file) != 0;
}

std::int32_t TFile::Tell() {
  if (!open) {
    error = 1;
    return -1;
  }
  const long position = std::ftell(file);
  if (position < 0 || position > std::numeric_limits<std::int32_t>::max()) return -1;
  return static_cast<std::int32_t>(position);
}

std::int32_t TFile::Size() {
  if (!open) {
    error = 1;
    return -1;
  }
  const std::int32_t remembered = Tell();
  Seek(0, seekEnd);
  const std::int32_t size = Tell();
  Seek(remembered, seekStart);
  return size;
}

bool TFile::Eof() {
  if (!open) {
    error = 1;
    return true;
  }
  return std::feof(file) != 0;
}

bool TFile::Erase() {
  if (!name) {
    error = 1;
    return false;
  }
  Close();
  return std::remove(name) == 0;
}
