// Checks of the software mixer's arithmetic: unity reproduction, panning,
// surround, clamping, loops, release, sample swapping, click removal, the
// output filter and the output formats, on all three paths.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sound/dsm.h"
#include "sound/dsmmix.h"
#include "sound/errors.h"
#include "sound/module.h"

namespace {

constexpr unsigned rate = 8000;

class MixerTest : public ::testing::Test {
protected:
  void TearDown() override {
    dsmClose();
    dsmSetFilterMode(dsmFilterAuto);
    dsmSetCompression(1);
  }

  void Init(unsigned mode, unsigned channels = 1, int filter = dsmFilterOff, int compress = 0) {
    dsmSetFilterMode(filter);
    dsmSetCompression(compress);
    ASSERT_EQ(dsmInit(rate, mode), errOK);
    ASSERT_EQ(dsmOpenChannels(channels), errOK);
  }

  // Adds an 8-bit sample given as signed values (stored unsigned).
  unsigned Add8(const std::vector<int>& values, unsigned loopMode = loopModeNone,
                unsigned loopStart = 0, unsigned loopEnd = 0, unsigned loopType = loopTypeNone,
                unsigned loop2Start = 0, unsigned loop2End = 0, unsigned loop2Type = 0) {
    std::vector<std::uint8_t> data;
    for (int v : values) {
      data.push_back(static_cast<std::uint8_t>(v + 128));
    }
    SampleDescriptor d{data.data(), sdSmpConv, smp8bitMono, static_cast<unsigned>(data.size()),
                       loopMode, loopStart, loopEnd, loopType, loop2Start, loop2End, loop2Type};
    unsigned handle = 0;
    EXPECT_EQ(dsmAddSample(&d, 1, &handle), errOK);
    return handle;
  }

  unsigned Add16(const std::vector<std::int16_t>& values) {
    SampleDescriptor d{const_cast<std::int16_t*>(values.data()), sdSmpConv, smp16bitMono,
                       static_cast<unsigned>(values.size() * 2), loopModeNone, 0, 0, 0, 0, 0, 0};
    unsigned handle = 0;
    EXPECT_EQ(dsmAddSample(&d, 1, &handle), errOK);
    return handle;
  }

  void Play(unsigned channel, unsigned handle, unsigned volume = 64, int panning = 0,
            std::uint32_t playRate = rate) {
    ASSERT_EQ(dsmSetSample(channel, handle), errOK);
    ASSERT_EQ(dsmSetVolume(channel, volume), errOK);
    ASSERT_EQ(dsmSetPanning(channel, panning), errOK);
    ASSERT_EQ(dsmPlaySound(channel, playRate), errOK);
  }

  // Mixes frames of 16-bit output; stereo gives interleaved pairs.
  std::vector<std::int16_t> Mix16(unsigned frames) {
    const unsigned perFrame = (dsmGetMixMode() & dsmMixStereo) ? 2 : 1;
    std::vector<std::int16_t> out(frames * perFrame);
    EXPECT_EQ(dsmMixData(frames, reinterpret_cast<std::uint8_t*>(out.data())), errOK);
    return out;
  }

