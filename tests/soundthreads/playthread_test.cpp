// The player thread: its period and priority, the stop handshake, modules started
// and stopped while it polls, and the fatal path of an error inside the poll step.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32.h"
#include "sound/dsmnsnd.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "sound/sound.h"
#include "tools/s3mwriter/s3mwriter.h"

namespace {

std::vector<std::uint8_t> Song(int channels) {
  s3m::Song song("thread test", channels);
  song.orders = {0, 0, 0};
  std::vector<std::uint8_t> wave(32);
  for (int i = 0; i < 32; ++i) wave[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 8);
  song.AddInstrument("saw", wave).SetLoop(0, 32);
  for (int row = 0; row < 64; ++row) {
    song.Pattern(0).At(row, row % channels) = s3m::Cell::Play(s3m::Note(4, row % 12), 1, 40);
  }
  return s3m::Write(song);
}

// What the replaced thread start and exit saw.
std::atomic<unsigned> startedStack{12345};
std::atomic<int> exitPriority{-100};
std::atomic<int> threadsStarted{0};
std::atomic<int> threadsEnded{0};

std::uintptr_t RecordingStart(void (*entry)(void*), unsigned stackSize, void* argument) {
  startedStack = stackSize;
  ++threadsStarted;
  return _beginthread(entry, stackSize, argument);
}

void RecordingExit() {
  exitPriority = GetThreadPriority(GetCurrentThread());
  ++threadsEnded;
  _endthread();
}

// Device operations wrapped by the tests.
std::atomic<int> startPlayCalls{0};
int (*realStartPlay)() = nullptr;
int CountingStartPlay() {
  ++startPlayCalls;
  return realStartPlay();
}

std::atomic<int> endlessPlays{0};
int EndlessPlay(int* callPlayer) {
  ++endlessPlays;
  *callPlayer = 1;  // always another tick: only the stop flag ends the fill
  return 0;
}

int FailingPlay(int*) { return 21; }

std::mutex messagesMutex;
std::vector<std::string> messages;
void RecordingErrorExit(const char* message) {
  std::lock_guard<std::mutex> lock(messagesMutex);
  messages.emplace_back(message);
}
std::size_t MessageCount() {
  std::lock_guard<std::mutex> lock(messagesMutex);
  return messages.size();
}

class PlayThread : public ::testing::Test {
protected:
  void SetUp() override {
    SoundStartup();
    SoundSetDevice(soundDeviceNoSound);
    soundThreadStart = RecordingStart;
    soundThreadExit = RecordingExit;
    savedNoSound_ = NoSoundDevice;
    path_ = ::testing::TempDir() + "playthread_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".s3m";
    std::vector<std::uint8_t> bytes = Song(4);
    std::ofstream(path_, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    std::lock_guard<std::mutex> lock(messagesMutex);
    messages.clear();
  }
  void TearDown() override {
    SoundStopBackgroundPlay();
    SoundClose();
    NoSoundDevice = savedNoSound_;
    soundThreadStart = _beginthread;
    soundThreadExit = _endthread;
    std::remove(path_.c_str());
  }
  SoundDevice savedNoSound_{};
  std::string path_;
};

TEST_F(PlayThread, PeriodComesFromTheRateAndTheThreadRunsAboveNormal) {
  ASSERT_EQ(SoundInit(), 1);
  for (auto [rate, period] : {std::pair{0u, 20u}, std::pair{50u, 10u}, std::pair{100u, 5u}, std::pair{1000u, 0u}}) {
    int ended = threadsEnded;
    ASSERT_EQ(SoundStartBackgroundPlay(rate), 1);
    EXPECT_EQ(SoundPlayThreadPeriod(), period) << rate;
    EXPECT_EQ(startedStack, 0u);  // the default stack size
    Sleep(30);
    EXPECT_EQ(SoundStopBackgroundPlay(), 1);
    for (int i = 0; i < 5000 && threadsEnded == ended; ++i) Sleep(1);
    EXPECT_EQ(exitPriority, THREAD_PRIORITY_ABOVE_NORMAL);
  }
}

TEST_F(PlayThread, StopReturnsOnlyAfterTheThreadHasLeftThePollStep) {
  realStartPlay = NoSoundDevice.StartPlay;
  NoSoundDevice.StartPlay = CountingStartPlay;
  ASSERT_EQ(SoundInit(), 1);
  ASSERT_EQ(SoundStartBackgroundPlay(0), 1);
  for (int i = 0; i < 2500 && startPlayCalls < 3; ++i) Sleep(2);
  EXPECT_GE(startPlayCalls.load(), 3);
  EXPECT_EQ(SoundStopBackgroundPlay(), 1);
  int after = startPlayCalls;
  Sleep(60);
  EXPECT_EQ(startPlayCalls.load(), after);
  EXPECT_EQ(SoundStopBackgroundPlay(), 1);  // nothing runs: returns at once
}

TEST_F(PlayThread, AStopRequestEndsAnEndlessFill) {
  NoSoundDevice.Play = EndlessPlay;
  ASSERT_EQ(SoundInit(), 1);
  ASSERT_EQ(SoundStartBackgroundPlay(0), 1);
  for (int i = 0; i < 2500 && endlessPlays < 1000; ++i) Sleep(2);
  EXPECT_EQ(SoundStopBackgroundPlay(), 1);  // would hang if the fill ignored the flag
  int after = endlessPlays;
  Sleep(30);
  EXPECT_EQ(endlessPlays.load(), after);
}

TEST_F(PlayThread, ModulesStartAndStopWhileTheThreadPolls) {
  ASSERT_EQ(SoundInit(), 1);
  std::size_t blocksBefore = memBlocksInUse();
  Module* module = SoundLoadModule(path_.c_str());
  ASSERT_NE(module, nullptr);
  ASSERT_EQ(SoundStartBackgroundPlay(100), 1);
  std::size_t blocksLoaded = memBlocksInUse();
  for (int cycle = 0; cycle < 1000; ++cycle) {
    unsigned handle = SoundPlayModule(module, cycle % 2);
    ASSERT_NE(handle, 0u) << cycle;
    if (cycle % 100 == 0) Sleep(6);  // let the thread poll a playing song now and then
    ASSERT_EQ(SoundStopModule(handle), 1) << cycle;
  }
  EXPECT_EQ(memBlocksInUse(), blocksLoaded);  // every play record and channel table freed
  EXPECT_EQ(SoundFreeModule(module), 1);
  EXPECT_EQ(memBlocksInUse(), blocksBefore);
  EXPECT_EQ(SoundStopBackgroundPlay(), 1);
}

struct DemoThread {
  Module* module;
  std::atomic<unsigned> handle{0};
  std::atomic<int> done{0};
};

TEST_F(PlayThread, OneThreadStartsTheSongAnotherStopsIt) {
  ASSERT_EQ(SoundInit(), 1);
  Module* module = SoundLoadModule(path_.c_str());
  ASSERT_NE(module, nullptr);
  ASSERT_EQ(SoundStartBackgroundPlay(0), 1);
  for (int round = 0; round < 50; ++round) {
    DemoThread demo{module};
    _beginthread(
        [](void* raw) {
          auto* d = static_cast<DemoThread*>(raw);
          d->handle = SoundPlayModule(d->module, 0);
          d->done = 1;
        },
        0, &demo);
    for (int i = 0; i < 5000 && demo.done == 0; ++i) Sleep(1);
    ASSERT_EQ(demo.done, 1);
    ASSERT_NE(demo.handle.load(), 0u);
    EXPECT_EQ(SoundStopModule(demo.handle), 1);
  }
  EXPECT_EQ(SoundStopBackgroundPlay(), 1);
  EXPECT_EQ(SoundFreeModule(module), 1);
}

TEST_F(PlayThread, AnErrorInThePollStepShutsTheSystemDownAndReports) {
  ASSERT_EQ(SoundInit(), 1);
  Module* module = SoundLoadModule(path_.c_str());
  ASSERT_NE(module, nullptr);
  ASSERT_NE(SoundPlayModule(module, 1), 0u);
  SoundLock();  // the thread must not see the half-changed record
  NoSoundDevice.Play = FailingPlay;
  SoundUnlock();
  SoundSetErrorExit(RecordingErrorExit);  // returns: the thread goes on as if nothing failed
  ASSERT_EQ(SoundStartBackgroundPlay(0), 1);
  for (int i = 0; i < 2500 && MessageCount() == 0; ++i) Sleep(2);
  Sleep(50);  // later polls find no device and do nothing
  EXPECT_EQ(SoundStopBackgroundPlay(), 1);
  {
    std::lock_guard<std::mutex> lock(messagesMutex);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "QUAVR Error: Sound Device hardware failure");
  }
  EXPECT_EQ(SoundCurrentDevice(), nullptr);
  EXPECT_EQ(SoundStopModule(1), 0);  // stopped by the shutdown
  EXPECT_EQ(SoundClose(), 1);
  // The samples went with the device; the records are freed without it.
  EXPECT_EQ(ModuleFree(module, nullptr), 0);
}

// Runs `call` on a thread of its own; false when it has not returned within the
// time (the thread is then left behind, still waiting).
bool ReturnsWithin(const std::function<void()>& call, std::chrono::milliseconds limit) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread runner([call, done] {
    call();
    done->store(true);
  });
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done->load() && std::chrono::steady_clock::now() < deadline) Sleep(1);
  if (!done->load()) {
    runner.detach();
    return false;
  }
  runner.join();
  return true;
}

