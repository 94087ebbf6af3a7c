// The capture's progress bar on standard error: frames done, speed as a multiple
// of real time, and the time left, redrawn a few times a second.
#pragma once

#include <chrono>
#include <cstdint>

class ProgressBar {
public:
  ProgressBar(std::int64_t totalFrames, double fps);
  // Redraws when a quarter of a second has passed since the last time, or at the end.
  void Update(std::int64_t framesDone);
  // The final line.
  void Finish(std::int64_t framesDone);

private:
  void Draw(std::int64_t framesDone);

  std::int64_t total_;
  double fps_;
  std::chrono::steady_clock::time_point start_, lastDrawn_;
};
