#include "tools/modplay/sndfilesink.h"

#include <algorithm>
#include <vector>

namespace {

SndfileSink* Self(void* user) { return static_cast<SndfileSink*>(user); }

// Where the WAVE header keeps the RIFF size and the data size.
constexpr std::uint64_t riffSizeAt = 4;
constexpr std::uint64_t dataSizeAt = 40;

}  // namespace

SndfileSink::SndfileSink(toolio::OutputFile* out, bool unknownWaveLength)
    : out_(out), unknownWaveLength_(unknownWaveLength && !out->Seekable()) {}

SF_VIRTUAL_IO SndfileSink::Callbacks() {
  SF_VIRTUAL_IO io{};
  io.get_filelen = [](void* user) { return Self(user)->Length(); };
  io.seek = [](sf_count_t offset, int whence, void* user) { return Self(user)->Seek(offset, whence); };
  // Nothing is read back from an output being written.
  io.read = [](void*, sf_count_t, void*) -> sf_count_t { return 0; };
  io.write = [](const void* data, sf_count_t bytes, void* user) { return Self(user)->Write(data, bytes); };
  io.tell = [](void* user) { return Self(user)->Tell(); };
  return io;
}

sf_count_t SndfileSink::Seek(sf_count_t offset, int whence) {
  std::int64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<std::int64_t>(position_);
  if (whence == SEEK_END) base = static_cast<std::int64_t>(end_);
  const std::int64_t target = base + offset;
  // Only places already written, or the end, can be reached.
  if (target < 0 || static_cast<std::uint64_t>(target) > end_) return -1;
  position_ = static_cast<std::uint64_t>(target);
  return target;
}

sf_count_t SndfileSink::Write(const void* data, sf_count_t bytes) {
  if (bytes <= 0) return 0;
  const auto count = static_cast<std::size_t>(bytes);
  bool written = true;
  if (position_ == end_) {
    if (unknownWaveLength_ && position_ < dataSizeAt + 4) {
      std::vector<std::uint8_t> copy(static_cast<const std::uint8_t*>(data),
                                     static_cast<const std::uint8_t*>(data) + count);
      MarkLengthUnknown(copy.data(), copy.size());
      written = out_->Write(copy.data(), copy.size());
    } else {
      written = out_->Write(data, count);
    }
    end_ += count;
  } else if (out_->Seekable()) {
    written = out_->WriteAt(position_, data, count);
    end_ = std::max(end_, position_ + count);
  }
  // A rewrite an unseekable output cannot take is dropped, not an error.
  if (!written) return 0;
  position_ += count;
  return bytes;
}

void SndfileSink::MarkLengthUnknown(std::uint8_t* bytes, std::size_t count) const {
  for (const std::uint64_t field : {riffSizeAt, dataSizeAt}) {
    for (std::uint64_t i = field; i < field + 4; ++i) {
      if (i >= position_ && i - position_ < count) bytes[i - position_] = 0xFF;
    }
  }
}
