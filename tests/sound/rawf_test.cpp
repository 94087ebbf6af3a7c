// Checks of the sound system's raw file layer over the Win32 file calls:
// open modes, 1-based seek origins, short reads and writes, lengths and the
// codes for missing and unusable files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/win32_error.h"
#include "platform/win32/win32_file.h"
#include "sound/errors.h"
#include "sound/mem.h"
#include "sound/rawf_nt.h"

namespace {

class RawFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "rawftest-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    blocksBefore = memBlocksInUse();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    EXPECT_EQ(memBlocksInUse(), blocksBefore) << "every file record is freed";
  }

  std::string Path(const std::string& name) const { return dir + "/" + name; }

  std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const std::string path = Path(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f != nullptr) {
      std::fwrite(bytes.data(), 1, bytes.size(), f);
      std::fclose(f);
    }
    return path;
  }

  std::vector<std::uint8_t> ReadAll(const std::string& path) const {
    std::vector<std::uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f != nullptr) {
      int c;
      while ((c = std::fgetc(f)) != EOF) {
        bytes.push_back(static_cast<std::uint8_t>(c));
      }
      std::fclose(f);
    }
    return bytes;
  }

  static std::vector<std::uint8_t> Counting(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; i++) {
      v[i] = static_cast<std::uint8_t>(i);
    }
    return v;
  }

  std::string dir;
  std::size_t blocksBefore = 0;
};

TEST_F(RawFileTest, MissingFileForReadingIsFileDoesNotExist) {
  RawFile* file = reinterpret_cast<RawFile*>(0x1);
  EXPECT_EQ(RawFileOpen(Path("absent.s3m").c_str(), rfOpenRead, &file), errFileNotFound);
  EXPECT_EQ(file, nullptr);
}

TEST_F(RawFileTest, WriteModeCreatesAndDoesNotTruncate) {
  const std::string created = Path("new.bin");
  RawFile* file = nullptr;
  ASSERT_EQ(RawFileOpen(created.c_str(), rfOpenWrite, &file), errOK);
  ASSERT_EQ(RawFileClose(file), errOK);
  EXPECT_TRUE(std::filesystem::exists(created));

  const std::string path = WriteFile("hundred.bin", Counting(100));
  ASSERT_EQ(RawFileOpen(path.c_str(), rfOpenWrite, &file), errOK);
  const std::vector<std::uint8_t> fresh(20, 0xEE);
  ASSERT_EQ(RawFileWrite(file, fresh.data(), 20), errOK);
  ASSERT_EQ(RawFileClose(file), errOK);
  std::vector<std::uint8_t> bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 100u);
  for (std::size_t i = 0; i < 100; i++) {
    EXPECT_EQ(bytes[i], i < 20 ? 0xEE : i) << i;
  }
}

TEST_F(RawFileTest, ShortReadIsUnexpectedEndOfFile) {
  const std::string path = WriteFile("ten.bin", Counting(10));
  RawFile* file = nullptr;
  ASSERT_EQ(RawFileOpen(path.c_str(), rfOpenRead, &file), errOK);
  std::vector<std::uint8_t> buffer(48);
  EXPECT_EQ(RawFileRead(file, buffer.data(), 48), errEndOfFile);
  ASSERT_EQ(RawFileSeek(file, 0, rfSeekAbsolute), errOK);
  EXPECT_EQ(RawFileRead(file, buffer.data(), 10), errOK);
  EXPECT_EQ(buffer[9], 9);
  EXPECT_EQ(RawFileRead(file, buffer.data(), 1), errEndOfFile);
  EXPECT_EQ(RawFileRead(file, buffer.data(), 0), errOK);
  EXPECT_EQ(RawFileClose(file), errOK);
}

TEST_F(RawFileTest, SeekOriginsAreOneBased) {
  const std::string path = WriteFile("seek.bin", Counting(64));
  RawFile* file = nullptr;
  ASSERT_EQ(RawFileOpen(path.c_str(), rfOpenRead, &file), errOK);
  std::uint8_t byte = 0;
  std::int32_t position = -1;

  ASSERT_EQ(RawFileSeek(file, 10, rfSeekAbsolute), errOK);
  ASSERT_EQ(RawFileRead(file, &byte, 1), errOK);
  EXPECT_EQ(byte, 10);

  ASSERT_EQ(RawFileSeek(file, 5, rfSeekRelative), errOK);
  ASSERT_EQ(RawFileGetPosition(file, &position), errOK);
  EXPECT_EQ(position, 16);

  ASSERT_EQ(RawFileSeek(file, -4, rfSeekEnd), errOK);
  ASSERT_EQ(RawFileRead(file, &byte, 1), errOK);
  EXPECT_EQ(byte, 60);

  EXPECT_EQ(RawFileSeek(file, 0, 0), errInvalidArguments) << "0 is not an origin here";
  EXPECT_EQ(RawFileSeek(file, 0, 4), errInvalidArguments);
  EXPECT_NE(RawFileSeek(file, -100, rfSeekAbsolute), errOK) << "before the start";
  ASSERT_EQ(RawFileGetPosition(file, &position), errOK);
  EXPECT_EQ(position, 61) << "a failed seek leaves the position";
  EXPECT_EQ(RawFileClose(file), errOK);
}

