// How a MOD file is laid out: the channel signatures at byte 1080 that the
// trackers of the Amiga and Atari wrote, and the checks that take a file
// without one as a 15-sample module.
#include <array>
#include <cstring>

#include "sound/loadmod.h"

namespace {

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

std::uint16_t ReadBE16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

struct FixedSignature {
  const char* text;
  int channels;
};

// Signatures that name their channel count by themselves.
constexpr std::array<FixedSignature, 10> fixedSignatures = {{
    {"M.K.", 4},
    {"M!K!", 4},
    {"M&K!", 4},
    {"FLT4", 4},
    {"FEST", 4},
    {"FLT8", 8},
    {"OCTA", 8},
    {"CD61", 6},
    {"CD81", 8},
    {"FA04", 4},
}};

// Signatures whose digits give the channel count, or 0.
int CountedChannels(const std::uint8_t* s) {
  if (std::memcmp(s + 1, "CHN", 3) == 0 && IsDigit(s[0])) return s[0] - '0';
  if (std::memcmp(s + 2, "CH", 2) == 0 && IsDigit(s[0]) && IsDigit(s[1])) {
    return (s[0] - '0') * 10 + (s[1] - '0');
  }
  if (std::memcmp(s, "TDZ", 3) == 0 && IsDigit(s[3])) return s[3] - '0';
  // Digital Tracker writes FA04, FA06 and FA08.
  if (std::memcmp(s, "FA0", 3) == 0 && (s[3] == '6' || s[3] == '8')) return s[3] - '0';
  return 0;
}

constexpr unsigned oldSampleCount = 15;
constexpr std::uint32_t oldHeaderSize = 20 + oldSampleCount * 30 + 2 + 128;
static_assert(oldHeaderSize == 600);
// The largest sample the 16-bit word count can state.
constexpr unsigned maxSampleWords = 0xFFFF;

// Names of old trackers hold text: zero padding or printable characters.
bool IsTextField(const std::uint8_t* p, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (p[i] != 0 && (p[i] < 0x20 || p[i] > 0x7E)) return false;
  }
  return true;
}

// A 15-sample header's sample records; adds up the bytes of sample data and
// the bytes of the last sample that has data.
bool SaneOldSamples(const std::uint8_t* start, std::uint64_t* total, std::uint64_t* last) {
  for (unsigned s = 0; s < oldSampleCount; ++s) {
    const std::uint8_t* h = start + 20 + s * 30;
    const unsigned words = ReadBE16(h + 22);
    if (!IsTextField(h, 22) || h[24] > 15 || h[25] > 64 || words > maxSampleWords) return false;
    // A loop may not start beyond twice the sample (some trackers counted
    // loop starts in bytes) nor end far past it.
    const unsigned loopStart = ReadBE16(h + 26);
    const unsigned loopLength = ReadBE16(h + 28);
    if (words > 0 && (loopStart > words * 2 || loopLength > words * 2)) return false;
    if (words > 0) *last = words * 2u;
    *total += words * 2u;
  }
  return *total > 0;
}

// The checks that keep random data and other files from passing as a
// 15-sample module, which carries no signature of its own.
bool IsOldModule(const std::uint8_t* start, std::size_t size, std::uint64_t fileLength) {
  if (size < oldHeaderSize || !IsTextField(start, 20)) return false;
  std::uint64_t sampleBytes = 0;
  std::uint64_t lastSample = 0;
  if (!SaneOldSamples(start, &sampleBytes, &lastSample)) return false;
  const unsigned songLength = start[470];
  if (songLength == 0 || songLength > 128) return false;
  unsigned highest = 0;
  for (unsigned i = 0; i < 128; ++i) {
    const unsigned order = start[472 + i];
    if (order >= 128) return false;
    if (order > highest) highest = order;
  }
  // Patterns and every sample but the last must be whole; the last one may
  // be cut short by the end of the file.
  const std::uint64_t patternsEnd = oldHeaderSize + (highest + 1ull) * 1024;
  return fileLength >= patternsEnd + sampleBytes - lastSample;
}

}  // namespace

int gmpModChannelsFromSignature(const std::uint8_t* s) {
  int channels = 0;
  for (const FixedSignature& fixed : fixedSignatures) {
    if (std::memcmp(s, fixed.text, 4) == 0) channels = fixed.channels;
  }
  if (channels == 0) channels = CountedChannels(s);
  // The packed form has five bits of channel number.
  if (channels < 1 || channels > 32) return 0;
  return channels;
}

bool gmpModLayoutOf(const std::uint8_t* start, std::size_t size, std::uint64_t fileLength,
                    ModLayout* layout) {
  if (size >= modLayoutProbeBytes) {
    const std::uint8_t* signature = start + 1080;
    if (const int channels = gmpModChannelsFromSignature(signature); channels > 0) {
      *layout = ModLayout{};
      layout->channels = static_cast<unsigned>(channels);
      layout->splitPatterns = std::memcmp(signature, "FLT8", 4) == 0;
      return true;
    }
  }
  if (!IsOldModule(start, size, fileLength)) return false;
  *layout = ModLayout{oldSampleCount, 4, oldHeaderSize, false};
  return true;
}
