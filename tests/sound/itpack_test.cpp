// IT compressed samples: bit streams built by hand for each kind of width
// change, round trips through the test files' encoder in both sample sizes
// and both forms across block boundaries, and broken streams (cut short,
// blocks that lie about their size, widths out of range) that must fail
// without reading or writing outside the buffers.
#include "sound/itpack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/itwriter/itcompress.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Bits from the low bit of each byte up, as one block with its byte count.
class BlockBuilder {
public:
  BlockBuilder& Put(std::uint32_t value, unsigned width) {
    for (unsigned i = 0; i < width; ++i) {
      if (held_ == 0) bits_.push_back(0);
      if ((value >> i) & 1u) bits_.back() = static_cast<std::uint8_t>(bits_.back() | (1u << held_));
      held_ = (held_ + 1) & 7u;
    }
    return *this;
  }
  Bytes Block() const {
    Bytes out = {static_cast<std::uint8_t>(bits_.size()),
                 static_cast<std::uint8_t>(bits_.size() >> 8)};
    out.insert(out.end(), bits_.begin(), bits_.end());
    return out;
  }

private:
  Bytes bits_;
  unsigned held_ = 0;
};

constexpr std::uint8_t guard = 0xA5;

// Decodes into a buffer with guard bytes behind the count's samples; the
// guard must survive whatever the input holds.
struct Decoded {
  ItUnpackResult result;
  Bytes out;
  std::size_t consumed;
};

Decoded Decode(const Bytes& input, std::uint32_t count, ItUnpackFormat format) {
  const std::size_t size = static_cast<std::size_t>(count) * (format.sixteenBit ? 2 : 1);
  Bytes out(size + 16, guard);
  std::size_t consumed = 0;
  const ItUnpackResult result = ItUnpack(input.data(), input.size(), count, format, out.data(),
                                         &consumed);
  for (std::size_t i = size; i < out.size(); ++i) {
    EXPECT_EQ(out[i], guard) << "written past the samples at " << i;
  }
  out.resize(size);
  return {result, out, consumed};
}

std::vector<std::int8_t> Signed8(const Bytes& b) { return {b.begin(), b.end()}; }

std::vector<std::int16_t> Signed16(const Bytes& b) {
  std::vector<std::int16_t> v;
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
    v.push_back(static_cast<std::int16_t>(b[i] | (b[i + 1] << 8)));
  }
  return v;
}

// A sine with noise bursts, silence and full-range jumps, so that the widths
// run the whole range both ways.
template <typename T>
std::vector<T> TestSignal(std::size_t count, int amplitude) {
  std::vector<T> v(count);
  std::uint32_t seed = 12345;
  for (std::size_t i = 0; i < count; ++i) {
    seed = seed * 1103515245u + 12345u;
    double x = std::sin(static_cast<double>(i) * 0.01) * amplitude * 0.5;
    const std::size_t phase = (i / 1500) % 4;
    if (phase == 1) x = 0;  // silence: the narrowest width
    if (phase == 2) x += static_cast<int>((seed >> 8) % 64) - 32;  // small noise
    if (phase == 3 && i % 7 == 0) x = (i % 14 == 0) ? amplitude - 1 : -amplitude;  // jumps
    v[i] = static_cast<T>(x);
  }
  return v;
}

TEST(ItUnpack, EightBitWidthChangesOfEveryKind) {
  BlockBuilder b;
  b.Put(5, 9);                 // widest width: +5
  b.Put(0x100 | 2, 9);         // widest width's change: to 3
  b.Put(0b111, 3).Put(3, 3);   // -1, +3
  b.Put(0b100, 3).Put(6, 3);   // short width's escape; code 6 skips 3: to 8
  b.Put(0x84, 8).Put(0x7B, 8); // -124, +123: the values next to the change range
  b.Put(124 + 1, 8);           // middle width's change, code 1: to 2
  b.Put(1, 2).Put(3, 2);       // +1, -1
  b.Put(0b10, 2).Put(7, 3);    // code 7 skips 2: to 9
  b.Put(0xFF, 9);              // the widest width's values are taken whole: +255
  const Decoded d = Decode(b.Block(), 8, {});
  ASSERT_EQ(d.result, ItUnpackResult::ok);
  // Running sums, wrapping at 8 bits.
  EXPECT_EQ(d.out, (Bytes{5, 4, 7, 0x8B, 0x06, 0x07, 0x06, 0x05}));
}