  std::vector<std::uint8_t> Mix8(unsigned frames) {
    const unsigned perFrame = (dsmGetMixMode() & dsmMixStereo) ? 2 : 1;
    std::vector<std::uint8_t> out(frames * perFrame);
    EXPECT_EQ(dsmMixData(frames, out.data()), errOK);
    return out;
  }
};

const std::vector<int> ramp = {0, 10, -20, 30, -40, 50, -60, 70, -80, 90, 127, -128};

// Each path, one channel, volume 64, centre, master 64: s becomes 256 * s.
class UnityTest : public MixerTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(UnityTest, EightBitSampleIsReproducedTimes256) {
  const unsigned path = GetParam();
  Init(path | dsmMix16bit | dsmMixMono);
  // 40 silent samples first: the interpolating path ramps a new sound up over
  // 32 samples, and the ramp is over before the values under test.
  std::vector<int> values(40, 0);
  values.insert(values.end(), ramp.begin(), ramp.end());
  Play(0, Add8(values));
  std::vector<std::int16_t> out = Mix16(static_cast<unsigned>(values.size()));
  for (std::size_t i = 0; i < values.size(); i++) {
    EXPECT_EQ(out[i], 256 * values[i]) << "sample " << i;
  }
}

TEST_P(UnityTest, SixteenBitSampleIsReproduced) {
  const unsigned path = GetParam();
  Init(path | dsmMix16bit | dsmMixStereo);
  std::vector<std::int16_t> values(64, 12345);
  values.push_back(-23456);
  Play(0, Add16(values));
  std::vector<std::int16_t> out = Mix16(static_cast<unsigned>(values.size()));
  // From sample 40 on any ramp has finished.
  for (std::size_t i = 40; i < values.size(); i++) {
    EXPECT_EQ(out[2 * i], values[i]) << "left " << i;
    EXPECT_EQ(out[2 * i + 1], values[i]) << "right " << i;
  }
}

TEST_P(UnityTest, PanningAndSurround) {
  const unsigned path = GetParam();
  Init(path | dsmMix16bit | dsmMixStereo, 2);
  std::vector<int> held(400, 50);
  const unsigned handle = Add8(held);
  Play(0, handle, 64, -64);
  std::vector<std::int16_t> out = Mix16(60);
  EXPECT_EQ(out[2 * 50], 256 * 50 / 2) << "two channels share the amplification";
  EXPECT_EQ(out[2 * 50 + 1], 0);

  ASSERT_EQ(dsmSetPanning(0, 0x80), errOK);
  out = Mix16(39);
  EXPECT_EQ(out[2 * 38], 6400);
  EXPECT_EQ(out[2 * 38 + 1], -6400);

  ASSERT_EQ(dsmSetPanning(0, 32), errOK);
  out = Mix16(1);
  out = Mix16(1);  // past the ramp (one step of 32 samples at most) on the interpolating path
  out = Mix16(38);
  EXPECT_EQ(out[2 * 37 + 1], 6400);
  EXPECT_EQ(out[2 * 37], 3200);
}

INSTANTIATE_TEST_SUITE_P(Paths, UnityTest,
                         ::testing::Values(dsmMixInteger, dsmMixFloat, dsmMixInterpolation));

TEST_F(MixerTest, InterpolationHitsSamplesOnStepOneAndBlendsHalfway) {
  Init(dsmMixInterpolation | dsmMix16bit | dsmMixMono);
  std::vector<int> values(64, 40);
  values.insert(values.end(), {0, 100, 0, 100});
  const unsigned handle = Add8(values);
  Play(0, handle);
  std::vector<std::int16_t> out = Mix16(66);
  EXPECT_EQ(out[40], 40 * 256);
  EXPECT_EQ(out[64], 0);
  EXPECT_EQ(out[65], 100 * 256);
  // Half rate: every second output lies halfway between two samples.
  Play(0, handle, 64, 0, rate / 2);
  out = Mix16(132);
  EXPECT_EQ(out[60], 40 * 256);
  EXPECT_EQ(out[128], 0);
  EXPECT_EQ(out[129], 50 * 256);
  EXPECT_EQ(out[130], 100 * 256);
  EXPECT_EQ(out[131], 50 * 256);
}

TEST_F(MixerTest, HalfRateUsesEverySampleTwice) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  Play(0, Add8({1, 2, 3, 4}), 64, 0, rate / 2);
  std::vector<std::int16_t> out = Mix16(8);
  EXPECT_EQ(out, (std::vector<std::int16_t>{256, 256, 512, 512, 768, 768, 1024, 1024}));
}

TEST_F(MixerTest, NonLoopingSampleEndsIdleAndRateReadsZero) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  Play(0, Add8({5, 5, 5}));
  std::uint32_t got = 0;
  ASSERT_EQ(dsmGetRate(0, &got), errOK);
  EXPECT_EQ(got, rate);
  std::vector<std::int16_t> out = Mix16(6);
  EXPECT_EQ(out, (std::vector<std::int16_t>{1280, 1280, 1280, 0, 0, 0}));
  int state = -1;
  ASSERT_EQ(dsmGetChannelState(0, &state), errOK);
  EXPECT_EQ(state, dsmChanEnd);
  ASSERT_EQ(dsmGetRate(0, &got), errOK);
  EXPECT_EQ(got, 0u);
}

TEST_F(MixerTest, ForwardLoopWrapsToLoopStart) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  Play(0, Add8({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, loopModeSingle, 4, 8, loopTypeForward));
  std::vector<std::int16_t> out = Mix16(14);
  std::vector<std::int16_t> expect;
  for (int v : {0, 1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7, 4, 5}) {
    expect.push_back(static_cast<std::int16_t>(256 * v));
  }
  EXPECT_EQ(out, expect);
}

