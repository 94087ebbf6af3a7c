// IT reader with compressed samples: both sample sizes and both forms read
// into the module and handed to the device, samples far longer than their
// file, stereo samples, and broken compressed data failing with a clear code
// and nothing left allocated.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sound/errors.h"
#include "sound/loadit.h"
#include "sound/module.h"
#include "tests/sound/support/reader_fixture.h"
#include "tests/sound/support/reader_support.h"
#include "tools/itwriter/itcompress.h"
#include "tools/itwriter/itwriter.h"

namespace {

using itwriter::PatternWriter;
using soundtest::RecordingDevice;
using Bytes = std::vector<std::uint8_t>;

class ItCompressedReader : public soundtest::ReaderFixture<gmpLoadIT> {
protected:
  // Sample mode, the given samples, one note of the first.
  static itwriter::Song SongWith(const std::vector<itwriter::Sample>& samples) {
    itwriter::Song song;
    song.flags = 0x01;
    song.samples = samples;
    PatternWriter w;
    w.Entry(0, 0x03, 60, 1).EndRow();
    itwriter::Pattern p;
    p.rows = 1;
    p.packed = w.bytes;
    song.patterns.push_back(p);
    return song;
  }

  static std::vector<std::int8_t> Wave8(std::size_t count) {
    std::vector<std::int8_t> v(count);
    for (std::size_t i = 0; i < count; ++i) {
      v[i] = static_cast<std::int8_t>((i * 37) % 200 - 100 + ((i / 50) % 2 ? 0 : 27));
    }
    return v;
  }

  static std::vector<std::int16_t> Wave16(std::size_t count) {
    std::vector<std::int16_t> v(count);
    for (std::size_t i = 0; i < count; ++i) {
      v[i] = static_cast<std::int16_t>((i * 2711) % 60000 - 30000);
    }
    return v;
  }

  // The mixer's forms: unsigned 8-bit, little-endian signed 16-bit.
  static Bytes Mixer8(const std::vector<std::int8_t>& v) {
    Bytes out;
    for (std::int8_t x : v) out.push_back(static_cast<std::uint8_t>(x ^ 0x80));
    return out;
  }
  static Bytes Mixer16(const std::vector<std::int16_t>& v) {
    Bytes out;
    for (std::int16_t x : v) {
      out.push_back(static_cast<std::uint8_t>(x));
      out.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(x) >> 8));
    }
    return out;
  }

  static Bytes Data(const ModuleSample* s) { return Bytes(s->data, s->data + s->length); }
};

TEST_F(ItCompressedReader, BothSizesAndForms) {
  const auto eight = Wave8(0x8000 + 500);
  const auto sixteen = Wave16(0x4000 + 900);
  std::vector<itwriter::Sample> samples(4);
  itwriter::SetCompressed8(samples[0], eight, false);
  itwriter::SetCompressed8(samples[1], eight, true);
  itwriter::SetCompressed16(samples[2], sixteen, false);
  itwriter::SetCompressed16(samples[3], sixteen, true);
  samples[3].flags |= 0x10;  // a loop, in samples as for plain data
  samples[3].loopBegin = 100;
  samples[3].loopEnd = 200;
  ASSERT_EQ(Load(SongWith(samples)), errOK);
  ASSERT_EQ(module->numSamples, 4u);
  EXPECT_EQ(module->samples[0]->sampleType, smp8bitMono);
  EXPECT_EQ(Data(module->samples[0]), Mixer8(eight));
  EXPECT_EQ(Data(module->samples[1]), Mixer8(eight));
  EXPECT_EQ(module->samples[2]->sampleType, smp16bitMono);
  EXPECT_EQ(module->samples[2]->length, sixteen.size() * 2);
  EXPECT_EQ(Data(module->samples[2]), Mixer16(sixteen));
  EXPECT_EQ(Data(module->samples[3]), Mixer16(sixteen));
  EXPECT_EQ(module->samples[3]->loopStart, 200u);
  EXPECT_EQ(module->samples[3]->loopEnd, 400u);
}

TEST_F(ItCompressedReader, DecodedSamplesGoToTheDevice) {
  const auto eight = Wave8(3000);
  const auto sixteen = Wave16(2000);
  std::vector<itwriter::Sample> samples(3);
  itwriter::SetCompressed16(samples[0], sixteen, true);
  samples[1].bytes = {0x00, 0x7F};  // plain data between the compressed
  itwriter::SetCompressed8(samples[2], eight, false);
  RecordingDevice device;
  ASSERT_EQ(Load(SongWith(samples), device.device(), 1), errOK);
  ASSERT_EQ(device.samples().size(), 3u);
  EXPECT_EQ(device.samples()[0].data, Mixer16(sixteen));
  EXPECT_EQ(device.samples()[0].descriptor.sampleType, smp16bitMono);
  EXPECT_EQ(device.samples()[1].data, (Bytes{0x80, 0xFF}));
  EXPECT_EQ(device.samples()[2].data, Mixer8(eight));
  EXPECT_EQ(ModuleFree(module, device.device()), errOK);
  module = nullptr;
  EXPECT_EQ(device.Live(), 0);
}

TEST_F(ItCompressedReader, SilenceLongerThanItsFile) {
  // 400 KB of silence in a few kilobytes.
  const std::vector<std::int16_t> silence(200000, 0);
  std::vector<itwriter::Sample> samples(1);
  itwriter::SetCompressed16(samples[0], silence, false);
  const Bytes file = SongWith(samples).Build();
  ASSERT_LT(file.size(), 40000u);
  ASSERT_EQ(LoadBytes(file), errOK);
  EXPECT_EQ(module->samples[0]->length, 400000u);
  EXPECT_EQ(Data(module->samples[0]), Bytes(400000, 0));

  // More samples than even one bit each could hold in the file.
  samples[0].length = 8 * 40000;
  EXPECT_EQ(Load(SongWith(samples)), errEndOfFile);
  EXPECT_EQ(module, nullptr);
}

