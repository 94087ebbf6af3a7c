// PCM frames written block by block to an output: a RIFF WAVE file whose
// sizes are filled in when it is finished, or raw frames with no header.
// On an output that cannot seek (a pipe, a terminal) the WAVE sizes are
// written as 0xFFFFFFFF, "length unknown", as streaming writers do.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "tools/common/outputfile.h"

enum class PcmContainer { wav, raw };

// The 44-byte header of a PCM WAVE file holding dataBytes of frames
// (sizes saturate at the 32-bit limit of the format).
std::array<std::uint8_t, 44> WavHeader(unsigned rate, unsigned channels, unsigned bits, std::uint64_t dataBytes);

class WavWriter {
 public:
  WavWriter() = default;
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  bool Open(toolio::OutputFile* out, PcmContainer container, unsigned rate, unsigned channels, unsigned bits);
  bool Write(const std::uint8_t* data, std::size_t bytes);
  // Writes the final sizes (and a pad byte after odd data) and commits the
  // output; false with a message if anything failed on the way.
  bool Finish(std::string& error);

 private:
  toolio::OutputFile* out_ = nullptr;
  PcmContainer container_ = PcmContainer::wav;
  unsigned rate_ = 0, channels_ = 0, bits_ = 0;
  std::uint64_t dataBytes_ = 0;
};
