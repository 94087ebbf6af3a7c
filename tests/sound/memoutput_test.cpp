// Tick lengths of the memory output device.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sound/dsmmem.h"
#include "sound/errors.h"
#include "sound/sdevice.h"

namespace {

class MemoryOutputTicks : public ::testing::Test {
 protected:
  void TearDown() override {
    memSetOutput(nullptr, 0);
    MemoryDevice.Close();
  }

  // Frames mixed in each of `ticks` player ticks, one Play call per tick.
  std::vector<unsigned> TickLengths(unsigned rate, unsigned tempo, int ticks) {
    EXPECT_EQ(MemoryDevice.Init(rate, 0), errOK);
    EXPECT_EQ(MemoryDevice.OpenChannels(1), errOK);
    EXPECT_EQ(MemoryDevice.SetUpdRate(tempo * 40), errOK);
    std::vector<unsigned> lengths;
    for (int i = 0; i < ticks; ++i) {
      memSetOutput(buffer.data(), static_cast<unsigned>(buffer.size() / 4));
      int callPlayer = 0;
      EXPECT_EQ(MemoryDevice.Play(&callPlayer), errOK);
      EXPECT_EQ(callPlayer, 1);
      lengths.push_back(memFramesWritten());
    }
    MemoryDevice.CloseChannels();
    return lengths;
  }

  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(4 * 8192);
};

// A tick of 2.5 / tempo seconds is a whole number of frames, rounded down
// and never lengthened by a carried fraction: tempo 133 at 44100 Hz gives
// 828.95 frames, played as 828 every tick.
TEST_F(MemoryOutputTicks, EveryTickIsTheSameWholeNumberOfFramesRoundedDown) {
  for (unsigned n : TickLengths(44100, 133, 20)) EXPECT_EQ(n, 828u);
  for (unsigned n : TickLengths(44100, 128, 6)) EXPECT_EQ(n, 861u);  // 861.33
  for (unsigned n : TickLengths(44100, 125, 4)) EXPECT_EQ(n, 882u);  // exact
  for (unsigned n : TickLengths(22050, 150, 6)) EXPECT_EQ(n, 367u);  // 367.5
}

// A tick longer than the output buffer is finished by the next call, which
// then asks for the player.
TEST_F(MemoryOutputTicks, ATickSplitAcrossTwoBuffersKeepsItsLength) {
  ASSERT_EQ(MemoryDevice.Init(44100, 0), errOK);
  ASSERT_EQ(MemoryDevice.OpenChannels(1), errOK);
  ASSERT_EQ(MemoryDevice.SetUpdRate(133 * 40), errOK);
  int callPlayer = 1;
  memSetOutput(buffer.data(), 500);
  ASSERT_EQ(MemoryDevice.Play(&callPlayer), errOK);
  EXPECT_EQ(callPlayer, 0);
  EXPECT_EQ(memFramesWritten(), 500u);
  memSetOutput(buffer.data(), 1000);
  ASSERT_EQ(MemoryDevice.Play(&callPlayer), errOK);
  EXPECT_EQ(callPlayer, 1);
  EXPECT_EQ(memFramesWritten(), 328u);
  MemoryDevice.CloseChannels();
}

}  // namespace
