// Reading a WAV file into a mono mix of floats, for the likeness measure.
#pragma once

#include <string>
#include <vector>

namespace likeness {

struct Wave {
    int rate = 0;
    std::vector<float> mono;  // channels averaged, full scale 1.0
};

// PCM 8/16/24/32-bit or 32-bit float; false with a reason for anything else.
bool ReadWave(const std::string& path, Wave& wave, std::string& error);

}  // namespace likeness
