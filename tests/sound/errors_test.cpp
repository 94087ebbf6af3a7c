// Checks of the sound error texts, the last-error store, the translation of
// operating-system file errors and the fatal-error path.
#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32_error.h"
#include "sound/errors.h"

namespace {

TEST(ErrorMessages, TableTextsByCode) {
  EXPECT_STREQ(SoundErrorMessage(errUndefined), "Undefined error");
  EXPECT_STREQ(SoundErrorMessage(2), "Out of memory");
  EXPECT_STREQ(SoundErrorMessage(12), "Out of sample handles");
  EXPECT_STREQ(SoundErrorMessage(18), "Invalid channel number");
  EXPECT_STREQ(SoundErrorMessage(20), "Sound Device channels not open");
  EXPECT_STREQ(SoundErrorMessage(23), "File does not exist");
  EXPECT_STREQ(SoundErrorMessage(29), "Unexpected end of file");
  EXPECT_STREQ(SoundErrorMessage(31), "Unable to write file");
  EXPECT_STREQ(SoundErrorMessage(44), "DirectSound Window Handle not set");
  EXPECT_STREQ(SoundErrorMessage(49), "Couldn't load dsound.dll");
  EXPECT_STREQ(SoundErrorMessage(51), "Unsupported sample data format");
  EXPECT_EQ(errUnsupportedSampleFormat, 51);
  EXPECT_EQ(errEndOfFile, 29);
  EXPECT_EQ(errFileNotFound, 23);
}

TEST(ErrorMessages, EveryCodeHasItsOwnTextAndStrayCodesAreSafe) {
  std::set<std::string> texts;
  for (int code = 1; code <= soundErrorCount; code++) {
    const char* text = SoundErrorMessage(code);
    ASSERT_NE(text, nullptr);
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), 51u);
  EXPECT_STREQ(SoundErrorMessage(0), "OK");
  EXPECT_STREQ(SoundErrorMessage(52), "Unknown error");
  EXPECT_STREQ(SoundErrorMessage(-1), "Unknown error");
}

TEST(ErrorMessages, LastErrorStartsAtZeroAndKeepsTheCode) {
  EXPECT_EQ(SoundLastError(), 0);
  SoundSetLastError(errInvalidModule);
  EXPECT_EQ(SoundLastError(), errInvalidModule);
  SoundSetLastError(errOK);
}

TEST(ErrorTranslation, SystemErrorsMapToSoundCodes) {
  struct Row {
    DWORD system;
    int code;
  };
  const std::vector<Row> rows = {
      {ERROR_SUCCESS, 0},           {ERROR_FILE_NOT_FOUND, 23},     {ERROR_TOO_MANY_OPEN_FILES, 27},
      {ERROR_ACCESS_DENIED, 25},    {ERROR_INVALID_HANDLE, 24},     {ERROR_NOT_ENOUGH_MEMORY, 2},
      {ERROR_OUTOFMEMORY, 2},       {ERROR_INVALID_DRIVE, 30},      {ERROR_BAD_NETPATH, 30},
      {ERROR_DEV_NOT_EXIST, 30},    {ERROR_BAD_NET_NAME, 30},       {ERROR_INVALID_NAME, 30},
      {ERROR_DIRECTORY, 30},        {ERROR_INVALID_COMPUTERNAME, 30}, {ERROR_INVALID_SHARENAME, 30},
      {ERROR_SEEK, 14},             {ERROR_READ_FAULT, 14},         {ERROR_WRITE_FAULT, 31},
      {ERROR_CANNOT_MAKE, 31},      {ERROR_HANDLE_DISK_FULL, 28},   {ERROR_DISK_FULL, 28},
      {ERROR_FILE_EXISTS, 26},      {ERROR_ALREADY_EXISTS, 26},     {ERROR_OPEN_FAILED, 13},
      {ERROR_PATH_NOT_FOUND, 1},    {ERROR_GEN_FAILURE, 1},         {99999, 1},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(SoundTranslateSystemError(row.system), row.code) << "system error " << row.system;
  }
}

