// Archive directory reading and member streams.
#include "stream/filelib.h"

#include <cstring>
#include <limits>
#include <new>

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

char FoldAToZ(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares a stored name (bounded by its field; a name filling the whole field has
// no terminator) with a caller's name, folding only A-Z.
bool NameMatches(const char (&stored)[TFileLibEntry::nameSize], const char* name) {
  for (int i = 0; i < TFileLibEntry::nameSize; ++i) {
    if (FoldAToZ(stored[i]) != FoldAToZ(name[i])) return false;
    if (name[i] == '\0') return true;
  }
  return name[TFileLibEntry::nameSize] == '\0';
}

}  // namespace

TFileLib::TFileLib(TStream* s) : stream(s) {
  if (!stream) return;
  base = stream->Tell();
  if (stream->Error()) return;

  std::uint8_t header[fileLibHeaderSize];
  if (stream->Read(header, fileLibHeaderSize, 1) != 1) return;
  if (Le32(header) != Le32(reinterpret_cast<const std::uint8_t*>(fileLibMagic)) ||
      Le32(header + 4) != Le32(reinterpret_cast<const std::uint8_t*>(fileLibMagic) + 4))
    return;
  const auto count = static_cast<std::int32_t>(Le32(header + 8));
  if (count <= 0) return;  // a count of 0 would read an empty directory: never opens

  // Refuse a count the stream cannot hold before allocating for it, so a corrupt
  // header cannot ask for gigabytes.
  const std::int64_t bytes = static_cast<std::int64_t>(count) * fileLibEntrySize;
  const std::int32_t streamSize = stream->Size();
  const std::int32_t here = stream->Tell();
  if (streamSize >= 0 && here >= 0 && bytes > static_cast<std::int64_t>(streamSize) - here) return;
  if (bytes > std::numeric_limits<std::int32_t>::max()) return;

  auto* raw = new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)];
  if (!raw) return;
  if (stream->Read(raw, static_cast<int>(bytes), 1) != 1) {
    delete[] raw;
    return;
  }
  directory = new (std::nothrow) TFileLibEntry[static_cast<std::size_t>(count)];
  if (!directory) {
    delete[] raw;
    return;
  }
  for (std::int32_t i = 0; i < count; ++i) {
    const std::uint8_t* e = raw + static_cast<std::int64_t>(i) * fileLibEntrySize;
    TFileLibEntry& entry = directory[i];
    std::memcpy(entry.name, e, TFileLibEntry::nameSize);
    entry.offset = Le32(e + 52);
    entry.size = static_cast<std::int32_t>(Le32(e + 56));
    entry.reserved = Le32(e + 60);
  }
  delete[] raw;
  entryCount = count;

  current = stream->Tell();
  if (stream->Error()) {
    delete[] directory;
    directory = nullptr;
    return;
  }
  error = 0;
}

TFileLib::~TFileLib() { delete[] directory; }

const TFileLibEntry* TFileLib::Find(const char* name) {
  if (!directory || !name) return nullptr;
  for (std::int32_t i = 0; i < entryCount; ++i)
    if (NameMatches(directory[i].name, name)) return &directory[i];
  return nullptr;
}

int TFileLib::ReadAt(void* buffer, std::uint32_t offset, int length) {
  if (!stream || length < 0) return 0;
  const std::int64_t target = static_cast<std::int64_t>(base) + offset;
  if (target != current) {
    // A target the stream's 32-bit seek cannot express is a failed seek.
    if (target > std::numeric_limits<std::int32_t>::max()) {
      error = 1;
      return 0;
    }
    stream->Seek(static_cast<std::int32_t>(target), seekStart);
    if (stream->Error()) {
      error = 1;
      return 0;
    }
  }
  int got = stream->Read(buffer, 1, length);
  if (got < 0) got = 0;
  current = target + got;
  if (stream->Error() || got != length) error = 1;
  return got;
}

bool TFileLib::Error() { return error || (stream && stream->Error()); }

TFileInLib::TFileInLib(TFileLib* library) : lib(library), error(library ? 0 : 1) {}

void TFileInLib::SetName(const char* name) {
  if (lib) entry = lib->Find(name);
}

bool TFileInLib::Open(int) {
  if (lib && entry) {
    pos = 0;
    return true;
  }
  error = 1;
  return false;
}

void TFileInLib::Close() { entry = nullptr; }

void TFileInLib::Seek(std::int32_t offset, int origin) {
  if (!lib || !entry) return;
  std::int64_t target = pos;
  switch (origin) {
    case seekStart: target = offset; break;
    case seekCurrent: target = static_cast<std::int64_t>(pos) + offset; break;
    case seekEnd: target = static_cast<std::int64_t>(entry->size) + offset; break;
    default: error = 1; break;
  }
  if (target < 0 || target > entry->size) {
    error = 1;
    return;
  }
  pos = static_cast<std::int32_t>(target);
}

int TFileInLib::Read(void* buffer, int size, int count) {
  if (!lib || !entry) return -1;
  std::int64_t n = stream_detail::RequestBytes(size, count);
  if (n <= 0) return 0;
  const std::int64_t left = static_cast<std::int64_t>(entry->size) - pos;
  if (n > left) n = left;
  if (n <= 0) return 0;  // at the end, or a member with a negative stored size
  const int got = lib->ReadAt(buffer, entry->offset + static_cast<std::uint32_t>(pos), static_cast<int>(n));
  pos += got;
  return got / size;
}

bool TFileInLib::Error() { return error || (lib && lib->Error()); }
std::int32_t TFileInLib::Tell() { return lib && entry ? pos : -1; }
std::int32_t TFileInLib::Size() { return lib && entry ? entry->size : -1; }
bool TFileInLib::Eof() { return !lib || !entry || pos >= entry->size; }
