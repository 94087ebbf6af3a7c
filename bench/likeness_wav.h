// Reading a WAV file into left and right floats, for the likeness measure.
#pragma once

#include <string>
#include <vector>

namespace likeness {

struct Wave {
    int rate = 0;
    // Full scale 1.0. A mono file gives both sides the one channel; channels
    // past the second are left out.
    std::vector<float> left, right;
};

// PCM 8/16/24/32-bit or 32-bit float; false with a reason for anything else.
bool ReadWave(const std::string& path, Wave& wave, std::string& error);

}  // namespace likeness