TEST_F(ItCompressedReader, BrokenDataFailsClearly) {
  const auto eight = Wave8(5000);
  std::vector<itwriter::Sample> samples(1);
  itwriter::SetCompressed8(samples[0], eight, false);
  const Bytes good = SongWith(samples).Build();
  ASSERT_EQ(LoadBytes(good), errOK);
  const std::size_t data = good.size() - samples[0].bytes.size();

  Bytes pastFile = good;  // the block claims more than the file holds
  pastFile[data + 1] = 0xFF;
  RecordingDevice device;
  EXPECT_EQ(LoadBytes(pastFile, device.device(), 1), errEndOfFile);
  EXPECT_EQ(device.Live(), 0);

  Bytes wideBlock = good;  // a width change to width 256 at the first value
  wideBlock[data + 2] = 0xFF;
  wideBlock[data + 3] = static_cast<std::uint8_t>(wideBlock[data + 3] | 0x01);
  EXPECT_EQ(LoadBytes(wideBlock), errInvalidInstrument);
  EXPECT_EQ(module, nullptr);

  // A header asking for more samples than the block holds.
  samples[0].length = 0x8000;
  EXPECT_EQ(Load(SongWith(samples), device.device(), 1), errInvalidInstrument);
  EXPECT_EQ(module, nullptr);
  EXPECT_EQ(device.Live(), 0);

  // A data offset past the end of the file.
  Bytes farOffset = good;
  const std::size_t offsetField = 192 + 2 + 8 + 72;  // header, orders, two offsets
  ASSERT_EQ(farOffset[offsetField] | (farOffset[offsetField + 1] << 8), static_cast<int>(data));
  farOffset[offsetField + 3] = 0x40;
  EXPECT_EQ(LoadBytes(farOffset), errEndOfFile);
}

TEST_F(ItCompressedReader, EveryTruncationFailsCleanly) {
  std::vector<itwriter::Sample> samples(2);
  itwriter::SetCompressed8(samples[0], Wave8(300), true);
  itwriter::SetCompressed16(samples[1], Wave16(200), false);
  const Bytes good = SongWith(samples).Build();
  ASSERT_EQ(LoadBytes(good), errOK);
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    const int error = LoadBytes(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
    EXPECT_NE(error, errOK) << "cut at " << cut;
    EXPECT_EQ(module, nullptr);
  }
}

// IT stores a stereo sample's left channel whole, then the right; the two
// are mixed to mono at load, their mean (rounded down), compressed or plain,
// 8-bit or 16-bit.
TEST_F(ItCompressedReader, StereoSamplesAreMixedToTheirMean) {
  const auto left = Wave8(400);
  std::vector<std::int8_t> right(400), mean(400);
  for (std::size_t i = 0; i < left.size(); ++i) {
    right[i] = static_cast<std::int8_t>(left[(i * 7) % 400] / 2 - 20);
    mean[i] = static_cast<std::int8_t>((left[i] + right[i]) >> 1);
  }
  std::vector<std::int8_t> both = left;
  both.insert(both.end(), right.begin(), right.end());
  const auto left16 = Wave16(300);
  std::vector<std::int16_t> both16 = left16, mean16(300);
  for (std::size_t i = 0; i < left16.size(); ++i) {
    const auto r = static_cast<std::int16_t>(-left16[(i * 3) % 300] / 3);
    both16.push_back(r);
    mean16[i] = static_cast<std::int16_t>((left16[i] + r) >> 1);
  }
  std::vector<itwriter::Sample> samples(4);
  itwriter::SetCompressed8(samples[0], left, true);
  const Bytes packedRight = itwriter::Compress8(right, true);
  samples[0].bytes.insert(samples[0].bytes.end(), packedRight.begin(), packedRight.end());
  samples[0].flags |= 0x04;
  samples[1].flags = 0x01 | 0x04;
  samples[1].bytes = Bytes(both.begin(), both.end());
  samples[1].length = 400;
  samples[2].flags = 0x01 | 0x02 | 0x04;
  samples[2].bytes = Mixer16(both16);
  samples[2].length = 300;
  // A right channel the file does not hold: the load fails cleanly.
  samples[3].flags = 0x01 | 0x04;
  samples[3].bytes = Bytes(both.begin(), both.begin() + 500);
  samples[3].length = 400;
  const Bytes good = SongWith({samples[0], samples[1], samples[2]}).Build();
  ASSERT_EQ(LoadBytes(good), errOK);
  EXPECT_EQ(module->samples[0]->sampleType, smp8bitMono);
  EXPECT_EQ(module->samples[0]->length, 400u);
  EXPECT_EQ(Data(module->samples[0]), Mixer8(mean));
  EXPECT_EQ(Data(module->samples[1]), Mixer8(mean));
  EXPECT_EQ(module->samples[2]->sampleType, smp16bitMono);
  EXPECT_EQ(Data(module->samples[2]), Mixer16(mean16));
  // The right channel of the compressed sample cut short.
  const Bytes one = SongWith({samples[0]}).Build();
  EXPECT_NE(LoadBytes(Bytes(one.begin(), one.end() - 10)), errOK);
  EXPECT_EQ(module, nullptr);
  EXPECT_NE(Load(SongWith({samples[3]})), errOK);
  EXPECT_EQ(module, nullptr);
}

}  // namespace
