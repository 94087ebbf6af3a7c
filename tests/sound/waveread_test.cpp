// WAVE reader: format and data chunk search, sample types, the record left
// for the caller, and every failure closing the file.
#include "sound/waveread.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include "sound/errors.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "sound/rawf_nt.h"
#include "tests/sound/support/reader_support.h"
#include "tools/wavewriter/wavewriter.h"

namespace {

using wavewriter::BuildWave;
using wavewriter::Chunk;
using wavewriter::FormatBody;
using soundtest::ScratchFile;

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

class WaveReader : public ::testing::Test {
protected:
  void SetUp() override {
    blocksBefore = memBlocksInUse();
    descriptorsBefore = OpenDescriptors();
  }
  void TearDown() override {
    if (wave != nullptr) {
      EXPECT_EQ(WaveClose(wave), errOK);
    }
    EXPECT_EQ(memBlocksInUse(), blocksBefore) << "allocator blocks leaked";
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore) << "a file was left open";
  }
  int Open(const std::vector<std::uint8_t>& bytes) {
    if (wave != nullptr) {
      EXPECT_EQ(WaveClose(wave), errOK);
      wave = nullptr;
    }
    ScratchFile file(bytes);
    return WaveOpen(file.path(), &wave);
  }
  static Chunk Data(std::vector<std::uint8_t> body) { return {"data", std::move(body)}; }

  WaveFile* wave = nullptr;
  std::size_t blocksBefore = 0;
  int descriptorsBefore = 0;
};

TEST_F(WaveReader, StereoSixteenBitFile) {
  const std::vector<std::uint8_t> audio = {1, 2, 3, 4, 5, 6, 7, 8};
  const auto bytes = BuildWave({{"fmt ", FormatBody(1, 2, 44100, 16)}, Data(audio)});
  ASSERT_EQ(Open(bytes), errOK);
  ASSERT_NE(wave, nullptr);
  EXPECT_EQ(wave->sampleType, smp16bitStereo);
  EXPECT_EQ(wave->sampleRate, 44100u);
  EXPECT_EQ(wave->dataLength, 8u);
  EXPECT_EQ(wave->bytesLeft, 8u);
  EXPECT_EQ(wave->dataStart, 12u + 8u + 16u + 8u);
  std::uint8_t read[8] = {};
  ASSERT_EQ(RawFileRead(wave->file, read, 8), errOK);
  EXPECT_EQ(std::vector<std::uint8_t>(read, read + 8), audio);
}

TEST_F(WaveReader, SampleTypes) {
  struct Case {
    std::uint16_t channels, bits;
    std::uint32_t type;
  };
  for (const Case& c : {Case{1, 8, smp8bitMono}, Case{2, 8, smp8bitStereo},
                        Case{1, 16, smp16bitMono}, Case{2, 16, smp16bitStereo}}) {
    ASSERT_EQ(Open(BuildWave({{"fmt ", FormatBody(1, c.channels, 8000, c.bits)}, Data({0})})),
              errOK);
    EXPECT_EQ(wave->sampleType, c.type) << c.channels << " channels, " << c.bits << " bits";
    EXPECT_EQ(wave->sampleRate, 8000u);
  }
}

TEST_F(WaveReader, OtherChunksAreSkipped) {
  const auto bytes = BuildWave({{"LIST", {1, 2, 3}},  // odd size, padded
                                {"fmt ", FormatBody(1, 1, 22050, 8, 18)},
                                {"fact", {0, 0, 0, 0}},
                                {"junk", {}},
                                Data({0x11, 0x22, 0x33})});
  ASSERT_EQ(Open(bytes), errOK);
  EXPECT_EQ(wave->sampleType, smp8bitMono);
  EXPECT_EQ(wave->sampleRate, 22050u);
  EXPECT_EQ(wave->dataLength, 3u);
  std::uint8_t first = 0;
  ASSERT_EQ(RawFileRead(wave->file, &first, 1), errOK);
  EXPECT_EQ(first, 0x11);
}

