#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "stream/stream.h"
#include "temp_dir.h"

namespace {

class FileTest : public ::testing::Test {
protected:
  TempDir dir;
  std::string path = dir.Write("data.bin", Iota(10, 0x10));
};

TEST_F(FileTest, OpenModesSelectTheRightAccess) {
  TFile f;
  EXPECT_FALSE(f.Open(modeRead)) << "no name yet";
  f.SetName(path.c_str());
  for (int mode : {0, 4, 8, -1}) {
    EXPECT_FALSE(f.Open(mode)) << "mode " << mode;
    EXPECT_TRUE(f.Error());
  }
  ASSERT_TRUE(f.Open(5));
  EXPECT_FALSE(f.Error());
  EXPECT_EQ(f.Tell(), 10) << "mode 5 reads from the end";
  EXPECT_EQ(f.Tell(), f.Size());

  ASSERT_TRUE(f.Open(6));  // append
  const std::uint8_t extra[2] = {0xAA, 0xBB};
  EXPECT_EQ(f.Write(extra, 2, 1), 1);
  f.Close();
  ASSERT_TRUE(f.Open(modeRead));
  EXPECT_EQ(f.Size(), 12);

  ASSERT_TRUE(f.Open(modeWrite));  // truncates
  f.Close();
  ASSERT_TRUE(f.Open(modeRead));
  EXPECT_EQ(f.Size(), 0);
}

TEST_F(FileTest, MissingFileFailsToOpenAndHoldsNothing) {
  TFile f;
  f.SetName(dir.File("absent").c_str());
  EXPECT_FALSE(f.Open(modeRead));
  EXPECT_TRUE(f.Error());
  EXPECT_EQ(f.Tell(), -1);
  EXPECT_EQ(f.Size(), -1);
  EXPECT_TRUE(f.Eof());
  std::uint8_t b;
  EXPECT_EQ(f.Read(&b, 1, 1), 0);
}

TEST_F(FileTest, SizeKeepsThePositionAndReadsCountWholeItems) {
  TFile f;
  f.SetName(path.c_str());
  ASSERT_TRUE(f.Open(modeRead));
  f.Seek(3, seekStart);
  EXPECT_EQ(f.Size(), 10);
  EXPECT_EQ(f.Tell(), 3);
  EXPECT_EQ(f.ReadByte(), 0x13);
  EXPECT_EQ(f.ReadWord(), 0x1514);
  EXPECT_EQ(f.ReadDword(), 0x19181716u);
  f.Seek(0, seekStart);
  std::uint8_t buf[12] = {};
  EXPECT_EQ(f.Read(buf, 4, 3), 2) << "10 bytes hold two whole 4-byte items";
  EXPECT_EQ(buf[9], 0x19);
}

TEST_F(FileTest, EofTurnsTrueOnlyAfterAShortRead) {
  TFile f;
  f.SetName(path.c_str());
  ASSERT_TRUE(f.Open(modeRead));
  f.Seek(0, seekEnd);
  EXPECT_FALSE(f.Eof());
  std::uint8_t b;
  EXPECT_EQ(f.Read(&b, 1, 1), 0);
  EXPECT_TRUE(f.Eof());
}

TEST_F(FileTest, ErrorIsStickyUntilASuccessfulSeekOrOpen) {
  TFile f;
  f.SetName(path.c_str());
  ASSERT_TRUE(f.Open(modeRead));
  f.Seek(0, 3);  // no such origin
  EXPECT_TRUE(f.Error());
  std::uint8_t b;
  EXPECT_EQ(f.Read(&b, 1, 1), 1);
  EXPECT_TRUE(f.Error()) << "a good read does not clear the flag";
  f.Seek(0, seekStart);
  EXPECT_FALSE(f.Error());

  f.Seek(-5, seekStart);  // before the start: the C library refuses it
  EXPECT_TRUE(f.Error());
  ASSERT_TRUE(f.Open(modeRead));
  EXPECT_FALSE(f.Error());
}

TEST_F(FileTest, EraseDeletesTheNamedFile) {
  TFile f;
  EXPECT_FALSE(f.Erase());
  EXPECT_TRUE(f.Error());
  f.SetName(path.c_str());
  ASSERT_TRUE(f.Open(modeRead));
  EXPECT_TRUE(f.Erase());
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(f.Erase()) << "already gone";
}

// A stream that serves a fixed byte string and counts the calls made on it.
class ScriptedStream : public TStream {
public:
  explicit ScriptedStream(std::vector<std::uint8_t> bytes, bool willOpen = true)
      : data(std::move(bytes)), opens(willOpen) {}
  bool Open(int) override {
    ++opensSeen;
    at = 0;
    return opens;
  }
  void Seek(std::int32_t offset, int origin) override {
    at = origin == seekStart ? offset : origin == seekCurrent ? at + offset : static_cast<std::int32_t>(data.size()) + offset;
  }
  int Read(void* buffer, int size, int count) override {
    readSizes.push_back(count);
    if (failReads) return -1;
    const auto left = static_cast<std::int32_t>(data.size()) - at;
    const int n = std::max(0, std::min(size * count, left));
    std::memcpy(buffer, data.data() + at, static_cast<std::size_t>(n));
    at += n;
    return n / size;
  }
  bool Error() override { return false; }
  std::int32_t Tell() override { return at; }
  std::int32_t Size() override { return static_cast<std::int32_t>(data.size()); }

