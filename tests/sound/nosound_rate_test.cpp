// The no-sound device's clock at a rate a host asks for: the song keeps real
// time whatever the rate, and the usual 4000 Hz returns when it is reset.
#include <gtest/gtest.h>

#include "platform/win32/win32.h"
#include "sound/dsmnsnd.h"
#include "sound/errors.h"

namespace {

DWORD now = 0;
DWORD Now() { return now; }

// Player ticks one poll pass gives.
int Ticks() {
  EXPECT_EQ(NoSoundDevice.StartPlay(), errOK);
  int ticks = 0;
  int callPlayer = 0;
  do {
    callPlayer = 0;
    EXPECT_EQ(NoSoundDevice.Play(&callPlayer), errOK);
    ticks += callPlayer;
  } while (callPlayer != 0 && ticks < 100000);
  return ticks;
}

class NoSoundRate : public ::testing::Test {
 protected:
  void SetUp() override { Win32SetTickSource(Now); }
  void TearDown() override {
    NoSoundSetMixRate(0);
    Win32SetTickSource(nullptr);
  }
};

TEST_F(NoSoundRate, AChosenRateMixesAtThatRateAndKeepsRealTime) {
  for (unsigned rate : {44100u, 8000u, 192000u}) {
    NoSoundSetMixRate(rate);
    now = 1000;
    ASSERT_EQ(NoSoundDevice.Init(22050, 0), errOK);
    unsigned mixRate = 0;
    NoSoundDevice.GetMixRate(&mixRate);
    EXPECT_EQ(mixRate, rate);
    ASSERT_EQ(NoSoundDevice.SetUpdRate(5000), errOK);  // 50 ticks a second
    now += 1000;
    const int ticks = Ticks();
    EXPECT_GE(ticks, 49) << rate;
    EXPECT_LE(ticks, 50) << rate;
    now += 2000 * 5;  // a long stall still counts as two seconds at most
    EXPECT_LE(Ticks(), 100) << rate;
    ASSERT_EQ(NoSoundDevice.Close(), errOK);
  }
}

TEST_F(NoSoundRate, ResetGivesTheUsual4000Hz) {
  NoSoundSetMixRate(48000);
  NoSoundSetMixRate(0);
  ASSERT_EQ(NoSoundDevice.Init(44100, 0), errOK);
  unsigned mixRate = 0;
  NoSoundDevice.GetMixRate(&mixRate);
  EXPECT_EQ(mixRate, 4000u);
  ASSERT_EQ(NoSoundDevice.Close(), errOK);
}

}  // namespace
