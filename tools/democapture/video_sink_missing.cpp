// Built without libavcodec/libavformat: every capture writes PNG frames and a WAV.
#include "tools/democapture/video_sink.h"

bool VideoEncodingAvailable() { return false; }

std::string CheckVideoName(const std::string&) { return ""; }

std::unique_ptr<CaptureSink> CreateVideoSink(const SinkSettings&, std::string& error) {
  error = "built without libavcodec: no video encoder";
  return nullptr;
}
