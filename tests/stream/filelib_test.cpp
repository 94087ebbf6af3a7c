#include <gtest/gtest.h>

#include <cstring>

#include "stream/filelib.h"
#include "temp_dir.h"
#include "tools/archivewriter/archivewriter.h"

namespace {

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

void Put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
  ASSERT_LE(at + 4, v.size());
  const std::uint8_t le[4] = {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8),
                              static_cast<std::uint8_t>(x >> 16), static_cast<std::uint8_t>(x >> 24)};
  std::copy(le, le + 4, v.begin() + static_cast<std::ptrdiff_t>(at));
}

// A file stream that counts the seeks made on it.
class CountingFile : public TFile {
public:
  void Seek(std::int32_t offset, int origin) override {
    ++seeks;
    TFile::Seek(offset, origin);
  }
  int seeks = 0;
};

class ArchiveTest : public ::testing::Test {
protected:
  // Writes bytes to a file, opens it and builds the library at position `at`.
  TFileLib* Open(const std::vector<std::uint8_t>& bytes, std::int32_t at = 0) {
    file.SetName(dir.Write("a.dat", bytes).c_str());
    EXPECT_TRUE(file.Open(modeRead));
    file.Seek(at, seekStart);
    lib.reset(new TFileLib(&file));
    return lib.get();
  }

  std::vector<std::uint8_t> Build(const std::vector<archivewriter::Member>& members) {
    std::vector<std::uint8_t> out;
    std::string error;
    EXPECT_TRUE(archivewriter::Build(members, out, error)) << error;
    return out;
  }

  std::vector<std::uint8_t> Sample() {
    return Build({{"textures\\plasm.pcx", Iota(300)}, {"3ds\\intro.3DS", Bytes("scene")}, {"Dup", Bytes("first")},
                  {"dup", Bytes("second")}});
  }

  TempDir dir;
  CountingFile file;
  std::unique_ptr<TFileLib> lib;
};

TEST_F(ArchiveTest, FindFoldsOnlyLettersAndTakesTheFirstOfEqualNames) {
  TFileLib* l = Open(Sample());
  ASSERT_FALSE(l->Error());
  ASSERT_EQ(l->EntryCount(), 4);
  EXPECT_NE(l->Find("TEXTURES\\PLASM.PCX"), nullptr);
  EXPECT_EQ(l->Find("textures/plasm.pcx"), nullptr) << "the backslash is an ordinary character";
  EXPECT_EQ(l->Find("textures\\plasm.pc"), nullptr);
  EXPECT_EQ(l->Find("textures\\plasm.pcxx"), nullptr);
  const TFileLibEntry* dup = l->Find("DUP");
  ASSERT_NE(dup, nullptr);
  EXPECT_EQ(dup->size, 5);
  EXPECT_EQ(dup, l->Entry(2));
}

TEST_F(ArchiveTest, MemberStreamSeeksReadsAndReportsTheEnd) {
  TFileInLib in(Open(Sample()));
  in.SetName("textures\\plasm.pcx");
  ASSERT_TRUE(in.Open(modeRead));
  EXPECT_EQ(in.Size(), 300);
  in.Seek(0, seekEnd);
  EXPECT_EQ(in.Tell(), 300);
  EXPECT_TRUE(in.Eof());
  in.Seek(1, seekEnd);
  EXPECT_TRUE(in.Error());
  EXPECT_EQ(in.Tell(), 300) << "a failed seek leaves the position";

  in.Seek(290, seekStart);
  std::uint8_t buf[100];
  EXPECT_EQ(in.Read(buf, 1, 100), 10);
  EXPECT_EQ(buf[0], static_cast<std::uint8_t>(290));
  EXPECT_EQ(in.Tell(), 300);
  EXPECT_FALSE(lib->Error()) << "reading to the member's end is not an error";

  in.Seek(-4, seekEnd);
  EXPECT_EQ(in.ReadDword(), 0x2B2A2928u);
  EXPECT_TRUE(in.Open(modeRead));
  EXPECT_EQ(in.Tell(), 0) << "Open rewinds";
}

TEST_F(ArchiveTest, MissingMemberFailsToOpen) {
  TFileInLib in(Open(Sample()));
  in.SetName("textures\\none.pcx");
  EXPECT_FALSE(in.Open(modeRead));
  EXPECT_TRUE(in.Error());
  std::uint8_t b;
  EXPECT_EQ(in.Read(&b, 1, 1), -1);
  EXPECT_EQ(in.Tell(), -1);
  EXPECT_EQ(in.Size(), -1);
  EXPECT_TRUE(in.Eof());

  TFileInLib orphan(nullptr);
  EXPECT_TRUE(orphan.Error());
}

TEST_F(ArchiveTest, ConsecutiveReadsOfOneMemberCostNoSeek) {
  TFileLib* l = Open(Sample());
  TFileInLib a(l), b(l);
  a.SetName("textures\\plasm.pcx");
  b.SetName("3ds\\intro.3DS");
  ASSERT_TRUE(a.Open(modeRead) && b.Open(modeRead));
  std::uint8_t buf[8];
  const int before = file.seeks;
  a.Read(buf, 1, 8);
  a.Read(buf, 1, 8);
  a.Read(buf, 1, 8);
  EXPECT_EQ(file.seeks, before) << "the first member starts where the directory ends";
  b.Read(buf, 1, 1);
  a.Read(buf, 1, 1);
  EXPECT_EQ(file.seeks, before + 2) << "alternating members seek each time";
  EXPECT_EQ(buf[0], 24);
}

