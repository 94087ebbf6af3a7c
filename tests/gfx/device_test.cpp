// The device layer: mode table, open and close, viewport, lock.
#include <gtest/gtest.h>

#include "gfx/device.h"
#include "platform/glide/glide_output.h"

class DeviceTest : public ::testing::Test {
protected:
  void SetUp() override {
    GlideSelectOutput(GlideOutput::offscreen);
    DeviceInit();
    ASSERT_EQ(deviceInitialized, 1);
  }
  void TearDown() override { DeviceClose(); }
};

TEST(ScreenModeTest, FindsMatchingRowOrFallsBackToTheFirst) {
  const ScreenMode* mode = FindScreenMode(screenModes, screenModeCount, 640, 480);
  EXPECT_EQ(mode->resolution, GR_RESOLUTION_640x480);
  EXPECT_EQ(mode->resolution, 7);
  EXPECT_EQ(FindScreenMode(screenModes, screenModeCount, 1024, 768), &screenModes[0]);
  EXPECT_EQ(FindScreenMode(screenModes, screenModeCount, 640, 400)->resolution, 6);
  EXPECT_EQ(screenModes[0].resolution, 3);
  EXPECT_EQ(screenModes[3].resolution, 8);
}

TEST_F(DeviceTest, OpenSetsSizesAndChannelTables) {
  DeviceOpen(GR_RESOLUTION_640x480);
  ASSERT_EQ(DeviceIsOpen(), 1);
  EXPECT_EQ(screenWidth, 640);
  EXPECT_EQ(viewHeight, 480);
  EXPECT_EQ(alphaShift[255], 0xFF000000u);
  EXPECT_EQ(redShift[1], 0x10000u);
  EXPECT_EQ(greenShift[255], 0xFF00u);
  EXPECT_EQ(blueShift[7], 7u);
}

TEST_F(DeviceTest, UnknownCodeKeepsSizesButStillOpensWhenTheLibraryTakesIt) {
  DeviceOpen(GR_RESOLUTION_640x480);
  DeviceClose();
  DeviceOpen(GR_RESOLUTION_960x720);  // code 9: not in the table
  EXPECT_EQ(DeviceIsOpen(), 1);
  EXPECT_EQ(screenWidth, 640);  // previous values
  EXPECT_EQ(screenHeight, 480);
  DeviceClose();
  DeviceOpen(999);  // refused by the library
  EXPECT_EQ(DeviceIsOpen(), 0);
}

TEST_F(DeviceTest, CloseTwiceIsSafeAndLeavesTheLibraryReady) {
  DeviceOpen(GR_RESOLUTION_640x480);
  DeviceClose();
  EXPECT_EQ(DeviceIsOpen(), 0);
  EXPECT_EQ(deviceInitialized, 1);
  DeviceClose();
  EXPECT_EQ(deviceInitialized, 1);
  DeviceOpen(GR_RESOLUTION_640x480);
  EXPECT_EQ(DeviceIsOpen(), 1);
  // Opening while open closes first.
  DeviceOpen(GR_RESOLUTION_800x600);
  EXPECT_EQ(DeviceIsOpen(), 1);
  EXPECT_EQ(screenWidth, 800);
}

TEST_F(DeviceTest, ViewportScaleIsClamped) {
  DeviceOpen(GR_RESOLUTION_640x480);
  SetViewportScale(2.0f);
  EXPECT_EQ(viewWidth, 640);
  EXPECT_EQ(viewHeight, 480);
  SetViewportScale(0.5f);
  EXPECT_EQ(viewWidth, 320);
  EXPECT_EQ(viewHeight, 240);
  SetViewportScale(1.0f);
  EXPECT_EQ(viewWidth, 640);
}

TEST_F(DeviceTest, LockReturnsBackBufferAndStride) {
  int stride = -1;
  EXPECT_EQ(LockBackBuffer(&stride), nullptr);  // not open
  EXPECT_EQ(stride, -1);
  DeviceOpen(GR_RESOLUTION_640x480);
  std::uint16_t* p = LockBackBuffer(&stride);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(stride, 2048);
  p[0] = 0x1234;
  UnlockBackBuffer();
  SwapBuffers(0);
  int w, h, s;
  EXPECT_EQ(GlideShownFrame565(w, h, s)[0], 0x1234);
  ClearBuffer();
  p = LockBackBuffer(&stride);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 0);
  UnlockBackBuffer();
}