TEST_F(MixerTest, PingPongReflectsAtExclusiveEndAndAtStart) {
  Init(dsmMixFloat | dsmMix16bit | dsmMixMono);
  Play(0, Add8({0, 1, 2, 3, 4, 5, 6, 7}, loopModeSingle, 2, 6, loopTypePingPong));
  std::vector<std::int16_t> out = Mix16(6);
  int direction = 0;
  ASSERT_EQ(dsmGetDirection(0, &direction), errOK);
  EXPECT_EQ(direction, -1);
  unsigned position = 0;
  ASSERT_EQ(dsmGetPosition(0, &position), errOK);
  EXPECT_EQ(position, 5u) << "6.0 reflects to 6 - 0 - 1/65536, inside the loop";
  std::vector<std::int16_t> more = Mix16(12);
  out.insert(out.end(), more.begin(), more.end());
  std::vector<std::int16_t> expect;
  for (int v : {0, 1, 2, 3, 4, 5, 5, 4, 3, 2, 2, 3, 4, 5, 5, 4, 3, 2}) {
    expect.push_back(static_cast<std::int16_t>(256 * v));
  }
  EXPECT_EQ(out, expect);
  ASSERT_EQ(dsmGetDirection(0, &direction), errOK);
  EXPECT_EQ(direction, 1) << "reflected again at the loop start";
}

TEST_F(MixerTest, PingPongWithInterpolationStaysInsideTheSample) {
  // Loop reaching the very end of the data: the interpolating read of the
  // "next" sample must not leave the buffer (checked by the sanitizer build).
  Init(dsmMixInterpolation | dsmMix16bit | dsmMixStereo);
  Play(0, Add8({0, 10, 20, 30}, loopModeSingle, 1, 4, loopTypePingPong), 64, 0, rate * 3 / 4);
  std::vector<std::int16_t> out = Mix16(400);
  for (std::int16_t v : out) {
    EXPECT_GE(v, 0);
    EXPECT_LE(v, 30 * 256);
  }
}

TEST_F(MixerTest, ReleaseMovesFromFirstLoopToSecond) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  const unsigned handle = Add8({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, loopModeRelease, 2, 4,
                               loopTypeForward, 6, 8, loopTypeForward);
  Play(0, handle);
  std::vector<std::int16_t> out = Mix16(6);  // 0 1 2 3 2 3
  ASSERT_EQ(dsmReleaseSound(0), errOK);
  int state = 0;
  ASSERT_EQ(dsmGetChannelState(0, &state), errOK);
  EXPECT_EQ(state, dsmChanReleased);
  std::vector<std::int16_t> more = Mix16(10);
  out.insert(out.end(), more.begin(), more.end());
  std::vector<std::int16_t> expect;
  for (int v : {0, 1, 2, 3, 2, 3, 2, 3, 4, 5, 6, 7, 6, 7, 6, 7}) {
    expect.push_back(static_cast<std::int16_t>(256 * v));
  }
  EXPECT_EQ(out, expect);
}

TEST_F(MixerTest, ReleaseIgnoredWithoutSecondLoop) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  Play(0, Add8({1, 2, 3, 4}, loopModeSingle, 0, 4, loopTypeForward));
  ASSERT_EQ(dsmReleaseSound(0), errOK);
  int state = 0;
  ASSERT_EQ(dsmGetChannelState(0, &state), errOK);
  EXPECT_EQ(state, dsmChanPlaying);
}

TEST_F(MixerTest, SampleSwapTakesOverAtLoopEnd) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  const unsigned a = Add8({1, 2, 3, 4}, loopModeSwapLoop, 2, 4, loopTypeForward);
  const unsigned b = Add8({50, 60, 70, 80}, loopModeSwapLoop, 1, 3, loopTypeForward);
  Play(0, a);
  std::vector<std::int16_t> out = Mix16(3);  // 1 2 3
  ASSERT_EQ(dsmSetSample(0, b), errOK);
  std::vector<std::int16_t> more = Mix16(5);  // 4, then b from its loop start: 60 70 60 70
  out.insert(out.end(), more.begin(), more.end());
  std::vector<std::int16_t> expect;
  for (int v : {1, 2, 3, 4, 60, 70, 60, 70}) {
    expect.push_back(static_cast<std::int16_t>(256 * v));
  }
  EXPECT_EQ(out, expect);
  unsigned handle = 0;
  ASSERT_EQ(dsmGetSample(0, &handle), errOK);
  EXPECT_EQ(handle, b);
}