  std::vector<std::uint8_t> data;
  bool opens;
  bool failReads = false;
  std::int32_t at = 0;
  int opensSeen = 0;
  std::vector<int> readSizes;
};

TEST(BufferedStream, ShortReadReturnsOnlyWholeItems) {
  TBufferedStream s(new ScriptedStream(Iota(10)), 4);
  ASSERT_TRUE(s.Open(modeRead));
  std::uint8_t buf[12] = {};
  EXPECT_EQ(s.Read(buf, 4, 3), 2);
  EXPECT_EQ(std::memcmp(buf, Iota(10).data(), 10), 0) << "all ten bytes are copied";
  EXPECT_TRUE(s.Eof());
  EXPECT_EQ(s.Tell(), 10);
}

TEST(BufferedStream, OpensReadOnlyAndOnlyOverAStreamThatOpens) {
  TBufferedStream none(nullptr);
  EXPECT_FALSE(none.Open(modeRead));

  auto* inner = new ScriptedStream(Iota(4));
  TBufferedStream s(inner);
  EXPECT_FALSE(s.Open(3));
  EXPECT_FALSE(s.Open(modeAppend));
  EXPECT_EQ(inner->opensSeen, 0) << "write modes never reach the inner stream";
  EXPECT_TRUE(s.Open(modeRead));
  EXPECT_EQ(s.Size(), 4);
  std::uint8_t b;
  EXPECT_EQ(s.Write(&b, 1, 1), 0);
}

TEST(BufferedStream, RefillsInCapacityChunksWithDefault1024) {
  auto* inner = new ScriptedStream(Iota(3000));
  TBufferedStream s(inner, 0);
  ASSERT_TRUE(s.Open(modeRead));
  std::vector<std::uint8_t> out(3000);
  EXPECT_EQ(s.Read(out.data(), 1, 3000), 3000);
  EXPECT_EQ(out, Iota(3000));
  ASSERT_GE(inner->readSizes.size(), 3u);
  EXPECT_EQ(inner->readSizes[0], 1024);
}

TEST(BufferedStream, BytesWordsAndDwordsMatchTheInnerStreamAcrossRefills) {
  TempDir dir;
  const std::vector<std::uint8_t> bytes = Iota(64, 0xF0);
  const std::string path = dir.Write("d.bin", bytes);
  TFile plain;
  plain.SetName(path.c_str());
  ASSERT_TRUE(plain.Open(modeRead));
  auto* inner = new TFile;
  inner->SetName(path.c_str());
  TBufferedStream buffered(inner, 5);  // odd capacity: values straddle refills
  ASSERT_TRUE(buffered.Open(modeRead));
  EXPECT_EQ(buffered.ReadByte(), plain.ReadByte());
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(buffered.ReadWord(), plain.ReadWord());
    EXPECT_EQ(buffered.ReadDword(), plain.ReadDword());
  }
  EXPECT_EQ(buffered.Tell(), plain.Tell());
}

TEST(BufferedStream, SeekDiscardsTheBufferAndTellFollows) {
  auto* inner = new ScriptedStream(Iota(100));
  TBufferedStream s(inner, 16);
  ASSERT_TRUE(s.Open(modeRead));
  EXPECT_EQ(s.ReadByte(), 0);
  const std::size_t readsBefore = inner->readSizes.size();
  s.Seek(5, seekStart);  // inside the buffered bytes, still re-read
  EXPECT_EQ(s.Tell(), 5);
  EXPECT_EQ(s.ReadByte(), 5);
  EXPECT_EQ(inner->readSizes.size(), readsBefore + 1);
  s.Seek(0, seekEnd);
  EXPECT_TRUE(s.Eof());
}

TEST(BufferedStream, AnInnerStreamAnsweringMinusOneGivesNoData) {
  auto* inner = new ScriptedStream(Iota(8));
  TBufferedStream s(inner, 8);
  ASSERT_TRUE(s.Open(modeRead));
  inner->failReads = true;
  std::uint8_t buf[8];
  EXPECT_EQ(s.Read(buf, 1, 8), 0);
  EXPECT_EQ(s.ReadByte(), 0);
  EXPECT_EQ(s.Tell(), 0);
}

TEST(BaseStream, HoldsNothing) {
  TStream s;
  std::uint8_t b = 7;
  EXPECT_FALSE(s.Open(modeRead));
  EXPECT_EQ(s.Read(&b, 1, 1), 0);
  EXPECT_EQ(s.ReadDword(), 0u);
  EXPECT_TRUE(s.Error());
  EXPECT_TRUE(s.Eof());
  EXPECT_EQ(s.Tell(), -1);
  EXPECT_EQ(s.Size(), -1);
  EXPECT_FALSE(s.Erase());
}

}  // namespace
