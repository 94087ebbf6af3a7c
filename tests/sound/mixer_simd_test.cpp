// The vector mixing loops against the scalar reference: the same channels
// mixed both ways give the same output (the integer path bit for bit, the
// floating-point accumulators within one unit of the last place), for every
// loop type, sample type, panning and output format; the output conversion
// agrees on extreme values; and no loop reads outside its sample.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "sound/dsm.h"
#include "sound/dsmkern.h"
#include "sound/errors.h"
#include "sound/module.h"

namespace {

constexpr unsigned mixRate = 22050;
constexpr unsigned channels = 16;

struct Mode {
  const char* name;
  unsigned bits;  // mixer mode
  int compress;   // mu-law compression of 16-bit samples (integer path)
};

const Mode modes[] = {
    {"int_stereo16", dsmMixInteger | dsmMixStereo | dsmMix16bit, 0},
    {"int_mono16", dsmMixInteger | dsmMixMono | dsmMix16bit, 0},
    {"int_stereo8", dsmMixInteger | dsmMixStereo | dsmMix8bit, 0},
    {"int_mono8", dsmMixInteger | dsmMixMono | dsmMix8bit, 0},
    {"mulaw_stereo16", dsmMixInteger | dsmMixStereo | dsmMix16bit, 1},
    {"mulaw_mono16", dsmMixInteger | dsmMixMono | dsmMix16bit, 1},
    {"float_stereo16", dsmMixFloat | dsmMixStereo | dsmMix16bit, 0},
    {"float_mono16", dsmMixFloat | dsmMixMono | dsmMix16bit, 0},
    {"float_stereo8", dsmMixFloat | dsmMixStereo | dsmMix8bit, 0},
    {"interp_stereo16", dsmMixInterpolation | dsmMixStereo | dsmMix16bit, 0},
    {"interp_mono16", dsmMixInterpolation | dsmMixMono | dsmMix16bit, 0},
    {"interp_stereo8", dsmMixInterpolation | dsmMixStereo | dsmMix8bit, 0},
    {"interp_mono8", dsmMixInterpolation | dsmMixMono | dsmMix8bit, 0},
};

const unsigned sampleTypes[] = {smp8bitMono, smp16bitMono, smp8bitStereo, smp16bitStereo};
const unsigned loopTypes[] = {loopTypeNone, loopTypeForward, loopTypePingPong};

unsigned FrameBytes(unsigned type) {
  return type == smp16bitStereo ? 4 : (type == smp8bitMono ? 1 : 2);
}

// Noise-like data so that every lane's value matters.
std::vector<std::uint8_t> Data(unsigned frames, unsigned type, unsigned seed) {
  std::vector<std::uint8_t> bytes(frames * FrameBytes(type));
  std::uint32_t x = 2463534242u + seed * 7919u;
  for (auto& b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  return bytes;
}

// Everything one mixing run produced: the output of each call and the
// accumulators behind it.
struct Result {
  std::vector<std::uint8_t> output;
  std::vector<std::int32_t> intAcc;
  std::vector<float> floatAcc;
};

class MixerSimdTest : public ::testing::TestWithParam<std::tuple<int, Mode>> {
protected:
  void TearDown() override {
    dsmClose();
    dsmSetSimdLevel(dsmSimdBest());
    dsmSetFilterMode(dsmFilterAuto);
    dsmSetCompression(1);
  }

  // Adds one sample of each type and loop type, and a two-loop one.
  void AddSamples() {
    unsigned seed = 0;
    for (unsigned type : sampleTypes) {
      for (unsigned loop : loopTypes) {
        const unsigned frames = 40 + 37 * seed;
        data.push_back(Data(frames, type, seed++));
        const unsigned shift = type == smp16bitStereo ? 2 : (type == smp8bitMono ? 0 : 1);
        SampleDescriptor d{data.back().data(), sdSmpConv, type, frames << shift,
                           loop == loopTypeNone ? loopModeNone : loopModeSingle,
                           (frames / 4) << shift, (frames - 3) << shift, loop, 0, 0, 0};
        AddSample(d);
      }
    }
    data.push_back(Data(300, smp8bitMono, 99));
    AddSample(SampleDescriptor{data.back().data(), sdSmpConv, smp8bitMono, 300, loopModeRelease,
                               20, 60, loopTypePingPong, 100, 300, loopTypeForward});
  }

  void AddSample(const SampleDescriptor& d) {
    unsigned handle = 0;
    ASSERT_EQ(dsmAddSample(&d, 1, &handle), errOK);
    handles.push_back(handle);
  }

  // Rates from far below to far above the mixing rate, and one whose step
  // is too large for the vector lanes.
  static std::uint32_t Rate(unsigned n) {
    const std::uint32_t rates[] = {8363, 22050, 44100, 3000, 16726, 33075, 65000, 1500,
                                   11025, 9000, 2u << 30, 27000, 5512, 40000, 12345, 20000};
    return rates[n % 16];
  }

  void Note(unsigned channel, unsigned n) {
    ASSERT_EQ(dsmSetSample(channel, handles[n % handles.size()]), errOK);
    ASSERT_EQ(dsmSetVolume(channel, 20 + (n * 11) % 45), errOK);
    const int pans[] = {-64, -20, 0, 30, 64, 0x80, 7};
    ASSERT_EQ(dsmSetPanning(channel, pans[(n + channel) % 7]), errOK);
    ASSERT_EQ(dsmPlaySound(channel, Rate(n)), errOK);
  }

  // One whole run at an instruction-set level: notes, volume changes (ramps
  // when interpolating), restarts (click removal), releases and positions.
  Result Run(int level, const Mode& mode) {
    Result result;
    dsmSetSimdLevel(level);
    dsmSetFilterMode(dsmFilterOff);
    dsmSetCompression(mode.compress);
    data.clear();
    handles.clear();
    EXPECT_EQ(dsmInit(mixRate, mode.bits), errOK);
    AddSamples();
    EXPECT_EQ(dsmOpenChannels(channels), errOK);
    for (unsigned c = 0; c < channels; c++) Note(c, c);
    const unsigned calls[] = {37, 551, 8, 300, 1, 129, 551, 77, 400, 13};
    for (unsigned i = 0; i < 40; i++) {
      const unsigned frames = calls[i % 10];
      Mix(frames, mode, result);
      dsmSetVolume(i % channels, (i * 23) % 65);
      dsmSetPanning((i + 3) % channels, static_cast<int>((i * 29) % 129) - 64);
      if (i % 3 == 0) Note((i * 5) % channels, i + 7);
      if (i % 7 == 0) dsmReleaseSound((i * 3) % channels);
      if (i % 11 == 0) dsmSetPosition((i * 7) % channels, 20);
    }
    dsmClose();
    return result;
  }

public:
  // Mixes `frames` and keeps the output and the accumulators behind it.
  static void Mix(unsigned frames, const Mode& mode, Result& result) {
    const bool stereo = (mode.bits & dsmMixStereo) != 0;
    const bool eightBit = (mode.bits & dsmMix8bit) != 0;
    const unsigned samples = frames * (stereo ? 2 : 1);
    std::vector<std::uint8_t> out(samples * (eightBit ? 1 : 2));
    ASSERT_EQ(dsmMixData(frames, out.data()), errOK);
    result.output.insert(result.output.end(), out.begin(), out.end());
    if ((dsmGetMixMode() & dsmMixFloat) != 0) {
      const auto* acc = reinterpret_cast<const float*>(dsmMixBuffer);
      result.floatAcc.insert(result.floatAcc.end(), acc, acc + samples);
    } else {
      const auto* acc = reinterpret_cast<const std::int32_t*>(dsmMixBuffer);
      result.intAcc.insert(result.intAcc.end(), acc, acc + samples);
    }
  }

protected:
  std::vector<std::vector<std::uint8_t>> data;
  std::vector<unsigned> handles;
};

// Distance in units of the last place between two finite floats.
std::int64_t Ulps(float a, float b) {
  auto key = [](float f) {
    std::int32_t i;
    std::memcpy(&i, &f, 4);
    return i < 0 ? std::int64_t{std::numeric_limits<std::int32_t>::min()} - i : std::int64_t{i};
  };
  return std::llabs(key(a) - key(b));
}

TEST_P(MixerSimdTest, SameOutputAsTheScalarLoops) {
  const auto [level, mode] = GetParam();
  if (dsmSetSimdLevel(level) != level) {
    GTEST_SKIP() << "instruction set not available";
  }
  const Result reference = Run(dsmSimdScalar, mode);
  const Result vector = Run(level, mode);
  ASSERT_FALSE(HasFailure());
  ASSERT_EQ(vector.output.size(), reference.output.size());
  EXPECT_TRUE(vector.output == reference.output) << "output differs";
  EXPECT_TRUE(vector.intAcc == reference.intAcc) << "integer accumulators differ";
  ASSERT_EQ(vector.floatAcc.size(), reference.floatAcc.size());
  std::int64_t worst = 0;
  for (std::size_t i = 0; i < reference.floatAcc.size(); i++) {
    worst = std::max(worst, Ulps(vector.floatAcc[i], reference.floatAcc[i]));
  }
  EXPECT_LE(worst, 1) << "floating-point accumulators";
  // The run must have made sound, or the comparison proves nothing.
  std::size_t nonSilent = 0;
  for (float v : reference.floatAcc) nonSilent += v != 0.0f;
  for (std::int32_t v : reference.intAcc) nonSilent += v != 0;
  EXPECT_GT(nonSilent, reference.output.size() / 4);
}

std::string Name(const ::testing::TestParamInfo<std::tuple<int, Mode>>& info) {
  const int level = std::get<0>(info.param);
  const char* prefix = level == dsmSimdAvx512 ? "avx512_" : (level == dsmSimdAvx2 ? "avx2_" : "sse2_");
  return std::string(prefix) + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Levels, MixerSimdTest,
                         ::testing::Combine(::testing::Values(dsmSimdSse2, dsmSimdAvx2, dsmSimdAvx512),
                                            ::testing::ValuesIn(modes)),
                         Name);

// Steps on both sides of the largest at which a block's reads still fit in
// one load (it differs by sample type), forwards and backwards (ping-pong
// loops), mixed at one level and by the scalar loops: the same output.
class MixerStepSweepTest : public ::testing::TestWithParam<int> {
protected:
  void TearDown() override {
    dsmClose();
    dsmSetSimdLevel(dsmSimdBest());
    dsmSetFilterMode(dsmFilterAuto);
  }

  // Each channel plays one sample type at its own rate, from 0.7 to 1.9
  // times the mixing rate in steps of about 1/100.
  Result Sweep(int level, unsigned modeBits) {
    dsmSetSimdLevel(level);
    dsmSetFilterMode(dsmFilterOff);
    dsmSetCompression(0);
    EXPECT_EQ(dsmInit(mixRate, modeBits | dsmMixStereo | dsmMix16bit), errOK);
    constexpr unsigned sweepChannels = 120;
    EXPECT_EQ(dsmOpenChannels(sweepChannels), errOK);
    std::vector<std::vector<std::uint8_t>> data;
    std::vector<unsigned> handles;
    for (unsigned type : sampleTypes) {
      data.push_back(Data(997, type, type));
      const unsigned shift = type == smp16bitStereo ? 2 : (type == smp8bitMono ? 0 : 1);
      const SampleDescriptor d{data.back().data(), sdSmpConv, type, 997u << shift, loopModeSingle,
                               100u << shift, 990u << shift, loopTypePingPong, 0, 0, 0};
      unsigned handle = 0;
      EXPECT_EQ(dsmAddSample(&d, 1, &handle), errOK);
      handles.push_back(handle);
    }
    for (unsigned c = 0; c < sweepChannels; c++) {
      EXPECT_EQ(dsmSetSample(c, handles[c % handles.size()]), errOK);
      EXPECT_EQ(dsmSetVolume(c, 64), errOK);
      EXPECT_EQ(dsmSetPanning(c, static_cast<int>(c % 9) * 16 - 64), errOK);
      EXPECT_EQ(dsmPlaySound(c, mixRate * 7 / 10 + c * mixRate / 100), errOK);
    }
    Result result;
    const Mode mode{"", modeBits | dsmMixStereo | dsmMix16bit, 0};
    for (int i = 0; i < 12; i++) {
      MixerSimdTest::Mix(433, mode, result);
    }
    dsmClose();
    return result;
  }
};

TEST_P(MixerStepSweepTest, SameOutputAsTheScalarLoopsAcrossTheStepLimits) {
  if (dsmSetSimdLevel(GetParam()) != GetParam()) {
    GTEST_SKIP() << "instruction set not available";
  }
  for (unsigned path : {dsmMixInteger, dsmMixFloat, dsmMixInterpolation}) {
    const Result reference = Sweep(dsmSimdScalar, path);
    const Result vector = Sweep(GetParam(), path);
    ASSERT_FALSE(HasFailure());
    EXPECT_TRUE(vector.output == reference.output) << "output differs, path " << path;
    EXPECT_TRUE(vector.intAcc == reference.intAcc) << "integer accumulators, path " << path;
    ASSERT_EQ(vector.floatAcc.size(), reference.floatAcc.size());
    std::int64_t worst = 0;
    for (std::size_t i = 0; i < reference.floatAcc.size(); i++) {
      worst = std::max(worst, Ulps(vector.floatAcc[i], reference.floatAcc[i]));
    }
    EXPECT_LE(worst, 1) << "floating-point accumulators, path " << path;
    std::size_t nonSilent = 0;
    for (std::uint8_t b : reference.output) nonSilent += b != 0;
    EXPECT_GT(nonSilent, reference.output.size() / 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, MixerStepSweepTest,
                         ::testing::Values(dsmSimdSse2, dsmSimdAvx2, dsmSimdAvx512));

class MixerConversionTest : public ::testing::TestWithParam<int> {};

TEST_P(MixerConversionTest, ClampsAndRoundsAsTheScalarConversion) {
  const DsmKernelSet* set = dsmKernelsAt(GetParam());
  if (set == nullptr || dsmSimdBest() < GetParam()) {
    GTEST_SKIP() << "instruction set not available";
  }
  std::vector<float> floats = {40000.0f, -40000.0f, 32767.4f, 32767.5f, -32768.5f, -32767.5f,
                               0.5f, -0.5f, 0.49999997f, -0.49999997f, -0.0f, 1.5f, -1.5f,
                               std::numeric_limits<float>::quiet_NaN(),
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::infinity(), 255.5f, -256.5f, 127.9f};
  std::vector<std::int32_t> ints = {40000, -40000, 32767, 32768, -32768, -32769, 255, 256, -256,
                                    -257, 0, 1, -1, 1 << 30, -(1 << 30), 32512, -32513};
  for (int i = 0; i < 45; i++) {  // lengths that are not a multiple of the block
    floats.push_back(static_cast<float>(i * 1637 - 36000) + 0.25f * (i % 4));
    ints.push_back(i * 1811 - 40000);
  }
  for (bool eightBit : {false, true}) {
    std::vector<std::uint8_t> want(floats.size() * 2), got(floats.size() * 2);
    dsmScalarKernels.convertFloat(floats.data(), static_cast<unsigned>(floats.size()), want.data(), eightBit);
    set->convertFloat(floats.data(), static_cast<unsigned>(floats.size()), got.data(), eightBit);
    EXPECT_EQ(got, want) << "float, eight-bit " << eightBit;
    std::vector<std::uint8_t> wantInt(ints.size() * 2), gotInt(ints.size() * 2);
    dsmScalarKernels.convertInt(ints.data(), static_cast<unsigned>(ints.size()), wantInt.data(), eightBit);
    set->convertInt(ints.data(), static_cast<unsigned>(ints.size()), gotInt.data(), eightBit);
    EXPECT_EQ(gotInt, wantInt) << "integer, eight-bit " << eightBit;
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, MixerConversionTest,
                         ::testing::Values(dsmSimdSse2, dsmSimdAvx2, dsmSimdAvx512));

// A sample filling one page exactly, between two pages that cannot be read:
// a loop that read a byte before or after its sample would fault.
class MixerGuardPageTest : public ::testing::TestWithParam<int> {
protected:
  void SetUp() override {
    page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* map = mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    region = static_cast<std::uint8_t*>(map);
    ASSERT_EQ(mprotect(region, page, PROT_NONE), 0);
    ASSERT_EQ(mprotect(region + 2 * page, page, PROT_NONE), 0);
  }
  void TearDown() override {
    dsmClose();
    dsmSetSimdLevel(dsmSimdBest());
    dsmSetFilterMode(dsmFilterAuto);
    if (region != nullptr) munmap(region, 3 * page);
  }
  std::size_t page = 0;
  std::uint8_t* region = nullptr;
};

TEST_P(MixerGuardPageTest, LoopsReadOnlyInsideTheSample) {
  if (dsmSetSimdLevel(GetParam()) != GetParam()) {
    GTEST_SKIP() << "instruction set not available";
  }
  std::uint8_t* sample = region + page;
  std::memcpy(sample, Data(static_cast<unsigned>(page), smp8bitMono, 5).data(), page);
  const unsigned modeBits[] = {dsmMixInteger, dsmMixFloat, dsmMixInterpolation};
  for (unsigned path : modeBits) {
    for (unsigned type : sampleTypes) {
      dsmSetFilterMode(dsmFilterOff);
      dsmSetCompression(0);
      ASSERT_EQ(dsmInit(mixRate, path | dsmMixStereo | dsmMix16bit), errOK);
      ASSERT_EQ(dsmOpenChannels(6), errOK);
      const auto bytes = static_cast<unsigned>(page);
      // Without copying, the mixer reads the caller's data in place.
      const SampleDescriptor pingPong{sample, sdSmpConv, type, bytes, loopModeSingle, 0, bytes,
                                      loopTypePingPong, 0, 0, 0};
      const SampleDescriptor forward{sample, sdSmpConv, type, bytes, loopModeSingle, 0, bytes,
                                     loopTypeForward, 0, 0, 0};
      const SampleDescriptor once{sample, sdSmpConv, type, bytes, loopModeNone, 0, 0, 0, 0, 0, 0};
      const SampleDescriptor* descriptors[] = {&pingPong, &forward, &once};
      for (unsigned c = 0; c < 6; c++) {
        unsigned handle = 0;
        ASSERT_EQ(dsmAddSample(descriptors[c % 3], 0, &handle), errOK);
        ASSERT_EQ(dsmSetSample(c, handle), errOK);
        ASSERT_EQ(dsmSetVolume(c, 64), errOK);
        ASSERT_EQ(dsmPlaySound(c, c < 3 ? 3 * mixRate + 77 : mixRate / 3), errOK);
      }
      std::vector<std::uint8_t> out(4 * 551);
      for (int i = 0; i < 40; i++) {
        ASSERT_EQ(dsmMixData(551, out.data()), errOK);
      }
      dsmClose();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, MixerGuardPageTest,
                         ::testing::Values(dsmSimdScalar, dsmSimdSse2, dsmSimdAvx2,
                                           dsmSimdAvx512));

}  // namespace