TEST_F(MixerTest, SampleSwapToNonLoopingSampleEndsIdle) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  const unsigned a = Add8({1, 2}, loopModeSwapNone);
  const unsigned b = Add8({9, 9}, loopModeSwapNone);
  Play(0, a);
  ASSERT_EQ(dsmSetSample(0, b), errOK);
  std::vector<std::int16_t> out = Mix16(4);
  EXPECT_EQ(out, (std::vector<std::int16_t>{256, 512, 0, 0}));
  int state = 0;
  ASSERT_EQ(dsmGetChannelState(0, &state), errOK);
  EXPECT_EQ(state, dsmChanEnd);
}

TEST_F(MixerTest, SwapLoopSampleStartsAtOnceOnIdleChannel) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  const unsigned a = Add8({1}, loopModeSwapNone);
  const unsigned b = Add8({10, 20, 30, 40}, loopModeSwapLoop, 2, 4, loopTypeForward);
  Play(0, a);
  Mix16(2);  // a ends: idle
  ASSERT_EQ(dsmSetSample(0, b), errOK);
  EXPECT_EQ(Mix16(3), (std::vector<std::int16_t>{30 * 256, 40 * 256, 30 * 256}));
}

TEST_F(MixerTest, ClampingOf16And8BitOutput) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  ASSERT_EQ(dsmSetAmplification(128), errOK);
  Play(0, Add16({20000, -20000, 100}));
  EXPECT_EQ(Mix16(3), (std::vector<std::int16_t>{32767, -32768, 200}));
  dsmClose();

  Init(dsmMixFloat | dsmMix8bit | dsmMixMono);
  ASSERT_EQ(dsmSetAmplification(128), errOK);
  Play(0, Add16({20000, -20000, 256}));
  EXPECT_EQ(Mix8(4), (std::vector<std::uint8_t>{255, 0, 130, 128}));
}

TEST_F(MixerTest, AbsurdAmplificationSaturatesWithoutOverflow) {
  for (unsigned path : {dsmMixInteger, dsmMixFloat}) {
    Init(path | dsmMix16bit | dsmMixStereo, 64, dsmFilterStrong);
    ASSERT_EQ(dsmSetAmplification(0xFFFFFFFFu), errOK);
    const unsigned loud8 = Add8({127, -128}, loopModeSingle, 0, 2, loopTypeForward);
    const unsigned loud16 = Add16({32767, -32768, 32767, -32768});
    for (unsigned c = 0; c < 64; c++) {
      Play(c, c % 2 ? loud8 : loud16);
    }
    std::vector<std::int16_t> out = Mix16(4);
    EXPECT_EQ(out[0], 32767) << "path " << path;
    EXPECT_EQ(out[3], -32768) << "path " << path;
    dsmClose();
  }
}

TEST_F(MixerTest, EightBitStereoOutput) {
  Init(dsmMixInteger | dsmMix8bit | dsmMixStereo);
  Play(0, Add8({10, -10}), 64, 64);
  EXPECT_EQ(Mix8(2), (std::vector<std::uint8_t>{128, 138, 128, 118}));
}

TEST_F(MixerTest, StereoSamplesMixIntoMonoAtHalfLevel) {
  for (unsigned path : {dsmMixInteger, dsmMixFloat}) {
    Init(path | dsmMix16bit | dsmMixMono);
    std::vector<std::int16_t> frames = {1000, 3000, -2000, -4000};
    SampleDescriptor d{frames.data(), sdSmpConv, smp16bitStereo, 8, 0, 0, 0, 0, 0, 0, 0};
    unsigned handle = 0;
    ASSERT_EQ(dsmAddSample(&d, 1, &handle), errOK);
    Play(0, handle);
    EXPECT_EQ(Mix16(2), (std::vector<std::int16_t>{2000, -3000})) << "path " << path;
    dsmClose();
  }
}

TEST_F(MixerTest, SurroundGivesTheRightSideTheLeftSignalInverted) {
  for (unsigned path : {dsmMixInteger, dsmMixFloat, dsmMixInterpolation}) {
    Init(path | dsmMix16bit | dsmMixStereo);
    std::vector<std::int16_t> frames;
    for (int i = 0; i < 100; i++) frames.insert(frames.end(), {1000, -3000});
    SampleDescriptor d{frames.data(), sdSmpConv, smp16bitStereo, 400, 0, 0, 0, 0, 0, 0, 0};
    unsigned handle = 0;
    ASSERT_EQ(dsmAddSample(&d, 1, &handle), errOK);
    Play(0, handle, 64, 0x80);
    std::vector<std::int16_t> out = Mix16(60);
    EXPECT_EQ(out[2 * 50], 1000) << "path " << path;
    EXPECT_EQ(out[2 * 50 + 1], -1000) << "path " << path;
    dsmClose();
  }
}

