// A test fixture for a module reader: loads songs or raw bytes through a
// scratch file, frees the module between loads and checks that every
// allocator block is returned by the end of the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sound/errors.h"
#include "sound/loadit.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "tests/sound/support/reader_support.h"

namespace soundtest {

using LoadFunction = int (*)(const char*, const SoundDevice*, int, ModuleSampleCallback, Module**);

template <LoadFunction Loader>
class ReaderFixture : public ::testing::Test {
protected:
  void SetUp() override { blocksBefore = memBlocksInUse(); }
  void TearDown() override {
    FreeModule();
    EXPECT_EQ(memBlocksInUse(), blocksBefore) << "allocator blocks leaked";
  }
  void FreeModule() {
    if (module != nullptr) {
      EXPECT_EQ(ModuleFree(module, nullptr), errOK);
    }
    module = nullptr;
  }
  template <class Song>
  int Load(const Song& song, const SoundDevice* device = nullptr, int add = 0,
           ModuleSampleCallback callback = nullptr) {
    return LoadBytes(song.Build(), device, add, callback);
  }
  int LoadBytes(const std::vector<std::uint8_t>& bytes, const SoundDevice* device = nullptr,
                int add = 0, ModuleSampleCallback callback = nullptr) {
    FreeModule();
    ScratchFile file(bytes);
    return Loader(file.path(), device, add, callback, &module);
  }
  std::vector<Entry> Pattern(unsigned index) {
    bool ok = false;
    auto entries = DecodePattern(module->patterns[index], &ok);
    EXPECT_TRUE(ok) << "pattern " << index << " is not well formed";
    return entries;
  }

  Module* module = nullptr;
  std::size_t blocksBefore = 0;
};

}  // namespace soundtest
