// Compresses sample data the way IT 2.14 and 2.15 store it, for test files:
// each value goes at the narrowest bit width that holds it, so the widths
// change up and down as the data does.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/itwriter/itwriter.h"

namespace itwriter {

// The blocks (16-bit byte count, then the bits) for signed samples;
// doubleDelta selects the 2.15 form.
std::vector<std::uint8_t> Compress8(const std::vector<std::int8_t>& samples, bool doubleDelta);
std::vector<std::uint8_t> Compress16(const std::vector<std::int16_t>& samples, bool doubleDelta);

// Makes s a compressed sample holding the values: flags, conversion byte,
// stored bytes and length.
void SetCompressed8(Sample& s, const std::vector<std::int8_t>& samples, bool doubleDelta);
void SetCompressed16(Sample& s, const std::vector<std::int16_t>& samples, bool doubleDelta);

}  // namespace itwriter
