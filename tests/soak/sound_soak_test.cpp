// Soak checks of the sound system on the no-sound device: a module loaded,
// played, stopped and freed a thousand times while the player thread polls, and
// the whole system started and closed a hundred times. Every cycle must give
// back all allocator blocks, and a watchdog turns a deadlock into a failure.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32.h"
#include "sound/mem.h"
#include "sound/sound.h"
#include "tools/s3mwriter/s3mwriter.h"

namespace {

std::vector<std::uint8_t> SoakSong() {
  s3m::Song song("soak", 8);
  song.orders = {0, 1, 0};
  song.AddInstrument("saw", s3m::SawWave(64)).SetLoop(0, 64);
  song.AddInstrument("noise", s3m::NoiseBurst(300));
  for (int row = 0; row < 64; ++row) {
    song.Pattern(0).At(row, row % 8) = s3m::Cell::Play(s3m::Note(4, row % 12), 1 + row % 2, 48);
    song.Pattern(1).At(row, (row + 3) % 8) = s3m::Cell::Play(s3m::Note(5, row % 7), 1).Effect('E', 2);
  }
  song.Pattern(1).At(10, 0).Effect('A', 1);  // speed 1: the thread plays many ticks
  return s3m::Write(song);
}

// Aborts the process when a scope takes longer than its limit, so that a
// deadlock fails the test with a message instead of hanging it.
class Watchdog {
public:
  Watchdog(const char* what, std::chrono::seconds limit)
      : thread([this, what, limit] {
          std::unique_lock<std::mutex> lock(mutex);
          if (!wake.wait_for(lock, limit, [this] { return done; })) {
            std::fprintf(stderr, "deadlock: %s did not finish within %lld s\n", what,
                         static_cast<long long>(limit.count()));
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
    }
    wake.notify_all();
    thread.join();
  }

private:
  std::mutex mutex;
  std::condition_variable wake;
  bool done = false;
  std::thread thread;
};

class SoundSoak : public ::testing::Test {
protected:
  void SetUp() override {
    path = ::testing::TempDir() + "sound_soak_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".s3m";
    std::vector<std::uint8_t> bytes = SoakSong();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  void TearDown() override {
    SoundStopBackgroundPlay();
    SoundClose();
    std::remove(path.c_str());
  }
  std::string path;
};

TEST_F(SoundSoak, AThousandModulesPlayStopAndFreeWhileThePlayerThreadPolls) {
  Watchdog watchdog("the play cycles", std::chrono::seconds(100));
  ASSERT_EQ(SoundStartup(), 1);
  ASSERT_EQ(SoundSetDevice(soundDeviceNoSound), 1);
  ASSERT_EQ(SoundInit(), 1);
  ASSERT_EQ(SoundStartBackgroundPlay(100), 1);
  const std::size_t baseline = memBlocksInUse();
  for (int cycle = 0; cycle < 1000; ++cycle) {
    Module* module = SoundLoadModule(path.c_str());
    ASSERT_NE(module, nullptr) << "cycle " << cycle << ", error " << SoundLastError();
    const unsigned handle = SoundPlayModule(module, cycle % 2);
    ASSERT_NE(handle, 0u) << "cycle " << cycle;
    // Now and then the thread gets time to play ticks of the running song.
    if (cycle % 50 == 0) {
      Sleep(12);
      SoundPlayInfo info{};
      ASSERT_EQ(SoundGetPlayInfo(handle, &info), 1) << "cycle " << cycle;
      EXPECT_EQ(info.playing, 1);
    }
    ASSERT_EQ(SoundStopModule(handle), 1) << "cycle " << cycle;
    ASSERT_EQ(SoundFreeModule(module), 1) << "cycle " << cycle;
    ASSERT_EQ(memBlocksInUse(), baseline) << "blocks leaked by cycle " << cycle;
  }
  EXPECT_EQ(SoundStopBackgroundPlay(), 1);
  EXPECT_EQ(SoundClose(), 1);
}

TEST_F(SoundSoak, TheWholeSystemStartsAndClosesAHundredTimes) {
  Watchdog watchdog("the start-up cycles", std::chrono::seconds(100));
  const std::size_t baseline = memBlocksInUse();
  for (int cycle = 0; cycle < 100; ++cycle) {
    ASSERT_EQ(SoundStartup(), 1) << "cycle " << cycle;
    ASSERT_EQ(SoundSetDevice(soundDeviceNoSound), 1);
    ASSERT_EQ(SoundInit(), 1) << "cycle " << cycle << ", error " << SoundLastError();
    ASSERT_EQ(SoundStartBackgroundPlay(cycle % 3 == 0 ? 0 : 100), 1) << "cycle " << cycle;
    Module* module = SoundLoadModule(path.c_str());
    ASSERT_NE(module, nullptr) << "cycle " << cycle;
    const unsigned handle = SoundPlayModule(module, 1);
    ASSERT_NE(handle, 0u) << "cycle " << cycle;
    if (cycle % 10 == 0) Sleep(8);
    // Every other cycle frees the module while it plays and closes with the
    // player thread still running: the free stops the song, the close the thread.
    if (cycle % 2 == 0) {
      ASSERT_EQ(SoundStopModule(handle), 1) << "cycle " << cycle;
      ASSERT_EQ(SoundFreeModule(module), 1) << "cycle " << cycle;
      ASSERT_EQ(SoundStopBackgroundPlay(), 1) << "cycle " << cycle;
    } else {
      ASSERT_EQ(SoundFreeModule(module), 1) << "cycle " << cycle;
    }
    ASSERT_EQ(SoundClose(), 1) << "cycle " << cycle;
    ASSERT_EQ(memBlocksInUse(), baseline) << "blocks leaked by cycle " << cycle;
  }
}

// The control calls come from a second thread while the first one frees and
// reloads: the interface lock must keep the player thread, the controller and
// the loader apart.
TEST_F(SoundSoak, ControlFromAnotherThreadWhileModulesComeAndGo) {
  Watchdog watchdog("the two-thread cycles", std::chrono::seconds(100));
  ASSERT_EQ(SoundStartup(), 1);
  ASSERT_EQ(SoundSetDevice(soundDeviceNoSound), 1);
  ASSERT_EQ(SoundInit(), 1);
  ASSERT_EQ(SoundStartBackgroundPlay(0), 1);
  const std::size_t baseline = memBlocksInUse();
  for (int cycle = 0; cycle < 200; ++cycle) {
    Module* module = SoundLoadModule(path.c_str());
    ASSERT_NE(module, nullptr) << "cycle " << cycle;
    unsigned handle = 0;
    std::thread controller([&] {
      handle = SoundPlayModule(module, 1);
      SoundPlayInfo info{};
      if (handle) SoundGetPlayInfo(handle, &info);
    });
    controller.join();
    ASSERT_NE(handle, 0u) << "cycle " << cycle;
    std::thread stopper([&] { EXPECT_EQ(SoundStopModule(handle), 1); });
    stopper.join();
    ASSERT_EQ(SoundFreeModule(module), 1) << "cycle " << cycle;
  }
  EXPECT_EQ(memBlocksInUse(), baseline);
  EXPECT_EQ(SoundStopBackgroundPlay(), 1);
}

}  // namespace
