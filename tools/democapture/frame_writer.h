// Hands captured frames to a thread of their own: the drawing thread takes each
// shown RGB565 frame into a free slot (as it is, or already in the form the
// sink wants) and goes on drawing, while the writer passes the frames in order
// to a sink that writes them (to the encoder, or as PNG files). The queue is deep enough to carry the
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

// A frame as the drawing shows it: RGB565 rows, row 0 at the bottom.
struct ShownFrame {
  const std::uint16_t* pixels = nullptr;
  int stride = 0;  // in pixels
  int width = 0, height = 0;
  float gamma = 1.0f;
};

// One frame as the drawing thread showed it, with the sound mixed while it was
// shown. The picture is in one of two forms, as the slot was filled.
struct CapturedFrame {
  std::int64_t number = 0;             // 0 for the first frame submitted
  std::vector<std::uint16_t> pixels;   // RGB565, row 0 at the bottom, width pixels a row
  std::vector<std::uint8_t> yuv;       // or: YUV 4:2:0 planes, top row first, tightly packed
  int width = 0, height = 0;
  float gamma = 1.0f;                  // display gamma in force at the swap
  std::vector<std::uint8_t> sound;     // PCM sample frames, as the mixer wrote them
};

class FrameWriter {
public:
  // Returns an empty string on success, else what went wrong; the first
  // failure stops the writer.
  using Sink = std::function<std::string(const CapturedFrame&)>;
  // Fills a slot's picture from the shown frame, on the drawing thread; the
  // frame is gone once it returns.
  using Take = std::function<void(const ShownFrame&, CapturedFrame&)>;

  // Half a second at 60 frames/s, about 14 MB of 640 x 480 frames in YUV.
  static constexpr int defaultSlots = 30;

  // Without `take` the slots keep a copy of the RGB565 rows.
  explicit FrameWriter(Sink sink, int slots = defaultSlots, Take take = nullptr);
  ~FrameWriter();
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;

  // Takes one frame (row 0 at the bottom, stride in pixels) and copies its
  // sound, and queues them; waits while every slot is taken. False once the writer has
  // failed.
  bool Submit(const std::uint16_t* frame, int stride, int width, int height, float gamma,
              const std::uint8_t* sound = nullptr, std::size_t soundBytes = 0);

  // Writes what is queued and stops the thread. Returns the first failure, or
  // an empty string.
  std::string Finish();

private:
  void Run();

  Sink sink_;
  Take take_;
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

// The RGB565 rows into slot.pixels, width pixels a row.
void CopyShownPixels(const ShownFrame& shown, CapturedFrame& slot);
