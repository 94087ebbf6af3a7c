// likeness: how alike several renders of one song sound.
//
//   likeness A.wav B.wav [C.wav ...]
//
// Prints the duration of each file in seconds, then for every pair the spectral
// likeness of the two: both channels in 50 ms frames (4096-point Hann window),
// their power added (so a side played inverted, as surround is, cancels nothing),
// summed into semitone bands from 55 Hz to 11 kHz, in dB, each frame floored
// at 60 dB below its loudest band and its mean removed; the score is the mean, over
// the frames loud in both, of the correlation of one file's frame with the other's.
// Players round tick lengths differently, so each 10 s stretch is aligned on its own,
// within 0.5 s of the previous stretch's offset, in 10 ms steps.
// Two good players score about 0.98 against each other; a song a semitone off, under 0.90.
#include "likeness_wav.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kFftSize = 4096;
constexpr int kHopMs = 10;           // analysis step; frames compared are every 5th
constexpr int kFrameStep = 5;        // 50 ms frames
constexpr int kStretchFrames = 200;  // 10 s of 50 ms frames
constexpr int kMaxLagSteps = 50;     // 0.5 s in 10 ms steps
constexpr double kLowHz = 55.0;
constexpr double kHighHz = 11000.0;
constexpr double kFloorDb = 60.0;
constexpr double kLoudRangeDb = 40.0;  // a frame is loud within this of the song's loudest

using Spectrum = std::vector<double>;  // dB per semitone band, mean removed

struct Analysis {
    std::vector<Spectrum> frames;  // one per 10 ms step
    std::vector<double> energyDb;  // total band power per step
    double loudestDb = -300.0;
};

void Fft(std::vector<std::complex<double>>& a)
{
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

// Semitone bands as fractional weights of FFT bins: a band takes the share of each
// bin's width that falls inside it, so the narrow low bands are never empty.
struct BandWeights {
    struct Part { int bin; double weight; };
    std::vector<std::vector<Part>> bands;
};

BandWeights MakeBands(int rate)
{
    BandWeights w;
    const double binHz = static_cast<double>(rate) / kFftSize;
    const int count = static_cast<int>(std::floor(12.0 * std::log2(kHighHz / kLowHz))) + 1;
    for (int b = 0; b < count; ++b) {
        const double centre = kLowHz * std::pow(2.0, b / 12.0);
        const double lo = centre * std::pow(2.0, -1.0 / 24.0);
        const double hi = centre * std::pow(2.0, 1.0 / 24.0);
        std::vector<BandWeights::Part> parts;
        for (int k = std::max(1, static_cast<int>(lo / binHz) - 1);
             k <= static_cast<int>(hi / binHz) + 1 && k < kFftSize / 2; ++k) {
            const double binLo = (k - 0.5) * binHz, binHi = (k + 0.5) * binHz;
            const double overlap = std::min(hi, binHi) - std::max(lo, binLo);
            if (overlap > 0) parts.push_back({k, overlap / binHz});
        }
        w.bands.push_back(std::move(parts));
    }
    return w;
}

// The power of left and right at bin k, from one transform of left + i right.
double BinPower(const std::vector<std::complex<double>>& z, int k)
{
    return 0.5 * (std::norm(z[static_cast<std::size_t>(k)]) + std::norm(z[static_cast<std::size_t>(kFftSize - k)]));
}

Analysis Analyse(const likeness::Wave& wave)
{
    const std::vector<float>& left = wave.left;
    const std::vector<float>& right = wave.right;
    const int rate = wave.rate;
    Analysis out;
    const BandWeights bands = MakeBands(rate);
    std::vector<double> window(kFftSize);
    for (int i = 0; i < kFftSize; ++i)
        window[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (kFftSize - 1));
    const std::size_t hop = static_cast<std::size_t>(rate) * kHopMs / 1000;
    std::vector<std::complex<double>> buf(kFftSize);
    const auto frames = static_cast<std::ptrdiff_t>(left.size());
    for (std::size_t centre = 0; centre < left.size(); centre += hop) {
        for (int i = 0; i < kFftSize; ++i) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(centre) - kFftSize / 2 + i;
            const bool inside = at >= 0 && at < frames;
            buf[i] = inside ? std::complex<double>(left[static_cast<std::size_t>(at)] * window[i],
                                                   right[static_cast<std::size_t>(at)] * window[i])
                            : std::complex<double>(0.0, 0.0);
        }
        Fft(buf);
        Spectrum db(bands.bands.size());
        double total = 1e-30, loudest = -300.0;
        for (std::size_t b = 0; b < db.size(); ++b) {
            double p = 1e-30;
            for (const auto& part : bands.bands[b]) p += BinPower(buf, part.bin) * part.weight;
            total += p;
            db[b] = 10.0 * std::log10(p);
            loudest = std::max(loudest, db[b]);
        }
        double mean = 0.0;
        for (double& v : db) { v = std::max(v, loudest - kFloorDb); mean += v; }
        mean /= static_cast<double>(db.size());
        for (double& v : db) v -= mean;
        out.frames.push_back(std::move(db));
        out.energyDb.push_back(10.0 * std::log10(total));
        out.loudestDb = std::max(out.loudestDb, out.energyDb.back());
    }
    return out;
}

