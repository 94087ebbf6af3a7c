// The encoded output on its own: WAVE header fields at the format's limits,
// the pad byte after odd data, and sizes that saturate rather than wrap.
#include "tools/modplay/audiowriter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/stream/temp_dir.h"

namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& v, std::size_t at) {
  return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<std::uint32_t>(v[at + 3]) << 24;
}
std::uint16_t Le16(const std::vector<std::uint8_t>& v, std::size_t at) {
  return static_cast<std::uint16_t>(v[at] | v[at + 1] << 8);
}
std::vector<std::uint8_t> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes `frames` through an AudioWriter into a WAVE file and reads it back.
std::vector<std::uint8_t> WriteWave(TempDir& dir, unsigned rate, unsigned channels, unsigned bits,
                                    const std::vector<std::uint8_t>& frames) {
  toolio::OutputFile out;
  std::string error;
  EXPECT_TRUE(out.Open(dir.File("a.wav"), error)) << error;
  AudioWriter writer;
  AudioFormat format;
  format.rate = rate;
  format.channels = channels;
  format.bits = bits;
  format.title = "not in a WAVE";
  EXPECT_TRUE(writer.Open(&out, format, error)) << error;
  EXPECT_TRUE(writer.Write(frames.data(), frames.size()));
  EXPECT_TRUE(writer.Finish(error)) << error;
  return Slurp(dir.File("a.wav"));
}

TEST(WavHeader, FieldsFollowTheFormat) {
  TempDir dir;
  const std::vector<std::uint8_t> h = WriteWave(dir, 22050, 1, 8, std::vector<std::uint8_t>(1001, 128));
  ASSERT_GE(h.size(), 44u);
  EXPECT_EQ(Le32(h, 4), 1001u + 36 + 1) << "RIFF size counts the pad byte";
  EXPECT_EQ(Le16(h, 22), 1u);
  EXPECT_EQ(Le32(h, 24), 22050u);
  EXPECT_EQ(Le32(h, 28), 22050u);
  EXPECT_EQ(Le16(h, 32), 1u);
  EXPECT_EQ(Le16(h, 34), 8u);
  EXPECT_EQ(Le32(h, 40), 1001u);
}

TEST(WavHeader, SizesBeyondFourGigabytesSaturate) {
  const WaveSizes sizes = SaturatedWaveSizes(5'000'000'000ull);
  EXPECT_EQ(sizes.data, 0xFFFFFFDAu);
  EXPECT_EQ(sizes.riff, 0xFFFFFFFEu) << "no wrap past 32 bits";
  EXPECT_EQ(SaturatedWaveSizes(1001).riff, 1001u + 36 + 1);
  TempDir dir;
  const std::vector<std::uint8_t> h = WriteWave(dir, 192000, 2, 16, std::vector<std::uint8_t>(400));
  ASSERT_GE(h.size(), 44u);
  EXPECT_EQ(Le32(h, 28), 192000u * 4);
}

TEST(WavWriterFile, OddDataGetsItsPadAndTheFinalSizes) {
  TempDir dir;
  const std::vector<std::uint8_t> w = WriteWave(dir, 8000, 1, 8, {128, 129, 130});
  ASSERT_EQ(w.size(), 44u + 3 + 1);
  EXPECT_EQ(Le32(w, 40), 3u);
  EXPECT_EQ(Le32(w, 4), w.size() - 8);
  EXPECT_EQ(w.back(), 0);
  EXPECT_EQ(std::vector<std::uint8_t>(w.begin() + 44, w.begin() + 47), (std::vector<std::uint8_t>{128, 129, 130}))
      << "8-bit frames are stored as they came";
}

}  // namespace
