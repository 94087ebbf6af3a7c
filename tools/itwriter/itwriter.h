// Builds Impulse Tracker (IT) files in memory, with plain or compressed
// samples: used by the reader tests and the fuzzers' seeds.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace itwriter {

struct Sample {
  std::string name;
  bool present = true;            // false: offset 0 in the table
  std::uint8_t flags = 0x01;      // 1 data, 2 16-bit, 8 compressed, 0x10 loop, ...
  std::uint8_t globalVolume = 64;
  std::uint8_t volume = 64;
  std::uint8_t convert = 0x01;    // bit 0: signed data
  std::uint8_t defaultPan = 32;   // bit 7: use it
  std::vector<std::uint8_t> bytes;            // data as stored
  std::optional<std::uint32_t> length;        // in samples; default from bytes
  std::uint32_t loopBegin = 0, loopEnd = 0;
  std::uint32_t c5Speed = 8363;
  std::uint32_t susBegin = 0, susEnd = 0;
  std::uint8_t vibSpeed = 0, vibDepth = 0, vibRate = 0, vibType = 0;
};

struct Envelope {
  std::uint8_t flags = 0;  // 1 on, 2 loop, 4 sustain loop
  std::vector<std::pair<std::int8_t, std::uint16_t>> nodes;  // value, tick
  std::optional<std::uint8_t> countOverride;
  std::uint8_t loopBegin = 0, loopEnd = 0, susBegin = 0, susEnd = 0;
};

struct Instrument {
  std::string name;
  bool present = true;
  std::uint8_t nna = 0, dct = 0, dca = 0;
  std::uint16_t fadeOut = 0;
  std::uint8_t pps = 0, ppc = 60, gbv = 128, dfp = 0x80 | 32, rv = 0, rp = 0;
  // 120 pairs of (note, 1-based sample); default: every note plays itself
  // with sample 1.
  std::array<std::pair<std::uint8_t, std::uint8_t>, 120> noteMap;
  Envelope volume, panning, pitch;
  // Old layout (compatible version below 0x200).
  std::uint8_t oldFlags = 0, oldLoopBegin = 0, oldLoopEnd = 0, oldSusBegin = 0, oldSusEnd = 0;
  std::vector<std::pair<std::uint8_t, std::uint8_t>> oldNodes;  // tick, value

  Instrument();
};

// Packs pattern rows the way IT does, with an explicit mask per entry.
class PatternWriter {
public:
  // channel is 0-based; the fields named by the mask's low bits follow.
  PatternWriter& Entry(unsigned channel, std::uint8_t mask, std::uint8_t note = 0,
                       std::uint8_t instrument = 0, std::uint8_t volume = 0,
                       std::uint8_t command = 0, std::uint8_t param = 0);
  // An entry that reuses the channel's previous mask (no mask byte).
  PatternWriter& Repeat(unsigned channel, std::uint8_t note = 0, std::uint8_t instrument = 0,
                        std::uint8_t volume = 0, std::uint8_t command = 0,
                        std::uint8_t param = 0);
  PatternWriter& EndRow();
  std::vector<std::uint8_t> bytes;

private:
  std::uint8_t masks_[64] = {};
  void Fields(std::uint8_t mask, std::uint8_t note, std::uint8_t instrument,
              std::uint8_t volume, std::uint8_t command, std::uint8_t param);
};

struct Pattern {
  bool present = true;
  std::uint16_t rows = 64;
  std::vector<std::uint8_t> packed;
};

struct Song {
  std::string name = "it song";
  std::vector<std::uint8_t> orders = {0, 255};
  std::uint16_t cmwt = 0x0214;
  std::uint16_t flags = 0x01 | 0x04 | 0x08;  // stereo, instruments, linear
  std::uint8_t speed = 6, tempo = 125;
  std::uint8_t globalVolume = 128;  // 0..128
  std::uint8_t mixingVolume = 48;   // 0..128
  std::array<std::uint8_t, 64> panning;  // default: 32 for 0..3, 160 beyond
  std::array<std::uint8_t, 64> channelVolumes;  // default: 64
  std::vector<Instrument> instruments;
  std::vector<Sample> samples;
  std::vector<Pattern> patterns;

  Song();
  std::vector<std::uint8_t> Build() const;
};

}  // namespace itwriter
