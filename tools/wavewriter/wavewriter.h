// Builds RIFF WAVE files in memory from their chunks: used by the WAVE reader
// tests and the fuzzers' seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wavewriter {

struct Chunk {
  std::string id;  // four characters
  std::vector<std::uint8_t> body;
};

// The body of a "fmt " chunk of `size` bytes (at least 14; fields that do not
// fit are left out, extra bytes are zero).
std::vector<std::uint8_t> FormatBody(std::uint16_t tag, std::uint16_t channels,
                                     std::uint32_t rate, std::uint16_t bits,
                                     std::size_t size = 16);

// "RIFF", size, "WAVE" and the chunks, each padded to an even length.
std::vector<std::uint8_t> BuildWave(const std::vector<Chunk>& chunks,
                                    const char* riff = "RIFF", const char* wave = "WAVE");

}  // namespace wavewriter