TEST(ItUnpack, SixteenBitWidthChangesOfEveryKind) {
  BlockBuilder b;
  b.Put(1000, 17);                // +1000
  b.Put(0x10000 | 4, 17);         // to 5
  b.Put(0b11110, 5);              // -2
  b.Put(0b10000, 5).Put(4, 4);    // escape; code 4 names 5 itself, so skips it: to 6
  b.Put(20, 6);                   // +20
  b.Put(0b100000, 6).Put(15, 4);  // escape; code 15 skips 6: to 17
  b.Put(0xFFFF, 17);              // -1
  b.Put(0x10000 | 11, 17);        // to 12
  b.Put(0x800 - 8 + 3, 12);       // middle width's change, code 3: to 4
  b.Put(7, 4);                    // +7
  b.Put(0b1000, 4).Put(9, 4);     // escape; code 9 skips 4: to 11
  b.Put(0x400 + 8, 11);           // just above the change range: -1016
  const Decoded d = Decode(b.Block(), 6, {true, false});
  ASSERT_EQ(d.result, ItUnpackResult::ok);
  EXPECT_EQ(Signed16(d.out), (std::vector<std::int16_t>{1000, 998, 1018, 1017, 1024, 8}));
}

TEST(ItUnpack, SecondFormIntegratesTwice) {
  BlockBuilder b;
  b.Put(1, 9).Put(1, 9).Put(1, 9).Put(0x1FE & 0xFF, 9);  // +1, +1, +1, -2
  const Decoded eight = Decode(b.Block(), 4, {false, true});
  ASSERT_EQ(eight.result, ItUnpackResult::ok);
  EXPECT_EQ(eight.out, (Bytes{1, 3, 6, 7}));
  const Decoded once = Decode(b.Block(), 4, {false, false});
  EXPECT_EQ(once.out, (Bytes{1, 2, 3, 1}));
}

TEST(ItUnpack, EveryBlockStartsAfresh) {
  // The first block ends at 100; the second starts at the widest width from 0.
  std::vector<std::int8_t> first(itPackBlockSamples8, 0);
  first.back() = 100;
  Bytes stream = itwriter::Compress8(first, false);
  const Bytes second = BlockBuilder().Put(5, 9).Block();
  stream.insert(stream.end(), second.begin(), second.end());
  const Decoded d = Decode(stream, itPackBlockSamples8 + 1, {});
  ASSERT_EQ(d.result, ItUnpackResult::ok);
  EXPECT_EQ(d.out[itPackBlockSamples8 - 1], 100);
  EXPECT_EQ(d.out[itPackBlockSamples8], 5);
  EXPECT_EQ(d.consumed, stream.size());
}

TEST(ItUnpack, RoundTripsInBothSizesAndForms) {
  for (bool doubleDelta : {false, true}) {
    for (std::size_t count : {std::size_t{1}, std::size_t{1000},
                              std::size_t{itPackBlockSamples8},
                              std::size_t{itPackBlockSamples8 * 2 + 123}}) {
      const auto values = TestSignal<std::int8_t>(count, 128);
      const Bytes stream = itwriter::Compress8(values, doubleDelta);
      const Decoded d = Decode(stream, static_cast<std::uint32_t>(count), {false, doubleDelta});
      ASSERT_EQ(d.result, ItUnpackResult::ok) << count << " samples";
      EXPECT_EQ(Signed8(d.out), values) << count << " samples";
      EXPECT_EQ(d.consumed, stream.size());
    }
    for (std::size_t count : {std::size_t{1}, std::size_t{itPackBlockSamples16 - 1},
                              std::size_t{itPackBlockSamples16 * 3 + 7}}) {
      const auto values = TestSignal<std::int16_t>(count, 32768);
      const Bytes stream = itwriter::Compress16(values, doubleDelta);
      const Decoded d = Decode(stream, static_cast<std::uint32_t>(count), {true, doubleDelta});
      ASSERT_EQ(d.result, ItUnpackResult::ok) << count << " samples";
      EXPECT_EQ(Signed16(d.out), values) << count << " samples";
      EXPECT_EQ(d.consumed, stream.size());
    }
  }
}

TEST(ItUnpack, CompressedSizeStaysWithinTheBounds) {
  // Silence is the densest data: one bit a sample after the first change.
  const std::vector<std::int16_t> silence(itPackBlockSamples16 * 2, 0);
  const Bytes quiet = itwriter::Compress16(silence, false);
  EXPECT_GE(quiet.size(), ItPackMinimumInput(static_cast<std::uint32_t>(silence.size()), true));
  EXPECT_LE(quiet.size(), ItPackMinimumInput(static_cast<std::uint32_t>(silence.size()), true) + 8);
  const auto loud = TestSignal<std::int8_t>(itPackBlockSamples8 + 1, 128);
  EXPECT_LE(itwriter::Compress8(loud, true).size(),
            ItPackMaximumInput(static_cast<std::uint32_t>(loud.size()), false));
  EXPECT_EQ(ItPackMinimumInput(0, false), 0u);
  EXPECT_EQ(ItPackMaximumInput(itPackBlockSamples8 + 1, false), 2u * 0x10001);
}