double Correlation(const Spectrum& a, const Spectrum& b)
{
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) { ab += a[i] * b[i]; aa += a[i] * a[i]; bb += b[i] * b[i]; }
    return (aa > 0 && bb > 0) ? ab / std::sqrt(aa * bb) : 0.0;
}

bool Loud(const Analysis& a, std::size_t step)
{
    return a.energyDb[step] >= a.loudestDb - kLoudRangeDb;
}

// Sum and count of correlations over one stretch of A's frames against B shifted by lag.
std::pair<double, int> StretchScore(const Analysis& a, const Analysis& b, std::size_t first,
                                    std::size_t last, int lag)
{
    double sum = 0.0;
    int count = 0;
    for (std::size_t s = first; s < last; s += kFrameStep) {
        const std::ptrdiff_t t = static_cast<std::ptrdiff_t>(s) + lag;
        if (t < 0 || t >= static_cast<std::ptrdiff_t>(b.frames.size())) continue;
        if (!Loud(a, s) || !Loud(b, static_cast<std::size_t>(t))) continue;
        sum += Correlation(a.frames[s], b.frames[static_cast<std::size_t>(t)]);
        ++count;
    }
    return {sum, count};
}

double Likeness(const Analysis& a, const Analysis& b)
{
    double total = 0.0;
    int frames = 0;
    int offset = 0;
    const std::size_t stretch = static_cast<std::size_t>(kStretchFrames) * kFrameStep;
    for (std::size_t first = 0; first < a.frames.size(); first += stretch) {
        const std::size_t last = std::min(a.frames.size(), first + stretch);
        std::pair<double, int> best{0.0, 0};
        int bestLag = offset;
        double bestMean = -2.0;
        for (int lag = offset - kMaxLagSteps; lag <= offset + kMaxLagSteps; ++lag) {
            const auto score = StretchScore(a, b, first, last, lag);
            if (score.second == 0) continue;
            const double mean = score.first / score.second;
            if (mean > bestMean) { bestMean = mean; best = score; bestLag = lag; }
        }
        if (best.second == 0) continue;
        offset = bestLag;
        total += best.first;
        frames += best.second;
    }
    return frames ? total / frames : 0.0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: likeness A.wav B.wav [C.wav ...]\n"
                             "  prints each duration in seconds, then the likeness of each pair\n");
        return 2;
    }
    std::vector<Analysis> analyses;
    for (int i = 1; i < argc; ++i) {
        likeness::Wave wave;
        std::string error;
        if (!likeness::ReadWave(argv[i], wave, error)) {
            std::fprintf(stderr, "likeness: %s: %s\n", argv[i], error.c_str());
            return 1;
        }
        std::printf("%.3f ", static_cast<double>(wave.left.size()) / wave.rate);
        analyses.push_back(Analyse(wave));
    }
    for (std::size_t i = 0; i < analyses.size(); ++i)
        for (std::size_t j = i + 1; j < analyses.size(); ++j)
            std::printf("%.3f ", Likeness(analyses[i], analyses[j]));
    std::printf("\n");
    return 0;
}
