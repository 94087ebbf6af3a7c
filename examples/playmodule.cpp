// playmodule: the sound library from another program. Prints how long a module
// plays, or renders it once to a 16-bit stereo WAVE file at 44100 Hz.
//
//   playmodule SONG.s3m            # duration in seconds
//   playmodule SONG.s3m OUT.wav    # the whole song as a WAVE file

#include <cstdint>
#include <cstdio>
#include <vector>

#include "sound/errors.h"
#include "sound/gmprender.h"
#include "sound/module.h"

namespace {

void Put16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// The canonical 44-byte header of 16-bit stereo PCM holding dataBytes.
std::vector<std::uint8_t> WaveHeader(std::uint32_t dataBytes, unsigned rate) {
  std::vector<std::uint8_t> h;
  const auto tag = [&h](const char* four) { h.insert(h.end(), four, four + 4); };
  tag("RIFF");
  Put32(h, 36 + dataBytes);
  tag("WAVE");
  tag("fmt ");
  Put32(h, 16);
  Put16(h, 1);  // PCM
  Put16(h, 2);  // channels
  Put32(h, rate);
  Put32(h, rate * 4);  // bytes a second
  Put16(h, 4);         // bytes a frame
  Put16(h, 16);        // bits a sample
  tag("data");
  Put32(h, dataBytes);
  return h;
}

bool Collect(const std::uint8_t* data, std::size_t bytes, double, void* user) {
  auto* pcm = static_cast<std::vector<std::uint8_t>*>(user);
  pcm->insert(pcm->end(), data, data + bytes);
  return true;
}

int PrintDuration(const char* file) {
  Module* module = nullptr;
  if (const int e = gmpLoadAnyModule(file, nullptr, 0, &module); e != errOK) {
    std::fprintf(stderr, "playmodule: %s: %s\n", file, SoundErrorMessage(e));
    return 1;
  }
  double seconds = 0.0;
  const int e = gmpSongDuration(module, &seconds);
  ModuleFree(module, nullptr);
  if (e != errOK) {
    std::fprintf(stderr, "playmodule: %s: %s\n", file, SoundErrorMessage(e));
    return 1;
  }
  std::printf("%s: %.3f s\n", file, seconds);
  return 0;
}

int Render(const char* file, const char* wave) {
  RenderSettings settings;  // 44100 Hz, stereo, 16-bit
  std::vector<std::uint8_t> pcm;
  double seconds = 0.0;
  if (const int e = gmpRenderModule(file, settings, Collect, &pcm, &seconds); e != errOK) {
    std::fprintf(stderr, "playmodule: %s: %s\n", file, SoundErrorMessage(e));
    return 1;
  }
  const std::vector<std::uint8_t> header = WaveHeader(static_cast<std::uint32_t>(pcm.size()), settings.rate);
  std::FILE* out = std::fopen(wave, "wb");
  const bool written = out != nullptr && std::fwrite(header.data(), 1, header.size(), out) == header.size() &&
                       std::fwrite(pcm.data(), 1, pcm.size(), out) == pcm.size();
  if (out == nullptr || std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "playmodule: cannot write %s\n", wave);
    return 1;
  }
  std::printf("%s: %.3f s into %s\n", file, seconds, wave);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2) return PrintDuration(argv[1]);
  if (argc == 3) return Render(argv[1], argv[2]);
  std::fprintf(stderr, "usage: playmodule SONG [OUT.wav]\n");
  return 2;
}
