// The capture as one video file, encoded in-process: H.264 pictures and an AAC
// soundtrack muxed by libavformat into the container the file name asks for.
#pragma once

#include "tools/democapture/capture_sink.h"

// False when the program was built without libavcodec/libavformat or they lack
// an H.264 encoder; the capture then writes PNG frames and a WAV.
bool VideoEncodingAvailable();

// Empty when the file name's extension names a container that takes H.264 and
// AAC (mp4, mkv, mov, ...); else what is wrong.
std::string CheckVideoName(const std::string& path);

// Null with a message when the file cannot be started.
std::unique_ptr<CaptureSink> CreateVideoSink(const SinkSettings& settings, std::string& error);
