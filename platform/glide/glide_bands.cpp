// The calling thread and a worker share the rows of every triangle in bands of 16
// rows: one band of every three for the caller, two for the worker. The calling thread draws its rows at once; the
// worker's share goes through a queue it drains while the caller goes on with
// the next triangles. FinishDrawing waits for the worker to catch up.
#include "platform/glide/glide_bands.h"

#include <pthread.h>

#include <atomic>
#include <ctime>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/glide/glide_raster_mode.h"

using glide_detail::RowShare;
using glide_detail::RowsFunction;
using glide_detail::TriangleSetup;

namespace {

// Triangles the queue holds before the caller waits for the worker to drain it.
constexpr std::uint32_t queueCapacity = 8192;
// The worker is told of new triangles in batches, to keep wake-ups rare.
constexpr std::uint32_t publishBatch = 16;
constexpr int bandShift = 4;

constexpr RowShare everyRow{bandShift, 1, 0, 1};
// The caller also transforms, lights and sets up every triangle, so the worker
// takes two bands of every three.
constexpr RowShare callerRows{bandShift, 3, 0, 1};
constexpr RowShare workerRows{bandShift, 3, 1, 2};

struct QueuedTriangle {
  TriangleSetup t;
  RowsFunction rows;
};

bool TouchesShare(const TriangleSetup& t, const RowShare& share) {
  const int first = t.rowBegin >> share.bandShift, last = (t.rowEnd - 1) >> share.bandShift;
  if (last - first + 1 >= share.cycle) return true;
  for (int band = first; band <= last; ++band)
    if (share.Owns(band)) return true;
  return false;
}

class Bands {
public:
  void Submit(const TriangleSetup& t, RowsFunction rows) {
    if (!active_) {
      rows(t, everyRow);
      return;
    }
    if (TouchesShare(t, callerRows)) rows(t, callerRows);
    if (!TouchesShare(t, workerRows)) return;
    if (queued_ - base_ == queueCapacity) Finish();
    queue_[queued_ - base_] = QueuedTriangle{t, rows};
    ++queued_;
    if (queued_ - published_.load(std::memory_order_relaxed) >= publishBatch) Publish();
  }

  void Finish() {
    if (!active_) return;
    if (published_.load(std::memory_order_relaxed) != queued_) Publish();
    std::uint32_t done = done_.load(std::memory_order_acquire);
    while (done != queued_) {
      done_.wait(done, std::memory_order_acquire);
      done = done_.load(std::memory_order_acquire);
    }
    // The worker is idle and the queue empty: start it again at the front.
    base_ = queued_;
  }

  void Configure(bool wanted) {
    Finish();
    if (wanted && !active_) Start();
    if (!wanted && active_) Stop();
  }

  void Stop() {
    if (!active_) return;
    Finish();
    stop_.store(true, std::memory_order_release);
    signal_.fetch_add(1, std::memory_order_release);
    signal_.notify_one();
    worker_.join();
    active_ = false;
  }

  bool Active() const { return active_; }

  double WorkerCpuSeconds() {
    clockid_t clock;
    timespec now{};
    if (!active_ || pthread_getcpuclockid(worker_.native_handle(), &clock) != 0 || clock_gettime(clock, &now) != 0)
      return 0.0;
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  }

private:
  void Start() {
    queue_.resize(queueCapacity);
    stop_.store(false, std::memory_order_relaxed);
    worker_ = std::thread([this] { WorkerLoop(); });
    active_ = true;
  }

  void Publish() {
    published_.store(queued_, std::memory_order_release);
    signal_.fetch_add(1, std::memory_order_release);
    signal_.notify_one();
  }