TEST(ItUnpack, AnyCutFails) {
  const auto values = TestSignal<std::int16_t>(itPackBlockSamples16 + 300, 32768);
  const Bytes stream = itwriter::Compress16(values, false);
  for (std::size_t cut = 0; cut < stream.size(); cut += (cut < 64 ? 1 : 97)) {
    const Bytes part(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
    const Decoded d = Decode(part, static_cast<std::uint32_t>(values.size()), {true, false});
    EXPECT_EQ(d.result, ItUnpackResult::pastInput) << "cut at " << cut;
    EXPECT_LE(d.consumed, cut);
  }
}

TEST(ItUnpack, BlocksThatLieAboutTheirSize) {
  const std::vector<std::int8_t> values = {1, -50, 90, 3, 3, 3, 0, -128};
  Bytes stream = itwriter::Compress8(values, false);
  // Fewer bytes than the samples need, the rest of the bits cut away.
  Bytes shorter = stream;
  shorter[0] = static_cast<std::uint8_t>(shorter[0] - 1);
  shorter.pop_back();
  EXPECT_EQ(Decode(shorter, 8, {}).result, ItUnpackResult::shortBlock);
  // More bytes than the input holds.
  Bytes longer = stream;
  longer[0] = static_cast<std::uint8_t>(longer[0] + 1);
  EXPECT_EQ(Decode(longer, 8, {}).result, ItUnpackResult::pastInput);
  // A sample longer than the data: the block's bits run out, and past the
  // block's share the next block is not there.
  EXPECT_EQ(Decode(stream, 9, {}).result, ItUnpackResult::shortBlock);
  EXPECT_EQ(Decode(stream, itPackBlockSamples8 + 1, {}).result, ItUnpackResult::shortBlock);
  // A shorter sample takes what it needs and leaves the rest of the block.
  const Decoded part = Decode(stream, 3, {});
  ASSERT_EQ(part.result, ItUnpackResult::ok);
  EXPECT_EQ(Signed8(part.out), (std::vector<std::int8_t>{1, -50, 90}));
  EXPECT_EQ(part.consumed, stream.size());
}

TEST(ItUnpack, WidthsOutOfRange) {
  // The widest width's change names widths up to 256 (8-bit) or 65536.
  EXPECT_EQ(Decode(BlockBuilder().Put(0x100 | 9, 9).Put(0, 10).Block(), 1, {}).result,
            ItUnpackResult::badWidth);
  EXPECT_EQ(Decode(BlockBuilder().Put(0x1FF, 9).Block(), 1, {}).result,
            ItUnpackResult::badWidth);
  EXPECT_EQ(Decode(BlockBuilder().Put(0x10000 | 17, 17).Put(0, 18).Block(), 1, {true, false})
                .result,
            ItUnpackResult::badWidth);
  // The widest width itself is a valid target, changing nothing.
  const Decoded same = Decode(BlockBuilder().Put(0x100 | 8, 9).Put(7, 9).Block(), 1, {});
  ASSERT_EQ(same.result, ItUnpackResult::ok);
  EXPECT_EQ(same.out, Bytes{7});
  // A change code after the last bits of a block is cut short: 9 + 6 + 1
  // bits fill two bytes exactly, the escape at width 1 ends them.
  BlockBuilder cut;
  cut.Put(0x100, 9);
  for (int i = 0; i < 6; ++i) cut.Put(0, 1);
  cut.Put(1, 1);
  EXPECT_EQ(Decode(cut.Block(), 7, {}).result, ItUnpackResult::shortBlock);
  EXPECT_EQ(Decode(cut.Block(), 6, {}).result, ItUnpackResult::ok);
}

TEST(ItUnpack, RandomBytesStayInside) {
  std::uint32_t seed = 99;
  for (int round = 0; round < 300; ++round) {
    Bytes junk(static_cast<std::size_t>(round % 50) * 7 + 2);
    for (auto& b : junk) {
      seed = seed * 1103515245u + 12345u;
      b = static_cast<std::uint8_t>(seed >> 16);
    }
    junk[1] = static_cast<std::uint8_t>(junk[1] & 1);  // block counts that may fit
    const bool sixteen = round % 2 == 1;
    const Decoded d = Decode(junk, 40, {sixteen, round % 3 == 0});
    EXPECT_LE(d.consumed, junk.size());
  }
}

}  // namespace
