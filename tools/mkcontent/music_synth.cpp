// Instrument synthesis for the soundtrack.
#include "tools/mkcontent/music_synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace music {
namespace {

constexpr double twoPi = 2.0 * std::numbers::pi;

// C-4 rates of the tonal voices: 64 or 32 samples per cycle at C-4 both give
// the tracker's usual tuning (C-4 of an 8363 Hz, 32-sample cycle).
constexpr std::uint32_t rate64 = 16726;
constexpr std::uint32_t rate32 = 8363;

// Small deterministic generator (xorshift32) for noise; the standard
// library's distributions may differ between implementations.
class Noise {
public:
  explicit Noise(std::uint32_t seed) : state_(seed != 0 ? seed : 0x9E3779B9u) {}
  double Next() {  // -1..1
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<double>(state_) / 2147483648.0 - 1.0;
  }

private:
  std::uint32_t state_;
};

std::size_t Samples(double seconds, double rate) {
  return static_cast<std::size_t>(seconds * rate + 0.5);
}

// First difference, twice: a steep, cheap high-pass for cymbals.
Signal HighPass2(const Signal& in) {
  Signal out(in.size(), 0.0);
  double p1 = 0, p2 = 0;
  for (std::size_t i = 0; i < in.size(); ++i) {
    const double d1 = in[i] - p1;
    p1 = in[i];
    out[i] = d1 - p2;
    p2 = d1;
  }
  return out;
}

// Two-pole resonator: a band around `centre` Hz.
Signal BandPass(const Signal& in, double centre, double q, double rate) {
  const double w = twoPi * centre / rate;
  const double r = std::exp(-w / (2.0 * q));
  const double a1 = 2.0 * r * std::cos(w);
  const double a2 = -r * r;
  Signal out(in.size(), 0.0);
  double y1 = 0, y2 = 0;
  for (std::size_t i = 0; i < in.size(); ++i) {
    const double y = (1.0 - r) * in[i] + a1 * y1 + a2 * y2;
    out[i] = y;
    y2 = y1;
    y1 = y;
  }
  return out;
}

Signal WhiteNoise(std::size_t length, std::uint32_t seed) {
  Noise noise(seed);
  Signal s(length);
  for (double& v : s) v = noise.Next();
  return s;
}

// A sine whose frequency falls exponentially from `high` to `low` Hz.
Signal Sweep(std::size_t length, double rate, double low, double high, double fall,
             double decay) {
  Signal s(length);
  double phase = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const double t = static_cast<double>(i) / rate;
    s[i] = std::sin(phase) * std::exp(-t / decay);
    phase += twoPi * (low + (high - low) * std::exp(-t / fall)) / rate;
  }
  return s;
}

// Soft saturation keeps drum peaks round and loud.
void Saturate(Signal& s, double drive) {
  for (double& v : s) v = std::tanh(drive * v);
}

// Seamless looped tone: partial h of voice v has phase 2 pi h cycles_v n / loop,
// so the whole signal repeats every `loop` samples. `attack` samples of fade-in
// come before the loop.
struct Voice {
  double cycles;  // whole cycles per loop
  double gain;
  double phase;
};

Signal LoopedTone(std::size_t attack, std::size_t loop, const std::vector<Voice>& voices,
                  const std::vector<double>& partials) {
  Signal s(attack + loop, 0.0);
  for (std::size_t n = 0; n < s.size(); ++n) {
    double v = 0;
    for (const Voice& voice : voices) {
      for (std::size_t h = 1; h <= partials.size(); ++h) {
        const double a = partials[h - 1];
        if (a == 0) continue;
        v += voice.gain * a *
             std::sin(twoPi * static_cast<double>(h) * voice.cycles * static_cast<double>(n) /
                          static_cast<double>(loop) +
                      voice.phase * static_cast<double>(h));
      }
    }
    if (n < attack) {
      const double x = static_cast<double>(n) / static_cast<double>(attack);
      v *= x * x * (3.0 - 2.0 * x);
    }
    s[n] = v;
  }
  return s;
}

// Brings a one-shot sound smoothly to zero over its last samples, so that its
// end never clicks however much of it is still ringing.
Signal FadeTail(Signal s, std::size_t samples) {
  samples = std::min(samples, s.size());
  for (std::size_t i = 0; i < samples; ++i) {
    const double x = static_cast<double>(i) / static_cast<double>(samples);
    s[s.size() - 1 - i] *= x * x;
  }
  return s;
}

s3m::Instrument Make(const char* name, std::vector<std::uint8_t> data, std::uint32_t rate,
                     std::uint8_t volume) {
  s3m::Instrument ins;
  ins.name = name;
  ins.data = std::move(data);
  ins.c4Rate = rate;
  ins.volume = volume;
  return ins;
}

}  // namespace