TEST(ErrorTranslation, ErrnoReachesTheSameCodesThroughTheWin32Layer) {
  EXPECT_EQ(SoundTranslateSystemError(Win32ErrorFromErrno(ENOENT)), errFileNotFound);
  EXPECT_EQ(SoundTranslateSystemError(Win32ErrorFromErrno(EACCES)), errAccessDenied);
  EXPECT_EQ(SoundTranslateSystemError(Win32ErrorFromErrno(EMFILE)), errTooManyFiles);
  EXPECT_EQ(SoundTranslateSystemError(Win32ErrorFromErrno(ENOSPC)), errDiskFull);
  EXPECT_EQ(SoundTranslateSystemError(Win32ErrorFromErrno(EEXIST)), errFileExists);
  EXPECT_EQ(SoundTranslateSystemError(Win32ErrorFromErrno(EBADF)), errInvalidFileHandle);
  EXPECT_EQ(SoundTranslateSystemError(Win32ErrorFromErrno(ENOMEM)), errOutOfMemory);
  EXPECT_EQ(SoundTranslateSystemError(Win32ErrorFromErrno(EIO)), errFileRead);
  EXPECT_EQ(SoundTranslateSystemError(Win32ErrorFromErrno(0)), errOK);
}

TEST(Win32LastError, IsPerThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD seen = 12345;
  std::thread other([&] { seen = GetLastError(); });
  other.join();
  EXPECT_EQ(seen, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  SetLastError(ERROR_SUCCESS);
}

// The fatal path, with a handler that records instead of ending the process.
std::vector<std::string> reported;
std::vector<int> stepsRun;

void Record(const char* message) { reported.emplace_back(message); }

class FatalPathTest : public ::testing::Test {
protected:
  void SetUp() override {
    reported.clear();
    stepsRun.clear();
    SoundSetErrorExit(&Record);
  }
  void TearDown() override {
    SoundSetErrorExit(nullptr);
    SoundSetShutdownSteps(nullptr, 0);
  }
};

TEST_F(FatalPathTest, ReportErrorShutsDownInOrderThenReports) {
  const SoundShutdownStep steps[] = {
      []() -> int { stepsRun.push_back(1); return 0; },
      []() -> int { stepsRun.push_back(2); return errNoChannels; },
      []() -> int { stepsRun.push_back(3); return 0; },
      []() -> int { stepsRun.push_back(4); return 0; },
  };
  SoundSetShutdownSteps(steps, 4);
  SoundReportError(errInvalidPattern);
  EXPECT_EQ(stepsRun, (std::vector<int>{1, 2, 3, 4}));
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_EQ(reported[0], "FATAL QUAVR uninitialization failure: Sound Device channels not open");
  EXPECT_EQ(reported[1], "QUAVR Error: Invalid pattern data in module");
}

TEST_F(FatalPathTest, UninitErrorText) {
  SoundReportUninitError(errDeviceBusy);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "FATAL QUAVR uninitialization failure: Device is busy");
}

TEST_F(FatalPathTest, OwnMessagesReachTheReplacedHandlerUnchanged) {
  SoundCallErrorExit("StartPlayThread: Couldn't create player thread!");
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], "StartPlayThread: Couldn't create player thread!");
}

TEST_F(FatalPathTest, NullHandlerRestoresTheDefault) {
  SoundSetErrorExit(nullptr);
  EXPECT_EXIT(SoundReportError(errOutOfMemory), ::testing::ExitedWithCode(255),
              "QUAVR Error: Out of memory");
}

TEST(DefaultErrorExit, WritesMessageAndExitsWith255) {
  EXPECT_EXIT(SoundDefaultErrorExit("something broke"), ::testing::ExitedWithCode(255),
              "^something broke\n$");
}

}  // namespace
