// Poll step cost. The player thread wakes every 20 ms; each wake-up refills
// whatever the card played since. These measure a whole-ring refill (the worst
// case, 500 ms of audio at the defaults) and a steady 20 ms refill, with an
// eight-channel song playing, on the virtual wave device.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/win32/win32.h"
#include "sound/sound.h"
#include "tools/s3mwriter/s3mwriter.h"

namespace {

std::string WriteSong() {
  s3m::Song song("bench", 8);
  song.orders = {0};
  std::vector<std::uint8_t> wave(256);
  for (int i = 0; i < 256; ++i) wave[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  song.AddInstrument("saw", wave).SetLoop(0, 256);
  for (int row = 0; row < 64; ++row) {
    for (int channel = 0; channel < 8; ++channel) {
      if ((row + channel) % 4 == 0) {
        song.Pattern(0).At(row, channel) = s3m::Cell::Play(s3m::Note(3 + channel % 3, (row + channel) % 12), 1, 48);
      }
    }
  }
  std::string path = "/tmp/bench_soundpoll.s3m";
  s3m::WriteFile(song, path);
  return path;
}

class Session {
public:
  explicit Session(bool interpolate) {
    path_ = WriteSong();
    Win32UseVirtualAudio(true, 1);
    SoundStartup();
    SoundSetOption(soundOptInterpolation, interpolate ? 1 : 0);
    ok_ = SoundInit() != 0;
    module_ = ok_ ? SoundLoadModule(path_.c_str()) : nullptr;
    handle_ = module_ != nullptr ? SoundPlayModule(module_, 1) : 0;
  }
  ~Session() {
    if (handle_ != 0) SoundStopModule(handle_);
    if (module_ != nullptr) SoundFreeModule(module_);
    SoundClose();
    Win32UseVirtualAudio(false);
    std::remove(path_.c_str());
  }
  bool Ready() const { return handle_ != 0; }

private:
  std::string path_;
  bool ok_ = false;
  Module* module_ = nullptr;
  unsigned handle_ = 0;
};

void BM_PollFullRing(benchmark::State& state) {
  Session session(state.range(0) != 0);
  if (!session.Ready()) {
    state.SkipWithError("the sound system did not start");
    return;
  }
  SoundPoll();
  for (auto _ : state) {
    state.PauseTiming();
    Win32VirtualAudioRun(44100 / 2 + 2048);  // the card has played the whole ring
    state.ResumeTiming();
    SoundPoll();
  }
  state.counters["audio_ms_per_poll"] = 500;
  state.SetItemsProcessed(state.iterations() * 22044);  // samples mixed per pass
}
BENCHMARK(BM_PollFullRing)->Arg(0)->Arg(1)->ArgName("interpolate")->Unit(benchmark::kMicrosecond);

void BM_PollTwentyMilliseconds(benchmark::State& state) {
  Session session(false);
  if (!session.Ready()) {
    state.SkipWithError("the sound system did not start");
    return;
  }
  SoundPoll();
  for (auto _ : state) {
    state.PauseTiming();
    Win32VirtualAudioRun(882);  // 20 ms at 44100 Hz
    state.ResumeTiming();
    SoundPoll();
  }
}
BENCHMARK(BM_PollTwentyMilliseconds)->Unit(benchmark::kMicrosecond);

}  // namespace
