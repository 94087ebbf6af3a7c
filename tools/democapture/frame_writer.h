// Hands captured frames to a thread of their own: the drawing thread copies each
// shown RGB565 frame into a free slot and goes on drawing, while the writer
// passes the frames in order to a sink that converts and writes them (to the
// encoder's pipe, or as PNG files). The queue is deep enough to carry the
// encoder through a stretch where the drawing is the slower side: frames
// drawn ahead while the encoder was behind keep it busy then, so neither core
// waits for the other.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One frame as the drawing thread showed it, with the sound mixed while it was
// shown.
struct CapturedFrame {
  std::int64_t number = 0;             // 0 for the first frame submitted
  std::vector<std::uint16_t> pixels;   // RGB565, row 0 at the bottom, width pixels a row
  int width = 0, height = 0;
  float gamma = 1.0f;                  // display gamma in force at the swap
  std::vector<std::uint8_t> sound;     // PCM sample frames, as the mixer wrote them
};

class FrameWriter {
public:
  // Returns an empty string on success, else what went wrong; the first
  // failure stops the writer.
  using Sink = std::function<std::string(const CapturedFrame&)>;

  // Half a second at 60 frames/s, about 18 MB of 640 x 480 frames.
  static constexpr int defaultSlots = 30;

  explicit FrameWriter(Sink sink, int slots = defaultSlots);
  ~FrameWriter();
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;

  // Copies one frame (row 0 at the bottom, stride in pixels) and its sound and
  // queues them; waits while every slot is taken. False once the writer has
  // failed.
  bool Submit(const std::uint16_t* frame, int stride, int width, int height, float gamma,
              const std::uint8_t* sound = nullptr, std::size_t soundBytes = 0);

  // Writes what is queued and stops the thread. Returns the first failure, or
  // an empty string.
  std::string Finish();

private:
  void Run();

  Sink sink_;
  std::vector<CapturedFrame> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t head_ = 0;   // next slot to write
  std::size_t count_ = 0;  // queued slots
  std::int64_t submitted_ = 0;
  bool closing_ = false;
  std::string failure_;
  std::thread thread_;
};
