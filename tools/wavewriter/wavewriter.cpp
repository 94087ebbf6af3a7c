#include "tools/wavewriter/wavewriter.h"

#include "tools/bytewriter/bytewriter.h"

namespace wavewriter {

using bytewriter::Put16;
using bytewriter::Put32;
using bytewriter::PutText;

std::vector<std::uint8_t> FormatBody(std::uint16_t tag, std::uint16_t channels,
                                     std::uint32_t rate, std::uint16_t bits, std::size_t size) {
  std::vector<std::uint8_t> body;
  Put16(body, tag);
  Put16(body, channels);
  Put32(body, rate);
  Put32(body, rate * channels * ((bits + 7u) / 8u));
  Put16(body, static_cast<std::uint16_t>(channels * ((bits + 7u) / 8u)));
  Put16(body, bits);
  body.resize(size, 0);
  return body;
}

std::vector<std::uint8_t> BuildWave(const std::vector<Chunk>& chunks, const char* riff,
                                    const char* wave) {
  std::vector<std::uint8_t> out;
  PutText(out, riff, 4);
  Put32(out, 0);
  PutText(out, wave, 4);
  for (const Chunk& c : chunks) {
    PutText(out, c.id, 4);
    Put32(out, static_cast<std::uint32_t>(c.body.size()));
    out.insert(out.end(), c.body.begin(), c.body.end());
    if (c.body.size() & 1) out.push_back(0);
  }
  const std::uint32_t riffSize = static_cast<std::uint32_t>(out.size() - 8);
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(riffSize >> (8 * i));
  return out;
}

}  // namespace wavewriter
