// The WAVE writer on its own: header fields at the format's limits and the
// pad byte after odd data.
#include "tools/modplay/wavwriter.h"

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

std::vector<std::uint8_t> Bytes(const std::array<std::uint8_t, 44>& header) { return {header.begin(), header.end()}; }

TEST(WavHeader, FieldsFollowTheFormat) {
  const std::vector<std::uint8_t> h = Bytes(WavHeader(22050, 1, 8, 1001));
  EXPECT_EQ(Le32(h, 4), 1001u + 36 + 1) << "RIFF size counts the pad byte";
  EXPECT_EQ(Le16(h, 22), 1u);
  EXPECT_EQ(Le32(h, 24), 22050u);
  EXPECT_EQ(Le32(h, 28), 22050u);
  EXPECT_EQ(Le16(h, 32), 1u);
  EXPECT_EQ(Le16(h, 34), 8u);
  EXPECT_EQ(Le32(h, 40), 1001u);
}

TEST(WavHeader, SizesBeyondFourGigabytesSaturate) {
  const std::vector<std::uint8_t> h = Bytes(WavHeader(192000, 2, 16, 5'000'000'000ull));
  EXPECT_EQ(Le32(h, 40), 0xFFFFFFDAu);
  EXPECT_EQ(Le32(h, 4), 0xFFFFFFFEu) << "no wrap past 32 bits";
  EXPECT_EQ(Le32(h, 28), 192000u * 4);
}

TEST(WavWriterFile, OddDataGetsItsPadAndTheFinalSizes) {
  TempDir dir;
  toolio::OutputFile out;
  std::string error;
  ASSERT_TRUE(out.Open(dir.File("a.wav"), error));
  WavWriter wav;
  ASSERT_TRUE(wav.Open(&out, PcmContainer::wav, 8000, 1, 8));
  const std::uint8_t frames[3] = {128, 129, 130};
  ASSERT_TRUE(wav.Write(frames, 3));
  ASSERT_TRUE(wav.Finish(error)) << error;
  const std::vector<std::uint8_t> w = Slurp(dir.File("a.wav"));
  ASSERT_EQ(w.size(), 44u + 3 + 1);
  EXPECT_EQ(Le32(w, 40), 3u);
  EXPECT_EQ(Le32(w, 4), w.size() - 8);
  EXPECT_EQ(w.back(), 0);
}

}  // namespace
