// The base stream: a stream that holds nothing. Its byte, word and double-word
// reads go through Read, so every derived stream gets them for free.
#include "stream/stream.h"

#include <limits>

namespace stream_detail {

std::int64_t RequestBytes(int size, int count) {
  if (size <= 0 || count < 0) return -1;
  const std::int64_t bytes = static_cast<std::int64_t>(size) * count;
  // Larger requests cannot be answered in the int item count the callers receive.
  if (bytes > std::numeric_limits<std::int32_t>::max()) return -1;
  return bytes;
}

}  // namespace stream_detail

TStream::~TStream() = default;

void TStream::SetName(const char*) {}
bool TStream::Open(int) { return false; }
void TStream::Close() {}
void TStream::Seek(std::int32_t, int) {}
int TStream::Read(void*, int, int) { return 0; }
int TStream::Write(const void*, int, int) { return 0; }

std::uint8_t TStream::ReadByte() {
  std::uint8_t v = 0;
  Read(&v, 1, 1);
  return v;
}

std::uint16_t TStream::ReadWord() {
  std::uint8_t b[2] = {0, 0};
  Read(b, 2, 1);
  return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

std::uint32_t TStream::ReadDword() {
  std::uint8_t b[4] = {0, 0, 0, 0};
  Read(b, 4, 1);
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

bool TStream::Error() { return true; }
std::int32_t TStream::Tell() { return -1; }
std::int32_t TStream::Size() { return -1; }
bool TStream::Eof() { return true; }
bool TStream::Erase() { return false; }
