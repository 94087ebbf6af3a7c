// The two encoders of a video capture, over libavcodec: H.264 pictures through
// libx264 with quality-based rate control, and the soundtrack as AAC. Each hands
// its packets, in its own time base, to the muxer's callback.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/democapture/capture_sink.h"
#include "tools/democapture/yuv.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

// Takes one encoded packet; empty, or what went wrong.
using PacketSink = std::function<std::string(AVPacket* packet, const AVCodecContext* codec)>;

// x264's speed preset and constant rate factor of a capture (see the README for
// how they were chosen).
inline constexpr const char* videoPreset = "superfast";
inline constexpr int videoQuality = 20;
// B-frames placed without x264's adaptive choice of frame types: on this
// content the same look and size for a tenth less encoding work (see the README).
inline constexpr const char* videoParameters = "b-adapt=0";
// The soundtrack's AAC coder and bit rate: the fast coder at 192 kbit/s departs
// no more from the mix than the default two-loop coder at 160 kbit/s, for half
// its encoding time (see the README).
inline constexpr const char* audioCoder = "fast";
inline constexpr int audioBitRate = 192000;

class EncoderBase {
public:
  EncoderBase() = default;
  EncoderBase(const EncoderBase&) = delete;
  EncoderBase& operator=(const EncoderBase&) = delete;
  virtual ~EncoderBase();
  const AVCodecContext* Context() const { return context_; }

protected:
  // Opens the encoder named (or, without a name, the codec's default one) with the
  // settings `configure` makes on the context.
  std::string OpenCodec(const char* name, AVCodecID id, bool globalHeader,
                        const std::function<void(AVCodecContext*)>& configure);
  // Sends the frame (null: the end) and passes on every packet that is ready.
  std::string Send(AVFrame* frame, const PacketSink& sink);

  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
};

class VideoEncoder final : public EncoderBase {
public:
  std::string Open(int width, int height, AVRational frameRate, bool globalHeader);
  ~VideoEncoder() override;
  // Encodes one shown frame as picture number `number`: its YUV planes lent to
  // the encoder where the slot holds them, else its RGB565 rows converted in the
  // encoder's own picture.
  std::string Encode(const CapturedFrame& frame, const PacketSink& sink);
  std::string Flush(const PacketSink& sink) { return Send(nullptr, sink); }

private:
  std::string EncodeLent(const CapturedFrame& frame, const PacketSink& sink);

  YuvConverter converter_;
  AVFrame* lent_ = nullptr;  // points into a slot's planes while it is encoded
};

class AudioEncoder final : public EncoderBase {
public:
  std::string Open(const SoundFormat& format, bool globalHeader);
  // PCM as the mixer wrote it; encoded whenever a whole AAC frame is gathered.
  std::string Encode(const std::vector<std::uint8_t>& pcm, const PacketSink& sink);
  // Encodes what is left and drains the encoder.
  std::string Flush(const PacketSink& sink);

private:
  std::string EncodeGathered(int samples, const PacketSink& sink);

  SoundFormat format_;
  std::vector<float> gathered_[2];  // per channel, as -1..1
  std::int64_t samplesSent_ = 0;
};