std::vector<std::uint8_t> ToUnsigned8(const Signal& signal, double peak) {
  double largest = 0;
  for (double v : signal) largest = std::max(largest, std::fabs(v));
  std::vector<std::uint8_t> out(signal.size(), 128);
  if (largest <= 0) return out;
  const double scale = std::clamp(peak, 0.0, 1.0) * 127.0 / largest;
  for (std::size_t i = 0; i < signal.size(); ++i) {
    const long v = std::lround(signal[i] * scale) + 128;
    out[i] = static_cast<std::uint8_t>(std::clamp<long>(v, 0, 255));
  }
  return out;
}

s3m::Instrument Kick() {
  const double rate = drumRate;
  Signal s = Sweep(Samples(0.42, rate), rate, 46, 165, 0.035, 0.2);
  Noise noise(7);
  for (std::size_t i = 0; i < 60 && i < s.size(); ++i) {
    s[i] += 0.35 * noise.Next() * (1.0 - static_cast<double>(i) / 60.0);
  }
  Saturate(s, 1.8);
  return Make("kick", ToUnsigned8(FadeTail(s, s.size() / 8), 0.97), drumRate, 64);
}

s3m::Instrument Snare() {
  const double rate = drumRate;
  const std::size_t n = Samples(0.32, rate);
  Signal noise = HighPass2(BandPass(WhiteNoise(n, 11), 3800, 0.7, rate));
  Signal s(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    s[i] = 0.9 * noise[i] * std::exp(-t / 0.085) +
           0.7 * std::sin(twoPi * 185 * t) * std::exp(-t / 0.05) +
           0.3 * std::sin(twoPi * 330 * t) * std::exp(-t / 0.03);
  }
  Saturate(s, 1.4);
  return Make("snare", ToUnsigned8(FadeTail(s, s.size() / 8), 0.95), drumRate, 64);
}

namespace {
s3m::Instrument Hat(const char* name, double seconds, double decay, std::uint32_t seed) {
  const double rate = drumRate;
  const std::size_t n = Samples(seconds, rate);
  Signal noise = HighPass2(WhiteNoise(n, seed));
  // A few inharmonic square-ish partials give the metal its colour.
  const double metal[] = {3140, 4490, 5220, 6370};
  Signal s(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    double m = 0;
    for (double f : metal) m += std::sin(twoPi * f * t) > 0 ? 0.08 : -0.08;
    s[i] = (noise[i] + m) * std::exp(-t / decay) * std::min(1.0, t * 4000.0);
  }
  return Make(name, ToUnsigned8(FadeTail(s, s.size() / 8), 0.9), drumRate, 64);
}
}  // namespace

s3m::Instrument ClosedHat() { return Hat("closed hat", 0.1, 0.022, 23); }
s3m::Instrument OpenHat() { return Hat("open hat", 0.5, 0.14, 29); }

s3m::Instrument Clap() {
  const double rate = drumRate;
  const std::size_t n = Samples(0.32, rate);
  Signal noise = BandPass(WhiteNoise(n, 31), 1300, 1.2, rate);
  Signal s(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    double env = 0;
    for (double start : {0.0, 0.011, 0.022}) {
      if (t >= start) env = std::max(env, std::exp(-(t - start) / 0.004));
    }
    if (t >= 0.03) env = std::max(env, 0.7 * std::exp(-(t - 0.03) / 0.08));
    s[i] = noise[i] * env;
  }
  return Make("clap", ToUnsigned8(FadeTail(s, s.size() / 8), 0.95), drumRate, 64);
}

s3m::Instrument Crash() {
  const double rate = drumRate;
  const std::size_t n = Samples(1.9, rate);
  Signal noise = HighPass2(WhiteNoise(n, 37));
  const double ring[] = {2650, 3917, 5411, 7123, 8303};
  Signal s(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    double m = 0;
    for (double f : ring) m += 0.06 * std::sin(twoPi * f * t + f);
    s[i] = (noise[i] * 0.8 + m) * std::exp(-t / 0.5) * std::min(1.0, t * 2000.0);
  }
  return Make("crash", ToUnsigned8(FadeTail(s, s.size() / 8), 0.9), drumRate, 64);
}

s3m::Instrument Tom() {
  const double rate = drumRate;
  Signal s = Sweep(Samples(0.5, rate), rate, 88, 170, 0.06, 0.22);
  Noise noise(41);
  for (std::size_t i = 0; i < 200 && i < s.size(); ++i) {
    s[i] += 0.2 * noise.Next() * (1.0 - static_cast<double>(i) / 200.0);
  }
  Saturate(s, 1.3);
  return Make("tom", ToUnsigned8(FadeTail(s, s.size() / 8), 0.95), drumRate, 64);
}

s3m::Instrument Bass() {
  // One 64-sample cycle loops after a bright pluck of 65 cycles whose extra
  // brightness and level fade to exactly the looped values.
  constexpr std::size_t cycle = 64;
  constexpr std::size_t attack = 65 * cycle;
  const double tau = 900.0;
  const double tail = std::exp(-static_cast<double>(attack) / tau);
  Signal s(attack + cycle);
  for (std::size_t n = 0; n < s.size(); ++n) {
    const double e = n < attack ? (std::exp(-static_cast<double>(n) / tau) - tail) / (1.0 - tail) : 0.0;
    double v = 0;
    for (int h = 1; h <= 24; ++h) {
      const double base = (1.0 / h) / (1.0 + (h / 3.5) * (h / 3.5));
      const double bright = (1.0 / h) / (1.0 + (h / 12.0) * (h / 12.0));
      v += (base + e * bright) * std::sin(twoPi * h * static_cast<double>(n) / cycle);
    }
    s[n] = v * (0.8 + 0.2 * e);
  }
  s3m::Instrument ins = Make("bass", ToUnsigned8(s, 0.95), rate64, 64);
  ins.SetLoop(static_cast<std::uint32_t>(attack), static_cast<std::uint32_t>(attack + cycle));
  return ins;
}