TEST_F(ArchiveTest, AnArchiveInsideALargerStreamReadsRelativeToItsStart) {
  std::vector<std::uint8_t> bytes = Iota(100, 0x80);
  const std::vector<std::uint8_t> archive = Sample();
  bytes.insert(bytes.end(), archive.begin(), archive.end());
  TFileInLib in(Open(bytes, 100));
  ASSERT_FALSE(lib->Error());
  in.SetName("3ds\\intro.3DS");
  ASSERT_TRUE(in.Open(modeRead));
  char text[6] = {};
  EXPECT_EQ(in.Read(text, 5, 1), 1);
  EXPECT_STREQ(text, "scene");
}

TEST_F(ArchiveTest, MalformedDirectoriesAreRejected) {
  const std::vector<std::uint8_t> good = Sample();
  auto expectInvalid = [&](std::vector<std::uint8_t> bytes, const char* what) {
    EXPECT_TRUE(Open(bytes)->Error()) << what;
    EXPECT_EQ(lib->Find("dup"), nullptr) << what;
  };
  auto badMagic = good;
  badMagic[6] = '2';
  expectInvalid(badMagic, "magic");
  auto noEof = good;
  noEof[7] = 0;
  expectInvalid(noEof, "magic's last byte");
  auto zero = good;
  Put32(zero, 8, 0);
  expectInvalid(zero, "count 0");
  auto negative = good;
  Put32(negative, 8, 0xFFFFFFFF);
  expectInvalid(negative, "negative count");
  auto huge = good;
  Put32(huge, 8, 0x7FFFFFFF);
  expectInvalid(huge, "count far beyond the file");
  expectInvalid(std::vector<std::uint8_t>(good.begin(), good.begin() + 11), "truncated header");
  expectInvalid(std::vector<std::uint8_t>(good.begin(), good.begin() + 12 + 64 * 3 + 10), "truncated directory");
  expectInvalid({}, "empty file");
}

TEST_F(ArchiveTest, AMemberPastTheEndReadsShortAndPoisonsTheArchive) {
  std::vector<std::uint8_t> bytes = Sample();
  Put32(bytes, 12 + 64 * 1 + 56, 1000);  // "3ds\intro.3DS" claims 1000 bytes
  TFileLib* l = Open(bytes);
  ASSERT_FALSE(l->Error());
  TFileInLib in(l), other(l);
  in.SetName("3ds\\intro.3DS");
  other.SetName("dup");
  ASSERT_TRUE(in.Open(modeRead) && other.Open(modeRead));
  EXPECT_FALSE(other.Error());
  std::vector<std::uint8_t> buf(1000);
  EXPECT_EQ(in.Read(buf.data(), 1000, 1), 0);
  EXPECT_TRUE(l->Error());
  EXPECT_TRUE(other.Error()) << "the error is shared by every member stream";
}

TEST_F(ArchiveTest, StrangeEntriesNeverReadOutsideTheirFields) {
  std::vector<std::uint8_t> bytes = Sample();
  std::memset(bytes.data() + 12, 'x', 52);            // first name fills its field, no NUL
  Put32(bytes, 12 + 64 * 2 + 56, 0x80000000u);       // "Dup" has a negative size
  Put32(bytes, 12 + 64 * 3 + 52, 0xFFFFFFF0u);       // "dup" starts beyond 2 GiB
  TFileLib* l = Open(bytes);
  ASSERT_FALSE(l->Error());
  EXPECT_NE(l->Find(std::string(52, 'X').c_str()), nullptr);
  EXPECT_EQ(l->Find(std::string(51, 'x').c_str()), nullptr);

  TFileInLib neg(l);
  neg.SetName("Dup");
  ASSERT_TRUE(neg.Open(modeRead));
  std::uint8_t b[4];
  EXPECT_EQ(neg.Read(b, 1, 4), 0);

  TFileInLib far(l);
  far.SetName("dup");  // the first "dup" match is now the negative "Dup"; search the second
  EXPECT_EQ(l->Find("dup"), l->Entry(2));
  TFileInLib direct(l);
  EXPECT_EQ(l->ReadAt(b, 0xFFFFFFF0u, 4), 0);
  EXPECT_TRUE(l->Error());
}

TEST(ArchiveWriter, RefusesNamesThatDoNotFitAndEmptyArchives) {
  std::vector<std::uint8_t> out;
  std::string error;
  EXPECT_FALSE(archivewriter::Build({}, out, error));
  EXPECT_FALSE(archivewriter::Build({{std::string(52, 'a'), {}}}, out, error));
  EXPECT_NE(error.find("51"), std::string::npos);
  EXPECT_TRUE(archivewriter::Build({{std::string(51, 'a'), {1, 2}}}, out, error));
  EXPECT_EQ(out.size(), 12u + 64u + 2u);
}

}  // namespace
