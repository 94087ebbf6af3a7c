// Rendered PCM frames written to an output as a WAVE, FLAC or Ogg Vorbis file
// through libsndfile, or as raw frames with no header. The frames come as
// the mixer makes them: 16-bit signed (native order) or 8-bit unsigned, left
// then right.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/common/outputfile.h"
#include "tools/modplay/sndfilesink.h"

enum class AudioContainer { wav, flac, ogg, raw };

struct AudioFormat {
  AudioContainer container = AudioContainer::wav;
  unsigned rate = 44100;
  unsigned channels = 2;
  unsigned bits = 16;  // 16 or 8
  std::string title;   // FLAC and Ogg: the title tag (left out when empty)
};

// The RIFF and data sizes of a WAVE file holding dataBytes of frames; they
// saturate at the format's 32-bit limit rather than wrap.
struct WaveSizes {
  std::uint32_t riff;
  std::uint32_t data;
};
WaveSizes SaturatedWaveSizes(std::uint64_t dataBytes);

// The file name extension of a container, without the dot ("wav", "flac", ...).
const char* AudioExtension(AudioContainer container);

class AudioWriter {
 public:
  AudioWriter() = default;
  ~AudioWriter();
  AudioWriter(const AudioWriter&) = delete;
  AudioWriter& operator=(const AudioWriter&) = delete;

  // False with a message when the encoder refuses the format.
  bool Open(toolio::OutputFile* out, const AudioFormat& format, std::string& error);
  bool Write(const std::uint8_t* data, std::size_t bytes);
  // Finishes the encoding and commits the output; false with a message if
  // anything failed on the way.
  bool Finish(std::string& error);

 private:
  toolio::OutputFile* out_ = nullptr;
  AudioFormat format_;
  std::unique_ptr<SndfileSink> sink_;
  SNDFILE* file_ = nullptr;
  std::vector<short> samples_;
  std::uint64_t dataBytes_ = 0;
  bool failed_ = false;
};
