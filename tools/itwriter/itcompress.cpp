#include "tools/itwriter/itcompress.h"

#include <algorithm>
#include <stdexcept>

namespace itwriter {

namespace {

// Collects bits from the low bit of each byte up.
class BitWriter {
public:
  void Put(std::uint32_t value, unsigned width) {
    for (unsigned i = 0; i < width; ++i) {
      if (held_ == 0) bytes.push_back(0);
      if ((value >> i) & 1u) bytes.back() = static_cast<std::uint8_t>(bytes.back() | (1u << held_));
      held_ = (held_ + 1) & 7u;
    }
  }
  std::vector<std::uint8_t> bytes;

private:
  unsigned held_ = 0;
};

struct Size {
  unsigned bits;         // sample size
  unsigned topWidth;     // the widest bit width
  unsigned codeBits;     // width code after a short-width escape
  int around;            // middle widths reserve top - around .. top + around - 1
  std::size_t blockSamples;
};

constexpr Size eight{8, 9, 3, 4, 0x8000};
constexpr Size sixteen{16, 17, 4, 8, 0x4000};

// Whether the difference can be stored at the width without looking like a
// width change.
bool Fits(const Size& size, int delta, unsigned width) {
  if (width == size.topWidth) return true;
  const int top = 1 << (width - 1);
  if (width <= 6) return delta >= -top + 1 && delta <= top - 1;
  return delta >= -top + size.around && delta <= top - size.around - 1;
}

void PutWidthChange(const Size& size, BitWriter& out, unsigned from, unsigned to) {
  const std::uint32_t code = to < from ? to - 1 : to - 2;
  const std::uint32_t top = 1u << (from - 1);
  if (from <= 6) {
    out.Put(top, from);
    out.Put(code, size.codeBits);
  } else if (from < size.topWidth) {
    out.Put(top - static_cast<std::uint32_t>(size.around) + code, from);
  } else {
    out.Put(top | (to - 1), from);
  }
}

// The signed difference a - b at the sample size.
int Wrapped(const Size& size, int a, int b) {
  const int span = 1 << size.bits;
  int d = (a - b) & (span - 1);
  if (d >= span / 2) d -= span;
  return d;
}

std::vector<std::uint8_t> Compress(const Size& size, const std::vector<int>& samples,
                                   bool doubleDelta) {
  std::vector<std::uint8_t> out;
  for (std::size_t first = 0; first < samples.size(); first += size.blockSamples) {
    BitWriter bits;
    unsigned width = size.topWidth;
    int sum = 0, sumOfSums = 0;
    const std::size_t end = std::min(samples.size(), first + size.blockSamples);
    for (std::size_t i = first; i < end; ++i) {
      const int newSum = doubleDelta ? Wrapped(size, samples[i], sumOfSums) : samples[i];
      const int delta = Wrapped(size, newSum, sum);
      unsigned needed = 1;
      while (!Fits(size, delta, needed)) ++needed;
      if (needed != width) {
        PutWidthChange(size, bits, width, needed);
        width = needed;
      }
      const unsigned valueBits = width == size.topWidth ? width - 1 : width;
      bits.Put(static_cast<std::uint32_t>(delta) & ((1u << valueBits) - 1u), width);
      sum = newSum;
      sumOfSums = Wrapped(size, sumOfSums + sum, 0);
    }
    if (bits.bytes.size() > 0xFFFF) throw std::length_error("compressed block over 64 KiB");
    out.push_back(static_cast<std::uint8_t>(bits.bytes.size()));
    out.push_back(static_cast<std::uint8_t>(bits.bytes.size() >> 8));
    out.insert(out.end(), bits.bytes.begin(), bits.bytes.end());
  }
  return out;
}

}  // namespace

std::vector<std::uint8_t> Compress8(const std::vector<std::int8_t>& samples, bool doubleDelta) {
  return Compress(eight, std::vector<int>(samples.begin(), samples.end()), doubleDelta);
}

std::vector<std::uint8_t> Compress16(const std::vector<std::int16_t>& samples,
                                     bool doubleDelta) {
  return Compress(sixteen, std::vector<int>(samples.begin(), samples.end()), doubleDelta);
}

void SetCompressed8(Sample& s, const std::vector<std::int8_t>& samples, bool doubleDelta) {
  s.flags = static_cast<std::uint8_t>((s.flags & ~0x02) | 0x01 | 0x08);
  s.convert = static_cast<std::uint8_t>(0x01 | (doubleDelta ? 0x04 : 0));
  s.bytes = Compress8(samples, doubleDelta);
  s.length = static_cast<std::uint32_t>(samples.size());
}

void SetCompressed16(Sample& s, const std::vector<std::int16_t>& samples, bool doubleDelta) {
  s.flags = static_cast<std::uint8_t>(s.flags | 0x01 | 0x02 | 0x08);
  s.convert = static_cast<std::uint8_t>(0x01 | (doubleDelta ? 0x04 : 0));
  s.bytes = Compress16(samples, doubleDelta);
  s.length = static_cast<std::uint32_t>(samples.size());
}

}  // namespace itwriter
