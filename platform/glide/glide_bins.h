// Triangles binned into bands of rows and drawn by two threads without
// per-triangle synchronisation. The calling thread sets triangles up and appends
// each to the bins of the bands it covers; a worker draws the bands' new
// triangles as they are published. When drawing must be finished (a swap, a clear,
// the frame buffer lock, a texture download, or the list is full) the calling
// thread joins in: each thread claims a band, draws what it holds, and lets it go.
// One band is drawn by one thread at a time, its triangles in the order they
// came, so every pixel sees the triangles in order.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/glide/glide_raster.h"

namespace glide_detail {

class BandBins {
public:
  // Rows per band, as a power of two.
  static constexpr int bandShift = 5;
  static constexpr int maxBands = (maxScreenHeight + (1 << bandShift) - 1) >> bandShift;
  // Triangles held before the list counts as full: a power of two.
  static constexpr std::uint32_t capacity = 8192;

  BandBins();
  ~BandBins();
  BandBins(const BandBins&) = delete;
  BandBins& operator=(const BandBins&) = delete;

  // Where the next triangle is set up in place (no copy of its ~300 bytes);
  // Commit queues it, and until then the slot is nobody else's.
  TriangleSetup& Slot();
  // Queues the triangle set up in Slot(); its rows are drawn later by either thread.
  void Commit(RowsFunction rows);
  // Returns when every triangle added so far is drawn, its pixels visible here.
  void Finish();
  void Start();
  void Stop();
  bool Active() const { return worker_.joinable(); }
  // Processor time the worker has used (0 when it does not run).
  double WorkerCpuSeconds();

private:
  struct Entry {
    TriangleSetup t;
    RowsFunction rows;
  };
  // A band's list of triangle numbers (a ring of 'capacity'), how far it is
  // published and drawn, and who is drawing it. Each on a cache line of its own.
  struct alignas(64) Band {
    std::atomic<std::uint32_t> published{0};
    std::atomic<std::uint32_t> drawn{0};
    std::atomic<bool> claimed{false};
    std::uint32_t* triangles = nullptr;
  };
  // The calling thread's own count of a band's triangles, ahead of 'published';
  // kept apart from the bands so that adding a triangle writes no line the
  // worker reads.
  struct Tally {
    std::uint32_t added = 0;
    bool dirty = false;
  };

  void Publish();
  // Draws what a band holds if no other thread is drawing it; false when it was busy.
  bool DrawBand(Band& band);
  // One pass over the bands starting at 'first'; true when it drew anything.
  bool DrawPending(int first, int step);
  bool AllDrawn() const;
  void WorkerLoop();

  std::unique_ptr<Entry[]> entries_;
  std::unique_ptr<std::uint32_t[]> lists_;
  Band bands_[maxBands];
  Tally tallies_[maxBands];
  std::uint32_t added_ = 0;     // triangles added (wrapping)
  std::uint32_t finished_ = 0;  // all triangles before this one are drawn
  std::uint32_t sincePublish_ = 0;
  std::atomic<std::uint32_t> signal_{0};  // bumped on every publish and on stop
  std::atomic<bool> workerWaiting_{false};
  std::atomic<bool> stop_{false};
  std::thread worker_;
};

}  // namespace glide_detail
