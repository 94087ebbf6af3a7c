// The window output with SDL's dummy video driver: the main thread's service
// creates the window after the accelerator opens, presents posted frames, sorts
// events, and destroys the window after shutdown.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "platform/glide/glide.h"
#include "platform/glide/glide_output.h"
#include "platform/glide/glide_window.h"

namespace {

class WindowOutputTest : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    GlideSelectOutput(GlideOutput::window);
    grGlideInit();
    GrHwConfiguration hw;
    if (!grSstQueryHardware(&hw)) GTEST_SKIP() << "no SDL video driver";
    grSstSelect(0);
  }
  void TearDown() override {
    grGlideShutdown();
    GlideWindowService();
    GlideSelectOutput(GlideOutput::offscreen);
  }
};

}  // namespace

TEST_F(WindowOutputTest, ServiceCreatesPresentsAndDestroysTheWindow) {
  EXPECT_FALSE(GlideWindowIsOpen());
  ASSERT_TRUE(grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB,
                           GR_ORIGIN_LOWER_LEFT, 2, 1));
  EXPECT_FALSE(GlideWindowIsOpen());  // only the main thread's service creates it
  GlideWindowService();
  ASSERT_TRUE(GlideWindowIsOpen());

  // The drawing thread swaps (waiting for the retrace schedule); the main thread
  // presents whatever was handed over.
  std::thread drawing([] {
    for (int i = 0; i < 3; ++i) {
      grBufferClear(0xFF00FF00, 0, 0xFFFF);
      grBufferSwap(1);
    }
  });
  drawing.join();
  GlideWindowService();
  EXPECT_EQ(GlideSwapCount(), 3u);
  int w, h, stride;
  EXPECT_EQ(GlideShownFrame565(w, h, stride)[0], 0x07E0);

  grGlideShutdown();
  GlideWindowService();
  EXPECT_FALSE(GlideWindowIsOpen());
}

TEST_F(WindowOutputTest, EventsOfTheAcceleratorWindowAreRecognised) {
  ASSERT_TRUE(grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB,
                           GR_ORIGIN_LOWER_LEFT, 2, 1));
  GlideWindowService();
  ASSERT_TRUE(GlideWindowIsOpen());
  const Uint32 id = GlideWindowId();
  ASSERT_NE(id, 0u);
  ASSERT_NE(SDL_GetWindowFromID(id), nullptr);

  SDL_Event key{};
  key.type = SDL_KEYDOWN;
  key.key.windowID = id;
  EXPECT_EQ(GlideWindowFilterEvent(&key), glideEventKey);
  key.key.windowID = id + 100;
  EXPECT_EQ(GlideWindowFilterEvent(&key), glideEventNotOurs);

  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.windowID = id;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  EXPECT_EQ(GlideWindowFilterEvent(&close), glideEventClose);
  close.window.event = SDL_WINDOWEVENT_EXPOSED;
  EXPECT_EQ(GlideWindowFilterEvent(&close), glideEventOther);
  EXPECT_EQ(GlideWindowFilterEvent(nullptr), glideEventNotOurs);
}
