#include "tools/democapture/png_sink.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/glide/glide_output.h"
#include "tools/democapture/output_file.h"

namespace {

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

class PngSink final : public CaptureSink {
public:
  PngSink(const SinkSettings& settings, std::string framesDir, std::string partialDir)
      : settings_(settings), framesDir_(std::move(framesDir)), partialDir_(std::move(partialDir)) {}
  ~PngSink() override { Discard(); }

  std::string Write(const CapturedFrame& frame) override {
    GlideConvertFrame565(frame.pixels.data(), frame.width, frame.width, frame.height, frame.gamma, rgb_);
    char name[64];
    std::snprintf(name, sizeof name, "/frame_%06lld.png", static_cast<long long>(frame.number));
    if (!GlideWritePng((partialDir_ + name).c_str(), rgb_.data(), frame.width, frame.height)) {
      return "cannot write " + framesDir_ + name;
    }
    pcm_.insert(pcm_.end(), frame.sound.begin(), frame.sound.end());
    return "";
  }

  std::string Finish() override {
    if (settings_.sound.rate > 0) {
      const std::string wav = StemOf(settings_.output) + ".wav";
      const std::string partialWav = PartialName(wav);
      if (!WriteWav(partialWav, pcm_, settings_.sound) || std::rename(partialWav.c_str(), wav.c_str()) != 0) {
        std::remove(partialWav.c_str());
        return "cannot write " + wav;
      }
    }
    // An empty folder of the same name, left from before, is replaced.
    if (std::rename(partialDir_.c_str(), framesDir_.c_str()) != 0) {
      return "cannot put the frames in " + framesDir_ + ": " + std::strerror(errno);
    }
    done_ = true;
    return "";
  }

  void Discard() override {
    if (done_) return;
    std::error_code ignored;
    std::filesystem::remove_all(partialDir_, ignored);
    done_ = true;
  }

private:
  SinkSettings settings_;
  std::string framesDir_, partialDir_;
  std::vector<std::uint8_t> rgb_;
  std::vector<std::uint8_t> pcm_;
  bool done_ = false;
};

}  // namespace

bool WriteWav(const std::string& path, const std::vector<std::uint8_t>& pcm, const SoundFormat& format) {
  const std::uint32_t blockAlign = static_cast<std::uint32_t>(format.FrameBytes());
  std::vector<std::uint8_t> header;
  header.insert(header.end(), {'R', 'I', 'F', 'F'});
  PutLe(header, static_cast<std::uint32_t>(36 + pcm.size()), 4);
  header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(header, 16, 4);
  PutLe(header, 1, 2);  // PCM
  PutLe(header, static_cast<std::uint32_t>(format.channels), 2);
  PutLe(header, static_cast<std::uint32_t>(format.rate), 4);
  PutLe(header, static_cast<std::uint32_t>(format.rate) * blockAlign, 4);
  PutLe(header, blockAlign, 2);
  PutLe(header, static_cast<std::uint32_t>(format.bits), 2);
  header.insert(header.end(), {'d', 'a', 't', 'a'});
  PutLe(header, static_cast<std::uint32_t>(pcm.size()), 4);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
                  (pcm.empty() || std::fwrite(pcm.data(), 1, pcm.size(), file) == pcm.size());
  return std::fclose(file) == 0 && ok;
}

std::unique_ptr<CaptureSink> CreatePngSink(const SinkSettings& settings, std::string& error) {
  const std::string framesDir = StemOf(settings.output) + "_frames";
  std::error_code ec;
  if (std::filesystem::exists(framesDir, ec) && !std::filesystem::is_empty(framesDir, ec)) {
    // Renaming over it would fail at the end; deleting it could lose the user's files.
    error = framesDir + " already exists and is not empty; remove it or choose another name";
    return nullptr;
  }
  const std::string partialDir = PartialName(framesDir);
  if (mkdir(partialDir.c_str(), 0755) != 0) {
    error = "cannot create " + partialDir + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<PngSink>(settings, framesDir, partialDir);
}
