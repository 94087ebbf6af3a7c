// Band bins: the list of set-up triangles, each band's ring of triangle numbers,
// and the worker that draws published bands while the calling thread sets up
// the next triangles.
#include "platform/glide/glide_bins.h"

#include <immintrin.h>
#include <pthread.h>

#include <ctime>
#include <thread>

namespace glide_detail {

namespace {

constexpr std::uint32_t ringMask = BandBins::capacity - 1;
static_assert((BandBins::capacity & ringMask) == 0, "the rings are indexed by masking");
// Triangles added between two publications: the worker sees new work in batches,
// so the calling thread rarely touches the bands' shared cache lines.
constexpr std::uint32_t publishBatch = 32;
// Empty passes the worker spins through before it sleeps.
constexpr int spinPasses = 256;

}  // namespace

BandBins::BandBins() = default;

BandBins::~BandBins() { Stop(); }

TriangleSetup& BandBins::Slot() {
  // Every slot of the rings is free once all triangles before are drawn.
  if (added_ - finished_ == capacity) Finish();
  return entries_[added_ & ringMask].t;
}

void BandBins::Commit(RowsFunction rows) {
  const std::uint32_t number = added_++;
  Entry& entry = entries_[number & ringMask];
  entry.rows = rows;
  const TriangleSetup& t = entry.t;
  const int first = t.rowBegin >> bandShift, last = (t.rowEnd - 1) >> bandShift;
  for (int b = first; b <= last; ++b) {
    Tally& tally = tallies_[b];
    bands_[b].triangles[tally.added & ringMask] = number;
    ++tally.added;
    tally.dirty = true;
  }
  if (++sincePublish_ == publishBatch) Publish();
}

void BandBins::Publish() {
  sincePublish_ = 0;
  for (int b = 0; b < maxBands; ++b) {
    Tally& tally = tallies_[b];
    if (!tally.dirty) continue;
    tally.dirty = false;
    bands_[b].published.store(tally.added, std::memory_order_release);
  }
  signal_.fetch_add(1, std::memory_order_seq_cst);
  if (workerWaiting_.load(std::memory_order_seq_cst)) signal_.notify_one();
}

bool BandBins::DrawBand(Band& band) {
  if (band.claimed.exchange(true, std::memory_order_acquire)) return false;
  const int rowFrom = static_cast<int>(&band - bands_) << bandShift;
  const int rowTo = rowFrom + (1 << bandShift);
  std::uint32_t drawn = band.drawn.load(std::memory_order_relaxed);
  const std::uint32_t published = band.published.load(std::memory_order_acquire);
  for (; drawn != published; ++drawn) {
    const Entry& entry = entries_[band.triangles[drawn & ringMask] & ringMask];
    entry.rows(entry.t, rowFrom, rowTo);
  }
  // Release: whoever reads this count sees the band's pixels.
  band.drawn.store(drawn, std::memory_order_release);
  band.claimed.store(false, std::memory_order_release);
  return true;
}

bool BandBins::DrawPending(int first, int step) {
  bool drew = false;
  for (int i = 0, b = first; i < maxBands; ++i, b = (b + step + maxBands) % maxBands) {
    Band& band = bands_[b];
    if (band.drawn.load(std::memory_order_relaxed) == band.published.load(std::memory_order_acquire)) continue;
    drew |= DrawBand(band);
  }
  return drew;
}

bool BandBins::AllDrawn() const {
  for (int b = 0; b < maxBands; ++b)
    if (bands_[b].drawn.load(std::memory_order_acquire) != tallies_[b].added) return false;
  return true;
}

void BandBins::Finish() {
  if (!Active()) return;
  Publish();
  // The worker goes up from the first band, this thread down from the last.
  // Waiting on a band the worker holds: spin a little, then give the processor
  // up, since on a busy machine the worker may be waiting for it.
  int idle = 0;
  while (!AllDrawn()) {
    if (DrawPending(maxBands - 1, -1)) {
      idle = 0;
    } else if (++idle < spinPasses) {
      _mm_pause();
    } else {
      std::this_thread::yield();
    }
  }
  finished_ = added_;
}

void BandBins::Start() {
  if (Active()) return;
  if (!entries_) {
    entries_ = std::make_unique<Entry[]>(capacity);
    lists_ = std::make_unique<std::uint32_t[]>(static_cast<std::size_t>(capacity) * maxBands);
    for (int b = 0; b < maxBands; ++b) bands_[b].triangles = lists_.get() + static_cast<std::size_t>(b) * capacity;
  }
  stop_.store(false, std::memory_order_relaxed);
  worker_ = std::thread([this] { WorkerLoop(); });
}

void BandBins::Stop() {
  if (!Active()) return;
  Finish();
  stop_.store(true, std::memory_order_seq_cst);
  signal_.fetch_add(1, std::memory_order_seq_cst);
  signal_.notify_one();
  worker_.join();
}

void BandBins::WorkerLoop() {
  int idle = 0;
  for (;;) {
    const std::uint32_t seen = signal_.load(std::memory_order_seq_cst);
    if (DrawPending(0, 1)) {
      idle = 0;
      continue;
    }
    if (stop_.load(std::memory_order_seq_cst)) return;
    if (++idle < spinPasses) {
      _mm_pause();
      continue;
    }
    // Any publication after 'seen' was read changes the signal, so the wait
    // returns at once; one before it was visible to the pass above.
    workerWaiting_.store(true, std::memory_order_seq_cst);
    signal_.wait(seen, std::memory_order_seq_cst);
    workerWaiting_.store(false, std::memory_order_seq_cst);
    idle = 0;
  }
}

double BandBins::WorkerCpuSeconds() {
  clockid_t clock;
  timespec now{};
  if (!Active() || pthread_getcpuclockid(worker_.native_handle(), &clock) != 0 || clock_gettime(clock, &now) != 0)
    return 0.0;
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace glide_detail