TEST_F(PlayThread, StoppingAThreadThatIsNotRunningReturnsAtOnce) {
  EXPECT_TRUE(ReturnsWithin([] { SoundStopPlayThread(); }, std::chrono::seconds(5)));
  ASSERT_EQ(SoundInit(), 1);
  ASSERT_EQ(SoundStartBackgroundPlay(0), 1);
  EXPECT_EQ(SoundStopPlayThread(), 0);
  EXPECT_TRUE(ReturnsWithin([] { SoundStopPlayThread(); }, std::chrono::seconds(5)));  // stopped already
}

TEST_F(PlayThread, TwoThreadsStoppingAtOnceBothReturnAndTheThreadEndsOnce) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(SoundInit(), 1);
    const int started = threadsStarted;
    const int ended = threadsEnded;
    ASSERT_EQ(SoundStartBackgroundPlay(0), 1);
    EXPECT_EQ(threadsStarted, started + 1);
    std::atomic<int> go{0};
    std::thread other([&] {
      while (go.load() == 0) {
      }
      SoundStopBackgroundPlay();
    });
    go.store(1);
    EXPECT_TRUE(ReturnsWithin([] { EXPECT_EQ(SoundClose(), 1); }, std::chrono::seconds(5)));
    other.join();
    for (int i = 0; i < 5000 && threadsEnded == ended; ++i) Sleep(1);
    EXPECT_EQ(threadsEnded, ended + 1);
    // Either order leaves the system closed and free to start again.
    EXPECT_EQ(SoundStartBackgroundPlay(0), 1);
    EXPECT_EQ(SoundStopBackgroundPlay(), 1);
  }
}

std::uintptr_t FailingStart(void (*)(void*), unsigned, void*) { return static_cast<std::uintptr_t>(-1); }

TEST_F(PlayThread, AThreadThatCannotBeCreatedEndsTheProcessWithItsMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  soundThreadStart = FailingStart;
  EXPECT_EXIT(SoundStartBackgroundPlay(0), ::testing::ExitedWithCode(255),
              "StartPlayThread: Couldn't create player thread!");
}

}  // namespace
