#include "tools/democapture/av_encoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace {

std::string AvError(const char* what, int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return std::string(what) + ": " + text;
}

}  // namespace

EncoderBase::~EncoderBase() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&context_);
}

std::string EncoderBase::OpenCodec(const char* name, AVCodecID id, bool globalHeader,
                                   const std::function<void(AVCodecContext*)>& configure) {
  const AVCodec* codec = name != nullptr ? avcodec_find_encoder_by_name(name) : avcodec_find_encoder(id);
  if (codec == nullptr) return std::string("libavcodec has no ") + (name != nullptr ? name : "AAC") + " encoder";
  context_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) return "out of memory for the encoder";
  configure(context_);
  if (globalHeader) context_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (int code = avcodec_open2(context_, codec, nullptr); code < 0) return AvError("cannot open the encoder", code);
  return "";
}

std::string EncoderBase::Send(AVFrame* frame, const PacketSink& sink) {
  if (int code = avcodec_send_frame(context_, frame); code < 0) return AvError("the encoder refused a frame", code);
  for (;;) {
    const int code = avcodec_receive_packet(context_, packet_);
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return "";
    if (code < 0) return AvError("encoding failed", code);
    std::string failed = sink(packet_, context_);
    av_packet_unref(packet_);
    if (!failed.empty()) return failed;
  }
}

std::string VideoEncoder::Open(int width, int height, AVRational frameRate, bool globalHeader) {
  std::string failed = OpenCodec("libx264", AV_CODEC_ID_H264, globalHeader, [&](AVCodecContext* context) {
    context->width = width;
    context->height = height;
    context->time_base = av_inv_q(frameRate);
    context->framerate = frameRate;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    // BT.601 limited range, as the converter writes it.
    context->color_range = AVCOL_RANGE_MPEG;
    context->colorspace = AVCOL_SPC_SMPTE170M;
    context->color_primaries = AVCOL_PRI_SMPTE170M;
    context->color_trc = AVCOL_TRC_SMPTE170M;
    av_opt_set(context->priv_data, "preset", videoPreset, 0);
    av_opt_set_int(context->priv_data, "crf", videoQuality, 0);
    av_opt_set(context->priv_data, "x264-params", videoParameters, 0);
  });
  if (!failed.empty()) return failed;
  frame_->format = AV_PIX_FMT_YUV420P;
  frame_->width = width;
  frame_->height = height;
  if (int code = av_frame_get_buffer(frame_, 0); code < 0) return AvError("no memory for a picture", code);
  return "";
}

VideoEncoder::~VideoEncoder() { av_frame_free(&lent_); }

std::string VideoEncoder::Encode(const CapturedFrame& frame, const PacketSink& sink) {
  if (!frame.yuv.empty()) return EncodeLent(frame, sink);
  // The encoder may still hold the last picture; it then gets a fresh buffer.
  if (int code = av_frame_make_writable(frame_); code < 0) return AvError("no memory for a picture", code);
  const YuvPlanes planes{frame_->data[0], frame_->linesize[0], frame_->data[1], frame_->linesize[1],
                         frame_->data[2], frame_->linesize[2]};
  converter_.Convert(frame.pixels.data(), frame.width, frame.width, frame.height, frame.gamma, planes);
  frame_->pts = frame.number;
  return Send(frame_, sink);
}

