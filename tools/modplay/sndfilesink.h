// libsndfile's virtual I/O over a tool's output file, so that encoded audio
// goes through the same safe output (temporary name, signal clean-up, write
// errors) as everything else. On an output that cannot seek (a pipe, a
// terminal, standard output) bytes the encoder goes back to rewrite (final
// sizes, stream summaries) are dropped: what was written first stands.
#pragma once

#include <sndfile.h>

#include <cstdint>

#include "tools/common/outputfile.h"

class SndfileSink {
 public:
  // unknownWaveLength: on an output that cannot seek, the RIFF and data sizes
  // of the WAVE header written first become 0xFFFFFFFF, "length unknown", as
  // streaming writers do, since they cannot be corrected later.
  SndfileSink(toolio::OutputFile* out, bool unknownWaveLength);

  // The callbacks; `user` is the sink.
  static SF_VIRTUAL_IO Callbacks();

  sf_count_t Length() const { return static_cast<sf_count_t>(end_); }
  sf_count_t Seek(sf_count_t offset, int whence);
  sf_count_t Write(const void* data, sf_count_t bytes);
  sf_count_t Tell() const { return static_cast<sf_count_t>(position_); }

 private:
  void MarkLengthUnknown(std::uint8_t* bytes, std::size_t count) const;

  toolio::OutputFile* out_;
  bool unknownWaveLength_;
  std::uint64_t position_ = 0;
  std::uint64_t end_ = 0;
};
