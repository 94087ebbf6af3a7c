// The wide vector path of the YUV conversion, for processors with AVX2 (chosen
// at run time): thirty-two pixels of two rows at a time, with the gamma tables
// looked up by byte shuffles in each half of the register. It gives exactly the
// scalar path's bytes.
#pragma once

#include <cstdint>

namespace yuvavx2 {

bool Available();

// Converts the leading whole groups of 32 columns of two picture rows; returns
// how many columns it did (a multiple of 32). five and six are the display's
// gamma tables; blue and red receive one value per 2 x 2 block.
int ConvertRowPair(const std::uint16_t* top, const std::uint16_t* bottom, int width, const std::uint8_t (&five)[32],
                   const std::uint8_t (&six)[64], std::uint8_t* lumaTop, std::uint8_t* lumaBottom, std::uint8_t* blue,
                   std::uint8_t* red);

}  // namespace yuvavx2