TEST_F(MixerTest, InterpolationAtTheLastSampleOfALoopReadsTheLoopStart) {
  Init(dsmMixInterpolation | dsmMix16bit | dsmMixMono);
  // 40 silent samples for the start ramp, then the loop 40..48.
  std::vector<int> values(40, 0);
  values.insert(values.end(), {100, 20, 20, 20, 20, 20, 20, 60});
  Play(0, Add8(values, loopModeSingle, 40, 48, loopTypeForward), 64, 0, rate / 2);
  std::vector<std::int16_t> out = Mix16(96);
  EXPECT_EQ(out[94], 60 * 256);
  EXPECT_EQ(out[95], 80 * 256) << "halfway between the last sample and the loop start";
}

TEST_F(MixerTest, InterpolationAtAPingPongTurnReadsTheLastSampleItself) {
  Init(dsmMixInterpolation | dsmMix16bit | dsmMixMono);
  std::vector<int> values(40, 0);
  values.insert(values.end(), {100, 20, 20, 20, 20, 20, 20, 60});
  Play(0, Add8(values, loopModeSingle, 40, 48, loopTypePingPong), 64, 0, rate / 2);
  std::vector<std::int16_t> out = Mix16(100);
  EXPECT_EQ(out[94], 60 * 256);
  EXPECT_EQ(out[95], 60 * 256) << "the position turns back: the next sample is the last one";
  for (int i = 96; i < 99; i++) {
    EXPECT_EQ(out[i], 60 * 256) << "reflected back through the last sample, output " << i;
  }
  EXPECT_EQ(out[99], 40 * 256) << "halfway back down to the sample before it";
}

TEST_F(MixerTest, PingPongTurnOfARisingRampIsSmooth) {
  // A full-scale rising ramp at a quarter of the mixing rate: every output
  // step is at most one source step, at the turn as anywhere else.
  for (unsigned sampleType : {smp8bitMono, smp16bitMono}) {
    Init(dsmMixInterpolation | dsmMix16bit | dsmMixMono);
    constexpr int frames = 64;
    std::vector<std::int16_t> wide;
    std::vector<int> narrow;
    for (int i = 0; i < frames; i++) {
      wide.push_back(static_cast<std::int16_t>(-32768 + i * 1024));
      narrow.push_back(-128 + i * 4);
    }
    SampleDescriptor d{};
    std::vector<std::uint8_t> bytes;
    for (int v : narrow) bytes.push_back(static_cast<std::uint8_t>(v + 128));
    d.sample = sampleType == smp8bitMono ? static_cast<void*>(bytes.data()) : wide.data();
    d.placement = sdSmpConv;
    d.sampleType = sampleType;
    d.sampleLength = frames * (sampleType == smp8bitMono ? 1 : 2);
    d.loopMode = loopModeSingle;
    d.loop1Start = 0;
    d.loop1End = d.sampleLength;
    d.loop1Type = loopTypePingPong;
    unsigned handle = 0;
    ASSERT_EQ(dsmAddSample(&d, 1, &handle), errOK);
    Play(0, handle, 64, 0, rate / 4);
    std::vector<std::int16_t> out = Mix16(4 * frames * 3);
    // After the start ramp (32 samples) every step is a quarter of 1024.
    int largest = 0;
    for (std::size_t i = 40; i < out.size(); i++) {
      largest = std::max(largest, std::abs(out[i] - out[i - 1]));
    }
    EXPECT_LE(largest, 256 + 1) << "sample type " << sampleType;
    dsmClose();
  }
}

TEST_F(MixerTest, MasterVolumeAndMute) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  Play(0, Add8(std::vector<int>(10, 64)));
  ASSERT_EQ(dsmSetMasterVolume(32), errOK);
  EXPECT_EQ(Mix16(1)[0], 64 * 256 / 2);
  ASSERT_EQ(dsmMute(1), errOK);
  EXPECT_EQ(Mix16(1)[0], 0);
  ASSERT_EQ(dsmMute(0), errOK);
  ASSERT_EQ(dsmMuteChannel(0, 1), errOK);
  EXPECT_EQ(Mix16(1)[0], 0);
  unsigned position = 0;
  ASSERT_EQ(dsmGetPosition(0, &position), errOK);
  EXPECT_EQ(position, 3u) << "silent channels still advance";
}

