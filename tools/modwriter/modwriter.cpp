#include "tools/modwriter/modwriter.h"

#include <algorithm>

#include "tools/bytewriter/bytewriter.h"

namespace modwriter {

using bytewriter::PutText;

namespace {
void PutBE16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}
}  // namespace

Cell& Song::At(int pattern, int row, int channel) {
  if (patterns.size() <= static_cast<std::size_t>(pattern)) {
    patterns.resize(pattern + 1, std::vector<Cell>(64 * channels));
  }
  return patterns[pattern][row * channels + channel];
}

std::vector<std::uint8_t> Song::Build() const {
  std::vector<std::uint8_t> out;
  PutText(out, name, 20);
  for (const Sample& s : samples) {
    PutText(out, s.name, 22);
    PutBE16(out, static_cast<std::uint16_t>(s.data.size() / 2));
    out.push_back(s.fineTune);
    out.push_back(s.volume);
    PutBE16(out, s.loopStartWords);
    PutBE16(out, s.loopLengthWords);
  }
  out.push_back(songLength);
  out.push_back(restart);
  out.insert(out.end(), orders.begin(), orders.end());
  PutText(out, signature, 4);
  const int count = *std::max_element(orders.begin(), orders.end()) + 1;
  for (int p = 0; p < count; ++p) {
    for (int i = 0; i < 64 * channels; ++i) {
      Cell c;
      if (static_cast<std::size_t>(p) < patterns.size() &&
          static_cast<std::size_t>(i) < patterns[p].size()) {
        c = patterns[p][i];
      }
      out.push_back(static_cast<std::uint8_t>((c.instrument & 0xF0) | ((c.period >> 8) & 0x0F)));
      out.push_back(static_cast<std::uint8_t>(c.period & 0xFF));
      out.push_back(static_cast<std::uint8_t>(((c.instrument & 0x0F) << 4) | (c.effect & 0x0F)));
      out.push_back(c.param);
    }
  }
  for (const Sample& s : samples) {
    for (std::int8_t v : s.data) out.push_back(static_cast<std::uint8_t>(v));
  }
  return out;
}

}  // namespace modwriter
