// IT compressed samples. Each value is read at the current bit width; some
// values of a width are no sample but a change of width:
// - widths 1..6: the value with only the top bit set, followed by a 3-bit
//   (8-bit samples) or 4-bit (16-bit samples) code of the new width;
// - widths 7 up to the widest but one: the 8 (or 16) values around the top
//   bit name the new width themselves;
// - the widest width (9 or 17): the top bit set marks a change, the bits
//   below it give the new width less one.
// Any other value is a difference, sign-extended from its width (the widest
// width's values are taken whole), added to a running sum; the 2.15 form sums
// the sum once more. Sums wrap at the sample size.
#include "sound/itpack.h"

namespace {

// Reads bits from the low bit of each byte up, within one block's bytes.
class BitReader {
public:
  BitReader(const std::uint8_t* data, std::uint32_t size) : data_(data), size_(size) {}

  bool Read(unsigned width, std::uint32_t* value) {
    while (held_ < width) {
      if (position_ == size_) return false;
      bits_ |= static_cast<std::uint32_t>(data_[position_++]) << held_;
      held_ += 8;
    }
    *value = bits_ & ((1u << width) - 1u);
    bits_ >>= width;
    held_ -= width;
    return true;
  }

private:
  const std::uint8_t* data_;
  std::uint32_t size_;
  std::uint32_t position_ = 0;
  std::uint32_t bits_ = 0;  // at most 7 + 17 bits are held at once
  unsigned held_ = 0;
};

struct Eight {
  using Word = std::uint8_t;
  static constexpr unsigned topWidth = itPackTopWidth8;
  static constexpr unsigned codeBits = 3;  // width code after a short-width escape
  static constexpr std::uint32_t around = 4;  // middle widths: top - 4 .. top + 3
  static constexpr std::uint32_t blockSamples = itPackBlockSamples8;
  static void Store(std::uint8_t* out, std::uint32_t i, Word v) { out[i] = v; }
};

struct Sixteen {
  using Word = std::uint16_t;
  static constexpr unsigned topWidth = itPackTopWidth16;
  static constexpr unsigned codeBits = 4;
  static constexpr std::uint32_t around = 8;
  static constexpr std::uint32_t blockSamples = itPackBlockSamples16;
  static void Store(std::uint8_t* out, std::uint32_t i, Word v) {
    out[i * 2] = static_cast<std::uint8_t>(v);
    out[i * 2 + 1] = static_cast<std::uint8_t>(v >> 8);
  }
};

// A width code names the widths from 1 up, leaving out the current one.
unsigned NextWidth(unsigned current, std::uint32_t code) {
  const unsigned width = code + 1;
  return width < current ? width : width + 1;
}

// Decodes one block's count samples from its bytes into out.
template <typename Size>
ItUnpackResult UnpackBlock(BitReader& bits, std::uint32_t count, bool doubleDelta,
                           std::uint8_t* out) {
  using Word = typename Size::Word;
  unsigned width = Size::topWidth;
  Word sum = 0, sumOfSums = 0;
  std::uint32_t written = 0;
  while (written < count) {
    std::uint32_t v = 0;
    if (!bits.Read(width, &v)) return ItUnpackResult::shortBlock;
    const std::uint32_t top = 1u << (width - 1);
    std::uint32_t delta = v;
    if (width <= 6) {
      if (v == top) {
        std::uint32_t code = 0;
        if (!bits.Read(Size::codeBits, &code)) return ItUnpackResult::shortBlock;
        width = NextWidth(width, code);
        continue;
      }
      if (v & top) delta = v - 2 * top;
    } else if (width < Size::topWidth) {
      if (v >= top - Size::around && v < top + Size::around) {
        width = NextWidth(width, v - (top - Size::around));
        continue;
      }
      if (v & top) delta = v - 2 * top;
    } else {
      if (v & top) {
        width = (v & ~top) + 1;
        if (width > Size::topWidth) return ItUnpackResult::badWidth;
        continue;
      }
    }
    sum = static_cast<Word>(sum + delta);
    sumOfSums = static_cast<Word>(sumOfSums + sum);
    Size::Store(out, written++, doubleDelta ? sumOfSums : sum);
  }
  return ItUnpackResult::ok;
}

template <typename Size>
ItUnpackResult Unpack(const std::uint8_t* input, std::size_t inputSize, std::uint32_t count,
                      bool doubleDelta, std::uint8_t* output, std::size_t* consumed) {
  std::size_t position = 0;
  std::uint32_t done = 0;
  ItUnpackResult result = ItUnpackResult::ok;
  while (done < count && result == ItUnpackResult::ok) {
    if (inputSize - position < 2) {
      result = ItUnpackResult::pastInput;
      break;
    }
    const std::uint32_t blockBytes = input[position] | (input[position + 1] << 8);
    position += 2;
    if (blockBytes > inputSize - position) {
      result = ItUnpackResult::pastInput;
      break;
    }
    const std::uint32_t left = count - done;
    const std::uint32_t samples = left < Size::blockSamples ? left : Size::blockSamples;
    BitReader bits(input + position, blockBytes);
    std::uint8_t* out = output + static_cast<std::size_t>(done) * sizeof(typename Size::Word);
    result = UnpackBlock<Size>(bits, samples, doubleDelta, out);
    position += blockBytes;
    done += samples;
  }
  if (consumed != nullptr) *consumed = position;
  return result;
}

std::uint64_t Blocks(std::uint32_t count, bool sixteenBit) {
  const std::uint32_t perBlock = sixteenBit ? itPackBlockSamples16 : itPackBlockSamples8;
  return (static_cast<std::uint64_t>(count) + perBlock - 1) / perBlock;
}

}  // namespace

ItUnpackResult ItUnpack(const std::uint8_t* input, std::size_t inputSize, std::uint32_t count,
                        ItUnpackFormat format, std::uint8_t* output, std::size_t* consumed) {
  if (format.sixteenBit) {
    return Unpack<Sixteen>(input, inputSize, count, format.doubleDelta, output, consumed);
  }
  return Unpack<Eight>(input, inputSize, count, format.doubleDelta, output, consumed);
}

std::uint64_t ItPackMinimumInput(std::uint32_t count, bool sixteenBit) {
  return Blocks(count, sixteenBit) * 2 + (static_cast<std::uint64_t>(count) + 7) / 8;
}

std::uint64_t ItPackMaximumInput(std::uint32_t count, bool sixteenBit) {
  return Blocks(count, sixteenBit) * (2 + 0xFFFF);
}
