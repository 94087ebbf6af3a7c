#include "tools/modplay/audiowriter.h"

#include <algorithm>
#include <cstring>

namespace {

int SndfileFormat(const AudioFormat& f) {
  switch (f.container) {
    case AudioContainer::flac: return SF_FORMAT_FLAC | (f.bits == 8 ? SF_FORMAT_PCM_S8 : SF_FORMAT_PCM_16);
    case AudioContainer::ogg: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    // WAVE keeps 8-bit samples unsigned, as the format has them.
    default: return SF_FORMAT_WAV | (f.bits == 8 ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_16);
  }
}

// Largest data size whose RIFF size (data + 36 + pad) still fits 32 bits.
constexpr std::uint64_t maxDataBytes = 0xFFFFFFDAu;

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

WaveSizes SaturatedWaveSizes(std::uint64_t dataBytes) {
  const auto data = static_cast<std::uint32_t>(std::min(dataBytes, maxDataBytes));
  return {data + 36 + (data & 1), data};
}

const char* AudioExtension(AudioContainer container) {
  switch (container) {
    case AudioContainer::flac: return "flac";
    case AudioContainer::ogg: return "ogg";
    case AudioContainer::raw: return "raw";
    default: return "wav";
  }
}

AudioWriter::~AudioWriter() {
  if (file_ != nullptr) sf_close(file_);
}

bool AudioWriter::Open(toolio::OutputFile* out, const AudioFormat& format, std::string& error) {
  out_ = out;
  format_ = format;
  if (format.container == AudioContainer::raw) return true;
  sink_ = std::make_unique<SndfileSink>(out, format.container == AudioContainer::wav);
  SF_INFO info{};
  info.samplerate = static_cast<int>(format.rate);
  info.channels = static_cast<int>(format.channels);
  info.format = SndfileFormat(format);
  SF_VIRTUAL_IO io = SndfileSink::Callbacks();
  file_ = sf_open_virtual(&io, SFM_WRITE, &info, sink_.get());
  if (file_ == nullptr) {
    error = "cannot write " + out->Path() + ": " + sf_strerror(nullptr);
    return false;
  }
  // The WAVE header stays the plain 44 bytes: no tags there.
  if (format.container != AudioContainer::wav && !format.title.empty()) {
    sf_set_string(file_, SF_STR_TITLE, format.title.c_str());
  }
  return true;
}

bool AudioWriter::Write(const std::uint8_t* data, std::size_t bytes) {
  if (failed_ || out_ == nullptr) return false;
  dataBytes_ += bytes;
  if (format_.container == AudioContainer::raw) return !(failed_ = !out_->Write(data, bytes));
  if (format_.bits == 8) {
    samples_.resize(bytes);
    for (std::size_t i = 0; i < bytes; ++i) samples_[i] = static_cast<short>((data[i] - 128) * 256);
  } else {
    samples_.resize(bytes / 2);
    std::memcpy(samples_.data(), data, samples_.size() * sizeof(short));
  }
  const auto count = static_cast<sf_count_t>(samples_.size());
  failed_ = sf_write_short(file_, samples_.data(), count) != count;
  return !failed_;
}

bool AudioWriter::Finish(std::string& error) {
  std::string encoderError = failed_ && file_ != nullptr ? sf_strerror(file_) : "";
  if (file_ != nullptr) {
    if (const int closed = sf_close(file_); closed != 0 && encoderError.empty()) {
      encoderError = sf_error_number(closed);
    }
    file_ = nullptr;
  }
  // libsndfile's own sizes would wrap past 4 GB.
  if (format_.container == AudioContainer::wav && dataBytes_ > maxDataBytes && out_->Seekable()) {
    const WaveSizes sizes = SaturatedWaveSizes(dataBytes_);
    std::uint8_t field[4];
    PutLe32(field, sizes.riff);
    out_->WriteAt(4, field, 4);
    PutLe32(field, sizes.data);
    out_->WriteAt(40, field, 4);
  }
  // A failed write names its reason (a full device) through the output.
  if (!encoderError.empty()) {
    if (out_->Commit(error)) error = "cannot write " + out_->Path() + ": " + encoderError;
    return false;
  }
  return out_->Commit(error);
}
