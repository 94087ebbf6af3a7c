// Mixing speed of the mixer alone, per path and per vector instruction set:
// 32 channels as a real song keeps them (8- and 16-bit, mono and stereo
// samples, no loop, forward and ping-pong loops, rates across four octaves,
// panning across the field), with a volume change on a third of the channels
// and a new note on one every player tick (882 frames at 44100 Hz), so that
// volume ramps and click removal run as they do in playback. realtime_factor
// is seconds of 44100 Hz stereo 16-bit audio per CPU second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "sound/dsm.h"
#include "sound/module.h"

namespace {

constexpr unsigned mixRate = 44100;
constexpr unsigned channels = 32;
constexpr unsigned tickFrames = 882;
constexpr unsigned ticksPerRound = 250;  // 5 seconds of audio

// Sample data: a few waveforms of each type, a few thousand frames long.
struct SampleSet {
  std::vector<std::vector<std::uint8_t>> data;
  std::vector<SampleDescriptor> descriptors;
};

std::vector<std::uint8_t> Wave(unsigned frames, unsigned type, unsigned seed) {
  const unsigned channelsPerFrame = (type == smp8bitStereo || type == smp16bitStereo) ? 2 : 1;
  const bool wide = type == smp16bitMono || type == smp16bitStereo;
  std::vector<std::uint8_t> bytes;
  for (unsigned i = 0; i < frames * channelsPerFrame; i++) {
    const double phase = (i / channelsPerFrame) * (0.01 + 0.003 * seed);
    const double v = std::sin(phase) * 0.7 + std::sin(phase * 3.1 + seed) * 0.2;
    if (wide) {
      const auto s = static_cast<std::int16_t>(v * 32000);
      bytes.push_back(static_cast<std::uint8_t>(s & 0xFF));
      bytes.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
    } else {
      bytes.push_back(static_cast<std::uint8_t>(128 + static_cast<int>(v * 120)));
    }
  }
  return bytes;
}

SampleSet MakeSamples() {
  SampleSet set;
  const unsigned types[] = {smp8bitMono, smp16bitMono, smp8bitMono, smp16bitMono,
                            smp8bitStereo, smp16bitStereo};
  const unsigned loops[] = {loopTypeNone, loopTypeForward, loopTypePingPong};
  for (unsigned i = 0; i < 12; i++) {
    const unsigned type = types[i % 6];
    const unsigned frames = 3000 + 700 * i;
    set.data.push_back(Wave(frames, type, i));
    const unsigned shift = (type == smp16bitStereo) ? 2 : (type == smp8bitMono ? 0 : 1);
    const unsigned loop = loops[i % 3];
    SampleDescriptor d{};
    d.sample = set.data.back().data();
    d.placement = sdSmpConv;
    d.sampleType = type;
    d.sampleLength = frames << shift;
    d.loopMode = loop == loopTypeNone ? loopModeNone : loopModeSingle;
    d.loop1Start = (frames / 3) << shift;
    d.loop1End = frames << shift;
    d.loop1Type = loop;
    set.descriptors.push_back(d);
  }
  return set;
}

// Sets the mixer up for one path and plays a note on every channel.
bool StartMix(unsigned pathMode, std::vector<unsigned>& handles, const SampleSet& samples) {
  dsmSetFilterMode(dsmFilterAuto);
  if (dsmInit(mixRate, pathMode | dsmMixStereo | dsmMix16bit) != 0) return false;
  handles.clear();
  for (const SampleDescriptor& d : samples.descriptors) {
    unsigned handle = 0;
    if (dsmAddSample(&d, 1, &handle) != 0) return false;
    handles.push_back(handle);
  }
  return dsmOpenChannels(channels) == 0;
}

std::uint32_t NoteRate(unsigned n) {
  return static_cast<std::uint32_t>(8363.0 * std::pow(2.0, ((n * 7) % 48 - 24) / 12.0));
}

void Note(unsigned channel, unsigned n, const std::vector<unsigned>& handles) {
  dsmSetSample(channel, handles[n % handles.size()]);
  dsmSetVolume(channel, 24 + (n * 13) % 41);
  dsmSetPanning(channel, static_cast<int>((channel * 37) % 129) - 64);
  dsmPlaySound(channel, NoteRate(n));
}

void Mix(benchmark::State& state, unsigned pathMode, int level) {
  if (dsmSetSimdLevel(level) != level) {
    state.SkipWithError("instruction set not available");
    return;
  }
  static const SampleSet samples = MakeSamples();
  std::vector<unsigned> handles;
  if (!StartMix(pathMode, handles, samples)) {
    state.SkipWithError("mixer set-up failed");
    dsmClose();
    return;
  }
  for (unsigned c = 0; c < channels; c++) Note(c, c, handles);
  std::vector<std::uint8_t> out(tickFrames * 4);
  unsigned tick = 0;
  double audio = 0;
  for (auto _ : state) {
    for (unsigned t = 0; t < ticksPerRound; t++, tick++) {
      for (unsigned c = tick % 3; c < channels; c += 3) {
        dsmSetVolume(c, 16 + (tick * 7 + c * 5) % 49);
      }
      Note(tick % channels, tick + 5, handles);
      dsmMixData(tickFrames, out.data());
    }
    benchmark::DoNotOptimize(out.data());
    audio += double{ticksPerRound} * tickFrames / mixRate;
  }
  dsmClose();
  dsmSetSimdLevel(dsmSimdBest());
  state.counters["realtime_factor"] = benchmark::Counter(audio, benchmark::Counter::kIsRate);
}

const struct {
  const char* name;
  unsigned mode;
} paths[] = {
    {"integer", dsmMixInteger},
    {"float", dsmMixFloat},
    {"interpolating", dsmMixInterpolation},
};

const struct {
  const char* name;
  int level;
} levels[] = {{"scalar", dsmSimdScalar},
              {"sse2", dsmSimdSse2},
              {"avx2", dsmSimdAvx2},
              {"avx512", dsmSimdAvx512}};

// One benchmark per path and instruction set this processor runs.
const bool registered = [] {
  for (const auto& path : paths) {
    for (const auto& level : levels) {
      if (level.level > dsmSimdBest()) continue;
      const std::string name = std::string("BM_Mix32_") + path.name + "/" + level.name;
      benchmark::RegisterBenchmark(name.c_str(), Mix, path.mode, level.level)
          ->Unit(benchmark::kMillisecond);
    }
  }
  return true;
}();

}  // namespace
