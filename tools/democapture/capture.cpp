// Offline playing of the presentation on a virtual clock.

#include "tools/democapture/capture.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "driver/demo.h"
#include "platform/glide/glide_output.h"
#include "platform/glide/glide_raster_mode.h"
#include "platform/win32/win32.h"
#include "sound/sound.h"
#include "tools/democapture/output_file.h"
#include "tools/democapture/png_sink.h"
#include "tools/democapture/progress.h"
#include "tools/democapture/stop_signals.h"
#include "tools/democapture/video_sink.h"

namespace {

// ---- The virtual clock ----
// Starts just below the wrap of the 32-bit tick counter, so that every capture
// also proves that the timeline's clock counts across the wrap.
constexpr DWORD clockBase = 0xFFFF0000u;
std::atomic<DWORD> virtualTick{clockBase};
DWORD VirtualTicks() { return virtualTick.load(); }

std::int64_t Milliseconds(double seconds) { return std::llround(seconds * 1000.0); }

std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

void AddNote(CaptureResult& result, const std::string& note) {
  if (!result.notes.empty()) result.notes += "\n";
  result.notes += note;
}

// ---- One capture ----
class Capture {
public:
  Capture(const CaptureOptions& wanted, CaptureResult& outcome) : options(wanted), result(outcome) {}
  bool Run(std::string& error);

private:
  bool Plan(std::string& error);
  bool CheckOutputs(std::string& error) const;
  void StartSound();
  bool OpenSink(std::string& error);
  void Play();
  bool Complete(std::string& error);
  static void OnSwap(void* user) { static_cast<Capture*>(user)->Swapped(); }
  void Swapped();
  void SubmitFrame();
  void MixSound(std::int64_t untilFrame);

  const CaptureOptions& options;
  CaptureResult& result;
  std::string output;  // absolute: the data folder becomes the working folder
  std::vector<std::string> inputs;
  bool single = false;
  double from = 0.0;
  std::int64_t totalFrames = 0;
  std::int64_t frameIndex = 0;
  std::unique_ptr<CaptureSink> sink;
  std::unique_ptr<FrameWriter> writer;  // hands frames to the sink beside the drawing
  std::optional<ProgressBar> progress;
  bool failed = false;
  std::string failure;