// The planes stay the slot's: the buffer's release does nothing. libavcodec
// hands the picture to x264, which copies it before the call returns; a
// reference still held afterwards would read a slot the drawing refills, so it
// ends the capture instead.
std::string VideoEncoder::EncodeLent(const CapturedFrame& frame, const PacketSink& sink) {
  const int chromaWidth = (frame.width + 1) / 2, chromaHeight = (frame.height + 1) / 2;
  const std::size_t lumaSize = static_cast<std::size_t>(frame.width) * frame.height;
  const std::size_t chromaSize = static_cast<std::size_t>(chromaWidth) * chromaHeight;
  if (frame.width != context_->width || frame.height != context_->height ||
      frame.yuv.size() != lumaSize + 2 * chromaSize) {
    return "a picture of another size than the video's";
  }
  if (lent_ == nullptr && (lent_ = av_frame_alloc()) == nullptr) return "out of memory for a picture";
  auto* planes = const_cast<std::uint8_t*>(frame.yuv.data());
  lent_->buf[0] = av_buffer_create(planes, frame.yuv.size(), [](void*, std::uint8_t*) {}, nullptr,
                                   AV_BUFFER_FLAG_READONLY);
  if (lent_->buf[0] == nullptr) return "out of memory for a picture";
  lent_->format = AV_PIX_FMT_YUV420P;
  lent_->width = frame.width;
  lent_->height = frame.height;
  lent_->data[0] = planes;
  lent_->data[1] = planes + lumaSize;
  lent_->data[2] = planes + lumaSize + chromaSize;
  lent_->linesize[0] = frame.width;
  lent_->linesize[1] = lent_->linesize[2] = chromaWidth;
  lent_->pts = frame.number;
  std::string failed = Send(lent_, sink);
  const bool kept = av_buffer_get_ref_count(lent_->buf[0]) > 1;
  av_frame_unref(lent_);
  if (failed.empty() && kept) failed = "the encoder kept a picture it was lent";
  return failed;
}

std::string AudioEncoder::Open(const SoundFormat& format, bool globalHeader) {
  format_ = format;
  std::string failed = OpenCodec(nullptr, AV_CODEC_ID_AAC, globalHeader, [&](AVCodecContext* context) {
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->sample_rate = format.rate;
    av_channel_layout_default(&context->ch_layout, format.channels);
    context->bit_rate = audioBitRate;
    context->time_base = AVRational{1, format.rate};
    // The native encoder's fast coder (an encoder without it ignores the option).
    av_opt_set(context->priv_data, "aac_coder", audioCoder, 0);
  });
  if (!failed.empty()) return failed;
  frame_->format = AV_SAMPLE_FMT_FLTP;
  frame_->sample_rate = format.rate;
  if (int code = av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout); code < 0) {
    return AvError("bad channel layout", code);
  }
  return "";
}

std::string AudioEncoder::Encode(const std::vector<std::uint8_t>& pcm, const PacketSink& sink) {
  const int frameBytes = format_.FrameBytes();
  const std::size_t samples = pcm.size() / static_cast<std::size_t>(frameBytes);
  for (std::size_t i = 0; i < samples; ++i) {
    const std::uint8_t* sample = pcm.data() + i * static_cast<std::size_t>(frameBytes);
    for (int c = 0; c < format_.channels; ++c) {
      float value;
      if (format_.bits == 8) {
        value = (static_cast<float>(sample[c]) - 128.0f) / 128.0f;
      } else {
        const auto word = static_cast<std::int16_t>(sample[2 * c] | sample[2 * c + 1] << 8);
        value = static_cast<float>(word) / 32768.0f;
      }
      gathered_[c].push_back(value);
    }
  }
  const int frameSize = context_->frame_size;
  while (gathered_[0].size() >= static_cast<std::size_t>(frameSize)) {
    if (std::string failed = EncodeGathered(frameSize, sink); !failed.empty()) return failed;
  }
  return "";
}

std::string AudioEncoder::EncodeGathered(int samples, const PacketSink& sink) {
  frame_->nb_samples = samples;
  if (int code = av_frame_get_buffer(frame_, 0); code < 0) return AvError("no memory for sound", code);
  for (int c = 0; c < format_.channels; ++c) {
    std::copy(gathered_[c].begin(), gathered_[c].begin() + samples, reinterpret_cast<float*>(frame_->data[c]));
    gathered_[c].erase(gathered_[c].begin(), gathered_[c].begin() + samples);
  }
  frame_->pts = samplesSent_;
  samplesSent_ += samples;
  std::string failed = Send(frame_, sink);
  av_frame_unref(frame_);
  // av_frame_unref forgets the layout; the next frame needs it again.
  frame_->format = AV_SAMPLE_FMT_FLTP;
  frame_->sample_rate = format_.rate;
  av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout);
  return failed;
}

std::string AudioEncoder::Flush(const PacketSink& sink) {
  // The AAC encoder takes a short last frame.
  if (!gathered_[0].empty()) {
    if (std::string failed = EncodeGathered(static_cast<int>(gathered_[0].size()), sink); !failed.empty()) {
      return failed;
    }
  }
  return Send(nullptr, sink);
}
