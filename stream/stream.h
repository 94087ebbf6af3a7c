// Streams and archive. stream.h: the stream classes; filelib.h: the archive's
// directory (TFileLib) and its members as streams (TFileInLib); archive.h: the
// presentation's open archive, which the start-up fills. Every reader of data
// files builds on these; this subsystem uses no other part of the system.
//
// Byte streams every data file of the system is read through: the abstract
// TStream, TFile over a disk file, and TBufferedStream, a read buffer around any
// other stream. Multi-byte values are little-endian. No operation throws or prints;
// failures show as false from Open/Erase/Error, short counts, or -1 positions.
#pragma once

#include <cstdint>
#include <cstdio>

enum : int {
  modeRead = 1,
  modeWrite = 2,
  modeAppend = 4,
};

enum : int {
  seekStart = 0,
  seekCurrent = 1,
  seekEnd = 2,
};

// The base class is a stream that holds nothing. The virtual operations are
// declared in dispatch-table order.
class TStream {
public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream();

  virtual void SetName(const char* name);
  virtual bool Open(int mode);
  virtual void Close();
  virtual void Seek(std::int32_t offset, int origin);
  // Block I/O: moves size * count bytes, returns the number of whole items moved.
  virtual int Read(void* buffer, int size, int count);
  virtual int Write(const void* buffer, int size, int count);
  virtual std::uint8_t ReadByte();
  virtual std::uint16_t ReadWord();
  virtual std::uint32_t ReadDword();
  virtual bool Error();
  virtual std::int32_t Tell();
  virtual std::int32_t Size();
  virtual bool Eof();
  virtual bool Erase();
};

// A stream over a disk file through the C library's buffered file I/O.
class TFile : public TStream {
public:
  TFile() = default;
  ~TFile() override;

  void SetName(const char* name) override;
  bool Open(int mode) override;
  void Close() override;
  void Seek(std::int32_t offset, int origin) override;
  int Read(void* buffer, int size, int count) override;
  int Write(const void* buffer, int size, int count) override;
  bool Error() override;
  std::int32_t Tell() override;
  std::int32_t Size() override;
  bool Eof() override;
  bool Erase() override;

private:
  std::uint8_t open = 0;
  std::uint8_t error = 0;  // sticky: only a successful Open or Seek rewrites it
  std::FILE* file = nullptr;
  char* name = nullptr;
};

// A read-only buffer around another stream, which it owns. Lets decoders pull
// their input a byte at a time without a file call per byte.
class TBufferedStream : public TStream {
public:
  static constexpr std::uint32_t defaultCapacity = 1024;

  // inner may be null: a plain TStream (which reads nothing) is used instead.
  // capacity 0 selects defaultCapacity.
  explicit TBufferedStream(TStream* inner, std::uint32_t capacity = 0);
  ~TBufferedStream() override;

  void SetName(const char* name) override;
  bool Open(int mode) override;
  void Close() override;
  void Seek(std::int32_t offset, int origin) override;
  int Read(void* buffer, int size, int count) override;
  int Write(const void* buffer, int size, int count) override;
  std::uint8_t ReadByte() override;
  std::uint16_t ReadWord() override;
  std::uint32_t ReadDword() override;
  bool Error() override;
  std::int32_t Tell() override;
  std::int32_t Size() override;
  bool Eof() override;
  bool Erase() override;

private:
  void Refill();

  TStream* inner;
  std::uint32_t capacity;
  std::uint32_t count = 0;  // valid bytes in buffer
  std::uint32_t pos = 0;    // read offset inside buffer
  std::int32_t base = 0;    // position of buffer[0] in inner
  std::int32_t size = 0;    // size of inner, taken at Open
  std::uint8_t* buffer;
};

namespace stream_detail {
// Bytes moved by size * count items, or -1 when the request is empty or invalid.
// Keeps the item arithmetic in one place so no caller multiplies into overflow.
std::int64_t RequestBytes(int size, int count);
}  // namespace stream_detail
