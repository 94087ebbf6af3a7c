// Builds Extended Module (XM) files in memory: used by the reader tests and
// the fuzzers' seeds.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace xmwriter {

struct Sample {
  std::string name;
  std::vector<std::int16_t> values;  // 8-bit samples use -128..127
  bool sixteen = false;
  std::uint32_t loopStart = 0;       // bytes
  std::uint32_t loopLength = 0;      // bytes
  std::uint8_t loopBits = 0;         // 0 none, 1 forward, 2 ping-pong, 3 none
  std::uint8_t volume = 64;
  std::int8_t fineTune = 0;
  std::uint8_t panning = 128;
  std::int8_t relativeNote = 0;
  std::optional<std::uint32_t> lengthOverride;  // bytes written in the header
};

struct Envelope {
  std::vector<std::pair<std::uint16_t, std::uint16_t>> points;  // position, value
  std::optional<std::uint8_t> countOverride;
  std::uint8_t sustain = 0;
  std::uint8_t loopStart = 0;
  std::uint8_t loopEnd = 0;
  std::uint8_t type = 0;  // bit 0 on, 1 sustain, 2 loop
};

struct Instrument {
  std::string name;
  std::vector<Sample> samples;
  std::array<std::uint8_t, 96> noteMap{};
  Envelope volume;
  Envelope panning;
  std::uint8_t vibType = 0, vibSweep = 0, vibDepth = 0, vibRate = 0;
  std::uint16_t fadeOut = 0;
  std::uint32_t sampleHeaderSize = 40;
};

// One cell as stored: note 0 = none, 97 = key off; instrument 0 = none.
struct Cell {
  std::uint8_t note = 0, instrument = 0, volume = 0, effect = 0, param = 0;
};

struct Pattern {
  std::uint16_t rows = 64;
  std::vector<Cell> cells;                 // rows × channels, packed with masks
  std::optional<std::vector<std::uint8_t>> raw;  // packed data written as is
  std::uint32_t headerLength = 9;  // version 1.02 writes 8 for 9
};

struct Song {
  std::string name = "xm song";
  // 0x0104; 0x0102 and 0x0103 write the older layout: instruments and
  // sample headers first, then the patterns (1.02: row count less one in a
  // byte), then all sample data.
  std::uint16_t version = 0x0104;
  std::uint32_t headerSize = 276;
  std::uint16_t channels = 4;
  std::uint16_t restart = 0;
  std::uint16_t flags = 1;
  std::uint16_t speed = 6, tempo = 125;
  std::vector<std::uint8_t> orders = {0};
  std::optional<std::uint16_t> songLengthOverride;
  std::vector<Pattern> patterns;
  std::vector<Instrument> instruments;

  Cell& At(int pattern, int row, int channel);
  std::vector<std::uint8_t> Build() const;
};

// The packed bytes of cells in the mask form (empty fields left out; an empty
// cell is the single byte 0x80).
std::vector<std::uint8_t> Pack(const std::vector<Cell>& cells);

}  // namespace xmwriter
