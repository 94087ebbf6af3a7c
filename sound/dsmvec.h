// The mixer's vector kernels, written once over a lane type and included by
// the files of each instruction set (dsmsse2.cpp, dsmavx2.cpp). Before the
// include, such a file defines
//   DSM_VEC_TARGET  the function attribute that enables its instructions;
//   struct Vec      its lane operations (see dsmsse2.cpp for the list).
// Each kernel mixes Vec::lanes output samples per block with exactly the
// arithmetic of the scalar reference (dsmscal.cpp), in the same order, so
// the results are the same. Blocks whose reads would start before the data
// (a 32-bit read ending on the sample wanted, near the start of a sample), a
// step too large for 32-bit lane positions, and the samples left over after
// the last whole block go through the scalar reference.
//
// Not a general header: everything here lives in the includer's anonymous
// namespace.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "sound/dsmkern.h"

namespace {

using I = Vec::I;
using F = Vec::F;
constexpr int lanes = Vec::lanes;

// Largest step the 32-bit lane positions carry: (lanes - 1) steps past the
// fraction must stay below 2^31.
constexpr std::int64_t maxVectorStep = std::int64_t{1} << 24;

// How a block reads its samples: one 32-bit read per lane that ends on the
// last byte wanted (interpolation wants two frames) or starts on the first.
template <DsmSrc S, bool Interp>
struct Fetch {
  static constexpr int frame = static_cast<int>(DsmFrameBytes(S));
  static constexpr int frameShift = frame == 4 ? 2 : (frame == 2 ? 1 : 0);
  static constexpr int wanted = Interp ? 2 * frame : frame;
  // Byte displacement of the read from the first frame wanted (<= 0).
  static constexpr int displacement = wanted < 4 ? wanted - 4 : 0;
  // Lowest frame index whose read stays inside the data.
  static constexpr std::int64_t guard = (-displacement + frame - 1) / frame;
  // Where item k (a byte or a 16-bit value, in data order) sits in the read.
  static constexpr int ItemByte(int k) {
    constexpr int item = (S == DsmSrc::S16Mono || S == DsmSrc::S16Stereo) ? 2 : 1;
    return k * item - displacement;
  }
};

template <int ByteOffset>
DSM_VEC_TARGET inline I Byte(I w) {
  if constexpr (ByteOffset == 3) {
    return Vec::Srl<24>(w);
  } else {
    return Vec::And(Vec::Srl<8 * ByteOffset>(w), Vec::SetI(0xFF));
  }
}

template <int ByteOffset>
DSM_VEC_TARGET inline I Short(I w) {
  if constexpr (ByteOffset == 2) {
    return Vec::Sra<16>(w);
  } else {
    return Vec::Sra<16>(Vec::Sll<16>(w));
  }
}

// Item k of a block's reads as an integer: a stored byte, or a signed
// 16-bit value. Items past the first read come from the second (16-bit
// stereo with interpolation reads 8 bytes).
template <DsmSrc S, bool Interp, int K>
DSM_VEC_TARGET inline I Item(I w0, I w1) {
  constexpr int at = Fetch<S, Interp>::ItemByte(K);
  const I w = at < 4 ? w0 : w1;
  constexpr int inRead = at % 4;
  if constexpr (S == DsmSrc::S16Mono || S == DsmSrc::S16Stereo) {
    return Short<inRead>(w);
  } else {
    return Byte<inRead>(w);
  }
}

// The block's reads: lane offsets in bytes from `block`, the frame of the
// block's first position.
template <DsmSrc S, bool Interp>
DSM_VEC_TARGET inline void Read(const std::uint8_t* block, I index, I& w0, I& w1) {
  using Fe = Fetch<S, Interp>;
  const I offset = Vec::Add(Vec::Sll<Fe::frameShift>(index), Vec::SetI(Fe::displacement));
  w0 = Vec::Gather(block, offset);
  if constexpr (Fe::wanted > 4) {
    w1 = Vec::Gather(block + 4, offset);
  } else {
    w1 = w0;
  }
}

// Where a run's step is small enough, every block's reads fall within
// Vec::windowBytes bytes, and the lane set picks each lane's 32-bit read out
// of one load of that window (Vec::WindowGather) instead of gathering: the
// words are the same. `window` is the block's lowest read; `index` the lane
// frames relative to the block's lowest frame.
template <DsmSrc S, bool Interp>
DSM_VEC_TARGET inline void ReadWindow(const std::uint8_t* window, I index, I& w0, I& w1) {
  using Fe = Fetch<S, Interp>;
  const I offset = Vec::Sll<Fe::frameShift>(index);
  w0 = Vec::WindowGather(window, offset);
  if constexpr (Fe::wanted > 4) {
    w1 = Vec::WindowGather(window + 4, offset);
  } else {
    w1 = w0;
  }
}

// Whether every block of a run at `step` reads within one window: the
// frames of a block's lanes span at most ((lanes - 1) |step| + 65535) >> 16
// frames past the lowest, and the reads of the highest end within the window.
template <DsmSrc S, bool Interp>
constexpr bool WindowFits(std::int64_t step) {
  using Fe = Fetch<S, Interp>;
  constexpr std::int64_t readBytes = Fe::wanted > 4 ? 8 : 4;
  const std::int64_t size = step < 0 ? -step : step;
  const std::int64_t span = ((lanes - 1) * size + 0xFFFF) >> 16;
  return Vec::windowBytes > 0 && span * Fe::frame + readBytes <= Vec::windowBytes;
}

// Walks the blocks of a run: each block's lane positions relative to the
// run's lowest frame, and where the run's step allows it and the window
// stays inside the data, the window the block reads from (null otherwise).
template <DsmSrc S, bool Interp>
struct BlockWalk {
  static constexpr int frame = Fetch<S, Interp>::frame;
  // Bytes the window's loads cover: a second load 4 bytes on where a lane
  // reads two words (ReadWindow).
  static constexpr std::ptrdiff_t windowSpan =
      Vec::windowBytes + (Fetch<S, Interp>::wanted > 4 ? 4 : 0);
  const std::uint8_t* from;  // the run's lowest frame
  const std::uint8_t* end;
  std::int64_t step;
  bool windowed;
  I lane;
  std::uint32_t first;  // lane 0's position, relative to from

