// WAVE and raw PCM output for modplay.
#include "tools/modplay/wavwriter.h"

#include <algorithm>

namespace {

void Put16(std::uint8_t* p, unsigned v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

// Largest data size whose RIFF size (data + 36 + pad) still fits 32 bits.
constexpr std::uint64_t maxDataBytes = 0xFFFFFFDAu;

}  // namespace

std::array<std::uint8_t, 44> WavHeader(unsigned rate, unsigned channels, unsigned bits, std::uint64_t dataBytes) {
  std::array<std::uint8_t, 44> h{};
  const unsigned align = channels * bits / 8;
  const auto data = static_cast<std::uint32_t>(std::min(dataBytes, maxDataBytes));
  std::copy_n("RIFF", 4, h.begin());
  Put32(&h[4], data + 36 + (data & 1));
  std::copy_n("WAVEfmt ", 8, h.begin() + 8);
  Put32(&h[16], 16);
  Put16(&h[20], 1);  // PCM
  Put16(&h[22], channels);
  Put32(&h[24], rate);
  Put32(&h[28], rate * align);
  Put16(&h[32], align);
  Put16(&h[34], bits);
  std::copy_n("data", 4, h.begin() + 36);
  Put32(&h[40], data);
  return h;
}

bool WavWriter::Open(toolio::OutputFile* out, PcmContainer container, unsigned rate, unsigned channels,
                     unsigned bits) {
  out_ = out;
  container_ = container;
  rate_ = rate;
  channels_ = channels;
  bits_ = bits;
  dataBytes_ = 0;
  if (container_ == PcmContainer::raw) return true;
  std::array<std::uint8_t, 44> header = WavHeader(rate, channels, bits, 0);
  if (!out_->Seekable()) {
    Put32(&header[4], 0xFFFFFFFFu);
    Put32(&header[40], 0xFFFFFFFFu);
  }
  return out_->Write(header.data(), header.size());
}

bool WavWriter::Write(const std::uint8_t* data, std::size_t bytes) {
  dataBytes_ += bytes;
  return out_ != nullptr && out_->Write(data, bytes);
}

bool WavWriter::Finish(std::string& error) {
  if (container_ == PcmContainer::wav) {
    if (dataBytes_ & 1) {
      const std::uint8_t pad = 0;
      out_->Write(&pad, 1);
    }
    if (out_->Seekable()) {
      const std::array<std::uint8_t, 44> header = WavHeader(rate_, channels_, bits_, dataBytes_);
      out_->WriteAt(0, header.data(), header.size());
    }
  }
  return out_->Commit(error);
}
