#include "tools/democapture/frame_writer.h"

#include <algorithm>
#include <cstring>

void CopyShownPixels(const ShownFrame& shown, CapturedFrame& slot) {
  const std::size_t width = static_cast<std::size_t>(shown.width);
  slot.pixels.resize(width * static_cast<std::size_t>(shown.height));
  for (int y = 0; y < shown.height; ++y) {
    std::memcpy(slot.pixels.data() + static_cast<std::size_t>(y) * width,
                shown.pixels + static_cast<std::ptrdiff_t>(y) * shown.stride, width * 2);
  }
}

FrameWriter::FrameWriter(Sink sink, int slots, Take take)
    : sink_(std::move(sink)),
      take_(take ? std::move(take) : Take(CopyShownPixels)),
      slots_(static_cast<std::size_t>(std::max(slots, 1))) {
  thread_ = std::thread([this] { Run(); });
}

FrameWriter::~FrameWriter() { Finish(); }

bool FrameWriter::Submit(const std::uint16_t* frame, int stride, int width, int height, float gamma,
                         const std::uint8_t* sound, std::size_t soundBytes) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return count_ < slots_.size() || !failure_.empty() || closing_; });
  if (!failure_.empty() || closing_) return false;
  CapturedFrame& slot = slots_[(head_ + count_) % slots_.size()];
  lock.unlock();
  // Only this thread fills slots, and the writer does not touch a slot until
  // it is counted, so filling it needs no lock.
  take_(ShownFrame{frame, stride, width, height, gamma}, slot);
  slot.width = width;
  slot.height = height;
  slot.gamma = gamma;
  slot.sound.assign(sound, sound + soundBytes);
  lock.lock();
  slot.number = submitted_++;
  ++count_;
  changed_.notify_all();
  return true;
}

void FrameWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return count_ > 0 || closing_; });
    if (count_ == 0) return;  // closing with nothing left
    const CapturedFrame& slot = slots_[head_];
    const bool stopped = !failure_.empty();  // after a failure the rest is dropped
    lock.unlock();
    const std::string failed = stopped ? std::string() : sink_(slot);
    lock.lock();
    head_ = (head_ + 1) % slots_.size();
    --count_;
    if (!failed.empty() && failure_.empty()) failure_ = failed;
    changed_.notify_all();
  }
}

std::string FrameWriter::Finish() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  return failure_;
}