TEST_F(MixerTest, PauseGivesSilenceWithoutAdvancing) {
  Init(dsmMixFloat | dsmMix16bit | dsmMixMono);
  Play(0, Add8({1, 2, 3, 4}));
  ASSERT_EQ(dsmPause(1), errOK);
  EXPECT_EQ(Mix16(3), (std::vector<std::int16_t>{0, 0, 0}));
  ASSERT_EQ(dsmPause(0), errOK);
  EXPECT_EQ(Mix16(2), (std::vector<std::int16_t>{256, 512}));
}

TEST_F(MixerTest, MuLawCompressionOnIntegerPath) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono, 1, dsmFilterOff, 1);
  std::vector<std::int16_t> values = {0, 1000, -1000, 8000, -16000, 32000};
  const unsigned handle = Add16(values);
  Play(0, handle);
  std::vector<std::int16_t> out = Mix16(static_cast<unsigned>(values.size()));
  for (std::size_t i = 0; i < values.size(); i++) {
    // mu-law keeps about 3% relative precision
    EXPECT_NEAR(out[i], values[i], 16 + std::abs(values[i]) / 30) << i;
  }
  // Positions are still given in bytes of the original 16-bit data.
  ASSERT_EQ(dsmSetPosition(0, 6), errOK);
  EXPECT_NEAR(Mix16(1)[0], 8000, 300);
}

TEST(MuLaw, EncodeDecodeRoundTrip) {
  EXPECT_EQ(dsmMuLawDecode(dsmMuLawEncode(0)), 0);
  EXPECT_EQ(dsmMuLawEncode(0), 0xFF);
  EXPECT_EQ(dsmMuLawDecode(0x00), -32124);
  EXPECT_EQ(dsmMuLawDecode(0x80), 32124);
  for (int s = -32768; s < 32768; s += 7) {
    const int back = dsmMuLawDecode(dsmMuLawEncode(s));
    EXPECT_LE(std::abs(back - std::max(-32635, std::min(32635, s))), 1024) << s;
  }
}

TEST_F(MixerTest, StrongFilterImpulseResponse) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono, 1, dsmFilterStrong);
  Play(0, Add8({100, 0, 0, 0}));
  EXPECT_EQ(Mix16(4), (std::vector<std::int16_t>{12800, 9600, 3200, 0}));
}

TEST_F(MixerTest, LightFilterIntegerAndFloat) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono, 1, dsmFilterLight);
  Play(0, Add8({32, 32, 32}));
  // t = 2x + x1: 16384 then 24576 -> t/4 + t/8 - t/32
  EXPECT_EQ(Mix16(2), (std::vector<std::int16_t>{5632, 8448}));
  dsmClose();
  Init(dsmMixFloat | dsmMix16bit | dsmMixMono, 1, dsmFilterLight);
  Play(0, Add8({30, 30, 30}));
  EXPECT_EQ(Mix16(3), (std::vector<std::int16_t>{5120, 7680, 7680}));
}

TEST_F(MixerTest, FilterHistoryCarriesAcrossMixCalls) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono, 1, dsmFilterStrong);
  Play(0, Add8({100, 0, 0}));
  EXPECT_EQ(Mix16(1)[0], 12800);
  EXPECT_EQ(Mix16(1)[0], 9600);
  EXPECT_EQ(Mix16(1)[0], 3200);
}

TEST_F(MixerTest, ClickRemovalFadesOldSoundWhileNewOneRampsUp) {
  Init(dsmMixInteger | dsmMixInterpolation | dsmMix16bit | dsmMixMono);
  std::vector<int> held(200, 64);
  const unsigned handle = Add8(held);
  Play(0, handle);
  std::vector<std::int16_t> out = Mix16(40);
  EXPECT_EQ(out[0], 0) << "a new sound starts from silence";
  EXPECT_EQ(out[39], 64 * 256);
  ASSERT_EQ(dsmPlaySound(0, rate), errOK);
  out = Mix16(40);
  // The old sound fades in its shadow as fast as the new one rises: the sum
  // of the two stays at full level with no drop to silence.
  for (std::int16_t v : out) {
    EXPECT_NEAR(v, 64 * 256, 2);
  }
  ASSERT_EQ(dsmStopSound(0), errOK);
  out = Mix16(40);
  EXPECT_GT(out[0], 64 * 256 * 9 / 10) << "the stopped sound fades instead of cutting";
  EXPECT_EQ(out[39], 0);
}