s3m::Instrument Pad() {
  constexpr std::size_t loop = 16384;  // 256 cycles of 64 samples
  constexpr std::size_t attack = 5632;
  std::vector<double> partials;
  for (int h = 1; h <= 16; ++h) partials.push_back((1.0 / h) / (1.0 + (h / 5.0) * (h / 5.0)));
  const Signal s = LoopedTone(attack, loop, {{255, 0.8, 0.3}, {256, 1.0, 0.0}, {257, 0.8, 1.1}},
                              partials);
  s3m::Instrument ins = Make("pad", ToUnsigned8(s, 0.95), rate64, 64);
  ins.SetLoop(attack, attack + loop);
  return ins;
}

s3m::Instrument Lead() {
  constexpr std::size_t loop = 4096;  // 128 cycles of 32 samples
  constexpr std::size_t attack = 96;
  std::vector<double> partials;
  const double duty = 0.3;
  for (int h = 1; h <= 14; ++h) {
    partials.push_back(std::fabs(std::sin(std::numbers::pi * h * duty)) / h / (1.0 + h / 10.0));
  }
  const Signal s = LoopedTone(attack, loop, {{128, 1.0, 0.0}, {129, 0.45, 0.7}}, partials);
  s3m::Instrument ins = Make("lead", ToUnsigned8(s, 0.95), rate32, 64);
  ins.SetLoop(attack, attack + loop);
  return ins;
}

s3m::Instrument Pluck() {
  const double rate = rate64;
  const std::size_t n = Samples(0.9, rate);
  Signal s(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    double v = 0;
    for (int h = 1; h <= 24; ++h) {
      const double a = (1.0 / h) / (1.0 + (h / 8.0) * (h / 8.0));
      v += a * std::exp(-t * (2.5 + 0.8 * h)) * std::sin(twoPi * h * static_cast<double>(i) / 64.0);
    }
    s[i] = v * std::min(1.0, static_cast<double>(i) / 24.0);
  }
  return Make("pluck", ToUnsigned8(FadeTail(s, s.size() / 8), 0.95), rate64, 64);
}

s3m::Instrument Bell() {
  const double rate = rate32;
  const std::size_t n = Samples(2.6, rate);
  struct Partial {
    double ratio, gain, decay;
  };
  const Partial partials[] = {{1.0, 1.0, 1.3}, {2.0, 0.45, 0.9}, {2.76, 0.55, 0.6},
                              {4.07, 0.25, 0.35}, {5.43, 0.2, 0.25}, {0.5, 0.15, 1.6}};
  Signal s(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    double v = 0;
    for (const Partial& p : partials) {
      v += p.gain * std::exp(-t / p.decay) * std::sin(twoPi * p.ratio * static_cast<double>(i) / 32.0);
    }
    s[i] = v * std::min(1.0, static_cast<double>(i) / 16.0);
  }
  return Make("bell", ToUnsigned8(FadeTail(s, s.size() / 8), 0.95), rate32, 64);
}

s3m::Instrument SubDrone() {
  constexpr std::size_t cycle = 64;
  Signal s(cycle);
  for (std::size_t n = 0; n < cycle; ++n) {
    const double x = twoPi * static_cast<double>(n) / cycle;
    s[n] = std::sin(x) + 0.25 * std::sin(2 * x) + 0.08 * std::sin(3 * x);
  }
  s3m::Instrument ins = Make("sub", ToUnsigned8(s, 0.95), rate64, 64);
  ins.SetLoop(0, cycle);
  return ins;
}

s3m::Instrument NoiseLoop() {
  constexpr std::size_t length = 8192;
  const Signal white = WhiteNoise(length, 53);
  // One-pole low-pass run twice round the buffer so its state wraps and the
  // loop joins without a click.
  Signal s(length);
  double y = 0;
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < length; ++i) {
      y += 0.35 * (white[i] - y);
      s[i] = y;
    }
  }
  s3m::Instrument ins = Make("noise", ToUnsigned8(s, 0.9), rate64, 64);
  ins.SetLoop(0, length);
  return ins;
}

s3m::Instrument ChipSquare() {
  constexpr std::size_t cycle = 32;
  Signal s(cycle);
  for (std::size_t n = 0; n < cycle; ++n) s[n] = n < cycle / 2 ? 1.0 : -1.0;
  s3m::Instrument ins = Make("square", ToUnsigned8(s, 0.6), rate32, 64);
  ins.SetLoop(0, cycle);
  return ins;
}

}  // namespace music
