// Random sequences of channel operations on every mixer path, with samples of
// awkward shapes (one frame, loops touching the ends, ping-pong, release and
// swap modes). Under the sanitizer build any read outside a sample shows up;
// here every call must succeed and removing the samples must silence all.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "sound/dsm.h"
#include "sound/errors.h"
#include "sound/module.h"

namespace {

struct StressCase {
  unsigned mode;
  int filter;
};

class MixerStressTest : public ::testing::TestWithParam<StressCase> {
protected:
  void TearDown() override {
    dsmClose();
    dsmSetFilterMode(dsmFilterAuto);
    dsmSetCompression(1);
  }
};

TEST_P(MixerStressTest, RandomOperationsStayInsideSamples) {
  const StressCase param = GetParam();
  dsmSetFilterMode(param.filter);
  dsmSetCompression(1);
  ASSERT_EQ(dsmInit(11025, param.mode), errOK);
  ASSERT_EQ(dsmOpenChannels(6), errOK);
  std::mt19937 random(12345u + param.mode);
  auto pick = [&](unsigned n) { return static_cast<unsigned>(random() % n); };

  std::vector<std::vector<std::uint8_t>> store;
  std::vector<unsigned> handles;
  for (unsigned s = 0; s < 24; s++) {
    const unsigned type = 1 + pick(4);  // 8/16-bit, mono/stereo
    const unsigned frameBytes = type == smp16bitStereo ? 4 : (type == smp8bitMono ? 1 : 2);
    const unsigned frames = s < 4 ? 1 + s : 1 + pick(300);
    std::vector<std::uint8_t> data(frames * frameBytes);
    for (auto& b : data) {
      b = static_cast<std::uint8_t>(random());
    }
    const unsigned a = pick(frames + 1) * frameBytes;
    const unsigned b = pick(frames + 1) * frameBytes;
    SampleDescriptor d{data.data(), sdSmpConv, type, static_cast<unsigned>(data.size()),
                       pick(6), std::min(a, b), std::max(a, b), pick(3),
                       pick(frames) * frameBytes, frames * frameBytes, pick(3)};
    unsigned handle = 0;
    ASSERT_EQ(dsmAddSample(&d, static_cast<int>(s % 2), &handle), errOK);
    handles.push_back(handle);
    store.push_back(std::move(data));  // the mixer may point at it (copy flag 0)
  }

  const unsigned perFrame = (param.mode & dsmMixStereo) ? 2 : 1;
  const bool eightBit = (param.mode & dsmMix8bit) != 0;
  std::vector<std::uint8_t> out(600 * perFrame * 2);
  for (int step = 0; step < 3000; step++) {
    const unsigned channel = pick(6);
    const unsigned handle = handles[pick(static_cast<unsigned>(handles.size()))];
    switch (pick(10)) {
      case 0:
        ASSERT_EQ(dsmSetSample(channel, handle), errOK);
        break;
      case 1:
        ASSERT_EQ(dsmPlaySound(channel, 100 + pick(60000)), errOK);
        break;
      case 2:
        ASSERT_EQ(dsmSetPosition(channel, pick(1400)), errOK);
        break;
      case 3:
        ASSERT_EQ(dsmReleaseSound(channel), errOK);
        break;
      case 4:
        ASSERT_EQ(dsmStopSound(channel), errOK);
        break;
      case 5:
        ASSERT_EQ(dsmSetVolume(channel, pick(80)), errOK);
        break;
      case 6:
        ASSERT_EQ(dsmSetPanning(channel, pick(5) == 0 ? 0x80 : static_cast<int>(pick(129)) - 64),
                  errOK);
        break;
      case 7:
        ASSERT_EQ(dsmSetRate(channel, pick(5) == 0 ? 0 : 1 + pick(200000)), errOK);
        break;
      default: {
        const unsigned frames = 1 + pick(600);
        ASSERT_EQ(dsmMixData(frames, out.data()), errOK);
        break;
      }
    }
  }
  // Removing every sample while channels may still point at them.
  for (unsigned handle : handles) {
    ASSERT_EQ(dsmRemoveSample(handle), errOK);
  }
  // With every sample gone all channels are silent; past the filter's short
  // memory and any fade the output is exact silence.
  ASSERT_EQ(dsmMixData(600, out.data()), errOK);
  const unsigned bytesPerFrame = perFrame * (eightBit ? 1 : 2);
  for (unsigned i = 40 * bytesPerFrame; i < 600 * bytesPerFrame; i++) {
    ASSERT_EQ(out[i], eightBit ? 128 : 0) << "byte " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, MixerStressTest,
    ::testing::Values(StressCase{dsmMixInteger | dsmMix16bit | dsmMixStereo, dsmFilterLight},
                      StressCase{dsmMixInteger | dsmMix8bit | dsmMixMono, dsmFilterStrong},
                      StressCase{dsmMixFloat | dsmMix16bit | dsmMixMono, dsmFilterOff},
                      StressCase{dsmMixFloat | dsmMix8bit | dsmMixStereo, dsmFilterLight},
                      StressCase{dsmMixInterpolation | dsmMix16bit | dsmMixStereo, dsmFilterOff},
                      StressCase{dsmMixInterpolation | dsmMix16bit | dsmMixMono, dsmFilterStrong}));

}  // namespace
