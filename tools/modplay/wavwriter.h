// A RIFF WAVE file of PCM frames written block by block; the sizes in the
// header are filled in when it is finished.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class WavWriter {
 public:
  WavWriter() = default;
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;
  ~WavWriter();

  bool Open(const std::string& path, unsigned rate, unsigned channels, unsigned bits);
  bool Write(const std::uint8_t* data, std::size_t bytes);
  // Writes the final sizes and closes; false if anything failed on the way.
  bool Finish();

 private:
  std::FILE* file = nullptr;
  std::uint64_t dataBytes = 0;
  bool failed = false;
};