TEST_F(MixerTest, VolumeChangeRampsOnInterpolatingPath) {
  Init(dsmMixInterpolation | dsmMix16bit | dsmMixMono);
  Play(0, Add8(std::vector<int>(200, 64)));
  Mix16(40);
  ASSERT_EQ(dsmSetVolume(0, 0), errOK);
  std::vector<std::int16_t> out = Mix16(40);
  EXPECT_GT(out[0], 64 * 256 * 9 / 10);
  EXPECT_LT(out[16], out[0]);
  EXPECT_EQ(out[32], 0);
}

TEST_F(MixerTest, ErrorsForChannelsHandlesAndCounts) {
  ASSERT_EQ(dsmInit(rate, dsmMixInteger | dsmMix16bit | dsmMixMono), errOK);
  EXPECT_EQ(dsmCloseChannels(), errNoChannels);
  EXPECT_EQ(dsmClearChannels(), errNoChannels);
  EXPECT_EQ(dsmSetVolume(0, 64), errInvalidChannel);
  EXPECT_EQ(dsmOpenChannels(0), errInvalidArguments);
  ASSERT_EQ(dsmOpenChannels(4), errOK);
  EXPECT_EQ(dsmSetRate(4, 1000), errInvalidChannel);
  EXPECT_EQ(dsmSetSample(0, 0), errInvalidSampleHandle);
  EXPECT_EQ(dsmSetSample(0, 1025), errInvalidSampleHandle);
  EXPECT_EQ(dsmSetSample(0, 5), errInvalidSampleHandle) << "empty slot";
  EXPECT_EQ(dsmRemoveSample(1), errInvalidSampleHandle);
  unsigned amp = 0;
  ASSERT_EQ(dsmGetAmplification(&amp), errOK);
  EXPECT_EQ(amp, 64u);
  ASSERT_EQ(dsmOpenChannels(16), errOK);
  ASSERT_EQ(dsmGetAmplification(&amp), errOK);
  EXPECT_EQ(amp, 14u * 16);
}

TEST_F(MixerTest, SampleSlotsRunOutAt1024) {
  Init(dsmMixFloat | dsmMix16bit | dsmMixMono);
  std::uint8_t data[4] = {1, 2, 3, 4};
  SampleDescriptor d{data, sdSmpConv, smp8bitMono, 4, 0, 0, 0, 0, 0, 0, 0};
  unsigned handle = 0;
  for (unsigned i = 1; i <= dsmMaxSamples; i++) {
    ASSERT_EQ(dsmAddSample(&d, 1, &handle), errOK);
    ASSERT_EQ(handle, i);
  }
  EXPECT_EQ(dsmAddSample(&d, 1, &handle), errNoSampleHandles);
  ASSERT_EQ(dsmRemoveSample(500), errOK);
  ASSERT_EQ(dsmAddSample(&d, 0, &handle), errOK);
  EXPECT_EQ(handle, 500u) << "the first free slot is reused";
}

