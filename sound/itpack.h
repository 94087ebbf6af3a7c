// Decoder for IT compressed sample data (the 2.14 form and the 2.15 form with
// a second integration). The data is a run of blocks, each a 16-bit
// little-endian byte count and that many bytes of a bit stream read from the
// low bit up. A block gives up to 0x8000 8-bit or 0x4000 16-bit samples;
// every block starts again at the widest bit width with cleared sums.
#pragma once

#include <cstddef>
#include <cstdint>

enum class ItUnpackResult {
  ok,
  pastInput,   // a block's byte count, or the block count itself, runs past the input
  shortBlock,  // a block's bits end before its samples do
  badWidth,    // a width change names a width the sample size does not have
};

struct ItUnpackFormat {
  bool sixteenBit = false;   // 16-bit samples (else 8-bit)
  bool doubleDelta = false;  // the 2.15 form: values are integrated twice
};

// Samples each block gives, and the widest bit width, by sample size.
constexpr std::uint32_t itPackBlockSamples8 = 0x8000;
constexpr std::uint32_t itPackBlockSamples16 = 0x4000;
constexpr unsigned itPackTopWidth8 = 9;
constexpr unsigned itPackTopWidth16 = 17;

// Decodes count samples from input[0, inputSize) into output: count bytes for
// 8-bit samples, count little-endian 16-bit words for 16-bit ones, signed.
// Nothing is read outside the input nor written past the count. consumed
// (when given) receives the bytes the blocks took, also after an error.
ItUnpackResult ItUnpack(const std::uint8_t* input, std::size_t inputSize, std::uint32_t count,
                        ItUnpackFormat format, std::uint8_t* output,
                        std::size_t* consumed = nullptr);

// The fewest input bytes count samples can take: one bit a sample and a count
// per block. A stored sample needing more than its file holds can be refused
// before anything is allocated for it.
std::uint64_t ItPackMinimumInput(std::uint32_t count, bool sixteenBit);

// The most input bytes count samples can take: every block at its largest.
std::uint64_t ItPackMaximumInput(std::uint32_t count, bool sixteenBit);
