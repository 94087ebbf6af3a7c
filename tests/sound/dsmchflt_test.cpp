// Checks of the mixer's per-channel resonant low-pass filter: its gain below
// and above the corner and at resonance against the response its coefficients
// give (worked out here from the formula), every mixing path, an unset or
// switched-off filter leaving the output bit for bit alone, the click-removal
// shadow keeping the filter, and the argument checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "sound/dsm.h"
#include "sound/dsmmem.h"
#include "sound/dsmnsnd.h"
#include "sound/dsound.h"
#include "sound/errors.h"
#include "sound/module.h"
#include "sound/sdevice.h"
#include "sound/winwave.h"

namespace {

constexpr unsigned mixRate = 44100;
constexpr double pi = 3.14159265358979;
constexpr double amplitude = 8000.0;

// |H| at frequency f of the two-pole low-pass for a cutoff and resonance:
// a0 / |1 - b0 z^-1 - b1 z^-2| with the coefficients from the corner
// 110 × 2^(0.25 + cutoff / 48) Hz.
double ExpectedGain(unsigned cutoff, unsigned resonance, double f) {
  const double corner = 110.0 * std::pow(2.0, 0.25 + cutoff / 48.0);
  const double damping = std::pow(10.0, -(resonance * 24.0 / 128.0) / 20.0);
  const double r = mixRate / (2 * pi * corner);
  const double d = damping * (r + 1) - 1;
  const double e = r * r;
  const double a0 = 1 / (1 + d + e);
  const double b0 = (d + 2 * e) / (1 + d + e);
  const double b1 = -e / (1 + d + e);
  const std::complex<double> z1 = std::polar(1.0, -2 * pi * f / mixRate);
  return a0 / std::abs(1.0 - b0 * z1 - b1 * z1 * z1);
}

class ChannelFilterTest : public ::testing::Test {
protected:
  void TearDown() override {
    dsmClose();
    dsmSetFilterMode(dsmFilterAuto);
  }

  void Init(unsigned path, unsigned output = dsmMixMono, unsigned channels = 1) {
    dsmSetFilterMode(dsmFilterOff);
    ASSERT_EQ(dsmInit(mixRate, path | dsmMix16bit | output), errOK);
    ASSERT_EQ(dsmOpenChannels(channels), errOK);
  }

  // A forward-looping 16-bit sine with `period` samples per cycle.
  unsigned AddSine(unsigned period) {
    sine_.clear();
    for (unsigned i = 0; i < period; i++) {
      sine_.push_back(static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * pi * i / period))));
    }
    const unsigned bytes = static_cast<unsigned>(sine_.size() * 2);
    SampleDescriptor d{sine_.data(), sdSmpConv, smp16bitMono, bytes, loopModeSingle,
                       0, bytes, loopTypeForward, 0, 0, 0};
    unsigned handle = 0;
    EXPECT_EQ(dsmAddSample(&d, 1, &handle), errOK);
    return handle;
  }

  void Play(unsigned channel, unsigned handle, int panning = 0, unsigned volume = 64) {
    ASSERT_EQ(dsmSetSample(channel, handle), errOK);
    ASSERT_EQ(dsmSetVolume(channel, volume), errOK);
    ASSERT_EQ(dsmSetPanning(channel, panning), errOK);
    ASSERT_EQ(dsmPlaySound(channel, mixRate), errOK);
  }

  std::vector<std::int16_t> Mix(unsigned frames, unsigned perFrame = 1) {
    std::vector<std::int16_t> out(std::size_t{frames} * perFrame);
    EXPECT_EQ(dsmMixData(frames, reinterpret_cast<std::uint8_t*>(out.data())), errOK);
    return out;
  }

  // The output's amplitude at one sine period, over whole cycles from `from`
  // on (every `stride`-th value from offset `side`), relative to the input's.
  static double MeasuredGain(const std::vector<std::int16_t>& out, unsigned period, unsigned from,
                             unsigned stride = 1, unsigned side = 0) {
    const std::size_t frames = out.size() / stride;
    const std::size_t count = ((frames - from) / period) * period;
    double in = 0;
    double quad = 0;
    for (std::size_t i = 0; i < count; i++) {
      const double phase = 2 * pi * static_cast<double>(i % period) / period;
      const double v = out[(from + i) * stride + side];
      in += v * std::sin(phase);
      quad += v * std::cos(phase);
    }
    return 2.0 * std::hypot(in, quad) / static_cast<double>(count) / amplitude;
  }

  std::vector<std::int16_t> sine_;
};

