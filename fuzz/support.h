// Shared pieces of the fuzz harnesses: a private scratch file for readers that
// take a file name, and a read-only stream over bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stream/stream.h"

namespace fuzz {

// Replaces the contents of this process's scratch file (in a private temporary
// directory removed at exit) and returns its path.
const char* WriteScratch(const std::uint8_t* data, std::size_t size);

// Read-only stream over a caller-owned buffer.
class MemoryStream : public TStream {
public:
  MemoryStream(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
  bool Open(int mode) override;
  void Close() override {}
  void Seek(std::int32_t offset, int origin) override;
  int Read(void* buffer, int itemSize, int count) override;
  bool Error() override { return error; }
  std::int32_t Tell() override { return static_cast<std::int32_t>(position); }
  std::int32_t Size() override { return static_cast<std::int32_t>(size); }
  bool Eof() override { return position >= size; }

private:
  const std::uint8_t* data;
  std::size_t size;
  std::size_t position = 0;
  bool error = false;
};

// Aborts (a fuzzer failure) with a message.
[[noreturn]] void Fail(const char* what);

}  // namespace fuzz
