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

namespace {
void PutCell(std::vector<std::uint8_t>& out, const Cell& c) {
  out.push_back(static_cast<std::uint8_t>((c.instrument & 0xF0) | ((c.period >> 8) & 0x0F)));
  out.push_back(static_cast<std::uint8_t>(c.period & 0xFF));
  out.push_back(static_cast<std::uint8_t>(((c.instrument & 0x0F) << 4) | (c.effect & 0x0F)));
  out.push_back(c.param);
}
}  // namespace

std::vector<std::uint8_t> Song::Build() const {
  std::vector<std::uint8_t> out;
  PutText(out, name, 20);
  for (int i = 0; i < sampleCount; ++i) {
    const Sample& s = samples[i];
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
  if (sampleCount == 31) PutText(out, signature, 4);
  const bool split = sampleCount == 31 && signature == "FLT8";
  const int highest = *std::max_element(orders.begin(), orders.end());
  const int count = (split ? highest / 2 : highest) + 1;
  for (int p = 0; p < count; ++p) {
    std::vector<Cell> cells(64 * channels);
    if (static_cast<std::size_t>(p) < patterns.size()) {
      std::copy_n(patterns[p].begin(), std::min(patterns[p].size(), cells.size()), cells.begin());
    }
    if (!split) {
      for (const Cell& c : cells) PutCell(out, c);
      continue;
    }
    for (int half = 0; half < 2; ++half) {
      for (int row = 0; row < 64; ++row) {
        for (int ch = 0; ch < 4; ++ch) PutCell(out, cells[row * channels + half * 4 + ch]);
      }
    }
  }
  for (int i = 0; i < sampleCount; ++i) {
    for (std::int8_t v : samples[i].data) out.push_back(static_cast<std::uint8_t>(v));
  }
  return out;
}

}  // namespace modwriter
