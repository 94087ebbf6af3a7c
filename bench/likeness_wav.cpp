// WAV reading for the likeness measure: walks the RIFF chunks with their sizes
// checked against what is left, and keeps the first two channels.
#include "likeness_wav.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace likeness {
namespace {

std::uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

struct Format {
    int tag = 0, channels = 0, rate = 0, bits = 0;
};

float SampleAt(const unsigned char* p, const Format& f)
{
    if (f.tag == 3 && f.bits == 32) {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    switch (f.bits) {
    case 8: return (p[0] - 128) / 128.0f;
    case 16: return static_cast<std::int16_t>(Le16(p)) / 32768.0f;
    case 24: {
        const std::uint32_t top = std::uint32_t(p[0]) << 8 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 24;
        return static_cast<float>(static_cast<std::int32_t>(top)) / 2147483648.0f;
    }
    default: return static_cast<float>(static_cast<std::int32_t>(Le32(p))) / 2147483648.0f;
    }
}

bool Decode(const unsigned char* data, std::size_t size, const Format& f, Wave& wave, std::string& error)
{
    const bool pcm = f.tag == 1 && (f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32);
    const bool flt = f.tag == 3 && f.bits == 32;
    if (!(pcm || flt) || f.channels < 1 || f.rate < 1) {
        error = "not PCM or 32-bit float";
        return false;
    }
    const std::size_t frameBytes = static_cast<std::size_t>(f.channels) * (f.bits / 8);
    const std::size_t frames = size / frameBytes;
    wave.rate = f.rate;
    wave.left.resize(frames);
    wave.right.resize(frames);
    const std::size_t rightOffset = f.channels > 1 ? static_cast<std::size_t>(f.bits / 8) : 0;
    for (std::size_t i = 0; i < frames; ++i) {
        wave.left[i] = SampleAt(data + i * frameBytes, f);
        wave.right[i] = SampleAt(data + i * frameBytes + rightOffset, f);
    }
    return true;
}

}  // namespace

bool ReadWave(const std::string& path, Wave& wave, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) { error = "cannot open"; return false; }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        error = "not a WAV file";
        return false;
    }
    Format format;
    bool haveFormat = false;
    std::size_t pos = 12;
    while (bytes.size() - pos >= 8) {
        const unsigned char* head = bytes.data() + pos;
        std::size_t length = Le32(head + 4);
        const std::size_t left = bytes.size() - pos - 8;
        // Streams written to a pipe leave the data size at 0 or 0xffffffff: take what is there.
        if (length > left || (std::memcmp(head, "data", 4) == 0 && length == 0)) length = left;
        if (std::memcmp(head, "fmt ", 4) == 0 && length >= 16) {
            format = {Le16(head + 8), Le16(head + 10), static_cast<int>(Le32(head + 12)), Le16(head + 22)};
            if (format.tag == 0xfffe && length >= 26) format.tag = Le16(head + 32);
            haveFormat = true;
        } else if (std::memcmp(head, "data", 4) == 0) {
            if (!haveFormat) { error = "data before format"; return false; }
            return Decode(head + 8, length, format, wave, error);
        }
        pos += 8 + length + (length & 1);
        if (pos > bytes.size()) break;
    }
    error = "no sample data";
    return false;
}

}  // namespace likeness
