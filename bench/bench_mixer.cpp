// Mixing speed: a 16-channel S3M song (looped synthesised instruments, slides
// and vibrato on every channel) rendered at 44100 Hz stereo 16-bit through
// the player and the mixer, on the integer, floating-point and interpolating
// paths. The counter realtime_factor is seconds of audio per CPU second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "sound/dsm.h"
#include "sound/gmprender.h"
#include "tools/s3mwriter/s3mwriter.h"

namespace {

// The song file, written once and removed when the program ends.
struct SongFile {
  std::string path;
  ~SongFile() { std::remove(path.c_str()); }
};

const std::string& SongPath() {
  static const SongFile file{[] {
    s3m::Song song("mixer bench", 16);
    song.orders = {0, 1};
    song.AddInstrument("sine", s3m::SineWave(256), 8363 * 4, 50).SetLoop(0, 256);
    song.AddInstrument("square", s3m::SquareWave(128), 8363 * 2, 40).SetLoop(0, 128);
    song.AddInstrument("saw", s3m::SawWave(200), 8363 * 3, 45).SetLoop(0, 200);
    song.AddInstrument("noise", s3m::NoiseBurst(20000), 22050, 40).SetLoop(10000, 20000);
    const char* notes[] = {"C-3", "E-3", "G-3", "C-4", "E-4", "G-4", "C-5", "D-5"};
    for (int p = 0; p < 2; ++p) {
      for (int c = 0; c < 16; ++c) {
        for (int r = 0; r < 64; r += 8) {
          auto& cell = song.Pattern(p).At(r + (c % 4), c);
          cell = s3m::Cell::Play(s3m::Note(notes[(c + r / 8 + p) % 8]), static_cast<std::uint8_t>(1 + c % 4));
          cell.Effect(c % 2 ? 'H' : 'D', c % 2 ? 0x34 : 0x10);  // every channel stays audible
        }
      }
    }
    std::string name = "/tmp/bench_mixer_" + std::to_string(getpid()) + ".s3m";
    s3m::WriteFile(song, name);
    return name;
  }()};
  return file.path;
}

bool Discard(const std::uint8_t*, std::size_t, double, void*) { return true; }

void Render(benchmark::State& state, unsigned path, bool interpolate) {
  RenderSettings settings;
  settings.rate = 44100;
  settings.mixPath = path;
  settings.interpolate = interpolate;
  double audio = 0;
  for (auto _ : state) {
    double seconds = 0;
    if (gmpRenderModule(SongPath().c_str(), settings, Discard, nullptr, &seconds) != 0) {
      state.SkipWithError("render failed");
      return;
    }
    audio += seconds;
  }
  state.counters["realtime_factor"] = benchmark::Counter(audio, benchmark::Counter::kIsRate);
  state.counters["audio_seconds"] = audio / static_cast<double>(state.iterations());
}

void BM_MixS3m16_integer(benchmark::State& state) { Render(state, dsmMixInteger, false); }
void BM_MixS3m16_float(benchmark::State& state) { Render(state, dsmMixFloat, false); }
void BM_MixS3m16_interpolating(benchmark::State& state) { Render(state, 0, true); }

BENCHMARK(BM_MixS3m16_integer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixS3m16_float)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixS3m16_interpolating)->Unit(benchmark::kMillisecond);

}  // namespace
