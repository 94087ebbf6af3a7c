#include "tools/democapture/progress.h"

#include <cstdio>

ProgressBar::ProgressBar(std::int64_t totalFrames, double fps)
    : total_(totalFrames), fps_(fps), start_(std::chrono::steady_clock::now()), lastDrawn_(start_) {}

void ProgressBar::Update(std::int64_t framesDone) {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastDrawn_ < std::chrono::milliseconds(250)) return;
  lastDrawn_ = now;
  Draw(framesDone);
}

void ProgressBar::Finish(std::int64_t framesDone) {
  Draw(framesDone);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void ProgressBar::Draw(std::int64_t framesDone) {
  constexpr int width = 30;
  const double share = total_ > 0 ? static_cast<double>(framesDone) / static_cast<double>(total_) : 1.0;
  char bar[width + 1];
  for (int i = 0; i < width; ++i) bar[i] = i < static_cast<int>(share * width) ? '#' : '.';
  bar[width] = 0;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double speed = wall > 0.0 ? static_cast<double>(framesDone) / fps_ / wall : 0.0;
  const double left = speed > 0.0 ? static_cast<double>(total_ - framesDone) / fps_ / speed : 0.0;
  const int leftSeconds = static_cast<int>(left + 0.5);
  std::fprintf(stderr, "\r[%s] %3d%%  frame %lld/%lld  %.2fx real time  %d:%02d left ", bar,
               static_cast<int>(share * 100.0), static_cast<long long>(framesDone), static_cast<long long>(total_),
               speed, leftSeconds / 60, leftSeconds % 60);
  std::fflush(stderr);
}
