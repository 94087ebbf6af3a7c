#include "tools/democapture/video_sink.h"

#include <cstdio>

#include "tools/democapture/av_encoder.h"
#include "tools/democapture/output_file.h"
#include "tools/democapture/yuv.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

std::string AvError(const std::string& what, int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return what + ": " + text;
}

const AVOutputFormat* ContainerFor(const std::string& path) {
  if (ExtensionOf(path).empty()) return nullptr;
  return av_guess_format(nullptr, path.c_str(), nullptr);
}

// Written under a temporary name; the file appears under its own name only when
// its trailer is written.
class VideoSink final : public CaptureSink {
public:
  explicit VideoSink(const SinkSettings& settings) : settings_(settings), partial_(PartialName(settings.output)) {}
  ~VideoSink() override { Discard(); }

  std::string Open() {
    const AVOutputFormat* container = ContainerFor(settings_.output);
    if (int code = avformat_alloc_output_context2(&format_, container, nullptr, partial_.c_str()); code < 0) {
      return AvError("cannot start " + settings_.output, code);
    }
    const bool globalHeader = (format_->oformat->flags & AVFMT_GLOBALHEADER) != 0;
    const AVRational rate = av_d2q(settings_.fps, 1000000);
    if (std::string failed = video_.Open(settings_.width, settings_.height, rate, globalHeader); !failed.empty()) {
      return failed;
    }
    if (std::string failed = AddStream(video_, videoStream_); !failed.empty()) return failed;
    if (settings_.sound.rate > 0) {
      if (std::string failed = audio_.Open(settings_.sound, globalHeader); !failed.empty()) return failed;
      if (std::string failed = AddStream(audio_, audioStream_); !failed.empty()) return failed;
    }
    if (int code = avio_open(&format_->pb, partial_.c_str(), AVIO_FLAG_WRITE); code < 0) {
      return AvError("cannot write " + settings_.output, code);
    }
    opened_ = true;
    if (int code = avformat_write_header(format_, nullptr); code < 0) {
      return AvError("cannot start " + settings_.output, code);
    }
    return "";
  }

  // Converted straight from the drawing's own frame: no copy of the RGB565 rows,
  // and the encoder reads the slot's planes where they are.
  void Take(const ShownFrame& shown, CapturedFrame& slot) override {
    converter_.Convert(shown.pixels, shown.stride, shown.width, shown.height, shown.gamma, slot.yuv);
  }

  std::string Write(const CapturedFrame& frame) override {
    if (std::string failed = video_.Encode(frame, videoPackets_); !failed.empty()) return failed;
    if (audioStream_ == nullptr) return "";
    return audio_.Encode(frame.sound, audioPackets_);
  }

  std::string Finish() override {
    if (std::string failed = video_.Flush(videoPackets_); !failed.empty()) return failed;
    if (audioStream_ != nullptr) {
      if (std::string failed = audio_.Flush(audioPackets_); !failed.empty()) return failed;
    }
    if (int code = av_write_trailer(format_); code < 0) return AvError("cannot finish " + settings_.output, code);
    const int closed = avio_closep(&format_->pb);
    if (closed < 0) return AvError("cannot finish " + settings_.output, closed);
    if (std::rename(partial_.c_str(), settings_.output.c_str()) != 0) return "cannot write " + settings_.output;
    done_ = true;
    Close();
    return "";
  }

  void Discard() override {
    Close();
    if (!done_ && opened_) std::remove(partial_.c_str());
    done_ = true;
  }

private:
  std::string AddStream(const EncoderBase& encoder, AVStream*& stream) {
    stream = avformat_new_stream(format_, nullptr);
    if (stream == nullptr) return "out of memory for a stream";
    stream->time_base = encoder.Context()->time_base;
    if (int code = avcodec_parameters_from_context(stream->codecpar, encoder.Context()); code < 0) {
      return AvError("cannot describe a stream", code);
    }
    return "";
  }

  std::string Mux(AVPacket* packet, const AVCodecContext* codec, AVStream* stream) {
    av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
    packet->stream_index = stream->index;
    if (int code = av_interleaved_write_frame(format_, packet); code < 0) {
      return AvError("cannot write " + settings_.output, code);
    }
    return "";
  }

  void Close() {
    if (format_ == nullptr) return;
    if (format_->pb != nullptr) avio_closep(&format_->pb);
    avformat_free_context(format_);
    format_ = nullptr;
  }

  SinkSettings settings_;
  YuvConverter converter_;  // the drawing thread's, for Take
  std::string partial_;
  AVFormatContext* format_ = nullptr;
  VideoEncoder video_;
  AudioEncoder audio_;
  AVStream* videoStream_ = nullptr;
  AVStream* audioStream_ = nullptr;
  PacketSink videoPackets_ = [this](AVPacket* p, const AVCodecContext* c) { return Mux(p, c, videoStream_); };
  PacketSink audioPackets_ = [this](AVPacket* p, const AVCodecContext* c) { return Mux(p, c, audioStream_); };
  bool opened_ = false;
  bool done_ = false;
};

}  // namespace

bool VideoEncodingAvailable() { return avcodec_find_encoder_by_name("libx264") != nullptr; }

std::string CheckVideoName(const std::string& path) {
  const AVOutputFormat* container = ContainerFor(path);
  if (container == nullptr) {
    return "cannot tell the video format of \"" + path + "\": give it an extension such as .mp4, .mkv or .mov";
  }
  if (avformat_query_codec(container, AV_CODEC_ID_H264, FF_COMPLIANCE_NORMAL) != 1 ||
      avformat_query_codec(container, AV_CODEC_ID_AAC, FF_COMPLIANCE_NORMAL) != 1) {
    return "a ." + ExtensionOf(path) + " file cannot hold H.264 video with AAC sound: use .mp4, .mkv or .mov";
  }
  return "";
}

std::unique_ptr<CaptureSink> CreateVideoSink(const SinkSettings& settings, std::string& error) {
  // The libraries' own notes and statistics are not the user's business; their
  // errors come back through the results.
  av_log_set_level(AV_LOG_QUIET);
  auto sink = std::make_unique<VideoSink>(settings);
  error = sink->Open();
  if (!error.empty()) return nullptr;
  return sink;
}
