// TBufferedStream: a read buffer around another stream. A seek always discards the
// buffer; reads refill it from the inner stream one capacity at a time.
#include <algorithm>
#include <cstring>

#include "stream/stream.h"

TBufferedStream::TBufferedStream(TStream* innerStream, std::uint32_t bufferCapacity)
    : inner(innerStream ? innerStream : new TStream),
      capacity(bufferCapacity ? bufferCapacity : defaultCapacity),
      buffer(new std::uint8_t[capacity]) {}

TBufferedStream::~TBufferedStream() {
  delete[] buffer;
  delete inner;
}

void TBufferedStream::SetName(const char* name) { inner->SetName(name); }

bool TBufferedStream::Open(int mode) {
  if (mode & (modeWrite | modeAppend)) return false;
  if (!inner->Open(mode)) return false;
  count = pos = 0;
  base = inner->Tell();
  size = inner->Size();
  return true;
}

void TBufferedStream::Close() {
  inner->Close();
  count = pos = 0;
}

void TBufferedStream::Seek(std::int32_t offset, int origin) {
  inner->Seek(offset, origin);
  count = pos = 0;
  base = inner->Tell();
}

void TBufferedStream::Refill() {
  if (pos < count) return;
  base = inner->Tell();
  const int got = inner->Read(buffer, 1, static_cast<int>(std::min<std::uint32_t>(capacity, 0x7FFFFFFF)));
  // Some streams answer -1 when they hold nothing; that is no data, not 4 GiB of it.
  count = got > 0 ? static_cast<std::uint32_t>(got) : 0;
  pos = 0;
}

int TBufferedStream::Read(void* out, int itemSize, int items) {
  std::int64_t wanted = stream_detail::RequestBytes(itemSize, items);
  if (wanted <= 0) return 0;
  auto* dest = static_cast<std::uint8_t*>(out);
  std::int64_t done = 0;
  Refill();
  while (wanted > 0 && count != 0) {
    const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::int64_t>(count - pos, wanted));
    std::memcpy(dest + done, buffer + pos, n);
    done += n;
    wanted -= n;
    pos += n;
    Refill();
  }
  return static_cast<int>(done / itemSize);
}

int TBufferedStream::Write(const void*, int, int) { return 0; }

std::uint8_t TBufferedStream::ReadByte() {
  Refill();
  if (pos >= count) return 0;  // no data left: Eof tells the caller
  return buffer[pos++];
}

std::uint16_t TBufferedStream::ReadWord() {
  const std::uint16_t b0 = ReadByte();
  const std::uint16_t b1 = ReadByte();
  return static_cast<std::uint16_t>(b0 + 256 * b1);
}

std::uint32_t TBufferedStream::ReadDword() {
  const std::uint32_t w0 = ReadWord();
  const std::uint32_t w1 = ReadWord();
  return w0 + 65536u * w1;
}

bool TBufferedStream::Error() { return inner->Error(); }
std::int32_t TBufferedStream::Tell() { return base + static_cast<std::int32_t>(pos); }
std::int32_t TBufferedStream::Size() { return size; }
bool TBufferedStream::Eof() { return static_cast<std::int64_t>(base) + pos >= size; }
bool TBufferedStream::Erase() { return inner->Erase(); }
