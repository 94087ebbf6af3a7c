// Checks of the module model's allocation helpers and of the release of whole
// and half-built modules, including handing the samples back to the device.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sound/errors.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "sound/sdevice.h"

namespace {

std::vector<unsigned> removed;
int failRemoveAt = 0;  // handle whose removal fails, 0 = none

int RecordRemove(unsigned handle) {
  if (handle == static_cast<unsigned>(failRemoveAt)) {
    return errInvalidSampleHandle;
  }
  removed.push_back(handle);
  return errOK;
}

SoundDevice MakeDevice() {
  SoundDevice device{};
  device.RemoveSample = &RecordRemove;
  return device;
}

template <typename T>
T* Alloc(std::size_t count = 1) {
  T* block = nullptr;
  EXPECT_EQ(memAllocArray(count, &block), errOK);
  return block;
}

// A complete module of the shape an XM or IT reader builds: two instruments
// with note maps and envelopes, three samples (one with kept data), two
// patterns.
Module* BuildModule() {
  Module* module = Alloc<Module>();
  std::strcpy(module->name, "test");
  module->kind = modKindXM;
  module->songLength = 3;
  module->numInstruments = 2;
  module->numSamples = 3;
  module->numPatterns = 2;
  module->numChannels = 4;
  module->panning = Alloc<std::int32_t>(32);
  module->orders = Alloc<std::uint16_t>(3);
  module->orders[2] = orderEnd;
  module->instruments = Alloc<ModuleInstrument*>(2);
  module->samples = Alloc<ModuleSample*>(3);
  module->patterns = Alloc<PackedPattern*>(2);
  for (unsigned s = 0; s < 3; s++) {
    module->samples[s] = Alloc<ModuleSample>();
    module->samples[s]->sdHandle = 10 + s;
  }
  module->samples[1]->data = Alloc<std::uint8_t>(100);
  for (unsigned i = 0; i < 2; i++) {
    ModuleInstrument* inst = nullptr;
    EXPECT_EQ(ModuleAllocInstrument(2, &inst), errOK);
    inst->noteMap = Alloc<std::uint8_t>(96);
    inst->volEnvelope = Alloc<ModuleEnvelope>();
    inst->panEnvelope = Alloc<ModuleEnvelope>();
    inst->samples[0] = module->samples[i];
    inst->samples[1] = module->samples[2];
    module->instruments[i] = inst;
  }
  for (unsigned p = 0; p < 2; p++) {
    EXPECT_EQ(ModuleAllocEmptyPattern(64, &module->patterns[p]), errOK);
  }
  return module;
}

class ModuleFreeTest : public ::testing::Test {
protected:
  void SetUp() override {
    removed.clear();
    failRemoveAt = 0;
    before = memBlocksInUse();
  }
  std::size_t before = 0;
};

TEST_F(ModuleFreeTest, FreesEverythingAndRemovesDeviceSamples) {
  Module* module = BuildModule();
  EXPECT_GT(memBlocksInUse(), before);
  SoundDevice device = MakeDevice();
  EXPECT_EQ(ModuleFree(module, &device), errOK);
  EXPECT_EQ(memBlocksInUse(), before);
  EXPECT_EQ(removed, (std::vector<unsigned>{10, 11, 12}));
}

TEST_F(ModuleFreeTest, WithoutDeviceSamplesAreNotRemoved) {
  Module* module = BuildModule();
  EXPECT_EQ(ModuleFree(module, nullptr), errOK);
  EXPECT_EQ(memBlocksInUse(), before);
  EXPECT_TRUE(removed.empty());
}

TEST_F(ModuleFreeTest, HalfBuiltModulesAreAccepted) {
  // Tables allocated but entries still missing, as after a failed read.
  Module* module = Alloc<Module>();
  module->numInstruments = 5;
  module->numSamples = 5;
  module->numPatterns = 5;
  module->instruments = Alloc<ModuleInstrument*>(5);
  module->samples = Alloc<ModuleSample*>(5);
  module->samples[0] = Alloc<ModuleSample>();  // never added to the device
  module->patterns = nullptr;                  // not reached yet
  ModuleInstrument* inst = nullptr;
  ASSERT_EQ(ModuleAllocInstrument(0, &inst), errOK);
  EXPECT_EQ(inst->samples, nullptr);
  module->instruments[3] = inst;
  SoundDevice device = MakeDevice();
  EXPECT_EQ(ModuleFree(module, &device), errOK);
  EXPECT_EQ(memBlocksInUse(), before);
  EXPECT_TRUE(removed.empty()) << "handle 0 means not added";

  Module* bare = Alloc<Module>();
  EXPECT_EQ(ModuleFree(bare, &device), errOK);
  EXPECT_EQ(memBlocksInUse(), before);
  EXPECT_EQ(ModuleFree(nullptr, &device), errInvalidArguments);
}

TEST_F(ModuleFreeTest, FirstFailureStopsTheWalkAndARetryFinishes) {
  Module* module = BuildModule();
  SoundDevice device = MakeDevice();
  failRemoveAt = 11;
  EXPECT_EQ(ModuleFree(module, &device), errInvalidSampleHandle);
  EXPECT_EQ(removed, (std::vector<unsigned>{10}));
  EXPECT_EQ(module->instruments, nullptr) << "instruments come before samples";
  EXPECT_NE(module->patterns, nullptr) << "patterns come after samples";
  failRemoveAt = 0;
  EXPECT_EQ(ModuleFree(module, &device), errOK);
  EXPECT_EQ(removed, (std::vector<unsigned>{10, 11, 12}));
  EXPECT_EQ(memBlocksInUse(), before);
}

TEST(ModuleModel, EmptyPatternIs72BytesOf64EmptyRows) {
  PackedPattern* pattern = nullptr;
  ASSERT_EQ(ModuleAllocEmptyPattern(64, &pattern), errOK);
  EXPECT_EQ(pattern->length, 72u);
  EXPECT_EQ(pattern->rows, 64u);
  const std::uint8_t* rows = PatternRows(pattern);
  for (unsigned r = 0; r < 64; r++) {
    EXPECT_EQ(rows[r], 0) << "row " << r << " is the single end byte";
  }
  EXPECT_EQ(memFree(pattern), errOK);
}

TEST(ModuleModel, InstrumentSamplePointersShareItsBlock) {
  ModuleInstrument* inst = nullptr;
  ASSERT_EQ(ModuleAllocInstrument(16, &inst), errOK);
  EXPECT_EQ(inst->numSamples, 16u);
  EXPECT_EQ(inst->globalVolume, 64u);
  EXPECT_EQ(reinterpret_cast<std::uint8_t*>(inst->samples),
            reinterpret_cast<std::uint8_t*>(inst) + sizeof(ModuleInstrument));
  for (unsigned i = 0; i < 16; i++) {
    EXPECT_EQ(inst->samples[i], nullptr);
  }
  EXPECT_EQ(memFree(inst), errOK);
}

TEST(Allocator, ZeroFilledAndChecked) {
  std::uint32_t* words = nullptr;
  ASSERT_EQ(memAllocArray(100, &words), errOK);
  for (int i = 0; i < 100; i++) {
    EXPECT_EQ(words[i], 0u);
  }
  EXPECT_EQ(memFree(words), errOK);
  EXPECT_EQ(memFree(nullptr), errInvalidBlock);
  EXPECT_EQ(memAlloc(16, nullptr), errInvalidArguments);
  std::uint64_t* huge = nullptr;
  EXPECT_EQ(memAllocArray(SIZE_MAX / 2, &huge), errOutOfMemory);
  EXPECT_EQ(huge, nullptr);
}

}  // namespace