// A sine below, near and above the corner, on the floating-point path.
TEST_F(ChannelFilterTest, GainBelowAndAboveTheCornerFollowsTheCoefficients) {
  Init(dsmMixFloat);
  const unsigned cutoff = 188;  // about 1.98 kHz
  struct Case {
    unsigned period;
    double maxGain;  // a bound the response must keep, besides the exact value
    double minGain;
  };
  for (const Case& c : {Case{100, 1.1, 0.9}, Case{20, 1.2, 0.5}, Case{5, 0.1, 0.0}}) {
    SCOPED_TRACE(c.period);
    const unsigned handle = AddSine(c.period);
    Play(0, handle);
    ASSERT_EQ(dsmSetChannelFilter(0, cutoff, 0), errOK);
    const std::vector<std::int16_t> out = Mix(8000);
    const double expected = ExpectedGain(cutoff, 0, static_cast<double>(mixRate) / c.period);
    const double gain = MeasuredGain(out, c.period, 2000);
    EXPECT_NEAR(gain, expected, 0.01 * expected + 0.001);
    EXPECT_LT(gain, c.maxGain);
    EXPECT_GT(gain, c.minGain);
    ASSERT_EQ(dsmStopSound(0), errOK);
    ASSERT_EQ(dsmRemoveSample(handle), errOK);
  }
}

// Cutoff 84 puts the corner at 440 Hz: resonance raises the gain there. At
// volume 4 of 64 the peak stays below full scale.
TEST_F(ChannelFilterTest, ResonanceRaisesTheGainAtTheCorner) {
  Init(dsmMixFloat);
  const unsigned handle = AddSine(100);  // 441 Hz
  double gains[2] = {};
  const unsigned resonances[2] = {0, 127};
  for (int i = 0; i < 2; i++) {
    Play(0, handle, 0, 4);
    ASSERT_EQ(dsmSetChannelFilter(0, 84, resonances[i]), errOK);
    gains[i] = 16.0 * MeasuredGain(Mix(12000), 100, 6000);
    EXPECT_NEAR(gains[i], ExpectedGain(84, resonances[i], 441.0), 0.01 * gains[i]);
  }
  EXPECT_GT(gains[1], 5.0 * gains[0]);
  EXPECT_GT(gains[1], 3.0);
}

// Every path filters: integer, floating point and interpolating, with each
// output side (surround included) through its own history.
class ChannelFilterPathTest : public ChannelFilterTest,
                              public ::testing::WithParamInterface<unsigned> {};

TEST_P(ChannelFilterPathTest, HighToneIsCutOnBothSides) {
  Init(GetParam(), dsmMixStereo, 2);
  const unsigned handle = AddSine(5);  // 8820 Hz
  Play(0, handle, 32);
  Play(1, handle, 0x80);
  ASSERT_EQ(dsmSetChannelFilter(0, 188, 0), errOK);
  ASSERT_EQ(dsmSetChannelFilter(1, 188, 0), errOK);
  const std::vector<std::int16_t> out = Mix(4000, 2);
  const double expected = ExpectedGain(188, 0, 8820.0);
  // Left: channel 0's 3/4 and channel 1's full signal over the two channels'
  // scale; right: channel 0's 1/4 and channel 1's inverted. Each side is cut
  // by the same amount, far below an unfiltered sum.
  const double left = MeasuredGain(out, 5, 1000, 2, 0);
  const double right = MeasuredGain(out, 5, 1000, 2, 1);
  EXPECT_GT(left, 0.0);
  EXPECT_LT(left, 3.0 * expected);
  EXPECT_LT(right, 3.0 * expected);
}

TEST_P(ChannelFilterPathTest, UnsetOrSwitchedOffFilterChangesNothing) {
  auto render = [&](bool touchFilter) {
    Init(GetParam(), dsmMixStereo, 2);
    const unsigned handle = AddSine(7);
    if (touchFilter) {
      EXPECT_EQ(dsmSetChannelFilter(0, 40, 100), errOK);
      EXPECT_EQ(dsmSetChannelFilter(0, sdFilterOff, 0), errOK);
    }
    Play(0, handle, -20);
    Play(1, handle, 50);
    std::vector<std::int16_t> out = Mix(3000, 2);
    dsmClose();
    return out;
  };
  EXPECT_EQ(render(false), render(true));
}

INSTANTIATE_TEST_SUITE_P(Paths, ChannelFilterPathTest,
                         ::testing::Values(dsmMixInteger, dsmMixFloat,
                                           dsmMixFloat | dsmMixInterpolation));