TEST_F(MixerTest, BadDescriptorsAreSafe) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  std::uint8_t data[4] = {200, 200, 200, 200};
  unsigned handle = 0;
  SampleDescriptor empty{nullptr, sdSmpConv, smp8bitMono, 4, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(dsmAddSample(&empty, 1, &handle), errOK) << "no data gives an empty slot";
  Play(0, handle);
  EXPECT_EQ(Mix16(2), (std::vector<std::int16_t>{0, 0}));
  SampleDescriptor badType{data, sdSmpConv, 6, 4, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(dsmAddSample(&badType, 1, &handle), errInvalidSampleType);
  // Loop end beyond the data is clipped to the length.
  SampleDescriptor longLoop{data, sdSmpConv, smp8bitMono, 4, loopModeSingle, 2, 4000, 1, 0, 0, 0};
  ASSERT_EQ(dsmAddSample(&longLoop, 1, &handle), errOK);
  Play(0, handle);
  std::vector<std::int16_t> out = Mix16(20);
  for (std::int16_t v : out) {
    EXPECT_EQ(v, 72 * 256);
  }
  EXPECT_EQ(dsmAddSample(nullptr, 1, &handle), errInvalidArguments);
}

TEST_F(MixerTest, RemovingAPlayingSampleStopsItsChannel) {
  Init(dsmMixFloat | dsmMix16bit | dsmMixMono);
  const unsigned handle = Add8(std::vector<int>(50, 20), loopModeSingle, 0, 50, loopTypeForward);
  Play(0, handle);
  Mix16(10);
  ASSERT_EQ(dsmRemoveSample(handle), errOK);
  EXPECT_EQ(Mix16(3), (std::vector<std::int16_t>{0, 0, 0}));
}

TEST_F(MixerTest, SetPositionRules) {
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  const unsigned loopHandle =
      Add8({0, 1, 2, 3, 4, 5, 6, 7}, loopModeSingle, 2, 6, loopTypeForward);
  Play(0, loopHandle);
  ASSERT_EQ(dsmSetPosition(0, 7), errOK);  // past the loop end: loop start
  EXPECT_EQ(Mix16(1)[0], 2 * 256);
  ASSERT_EQ(dsmSetPosition(0, 4), errOK);
  EXPECT_EQ(Mix16(1)[0], 4 * 256);

  const unsigned plain = Add8({0, 1, 2});
  Play(0, plain);
  ASSERT_EQ(dsmSetPosition(0, 3), errOK);
  int state = 0;
  ASSERT_EQ(dsmGetChannelState(0, &state), errOK);
  EXPECT_EQ(state, dsmChanEnd) << "a position at the end makes the channel idle";

  std::vector<std::int16_t> words = {0, 100, 200, 300};
  SampleDescriptor d{words.data(), sdSmpConv, smp16bitMono, 8, 0, 0, 0, 0, 0, 0, 0};
  unsigned handle16 = 0;
  ASSERT_EQ(dsmAddSample(&d, 0, &handle16), errOK);
  Play(0, handle16);
  ASSERT_EQ(dsmSetPosition(0, 4), errOK);  // bytes: sample 2
  unsigned position = 0;
  ASSERT_EQ(dsmGetPosition(0, &position), errOK);
  EXPECT_EQ(position, 4u);
  EXPECT_EQ(Mix16(1)[0], 200);
}

TEST_F(MixerTest, MixingIntoTheScratchBufferItselfIsSafe) {
  // The no-sound device mixes into the mixer's own accumulator buffer.
  Init(dsmMixInteger | dsmMix16bit | dsmMixMono);
  std::vector<int> values(300);
  for (std::size_t i = 0; i < values.size(); i++) {
    values[i] = static_cast<int>(i % 250) - 125;
  }
  Play(0, Add8(values));
  const unsigned frames = dsmMixBufferSize / 4;
  ASSERT_EQ(dsmMixData(frames, dsmMixBuffer), errOK);
  std::vector<std::int16_t> out(frames);
  std::memcpy(out.data(), dsmMixBuffer, frames * 2);
  for (unsigned i = 0; i < frames; i++) {
    ASSERT_EQ(out[i], 256 * values[i]) << i;
  }
}

TEST_F(MixerTest, MixIsChunkedAcrossTheAccumulatorBuffer) {
  // More frames than one accumulator buffer holds (1/40 s) in one call.
  Init(dsmMixInteger | dsmMix16bit | dsmMixStereo);
  std::vector<int> values(1000);
  for (std::size_t i = 0; i < values.size(); i++) {
    values[i] = static_cast<int>(i % 200) - 100;
  }
  Play(0, Add8(values));
  std::vector<std::int16_t> out = Mix16(1000);
  for (std::size_t i = 0; i < values.size(); i++) {
    ASSERT_EQ(out[2 * i], 256 * values[i]) << i;
  }
}

TEST_F(MixerTest, InitialisationDefaultsAndBufferSize) {
  dsmSetFilterMode(dsmFilterAuto);
  ASSERT_EQ(dsmInit(44100, dsmMix16bit | dsmMixStereo | dsmMixInterpolation), errOK);
  EXPECT_EQ(dsmGetMixMode() & (dsmMixFloat | dsmMixInteger), dsmMixFloat);
  EXPECT_EQ(dsmMixBufferSize, (44100u * 8 / 40 + 15) / 16 * 16);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(dsmMixBuffer) % 1024, 0u);
  unsigned value = 0;
  ASSERT_EQ(dsmGetMasterVolume(&value), errOK);
  EXPECT_EQ(value, 64u);
  dsmClose();
  ASSERT_EQ(dsmInit(22050, 0), errOK);
  EXPECT_NE(dsmGetMixMode() & dsmMix16bit, 0u) << "16-bit is the default width";
  EXPECT_EQ(dsmInit(0, dsmMix16bit), errInvalidArguments);
  EXPECT_EQ(dsmMixData(1, nullptr), errInvalidDevice);
}

}  // namespace
