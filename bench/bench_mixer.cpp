// Mixing speed of the software mixer: seconds of audio mixed per CPU second
// for 16 playing channels at 44100 Hz, stereo 16-bit output, on each path.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "sound/dsm.h"
#include "sound/module.h"

namespace {

constexpr unsigned mixRate = 44100;
constexpr unsigned channels = 16;

// 16 looping channels at different pitches and pannings: half of them 8-bit,
// half 16-bit samples, some ping-pong, like a busy module.
void StartChannels(std::vector<std::vector<std::uint8_t>>& store) {
  dsmOpenChannels(channels);
  for (unsigned c = 0; c < channels; c++) {
    const bool wide = (c % 2) == 1;
    const unsigned frames = 4000 + 977 * c;
    std::vector<std::uint8_t> data(frames * (wide ? 2 : 1));
    for (unsigned i = 0; i < frames; i++) {
      const double v = std::sin(i * 0.05 * (c + 1)) * 0.8;
      if (wide) {
        const auto s = static_cast<std::int16_t>(v * 32767);
        data[2 * i] = static_cast<std::uint8_t>(s & 0xFF);
        data[2 * i + 1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
      } else {
        data[i] = static_cast<std::uint8_t>(128 + v * 127);
      }
    }
    const unsigned bytes = static_cast<unsigned>(data.size());
    SampleDescriptor d{data.data(), sdSmpConv,          wide ? smp16bitMono : smp8bitMono,
                       bytes,       loopModeSingle,     bytes / 4,
                       bytes,       c % 3 == 0 ? unsigned{loopTypePingPong} : unsigned{loopTypeForward},
                       0,           0,                  0};
    unsigned handle = 0;
    dsmAddSample(&d, 1, &handle);
    store.push_back(std::move(data));
    dsmSetSample(c, handle);
    dsmSetVolume(c, 48 + c);
    dsmSetPanning(c, static_cast<int>(c * 8) - 64);
    dsmPlaySound(c, static_cast<std::uint32_t>(8363.0 * std::pow(2.0, (c * 5 % 24 - 12) / 12.0)));
  }
}

void MixPath(benchmark::State& state, unsigned pathBits, int compress) {
  dsmSetCompression(compress);
  dsmInit(mixRate, pathBits | dsmMix16bit | dsmMixStereo);
  std::vector<std::vector<std::uint8_t>> store;
  StartChannels(store);
  const unsigned block = mixRate / 50;  // one player tick at 50 Hz
  std::vector<std::uint8_t> out(block * 4);
  double seconds = 0;
  for (auto _ : state) {
    for (unsigned i = 0; i < 50; i++) {
      dsmMixData(block, out.data());
    }
    benchmark::DoNotOptimize(out.data());
    seconds += 1.0;
  }
  state.counters["audio_s_per_cpu_s"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
  dsmClose();
  dsmSetCompression(1);
}

void BM_MixInteger(benchmark::State& state) { MixPath(state, dsmMixInteger, 0); }
void BM_MixIntegerMuLaw(benchmark::State& state) { MixPath(state, dsmMixInteger, 1); }
void BM_MixFloat(benchmark::State& state) { MixPath(state, dsmMixFloat, 0); }
void BM_MixInterpolating(benchmark::State& state) { MixPath(state, dsmMixInterpolation, 0); }

BENCHMARK(BM_MixInteger)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixIntegerMuLaw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixFloat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixInterpolating)->Unit(benchmark::kMillisecond);

}  // namespace