  void WorkerLoop() {
    std::uint32_t drawn = done_.load(std::memory_order_relaxed);
    std::uint32_t seen = signal_.load(std::memory_order_acquire);
    for (;;) {
      const std::uint32_t published = published_.load(std::memory_order_acquire);
      if (published != drawn) {
        for (; drawn != published; ++drawn) {
          const QueuedTriangle& q = queue_[drawn - base_];
          q.rows(q.t, workerRows);
        }
        done_.store(drawn, std::memory_order_release);
        done_.notify_one();
        continue;
      }
      if (stop_.load(std::memory_order_acquire)) return;
      signal_.wait(seen, std::memory_order_acquire);
      seen = signal_.load(std::memory_order_acquire);
    }
  }

  std::vector<QueuedTriangle> queue_;
  // Sequence numbers (wrapping): queue_[0] holds triangle base_; the caller has
  // queued up to queued_, told the worker up to published_; the worker has drawn
  // up to done_. base_ changes only while the worker is idle.
  std::uint32_t base_ = 0;
  std::uint32_t queued_ = 0;
  std::atomic<std::uint32_t> published_{0};
  std::atomic<std::uint32_t> done_{0};
  std::atomic<std::uint32_t> signal_{0};  // bumped on every publish and on stop
  std::atomic<bool> stop_{false};
  std::thread worker_;
  bool active_ = false;
};

// Never destroyed: the worker may still be parked when the process exits, and
// grGlideShutdown is where it ends.
Bands& TheBands() {
  static Bands* bands = new Bands;
  return *bands;
}

struct RasterChoice {
  GlideRasterMode mode;
  bool avx2 = false;  // the AVX2 spans are in use
  int screenWidth = 0;
  // Row functions by span kind (0 flat, 1 point-sampled, 2 bilinear) and depth kind.
  RowsFunction rows[3][3] = {};
};

RasterChoice& Choice() {
  static RasterChoice choice;
  return choice;
}

void ChooseRowFunctions(RasterChoice& c) {
  c.avx2 = c.mode.vectorSpans && glide_detail::CpuHasAvx2();
  for (int kind = 0; kind < 3; ++kind) {
    for (int depth = 0; depth < 3; ++depth) {
      const auto d = static_cast<glide_detail::DepthKind>(depth);
      c.rows[kind][depth] = c.avx2 ? glide_detail::ChooseRowsAvx2(kind > 0, kind == 2, d)
                                   : glide_detail::ChooseRowsSse2(kind > 0, kind == 2, d);
    }
  }
}

}  // namespace

namespace glide_detail {

void SubmitTriangle(const TriangleSetup& t) {
  RasterChoice& c = Choice();
  if (!c.rows[0][0]) ChooseRowFunctions(c);
  const int kind = t.textured ? (t.bilinear ? 2 : 1) : 0;
  TheBands().Submit(t, c.rows[kind][t.depth]);
}

void FinishDrawing() { TheBands().Finish(); }

void ConfigureRaster(int screenWidth) {
  RasterChoice& c = Choice();
  c.screenWidth = screenWidth;
  ChooseRowFunctions(c);
  // A span reads and writes back whole groups of pixels, up to 7 past its end:
  // within its own row only while the screen is narrower than the row stride.
  const bool rowsSeparate = screenWidth + 8 <= bufferStride;
  TheBands().Configure(c.mode.worker && screenWidth > 0 && rowsSeparate &&
                       std::thread::hardware_concurrency() >= 2);
}

void StopRasterWorker() { TheBands().Stop(); }

}  // namespace glide_detail

void GlideSetRasterMode(const GlideRasterMode& mode) {
  glide_detail::FinishDrawing();
  Choice().mode = mode;
  glide_detail::ConfigureRaster(Choice().screenWidth);
}

GlideRasterMode GlideGetRasterMode() { return Choice().mode; }

const char* GlideSpanPathName() {
  RasterChoice& c = Choice();
  if (!c.rows[0][0]) ChooseRowFunctions(c);
  return c.avx2 ? "avx2" : "sse2";
}

bool GlideRasterWorkerActive() { return TheBands().Active(); }

double GlideRasterWorkerCpuSeconds() { return TheBands().WorkerCpuSeconds(); }
