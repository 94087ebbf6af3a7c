// The archive: a flat directory of named members followed by their bytes, read
// from any TStream. TFileLib holds the directory; TFileInLib is a read-only stream
// over one member, so loaders read members exactly as they would read files.
//
// Layout (little-endian): "QVRLIB1" 0x1A, entry count (int32, at least 1), then
// count 64-byte entries {name[52], offset (uint32, from the magic), size (int32),
// reserved}, then member data anywhere after.
#pragma once

#include <cstdint>

#include "stream/stream.h"

struct TFileLibEntry {
  static constexpr int nameSize = 52;  // NUL-terminated: at most 51 characters
  char name[nameSize];
  std::uint32_t offset;
  std::int32_t size;
  std::uint32_t reserved;
};
static_assert(sizeof(TFileLibEntry) == 64, "directory entries are 64 bytes on disk");

inline constexpr char fileLibMagic[8] = {'Q', 'V', 'R', 'L', 'I', 'B', '1', 0x1A};
inline constexpr int fileLibHeaderSize = 12;
inline constexpr int fileLibEntrySize = 64;

class TFileLib {
public:
  // Reads the directory at the stream's current position. Test Error() afterwards:
  // true means the archive is unusable. The stream is not owned.
  explicit TFileLib(TStream* stream);
  TFileLib(const TFileLib&) = delete;
  TFileLib& operator=(const TFileLib&) = delete;
  virtual ~TFileLib();

  // First entry whose name equals name, with only A-Z folded to a-z.
  virtual const TFileLibEntry* Find(const char* name);
  // Reads length bytes at offset (counted from the magic); returns bytes read.
  // A failed or short read sets the shared, sticky error.
  virtual int ReadAt(void* buffer, std::uint32_t offset, int length);
  virtual bool Error();

  std::int32_t EntryCount() const { return directory ? entryCount : 0; }
  const TFileLibEntry* Entry(int index) const { return directory + index; }

private:
  TStream* stream;
  std::int32_t base = 0;
  std::int32_t entryCount = 0;
  std::int64_t current = 0;
  std::uint8_t error = 1;
  TFileLibEntry* directory = nullptr;
};

class TFileInLib : public TStream {
public:
  explicit TFileInLib(TFileLib* lib);

  void SetName(const char* name) override;
  bool Open(int mode) override;
  void Close() override;
  void Seek(std::int32_t offset, int origin) override;
  int Read(void* buffer, int size, int count) override;
  bool Error() override;
  std::int32_t Tell() override;
  std::int32_t Size() override;
  bool Eof() override;

private:
  TFileLib* lib;
  const TFileLibEntry* entry = nullptr;
  std::int32_t pos = 0;
  std::uint8_t error;
};