TEST_F(RawFileTest, LengthLeavesThePositionUnchanged) {
  const std::string path = WriteFile("len.bin", Counting(77));
  RawFile* file = nullptr;
  ASSERT_EQ(RawFileOpen(path.c_str(), rfOpenRead, &file), errOK);
  ASSERT_EQ(RawFileSeek(file, 33, rfSeekAbsolute), errOK);
  std::int32_t length = 0;
  ASSERT_EQ(RawFileLength(file, &length), errOK);
  EXPECT_EQ(length, 77);
  std::int32_t position = 0;
  ASSERT_EQ(RawFileGetPosition(file, &position), errOK);
  EXPECT_EQ(position, 33);
  EXPECT_EQ(RawFileClose(file), errOK);
}

TEST_F(RawFileTest, ReadWriteModeReadsBackWhatItWrote) {
  const std::string path = Path("rw.bin");
  RawFile* file = nullptr;
  ASSERT_EQ(RawFileOpen(path.c_str(), rfOpenReadWrite, &file), errOK);
  const std::vector<std::uint8_t> data = Counting(32);
  ASSERT_EQ(RawFileWrite(file, data.data(), 32), errOK);
  ASSERT_EQ(RawFileSeek(file, 8, rfSeekAbsolute), errOK);
  std::uint8_t back[4] = {};
  ASSERT_EQ(RawFileRead(file, back, 4), errOK);
  EXPECT_EQ(back[0], 8);
  EXPECT_EQ(back[3], 11);
  EXPECT_EQ(RawFileClose(file), errOK);
}

TEST_F(RawFileTest, WritingToAFileOpenedForReadingFails) {
  const std::string path = WriteFile("ro.bin", Counting(4));
  RawFile* file = nullptr;
  ASSERT_EQ(RawFileOpen(path.c_str(), rfOpenRead, &file), errOK);
  std::uint8_t byte = 1;
  EXPECT_EQ(RawFileWrite(file, &byte, 1), errAccessDenied);
  EXPECT_EQ(ReadAll(path), Counting(4)) << "the file is untouched";
  EXPECT_EQ(RawFileClose(file), errOK);
}

TEST_F(RawFileTest, DirectoriesAndBadArgumentsAreRefused) {
  RawFile* file = nullptr;
  EXPECT_EQ(RawFileOpen(dir.c_str(), rfOpenRead, &file), errAccessDenied);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(RawFileOpen(Path("x").c_str(), 7, &file), errInvalidArguments);
  EXPECT_FALSE(std::filesystem::exists(Path("x")));
  EXPECT_EQ(RawFileOpen(nullptr, rfOpenRead, &file), errInvalidArguments);
  EXPECT_EQ(RawFileOpen(Path("x").c_str(), rfOpenRead, nullptr), errInvalidArguments);
  EXPECT_EQ(RawFileRead(nullptr, nullptr, 0), errInvalidFileHandle);
  EXPECT_EQ(RawFileClose(nullptr), errInvalidFileHandle);
}

TEST_F(RawFileTest, ExistsAnswersWithoutFailing) {
  const std::string path = WriteFile("here.bin", Counting(1));
  int exists = -1;
  EXPECT_EQ(RawFileExists(path.c_str(), &exists), errOK);
  EXPECT_EQ(exists, 1);
  EXPECT_EQ(RawFileExists(Path("gone.bin").c_str(), &exists), errOK);
  EXPECT_EQ(exists, 0);
}

TEST_F(RawFileTest, PermissionDeniedIsAccessDenied) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "the superuser can open any file";
  }
  const std::string path = WriteFile("locked.bin", Counting(4));
  chmod(path.c_str(), 0);
  RawFile* file = nullptr;
  EXPECT_EQ(RawFileOpen(path.c_str(), rfOpenRead, &file), errAccessDenied);
}

// A close the system refuses is reported, and the record is freed all the same:
// the caller cannot use it again either way (the fixture counts the blocks).
TEST_F(RawFileTest, AFailedCloseStillFreesTheRecord) {
  const std::string path = WriteFile("close.bin", Counting(4));
  RawFile* file = nullptr;
  ASSERT_EQ(RawFileOpen(path.c_str(), rfOpenRead, &file), errOK);
  ASSERT_TRUE(CloseHandle(file->fileHandle));  // taken away underneath
  EXPECT_NE(RawFileClose(file), errOK);
}

TEST(Win32File, ClosedAndForeignHandlesAreInvalid) {
  std::uint8_t byte = 0;
  DWORD count = 0;
  int notAFile = 0;
  EXPECT_FALSE(ReadFile(&notAFile, &byte, 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  const std::string path =
      (std::filesystem::temp_directory_path() / "win32file-close.bin").string();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h)) << "a second close fails cleanly";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Win32File, SetFilePointerAndSize) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "win32file-size.bin").string();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const char text[] = "0123456789";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(h, text, 10, &written, nullptr));
  EXPECT_EQ(written, 10u);
  EXPECT_EQ(GetFileSize(h, nullptr), 10u);
  EXPECT_EQ(SetFilePointer(h, -3, nullptr, FILE_END), 7u);
  EXPECT_EQ(SetFilePointer(h, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 7u);
  char back[8] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(h, back, 8, &got, nullptr));
  EXPECT_EQ(got, 3u) << "a read at the end is a short success";
  EXPECT_TRUE(CloseHandle(h));
  std::filesystem::remove(path);
}

}  // namespace