  bool audio = false;
  SoundFormat format;
  std::int64_t audioPosition = 0;   // sample frames mixed since the music started
  std::int64_t audioSkip = 0;       // frames before `from`, mixed and dropped
  std::vector<std::uint8_t> sound;  // what the current frame's soundtrack holds
};

bool Capture::Plan(std::string& error) {
  single = options.frameTime >= 0.0;
  from = single ? options.frameTime : options.from;
  const double to = single ? options.frameTime : std::min(options.to, static_cast<double>(timelineEnd));
  if (!single && !(to > from)) {
    error = "nothing to capture: --to must lie after --from and before the end (218 s)";
    return false;
  }
  if (single && from >= timelineEnd) {
    error = "--frame must lie before the end of the timeline (218 s)";
    return false;
  }
  // Frames at from + n / fps, all before `to`.
  if (single) {
    totalFrames = 1;
  } else {
    const std::int64_t endMs = Milliseconds(to);
    while (Milliseconds(from + static_cast<double>(totalFrames) / options.fps) < endMs) ++totalFrames;
  }
  output = Absolute(options.output);
  const std::string data = options.dataDir.empty() ? std::string(".") : options.dataDir;
  inputs = {Absolute(data + "/demo.dat"), Absolute(data + "/music.s3m")};
  return CheckOutputs(error);
}

// Everything about the outputs that can be known is checked before the start-up,
// so that a long capture never fails at its end for a bad name.
bool Capture::CheckOutputs(std::string& error) const {
  error = CheckWritable(output, inputs);
  if (error.empty() && !single && !options.useVideo && options.audio) {
    error = CheckWritable(StemOf(output) + ".wav", inputs);
  }
  if (error.empty() && !single && options.useVideo && VideoEncodingAvailable()) error = CheckVideoName(output);
  return error.empty();
}

void Capture::StartSound() {
  if (!audio) return;
  if (!demoProgress.soundInitialised) {
    AddNote(result, "the sound system did not start; the soundtrack is silent");
    audio = false;
    return;
  }
  bool found = false;
  for (const Win32VirtualAudioOpen& open : Win32VirtualAudioOpenLog()) {
    if (!open.query && open.result == MMSYSERR_NOERROR) {
      format = SoundFormat{static_cast<int>(open.format.nSamplesPerSec), open.format.nChannels,
                           open.format.wBitsPerSample};
      found = true;
    }
  }
  if (!found || format.rate == 0 || format.FrameBytes() == 0) {
    AddNote(result, "the wave output did not open; the soundtrack is left out");
    audio = false;
    format = SoundFormat{};
    return;
  }
  if (musicModule == nullptr) AddNote(result, "music.s3m did not load; the soundtrack is silent");
  result.withSound = musicModule != nullptr;
  audioSkip = std::llround(from * format.rate);
}

bool Capture::OpenSink(std::string& error) {
  if (single) return true;
  SinkSettings settings;
  settings.output = output;
  settings.fps = options.fps;
  settings.sound = format;
  const bool video = options.useVideo && VideoEncodingAvailable();
  if (options.useVideo && !video) AddNote(result, "no H.264 encoder in this build: PNG frames and a WAV instead");
  sink = video ? CreateVideoSink(settings, error) : CreatePngSink(settings, error);
  if (sink == nullptr) return false;
  result.encoded = video;
  auto write = [this](const CapturedFrame& frame) { return sink->Write(frame); };
  auto take = [this](const ShownFrame& shown, CapturedFrame& slot) { sink->Take(shown, slot); };
  writer = std::make_unique<FrameWriter>(write, FrameWriter::defaultSlots, take);
  return true;
}

void Capture::MixSound(std::int64_t untilFrame) {
  const std::size_t frameBytes = static_cast<std::size_t>(format.FrameBytes());
  sound.clear();
  while (audioPosition < untilFrame) {
    const std::int64_t chunk = std::min<std::int64_t>(untilFrame - audioPosition, 2048);
    SoundPoll();
    std::vector<unsigned char> bytes = Win32VirtualAudioRun(static_cast<std::size_t>(chunk));
    bytes.resize(static_cast<std::size_t>(chunk) * frameBytes, 0);
    // Only what lies at or after `from` is kept.
    const std::int64_t keepFrom = std::max<std::int64_t>(0, audioSkip - audioPosition);
    if (keepFrom < chunk) {
      sound.insert(sound.end(), bytes.begin() + static_cast<std::ptrdiff_t>(keepFrom * frameBytes), bytes.end());
      result.audioFrames += chunk - keepFrom;
    }
    audioPosition += chunk;
  }
}

void Capture::SubmitFrame() {
  if (single) {
    const std::string partial = PartialName(output);
    if (!GlideSaveShownFramePng(partial.c_str()) || std::rename(partial.c_str(), output.c_str()) != 0) {
      std::remove(partial.c_str());
      failed = true;
      failure = "cannot write " + output;
    }
    return;
  }
  // The soundtrack up to the end of this frame.
  if (audio) MixSound(std::llround((from + static_cast<double>(frameIndex + 1) / options.fps) * format.rate));
  int width = 0, height = 0, stride = 0;
  const std::uint16_t* frame = GlideShownFrame565(width, height, stride);
  if (frame == nullptr) {
    failed = true;
    failure = "no frame was shown";
  } else if (!writer->Submit(frame, stride, width, height, GlideShownGamma(), sound.data(), sound.size())) {
    failed = true;  // the writer's own message is taken when it finishes
  }
}

void Capture::Swapped() {
  // Swaps after the last wanted frame (the black end of the timeline) are not kept.
  if (!failed && frameIndex < totalFrames && StopSignal() == 0) {
    SubmitFrame();
    ++frameIndex;
    ++result.frames;
    if (progress) progress->Update(frameIndex);
  }
  if (failed || frameIndex >= totalFrames || StopSignal() != 0) {
    demoRunning.store(0);
    return;
  }
  virtualTick.store(clockBase + static_cast<DWORD>(Milliseconds(from + static_cast<double>(frameIndex) / options.fps)));
}

void Capture::Play() {
  if (options.progress && !single) progress.emplace(totalFrames, options.fps);
  GlideSetSwapHook(OnSwap, this);
  DemoBeginPlaying();
  virtualTick.store(clockBase + static_cast<DWORD>(Milliseconds(from)));
  RunTimeline();
  GlideSetSwapHook(nullptr, nullptr);
  if (progress) progress->Finish(frameIndex);
}

bool Capture::Complete(std::string& error) {
  result.seconds = static_cast<double>(frameIndex) / options.fps;
  result.stopSignal = StopSignal();
  if (writer) {
    if (std::string written = writer->Finish(); !written.empty() && failure.empty()) {
      failed = true;
      failure = written;
    }
  }
  if (result.stopSignal != 0) {
    failed = true;
    failure = "stopped by a signal; nothing was written";
  } else if (!failed && single && result.frames != 1) {
    failed = true;
    failure = "no frame was drawn";
  } else if (!failed && sink) {
    failure = sink->Finish();
    failed = !failure.empty();
  }
  if (failed) {
    if (sink) sink->Discard();
    error = failure;
    return false;
  }
  return true;
}

bool Capture::Run(std::string& error) {
  if (!Plan(error)) return false;
  if (!options.dataDir.empty() && chdir(options.dataDir.c_str()) != 0) {
    error = "cannot enter " + options.dataDir + ": " + std::strerror(errno);
    return false;
  }
  DemoSelectOutput(DemoOutput::offscreen);
  GlideRasterMode raster = GlideGetRasterMode();
  raster.worker = options.drawThreads > 1;
  GlideSetRasterMode(raster);
  Win32SetTickSource(VirtualTicks);
  virtualTick.store(clockBase);
  audio = options.audio && !single;
  if (audio) Win32UseVirtualAudio(true, 1);
  SoundStartup();
  // The sound system as the set-up dialog's best quality leaves it: 44.1 kHz,
  // interpolating, stereo 16-bit, through the wave output.
  SoundSetOption(soundOptMixRate, 44100);
  SoundSetOption(soundOptInterpolation, 1);
  SoundSetOption(soundOptOutputMode, 10);
  SoundSetDevice(soundDeviceWinWave);
  SoundSetNeverUseDirectSound(1);

  DemoSoundPlan plan;
  plan.enabled = audio;
  plan.required = false;        // a silent capture is still a capture
  plan.backgroundPlay = false;  // the swap hook polls the sound system in step with the frames
  if (!DemoLoad(plan)) {
    error = "the presentation did not start (see the message above)";
    if (audio) Win32UseVirtualAudio(false);
    Win32SetTickSource(nullptr);
    return false;
  }
  StartSound();
  const bool ok = OpenSink(error);
  if (ok) Play();
  DemoShutDown();
  if (audio) Win32UseVirtualAudio(false);
  Win32SetTickSource(nullptr);
  return ok && Complete(error);
}

}  // namespace

bool RunCapture(const CaptureOptions& options, CaptureResult& result, std::string& error) {
  InstallStopSignals();
  Capture capture(options, result);
  const bool ok = capture.Run(error);
  RemoveStopSignals();
  return ok;
}
