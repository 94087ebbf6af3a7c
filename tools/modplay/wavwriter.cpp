// WAVE file writer for modplay.
#include "tools/modplay/wavwriter.h"

#include <algorithm>
#include <array>

namespace {

void Put16(std::uint8_t* p, unsigned v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

}  // namespace

WavWriter::~WavWriter() {
  if (file != nullptr) {
    std::fclose(file);
  }
}

bool WavWriter::Open(const std::string& path, unsigned rate, unsigned channels, unsigned bits) {
  file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    return false;
  }
  std::array<std::uint8_t, 44> h{};
  const unsigned align = channels * bits / 8;
  std::copy_n("RIFF", 4, h.begin());
  std::copy_n("WAVEfmt ", 8, h.begin() + 8);
  Put32(&h[16], 16);
  Put16(&h[20], 1);  // PCM
  Put16(&h[22], channels);
  Put32(&h[24], rate);
  Put32(&h[28], rate * align);
  Put16(&h[32], align);
  Put16(&h[34], bits);
  std::copy_n("data", 4, h.begin() + 36);
  failed = std::fwrite(h.data(), 1, h.size(), file) != h.size();
  return !failed;
}

bool WavWriter::Write(const std::uint8_t* data, std::size_t bytes) {
  if (file == nullptr || failed) {
    return false;
  }
  failed = std::fwrite(data, 1, bytes, file) != bytes;
  dataBytes += bytes;
  return !failed;
}

bool WavWriter::Finish() {
  if (file == nullptr) {
    return false;
  }
  // RIFF sizes are 32-bit; an hour of 44.1 kHz stereo 16-bit is ~635 MB.
  const auto data = static_cast<std::uint32_t>(std::min<std::uint64_t>(dataBytes, 0xFFFFFFDBu));
  std::uint8_t size[4];
  if (dataBytes & 1) {
    const std::uint8_t pad = 0;
    failed = failed || std::fwrite(&pad, 1, 1, file) != 1;
  }
  Put32(size, data + 36 + (dataBytes & 1));
  failed = failed || std::fseek(file, 4, SEEK_SET) != 0 || std::fwrite(size, 1, 4, file) != 4;
  Put32(size, data);
  failed = failed || std::fseek(file, 40, SEEK_SET) != 0 || std::fwrite(size, 1, 4, file) != 4;
  failed = (std::fclose(file) != 0) || failed;
  file = nullptr;
  return !failed;
}
