// Hands captured frames to a thread of their own: the drawing thread copies each
// shown RGB565 frame into a free slot and goes on drawing, while the writer
// converts the frames in order to RGB and passes them to a sink (the encoder's
// pipe, or PNG files). A few slots keep both sides busy.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FrameWriter {
public:
  // Gets frame number, RGB888 rows (top row first), width and height. Returns
  // an empty string on success, else what went wrong; the first failure stops
  // the writer.
  using Sink = std::function<std::string(std::int64_t, const std::vector<std::uint8_t>&, int, int)>;

  explicit FrameWriter(Sink sink, int slots = 3);
  ~FrameWriter();
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;

  // Copies one frame (row 0 at the bottom, stride in pixels) and queues it;
  // waits while every slot is taken. False once the writer has failed.
  bool Submit(const std::uint16_t* frame, int stride, int width, int height, float gamma);

  // Writes what is queued and stops the thread. Returns the first failure, or
  // an empty string.
  std::string Finish();

private:
  struct Slot {
    std::vector<std::uint16_t> pixels;
    int width = 0, height = 0;
    float gamma = 1.0f;
    std::int64_t number = 0;
  };
  void Run();

  Sink sink_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t head_ = 0;   // next slot to write
  std::size_t count_ = 0;  // queued slots
  std::int64_t submitted_ = 0;
  bool closing_ = false;
  std::string failure_;
  std::thread thread_;
};
