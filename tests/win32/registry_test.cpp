// The file-backed registry: keys, typed values, persistence and damaged files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/win32/win32.h"

namespace {

class Registry : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "registry_test_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::remove(path_.c_str());
    Win32SetRegistryFile(path_.c_str());
  }
  void TearDown() override {
    Win32SetRegistryFile(nullptr);
    std::remove(path_.c_str());
  }
  std::string path_;
};

TEST_F(Registry, ValuesSurviveAReloadFromTheFile) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Test\\Sound", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  DWORD rate = 22050;
  ASSERT_EQ(RegSetValueExA(key, "MixingRate", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&rate), 4), ERROR_SUCCESS);
  const char text[] = "two words";
  ASSERT_EQ(RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), ERROR_SUCCESS);
  RegCloseKey(key);

  Win32SetRegistryFile(path_.c_str());  // forget the store, read the file again
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\TEST\\sound", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0, value = 0, size = 4;
  ASSERT_EQ(RegQueryValueExA(key, "mixingrate", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 22050u);
  char name[32] = {};
  size = sizeof name;
  ASSERT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, reinterpret_cast<BYTE*>(name), &size), ERROR_SUCCESS);
  EXPECT_STREQ(name, "two words");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  // A read-only key cannot be written.
  EXPECT_EQ(RegSetValueExA(key, "MixingRate", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&rate), 4),
            ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  // Parent keys were made on the way.
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(Registry, MissingKeysValuesAndSmallBuffersAreReported) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Nothing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\T", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  DWORD size = 4, value = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Absent", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_FILE_NOT_FOUND);
  const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  RegSetValueExA(key, "Wide", 0, REG_BINARY, eight, 8);
  size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "Wide", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(RegDeleteValueA(key, "Wide"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "Wide"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(key, "Wide", nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software"), ERROR_ACCESS_DENIED);  // has sub-keys
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\T"), ERROR_SUCCESS);
}

// A key with sub-keys stays even when a sibling's name sorts between it and
// them: "Test-2" lies between "Test" and "Test\Sound", a hyphen sorting before
// a backslash.
TEST_F(Registry, AKeyWithSubKeysStaysWhateverSortsBetween) {
  for (const char* name :
       {"Software\\Test", "Software\\Test-2", "Software\\Test\\Sound", "Software\\Test\\Sound\\Deep"}) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Test"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TEST\\Sound"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Test\\Sound\\Deep"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Test\\Sound"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Test"), ERROR_SUCCESS);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test-2", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(Registry, ADamagedFileLosesOnlyItsBadLines) {
  {
    std::ofstream out(path_);
    // Key "HKEY_CURRENT_USER\A", a good DWORD 7 named "X", then junk.
    out << "K 484b45595f43555252454e545f555345525c41\n"
        << "V 58 4 07000000\n"
        << "V zz 4 07000000\n"
        << "V 59 notanumber 00\n"
        << "garbage line\n"
        << "K 1\n"
        << "V 5a 4 0100\n";
  }
  Win32SetRegistryFile(path_.c_str());
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD value = 0, size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "X", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(RegQueryValueExA(key, "Y", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(key, "Z", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

}  // namespace