// A filtered channel leaves its neighbour's contribution as it was: on the
// integer path both add exactly.
TEST_F(ChannelFilterTest, FilteredChannelDoesNotTouchItsNeighbour) {
  auto render = [&](bool play0, bool play1) {
    Init(dsmMixInteger, dsmMixStereo, 2);
    const unsigned handle = AddSine(9);
    if (play0) Play(0, handle, -30);
    if (play1) Play(1, handle, 40);
    EXPECT_EQ(dsmSetChannelFilter(1, 120, 60), errOK);
    std::vector<std::int16_t> out = Mix(2000, 2);
    dsmClose();
    return out;
  };
  const std::vector<std::int16_t> both = render(true, true);
  const std::vector<std::int16_t> plain = render(true, false);
  const std::vector<std::int16_t> filtered = render(false, true);
  ASSERT_EQ(both.size(), plain.size());
  for (std::size_t i = 0; i < both.size(); i++) {
    ASSERT_EQ(both[i], plain[i] + filtered[i]) << i;
  }
}

// When a new note cuts a filtered sound, the fading shadow keeps the filter:
// the high tone stays cut while it fades.
TEST_F(ChannelFilterTest, ShadowOfAFilteredChannelStaysFiltered) {
  Init(dsmMixFloat | dsmMixInterpolation);
  const unsigned handle = AddSine(5);
  Play(0, handle);
  ASSERT_EQ(dsmSetChannelFilter(0, 100, 0), errOK);  // about 550 Hz
  const std::vector<std::int16_t> settled = Mix(2000);
  ASSERT_EQ(dsmPlaySound(0, mixRate), errOK);
  const std::vector<std::int16_t> fade = Mix(64);
  const double cut = ExpectedGain(100, 0, 8820.0) * amplitude;
  for (std::size_t i = 1000; i < settled.size(); i++) {
    ASSERT_LE(std::abs(settled[i]), 3 * cut + 2) << i;
  }
  for (std::size_t i = 0; i < fade.size(); i++) {
    ASSERT_LE(std::abs(fade[i]), 3 * cut + 2) << i;
  }
}

TEST_F(ChannelFilterTest, BadArgumentsAreRefused) {
  EXPECT_EQ(dsmSetChannelFilter(0, 100, 0), errInvalidChannel);  // no channels open
  Init(dsmMixFloat, dsmMixMono, 2);
  EXPECT_EQ(dsmSetChannelFilter(2, 100, 0), errInvalidChannel);
  EXPECT_EQ(dsmSetChannelFilter(0, sdFilterOff + 1, 0), errInvalidArguments);
  EXPECT_EQ(dsmSetChannelFilter(0, 100, sdFilterMaxResonance + 1), errInvalidArguments);
  EXPECT_EQ(dsmSetChannelFilter(0, 0, sdFilterMaxResonance), errOK);
  EXPECT_EQ(dsmSetChannelFilter(1, sdFilterMaxCutoff, 0), errOK);
}

// At a low mixing rate the highest corner with full resonance stays stable.
TEST_F(ChannelFilterTest, FullResonanceAtALowMixingRateStaysBounded) {
  dsmSetFilterMode(dsmFilterOff);
  ASSERT_EQ(dsmInit(8000, dsmMixFloat | dsmMix16bit | dsmMixMono), errOK);
  ASSERT_EQ(dsmOpenChannels(1), errOK);
  const unsigned handle = AddSine(3);
  ASSERT_EQ(dsmSetSample(0, handle), errOK);
  ASSERT_EQ(dsmSetVolume(0, 4), errOK);  // room for the resonance peak below full scale
  ASSERT_EQ(dsmPlaySound(0, 8000), errOK);
  ASSERT_EQ(dsmSetChannelFilter(0, sdFilterMaxCutoff, sdFilterMaxResonance), errOK);
  std::vector<std::int16_t> out(16000);
  ASSERT_EQ(dsmMixData(16000, reinterpret_cast<std::uint8_t*>(out.data())), errOK);
  int peak = 0;
  for (std::size_t i = 8000; i < out.size(); i++) peak = std::max(peak, std::abs(int{out[i]}));
  EXPECT_LT(peak, 32767);  // no runaway into the clamp
}

TEST(ChannelFilterDevices, EveryMixingDeviceTakesTheCall) {
  const SoundDevice* const devices[] = {&NoSoundDevice, &WinWaveDevice, &DirectSoundDevice,
                                        &MemoryDevice};
  for (const SoundDevice* d : devices) {
    EXPECT_EQ(d->SetFilter, &dsmSetChannelFilter) << d->name;
  }
}

}  // namespace
