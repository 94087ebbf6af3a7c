// The capture without a video encoder: numbered PNG frames in "<stem>_frames/"
// and the soundtrack in "<stem>.wav", both put in place when the capture ends.
#pragma once

#include "tools/democapture/capture_sink.h"

// Null with a message when the frames cannot be written there.
std::unique_ptr<CaptureSink> CreatePngSink(const SinkSettings& settings, std::string& error);

// Writes PCM as a RIFF WAVE file. False on any failure.
bool WriteWav(const std::string& path, const std::vector<std::uint8_t>& pcm, const SoundFormat& format);