  DSM_VEC_TARGET const std::uint8_t* Window(I* index) const {
    if (!windowed) {
      return nullptr;
    }
    const std::uint32_t last = first + static_cast<std::uint32_t>((lanes - 1) * step);
    const std::uint32_t lowest = (step > 0 ? first : last) >> 16;
    const std::uint8_t* window = from + std::size_t{lowest} * frame + Fetch<S, Interp>::displacement;
    if (end - window < windowSpan) {
      return nullptr;
    }
    *index = Vec::Sub(Vec::Srl<16>(lane), Vec::SetI(static_cast<std::int32_t>(lowest)));
    return window;
  }
  DSM_VEC_TARGET void Next() {
    lane = Vec::Add(lane, Vec::SetI(static_cast<std::int32_t>(lanes * step)));
    first += static_cast<std::uint32_t>(lanes * step);
  }
};

// The block's reads, from its window or gathered.
template <DsmSrc S, bool Interp>
DSM_VEC_TARGET inline void ReadBlock(const BlockWalk<S, Interp>& walk, I& w0, I& w1) {
  I index;
  if (const std::uint8_t* window = walk.Window(&index)) {
    ReadWindow<S, Interp>(window, index, w0, w1);
  } else {
    Read<S, Interp>(walk.from, Vec::Srl<16>(walk.lane), w0, w1);
  }
}

// ---- floating-point paths ----------------------------------------------

template <DsmSrc S>
DSM_VEC_TARGET inline F ToFloat(I item, const DsmFloatVolume& vol) {
  if constexpr (S == DsmSrc::U8Mono || S == DsmSrc::U8Stereo) {
    // The table's own values: -32768 + 256 b, exact in float.
    return Vec::Cvt(Vec::Sub(Vec::Sll<8>(item), Vec::SetI(32768)));
  } else if constexpr (S == DsmSrc::MuMono || S == DsmSrc::MuStereo) {
    return Vec::LookupF(vol.muLawToFloat, item);
  } else {
    return Vec::Cvt(item);
  }
}

constexpr bool IsEightBit(DsmSrc s) { return s == DsmSrc::U8Mono || s == DsmSrc::U8Stereo; }
constexpr bool IsSixteenBit(DsmSrc s) { return s == DsmSrc::S16Mono || s == DsmSrc::S16Stereo; }

// Interpolating 8-bit samples in integers: f s1 + (65536 - f) s0 on the
// 16-bit scale is 256 x with x = 65536 (b0 - 128) + f (b1 - b0), below 2^24,
// so every float step of the reference is exact and both give the same value.
// Where the lane type multiplies 32-bit integers cheaply (Vec::fastMulLo).
template <DsmSrc S, bool Interp>
constexpr bool IntegerInterp() {
  return Interp && IsEightBit(S) && Vec::fastMulLo;
}

// The source value the factors multiply: interpolated sums are left
// unscaled here, and the power of two that scales them (1/65536, or 1/256
// with integer interpolation) goes into the factors instead, which changes
// no result (a product by a power of two is exact).
template <DsmSrc S, bool Interp>
constexpr float ValueScale() {
  if constexpr (!Interp) {
    return 1.0f;
  } else {
    return IntegerInterp<S, Interp>() ? 1.0f / 256.0f : 1.0f / 65536.0f;
  }
}

template <DsmSrc S, bool Interp, int K0, int K1>
DSM_VEC_TARGET inline F Value(I w0, I w1, I fraction, F f, F g, const DsmFloatVolume& vol) {
  if constexpr (IntegerInterp<S, Interp>()) {
    const I b0 = Item<S, Interp, K0>(w0, w1);
    const I b1 = Item<S, Interp, K1>(w0, w1);
    const I x = Vec::Add(Vec::Sll<16>(Vec::Sub(b0, Vec::SetI(128))),
                         Vec::MulLo(fraction, Vec::Sub(b1, b0)));
    return Vec::Cvt(x);
  } else if constexpr (Interp) {
    const F s0 = ToFloat<S>(Item<S, Interp, K0>(w0, w1), vol);
    const F s1 = ToFloat<S>(Item<S, Interp, K1>(w0, w1), vol);
    return Vec::Add(Vec::Mul(f, s1), Vec::Mul(g, s0));
  } else {
    return ToFloat<S>(Item<S, Interp, K0>(w0, w1), vol);
  }
}

template <bool StereoOut, bool Interp, bool Surround>
const DsmFloatTable& ScalarFloatTable() {
  if constexpr (!StereoOut) {
    return Interp ? dsmScalarKernels.interpMono : dsmScalarKernels.floatMono;
  } else if constexpr (Surround) {
    return Interp ? dsmScalarKernels.interpSurround : dsmScalarKernels.floatSurround;
  } else {
    return Interp ? dsmScalarKernels.interpStereo : dsmScalarKernels.floatStereo;
  }
}

// Plain loads and stores of a whole block's accumulators and ramp factors.
struct WholeBlock {
  DSM_VEC_TARGET F Load(const float* p, int /*half*/) const { return Vec::LoadF(p); }
  DSM_VEC_TARGET void Store(float* p, F v, int /*half*/) const { Vec::StoreF(p, v); }
  DSM_VEC_TARGET F LoadRamp(const float* p) const { return Vec::LoadF(p); }
};

// Mixes one block of lanes samples from its reads w0, w1 at lane positions
// `lane`, the accumulators and ramp factors read and written through io.
template <DsmSrc S, bool StereoOut, bool Interp, bool Surround, bool Ramp, typename Io>
DSM_VEC_TARGET inline void FloatBlockFrom(I w0, I w1, I lane, float* acc,
                                          const DsmFloatVolume& vol, unsigned done, const Io& io) {
  constexpr bool stereoSrc = DsmIsStereoSrc(S);
  constexpr int half = stereoSrc ? 1 : 0;  // items per frame - 1
  const I fraction = Vec::And(lane, Vec::SetI(0xFFFF));
  F f = Vec::SetF(0.0f);
  F g = f;
  if constexpr (Interp && !IntegerInterp<S, Interp>()) {
    f = Vec::Cvt(fraction);
    g = Vec::Sub(Vec::SetF(65536.0f), f);
  }
  const F left = Value<S, Interp, 0, 1 + half>(w0, w1, fraction, f, g, vol);
  F right = left;
  if constexpr (stereoSrc && !Surround) {
    right = Value<S, Interp, 1, 3>(w0, w1, fraction, f, g, vol);
  }
  const F scale = Vec::SetF(ValueScale<S, Interp>());
  const F factorL = Ramp ? Vec::Mul(io.LoadRamp(vol.rampL + done), scale)
                         : Vec::Mul(Vec::SetF(vol.left), scale);
  if constexpr (StereoOut && (!stereoSrc || Surround) && !Ramp) {
    // One signal on both sides at constant factors: each value doubled into
    // its frame and multiplied by the frame's factors, the same products as
    // interleaving the two sides' afterwards.
    const F factors = Vec::Pair(Vec::Mul(Vec::SetF(vol.left), scale),
                                Vec::Mul(Vec::SetF(vol.right), scale));
    io.Store(acc, Vec::Add(io.Load(acc, 0), Vec::Mul(Vec::DoubleLow(left), factors)), 0);
    io.Store(acc + lanes,
             Vec::Add(io.Load(acc + lanes, 1), Vec::Mul(Vec::DoubleHigh(left), factors)), 1);
  } else if constexpr (StereoOut) {
    const F factorR = Ramp ? Vec::Mul(io.LoadRamp(vol.rampR + done), scale)
                           : Vec::Mul(Vec::SetF(vol.right), scale);
    F lo;
    F hi;
    Vec::Interleave(Vec::Mul(left, factorL), Vec::Mul(right, factorR), lo, hi);
    io.Store(acc, Vec::Add(io.Load(acc, 0), lo), 0);
    io.Store(acc + lanes, Vec::Add(io.Load(acc + lanes, 1), hi), 1);
  } else if constexpr (stereoSrc) {
    io.Store(acc, Vec::Add(io.Load(acc, 0), Vec::Mul(Vec::Add(left, right), factorL)), 0);
  } else {
    io.Store(acc, Vec::Add(io.Load(acc, 0), Vec::Mul(left, factorL)), 0);
  }
}

// Mixes one block of lanes samples at position pos.
template <DsmSrc S, bool StereoOut, bool Interp, bool Surround, bool Ramp>
DSM_VEC_TARGET inline void FloatBlock(const BlockWalk<S, Interp>& walk, float* acc,
                                      const DsmFloatVolume& vol, unsigned done) {
  I w0;
  I w1;
  ReadBlock(walk, w0, w1);
  FloatBlockFrom<S, StereoOut, Interp, Surround, Ramp>(w0, w1, walk.lane, acc, vol, done,
                                                       WholeBlock{});
}

// Where the lane set has masks (Vec::Masked), the samples left after the
// last whole block go into one block of fewer lanes: only their reads are
// made (gathered), only their accumulators and ramp factors read and written.
template <DsmSrc S, bool StereoOut, bool Interp, bool Surround, bool Ramp, typename V = Vec>
DSM_VEC_TARGET inline void FloatPartBlock(const std::uint8_t* base, std::int64_t pos,
                                          std::int64_t step, unsigned count, float* acc,
                                          const DsmFloatVolume& vol, unsigned done) {
  using Fe = Fetch<S, Interp>;
  const std::int64_t lowestFrame = std::min(pos, pos + (std::int64_t{count} - 1) * step) >> 16;
  const auto first = static_cast<std::uint32_t>(pos - (lowestFrame << 16));
  const I lane = Vec::Add(Vec::SetI(static_cast<std::int32_t>(first)),
                          Vec::Iota(static_cast<std::int32_t>(step)));
  const typename V::Masked io(count, StereoOut);
  const std::uint8_t* from = base + lowestFrame * Fe::frame;
  const I offset = Vec::Add(Vec::Sll<Fe::frameShift>(Vec::Srl<16>(lane)), Vec::SetI(Fe::displacement));
  const I w0 = io.Gather(from, offset);
  const I w1 = Fe::wanted > 4 ? io.Gather(from + 4, offset) : w0;
  FloatBlockFrom<S, StereoOut, Interp, Surround, Ramp>(w0, w1, lane, acc, vol, done, io);
}

// Whether the last `count` samples of a run from pos (fewer than a block)
// can go into a part block: every read at or above the guard frame.
template <DsmSrc S, bool Interp>
bool PartBlockFits(std::int64_t pos, std::int64_t step, unsigned count) {
  if (step >= maxVectorStep || step <= -maxVectorStep) {
    return false;
  }
  const std::int64_t lowest = std::min(pos, pos + (std::int64_t{count} - 1) * step);
  return lowest >= (Fetch<S, Interp>::guard << 16);
}

// How a run splits: `head` samples for the scalar loops first (a forward
// run starting below the guard frame), then `blocks` vector blocks, then the
// rest for the scalar loops again (a backward run reaching below the guard,
// and the samples after the last whole block). No vector block reads below
// the guard, and within the blocks the positions relative to their lowest
// frame fit 32 unsigned bits (a run spans less than 2^16 frames).
struct Plan {
  unsigned head;
  unsigned blocks;
};

template <std::int64_t Guard>
Plan PlanRun(std::int64_t pos, std::int64_t step, unsigned count) {
  Plan plan{0, 0};
  if (step >= maxVectorStep || step <= -maxVectorStep) {
    return plan;
  }
  constexpr std::int64_t guard16 = Guard << 16;
  if (Guard > 0 && step > 0 && pos < guard16) {
    const std::int64_t blockStep = lanes * step;
    const std::int64_t headBlocks = (guard16 - pos + blockStep - 1) / blockStep;
    plan.head = static_cast<unsigned>(std::min<std::int64_t>(headBlocks * lanes, count));
    pos += plan.head * step;
  }
  std::int64_t blocks = (count - plan.head) / lanes;
  if (Guard > 0 && step < 0 && blocks > 0) {
    // Block b's lowest position is pos + (lanes b + lanes - 1) step.
    const std::int64_t room = pos - guard16;
    const std::int64_t samples = room < 0 ? -1 : room / -step;  // last sample at or above the guard
    blocks = std::min(blocks, samples < lanes - 1 ? 0 : (samples - (lanes - 1)) / lanes + 1);
  }
  plan.blocks = static_cast<unsigned>(blocks);
  return plan;
}

// The walk over `blocks` blocks from pos: the lowest frame they read, and
// the first block's lane positions relative to it.
template <DsmSrc S, bool Interp>
DSM_VEC_TARGET inline BlockWalk<S, Interp> FirstBlock(const std::uint8_t* base,
                                                      const std::uint8_t* end, std::int64_t pos,
                                                      std::int64_t step, unsigned blocks) {
  const std::int64_t lowestFrame = std::min(pos, pos + (std::int64_t{blocks} * lanes - 1) * step) >> 16;
  const auto first = static_cast<std::uint32_t>(pos - (lowestFrame << 16));
  const I lane = Vec::Add(Vec::SetI(static_cast<std::int32_t>(first)),
                          Vec::Iota(static_cast<std::int32_t>(step)));
  return {base + lowestFrame * Fetch<S, Interp>::frame, end, step, WindowFits<S, Interp>(step),
          lane, first};
}

template <DsmSrc S, bool StereoOut, bool Interp, bool Surround, bool Ramp>
DSM_VEC_TARGET void MixFloatRun(const DsmRun& run, float* acc, const DsmFloatVolume& vol) {
  constexpr unsigned stride = StereoOut ? 2 : 1;
  const DsmFloatRoutine scalar =
      ScalarFloatTable<StereoOut, Interp, Surround>()[static_cast<std::size_t>(S)];
  // Locals, so that the stores to the accumulators cannot be taken to change them.
  const std::uint8_t* const base = run.base;
  const std::uint8_t* const end = run.end;
  const std::int64_t step = run.step;
  const DsmFloatVolume local = vol;
  std::int64_t pos = run.pos;
  unsigned done = 0;
  auto scalarPart = [&](unsigned n) {
    DsmFloatVolume part = local;
    if constexpr (Ramp) {
      part.rampL += done;
      part.rampR += done;
    }
    scalar(DsmRun{base, end, pos, step, n}, acc + done * stride, part);
    done += n;
    pos += n * step;
  };
  const Plan plan = PlanRun<Fetch<S, Interp>::guard>(pos, step, run.count);
  if (plan.head > 0) {
    scalarPart(plan.head);
  }
  if (plan.blocks > 0) {
    BlockWalk<S, Interp> walk = FirstBlock<S, Interp>(base, end, pos, step, plan.blocks);
    float* out = acc + done * stride;
    for (unsigned b = 0; b < plan.blocks; b++) {
      FloatBlock<S, StereoOut, Interp, Surround, Ramp>(walk, out, local, done);
      walk.Next();
      out += lanes * stride;
      done += lanes;
    }
    pos += std::int64_t{plan.blocks} * lanes * step;
  }
  if constexpr (Vec::hasMasks) {
    const unsigned rest = run.count - done;
    if (rest > 0 && rest < static_cast<unsigned>(lanes) && PartBlockFits<S, Interp>(pos, step, rest)) {
      FloatPartBlock<S, StereoOut, Interp, Surround, Ramp>(base, pos, step, rest,
                                                           acc + done * stride, local, done);
      done += rest;
    }
  }
  if (done < run.count) {
    scalarPart(run.count - done);
  }
}

template <DsmSrc S, bool StereoOut, bool Interp, bool Surround>
DSM_VEC_TARGET void MixFloat(const DsmRun& run, float* acc, const DsmFloatVolume& vol) {
  if (vol.rampL != nullptr) {
    MixFloatRun<S, StereoOut, Interp, Surround, true>(run, acc, vol);
  } else {
    MixFloatRun<S, StereoOut, Interp, Surround, false>(run, acc, vol);
  }
}

// ---- integer path -------------------------------------------------------

enum class Pan { Normal, Centre, Surround };

// A source item scaled by a volume: a table row (8-bit and mu-law types) or
// a 16-bit multiplier.
template <DsmSrc S>
DSM_VEC_TARGET inline I Scaled(I item, const std::int32_t* row, I mul) {
  if constexpr (S == DsmSrc::S16Mono || S == DsmSrc::S16Stereo) {
    return Vec::Sra<8>(Vec::MulSmall(item, mul));
  } else {
    return Vec::Lookup(row, item);
  }
}

template <bool StereoOut, Pan P>
const DsmIntTable& ScalarIntTable() {
  if constexpr (!StereoOut) {
    return dsmScalarKernels.intMono;
  } else if constexpr (P == Pan::Normal) {
    return dsmScalarKernels.intStereo;
  } else if constexpr (P == Pan::Centre) {
    return dsmScalarKernels.intCentre;
  } else {
    return dsmScalarKernels.intSurround;
  }
}

template <DsmSrc S, bool StereoOut, Pan P>
DSM_VEC_TARGET inline void IntBlock(const BlockWalk<S, false>& walk, std::int32_t* acc,
                                    const DsmIntVolume& vol) {
  I w0;
  I w1;
  ReadBlock(walk, w0, w1);
  const I mulL = Vec::SetI(vol.mulL);
  const I mulR = Vec::SetI(vol.mulR);
  I left;
  I right;
  if constexpr (!DsmIsStereoSrc(S)) {
    const I item = Item<S, false, 0>(w0, w1);
    left = Scaled<S>(item, vol.rowL, mulL);
    right = (StereoOut && P == Pan::Normal) ? Scaled<S>(item, vol.rowR, mulR) : left;
  } else {
    const I item0 = Item<S, false, 0>(w0, w1);
    const I item1 = Item<S, false, 1>(w0, w1);
    left = Scaled<S>(item0, vol.rowL, mulL);
    if constexpr (!StereoOut) {
      left = Vec::Add(left, Scaled<S>(item1, vol.rowL, mulL));
      right = left;
    } else if constexpr (P == Pan::Normal) {
      right = Scaled<S>(item1, vol.rowR, mulR);
    } else if constexpr (P == Pan::Surround) {
      right = left;
    } else {
      right = Scaled<S>(item1, vol.rowL, mulL);
    }
  }
  if constexpr (StereoOut) {
    if constexpr (P == Pan::Surround) {
      right = Vec::Sub(Vec::SetI(0), right);
    }
    I lo;
    I hi;
    Vec::Interleave(left, right, lo, hi);
    Vec::StoreI(acc, Vec::Add(Vec::LoadI(acc), lo));
    Vec::StoreI(acc + lanes, Vec::Add(Vec::LoadI(acc + lanes), hi));
  } else {
    Vec::StoreI(acc, Vec::Add(Vec::LoadI(acc), left));
  }
}

template <DsmSrc S, bool StereoOut, Pan P>
DSM_VEC_TARGET void MixInt(const DsmRun& run, std::int32_t* acc, const DsmIntVolume& vol) {
  constexpr unsigned stride = StereoOut ? 2 : 1;
  const DsmIntRoutine scalar = ScalarIntTable<StereoOut, P>()[static_cast<std::size_t>(S)];
  if constexpr (!Vec::fastLookup && !IsSixteenBit(S)) {
    // Table rows looked up one lane at a time cost more than the scalar loop.
    scalar(run, acc, vol);
    return;
  }
  const std::uint8_t* const base = run.base;
  const std::int64_t step = run.step;
  const DsmIntVolume local = vol;
  std::int64_t pos = run.pos;
  unsigned done = 0;
  auto scalarPart = [&](unsigned n) {
    scalar(DsmRun{base, run.end, pos, step, n}, acc + done * stride, local);
    done += n;
    pos += n * step;
  };
  const Plan plan = PlanRun<Fetch<S, false>::guard>(pos, step, run.count);
  if (plan.head > 0) {
    scalarPart(plan.head);
  }
  if (plan.blocks > 0) {
    BlockWalk<S, false> walk = FirstBlock<S, false>(base, run.end, pos, step, plan.blocks);
    std::int32_t* out = acc + done * stride;
    for (unsigned b = 0; b < plan.blocks; b++) {
      IntBlock<S, StereoOut, P>(walk, out, local);
      walk.Next();
      out += lanes * stride;
    }
    done += plan.blocks * lanes;
    pos += std::int64_t{plan.blocks} * lanes * step;
  }
  if (done < run.count) {
    scalarPart(run.count - done);
  }
}

// ---- routine tables ------------------------------------------------------

template <bool StereoOut, Pan P>
constexpr DsmIntTable IntTable() {
  return {&MixInt<DsmSrc::U8Mono, StereoOut, P>,   &MixInt<DsmSrc::S16Mono, StereoOut, P>,
          &MixInt<DsmSrc::U8Stereo, StereoOut, P>, &MixInt<DsmSrc::S16Stereo, StereoOut, P>,
          &MixInt<DsmSrc::MuMono, StereoOut, P>,   &MixInt<DsmSrc::MuStereo, StereoOut, P>};
}

template <bool StereoOut, bool Interp, bool Surround>
constexpr DsmFloatTable FloatTable() {
  return {&MixFloat<DsmSrc::U8Mono, StereoOut, Interp, Surround>,
          &MixFloat<DsmSrc::S16Mono, StereoOut, Interp, Surround>,
          &MixFloat<DsmSrc::U8Stereo, StereoOut, Interp, Surround>,
          &MixFloat<DsmSrc::S16Stereo, StereoOut, Interp, Surround>,
          &MixFloat<DsmSrc::MuMono, StereoOut, Interp, Surround>,
          &MixFloat<DsmSrc::MuStereo, StereoOut, Interp, Surround>};
}

// The kernel set of this instruction set, with the given output conversion.
constexpr DsmKernelSet VectorKernels(const char* name, DsmConvertInt convertInt,
                                     DsmConvertFloat convertFloat) {
  return {name,
          IntTable<false, Pan::Normal>(),
          IntTable<true, Pan::Normal>(),
          IntTable<true, Pan::Centre>(),
          IntTable<true, Pan::Surround>(),
          FloatTable<false, false, false>(),
          FloatTable<true, false, false>(),
          FloatTable<true, false, true>(),
          FloatTable<false, true, false>(),
          FloatTable<true, true, false>(),
          FloatTable<true, true, true>(),
          convertInt,
          convertFloat};
}

}  // namespace