TEST_F(WaveReader, DataLengthBeyondTheFile) {
  auto bytes = BuildWave({{"fmt ", FormatBody(1, 1, 8000, 8)}, Data({1, 2, 3, 4})});
  // Size field of the data chunk says 0xFFFFFFFF, as an unfinished writer leaves it.
  for (int i = 0; i < 4; ++i) bytes[40 + i] = 0xFF;
  ASSERT_EQ(Open(bytes), errOK);
  EXPECT_EQ(wave->dataLength, 4u);
  EXPECT_EQ(wave->bytesLeft, 4u);
}

TEST_F(WaveReader, BadFiles) {
  const auto fmt = FormatBody(1, 1, 8000, 8);
  EXPECT_EQ(Open(BuildWave({{"fmt ", fmt}, Data({0})}, "RIFX")), errBadWave);
  EXPECT_EQ(Open(BuildWave({{"fmt ", fmt}, Data({0})}, "RIFF", "AVI ")), errBadWave);
  EXPECT_EQ(Open(BuildWave({{"fmt ", FormatBody(1, 1, 8000, 8, 12)}, Data({0})})), errBadWave);
  // 14 bytes hold everything but the bits per sample.
  EXPECT_EQ(Open(BuildWave({{"fmt ", FormatBody(1, 1, 8000, 8, 14)}, Data({0})})), errBadWave);
  EXPECT_EQ(wave, nullptr);
}

TEST_F(WaveReader, UnsupportedFormats) {
  EXPECT_EQ(Open(BuildWave({{"fmt ", FormatBody(3, 1, 8000, 32)}, Data({0})})),
            errUnsupportedSampleFormat);
  // The format tag is checked before the missing bits field.
  EXPECT_EQ(Open(BuildWave({{"fmt ", FormatBody(2, 1, 8000, 4, 14)}, Data({0})})),
            errUnsupportedSampleFormat);
  EXPECT_EQ(Open(BuildWave({{"fmt ", FormatBody(1, 2, 44100, 24)}, Data({0, 0, 0})})),
            errUnsupportedSampleFormat);
  EXPECT_EQ(Open(BuildWave({{"fmt ", FormatBody(1, 3, 44100, 16)}, Data({0})})),
            errUnsupportedSampleFormat);
  EXPECT_EQ(Open(BuildWave({{"fmt ", FormatBody(1, 0, 44100, 8)}, Data({0})})),
            errUnsupportedSampleFormat);
  EXPECT_EQ(wave, nullptr);
}

TEST_F(WaveReader, FilesThatEndEarly) {
  EXPECT_EQ(Open({}), errEndOfFile);
  EXPECT_EQ(Open(BuildWave({})), errEndOfFile);
  EXPECT_EQ(Open(BuildWave({{"fmt ", FormatBody(1, 1, 8000, 8)}})), errEndOfFile);
  const auto whole = BuildWave({{"fmt ", FormatBody(1, 1, 8000, 8)}, Data({1, 2})});
  for (std::size_t cut = 0; cut < 44; ++cut) {
    EXPECT_NE(Open(std::vector<std::uint8_t>(whole.begin(), whole.begin() + cut)), errOK)
        << "cut at " << cut;
    EXPECT_EQ(wave, nullptr);
  }
  // A chunk claiming nearly 4 GiB is skipped past the end, not looped on.
  auto huge = BuildWave({{"junk", {}}, {"fmt ", FormatBody(1, 1, 8000, 8)}, Data({0})});
  for (int i = 0; i < 4; ++i) huge[16 + i] = 0xFF;
  EXPECT_EQ(Open(huge), errEndOfFile);
  EXPECT_EQ(wave, nullptr);
  EXPECT_EQ(WaveOpen("/nonexistent/dir/sound.wav", &wave), errFileNotFound);
  EXPECT_EQ(wave, nullptr);
}

}  // namespace
