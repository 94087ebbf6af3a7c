// Test fixture that plays an in-memory module on the recording device, one
// player tick at a time, and gives access to the song's state.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "sound/errors.h"
#include "sound/gmplayer.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "tests/sound/support/module_builder.h"
#include "tests/sound/support/recording_device.h"

class PlayerTest : public testing::Test {
 protected:
  void SetUp() override {
    recdev::Reset();
    ASSERT_EQ(gmpInit(recdev::Device()), errOK);
    blocksBefore = memBlocksInUse();
  }
  void TearDown() override {
    if (handle != nullptr) {
      EXPECT_EQ(gmpStopSong(handle), errOK);
    }
    if (module != nullptr) {
      EXPECT_EQ(ModuleFree(module, nullptr), errOK);
    }
    EXPECT_EQ(memBlocksInUse(), blocksBefore);
  }

  void Start(const modbuild::ModuleSpec& layout, int loop = 1) {
    module = modbuild::Build(layout);
    std::vector<unsigned> channels(layout.channels);
    for (unsigned i = 0; i < channels.size(); ++i) channels[i] = i;
    ASSERT_EQ(gmpPlaySong(module, -1, -1, -1, loop, -1, channels.data(), &handle), errOK);
  }
  // One player tick; events it causes carry the tick's number (1-based).
  int Tick() {
    recdev::tick = ++ticks;
    return gmpPlay();
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) ASSERT_EQ(Tick(), errOK);
  }
  // Stops the song and frees its module, so a test can start another.
  void Finish() {
    EXPECT_EQ(gmpStopSong(handle), errOK);
    handle = nullptr;
    EXPECT_EQ(ModuleFree(module, nullptr), errOK);
    module = nullptr;
    ticks = 0;
    recdev::Reset();
  }
  PlayerChannel& Ch(int i) { return handle->channels[i]; }
  // Rate sent to a channel on a tick (the last one, if several).
  std::int64_t RateOn(unsigned tick, int channel = 0) {
    auto e = recdev::Of(recdev::Op::SetRate, channel, tick);
    return e.empty() ? -1 : e.back().value;
  }
  std::int64_t VolumeOn(unsigned tick, int channel = 0) {
    auto e = recdev::Of(recdev::Op::SetVolume, channel, tick);
    return e.empty() ? -1 : e.back().value;
  }

  Module* module = nullptr;
  PlayerHandle* handle = nullptr;
  unsigned ticks = 0;
  std::size_t blocksBefore = 0;
};

// A one-pattern S3M-style layout at speed 1 (every tick reads a row).
inline modbuild::ModuleSpec FastSpec(ModuleKind kind = modKindS3M, std::uint8_t channels = 1) {
  modbuild::ModuleSpec layout;
  layout.kind = kind;
  layout.channels = channels;
  layout.speed = 1;
  if (kind == modKindXM) layout.samples[0].basePitch = 0;  // relative note
  return layout;
}

// One IT channel in instrument mode at speed 1: instrument 0 plays sample 0,
// which loops and so never ends by itself.
inline modbuild::ModuleSpec ItInstrumentSpec(const modbuild::InstrumentSpec& instrument) {
  auto layout = FastSpec(modKindIT, 1);
  layout.flags = modFlagInstrumentMode;
  layout.samples[0].loop = true;
  layout.instruments = {instrument};
  layout.instruments[0].samples = {0};
  return layout;
}
