// Builds MOD files in memory: 31-sample files with a signature, 15-sample
// files without one, and the split patterns of "FLT8". Used by the reader
// tests and the fuzzers' seeds.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace modwriter {

struct Sample {
  std::string name;
  std::vector<std::int8_t> data;  // signed, as stored; an even number of bytes
  std::uint8_t fineTune = 0;
  std::uint8_t volume = 64;
  std::uint16_t loopStartWords = 0;
  std::uint16_t loopLengthWords = 1;
};

struct Cell {
  std::uint16_t period = 0;
  std::uint8_t instrument = 0;  // 1-based, 0 = none
  std::uint8_t effect = 0;
  std::uint8_t param = 0;
};

struct Song {
  std::string name = "mod song";
  std::string signature = "M.K.";  // four bytes at offset 1080
  int channels = 4;                // cells per row written
  int sampleCount = 31;            // 15: the old layout, no signature written
  std::uint8_t songLength = 1;
  std::uint8_t restart = 0x7F;
  std::array<std::uint8_t, 128> orders{};  // as stored ("FLT8": two per pattern)
  std::array<Sample, 31> samples{};        // the first sampleCount are written
  // Patterns written: the largest order + 1, each 64 rows of `channels` cells.
  // With the signature "FLT8" each is written as two 4-channel halves (all
  // rows of channels 0..3, then of 4..7) and counted by order / 2.
  std::vector<std::vector<Cell>> patterns;

  Cell& At(int pattern, int row, int channel);
  std::vector<std::uint8_t> Build() const;
};

}  // namespace modwriter
