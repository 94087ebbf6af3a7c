// Offline playing of the presentation on a virtual clock.

#include "tools/democapture/capture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "driver/demo.h"
#include "gfx/device.h"
#include "platform/glide/glide_output.h"
#include "platform/win32/win32.h"
#include "sound/sound.h"
#include "tools/democapture/frame_writer.h"
#include "tools/democapture/yuv.h"

namespace {

// ---- The virtual clock ----
// Starts just below the wrap of the 32-bit tick counter, so that every capture
// also proves that the timeline's clock counts across the wrap.
constexpr DWORD clockBase = 0xFFFF0000u;
std::atomic<DWORD> virtualTick{clockBase};
DWORD VirtualTicks() { return virtualTick.load(); }

std::int64_t Milliseconds(double seconds) { return std::llround(seconds * 1000.0); }

// ---- Child process with a pipe to its standard input ----
struct Child {
  pid_t pid = -1;
  int input = -1;
};

bool Spawn(const std::vector<std::string>& args, bool withInput, Child& child) {
  int fds[2] = {-1, -1};
  // Close-on-exec: a later child must not hold this one's input open.
  if (withInput && pipe2(fds, O_CLOEXEC) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) {
    if (withInput) {
      close(fds[0]);
      close(fds[1]);
    }
    return false;
  }
  if (pid == 0) {
    if (withInput) {
      dup2(fds[0], STDIN_FILENO);
      close(fds[0]);
      close(fds[1]);
    } else {
      int null = open("/dev/null", O_RDONLY);
      if (null >= 0) dup2(null, STDIN_FILENO);
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  child.pid = pid;
  if (withInput) {
    close(fds[0]);
    child.input = fds[1];
  }
  return true;
}

// Closes the input and returns the child's exit status (-1 when it did not exit).
int Finish(Child& child) {
  if (child.input >= 0) {
    close(child.input);
    child.input = -1;
  }
  if (child.pid < 0) return -1;
  int status = 0;
  while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
  }
  child.pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void PutLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

bool WriteWav(const std::string& path, const std::vector<std::uint8_t>& pcm, const WAVEFORMATEX& format) {
  std::vector<std::uint8_t> header;
  header.insert(header.end(), {'R', 'I', 'F', 'F'});
  PutLe(header, static_cast<std::uint32_t>(36 + pcm.size()), 4);
  header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(header, 16, 4);
  PutLe(header, WAVE_FORMAT_PCM, 2);
  PutLe(header, format.nChannels, 2);
  PutLe(header, format.nSamplesPerSec, 4);
  PutLe(header, format.nAvgBytesPerSec, 4);
  PutLe(header, format.nBlockAlign, 2);
  PutLe(header, format.wBitsPerSample, 2);
  header.insert(header.end(), {'d', 'a', 't', 'a'});
  PutLe(header, static_cast<std::uint32_t>(pcm.size()), 4);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
            (pcm.empty() || std::fwrite(pcm.data(), 1, pcm.size(), file) == pcm.size());
  return std::fclose(file) == 0 && ok;
}

std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

std::string Stem(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  std::size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return path.substr(0, dot);
  return path;
}

bool ParseNumber(const char* text, double& value) {
  if (text == nullptr || *text == 0) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text, &end);
  return errno == 0 && end != nullptr && *end == 0 && std::isfinite(value);
}

// ---- One capture ----
class Capture {
public:
  Capture(const CaptureOptions& wanted, CaptureResult& outcome) : options(wanted), result(outcome) {}

  bool Run(std::string& error);

private:
  static void OnSwap(void* user) { static_cast<Capture*>(user)->Swapped(); }
  void Swapped();
  void PullAudio(std::int64_t untilFrame);
  void ShowProgress(bool last);

  const CaptureOptions& options;
  CaptureResult& result;
  std::string output;
  bool single = false;
  bool video = false;  // frames go to ffmpeg
  std::int64_t totalFrames = 0;
  std::int64_t frameIndex = 0;
  Child encoder;
  std::unique_ptr<FrameWriter> writer;  // converts and writes frames beside the drawing
  Child audioEncoder;                   // encodes the soundtrack as it is mixed (video only)
  std::string audioTemp;
  std::string videoTemp;
  std::string framesDir;
  bool failed = false;
  std::string failure;

  bool audio = false;
  WAVEFORMATEX format{};
  std::int64_t audioPosition = 0;  // sample frames mixed since the music started
  std::int64_t audioSkip = 0;      // frames before `from`, mixed and dropped
  std::int64_t audioKept = 0;      // sample frames handed on
  std::vector<std::uint8_t> pcm;   // the soundtrack, when no encoder takes it at once
};

void Capture::PullAudio(std::int64_t untilFrame) {
  if (!audio) return;
  const std::size_t frameBytes = format.nBlockAlign;
  while (audioPosition < untilFrame) {
    const std::int64_t chunk = std::min<std::int64_t>(untilFrame - audioPosition, 2048);
    SoundPoll();
    std::vector<unsigned char> bytes = Win32VirtualAudioRun(static_cast<std::size_t>(chunk));
    bytes.resize(static_cast<std::size_t>(chunk) * frameBytes, 0);
    // Only what lies at or after `from` is kept.
    std::int64_t keepFrom = std::max<std::int64_t>(0, audioSkip - audioPosition);
    if (keepFrom < chunk) {
      const std::uint8_t* kept = bytes.data() + keepFrom * frameBytes;
      const std::size_t size = static_cast<std::size_t>(chunk - keepFrom) * frameBytes;
      if (audioEncoder.input < 0) {
        pcm.insert(pcm.end(), kept, kept + size);
      } else if (!failed && !WriteAll(audioEncoder.input, kept, size)) {
        failed = true;
        failure = "ffmpeg stopped taking sound";
      }
      audioKept += chunk - keepFrom;
    }
    audioPosition += chunk;
  }
}

void Capture::ShowProgress(bool last) {
  if (!options.progress) return;
  if (!last && frameIndex % 15 != 0) return;
  const int width = 40;
  const double share = totalFrames > 0 ? static_cast<double>(frameIndex) / static_cast<double>(totalFrames) : 1.0;
  const int filled = static_cast<int>(share * width);
  char bar[width + 1];
  for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '.';
  bar[width] = 0;
  std::fprintf(stderr, "\r[%s] %3d%%  frame %lld/%lld  t=%.2fs", bar, static_cast<int>(share * 100.0),
               static_cast<long long>(frameIndex), static_cast<long long>(totalFrames),
               options.from + static_cast<double>(frameIndex) / options.fps);
  if (last) std::fputc('\n', stderr);
  std::fflush(stderr);
}

void Capture::Swapped() {
  // Swaps after the last wanted frame (the black end of the timeline) are not kept.
  if (failed || frameIndex >= totalFrames) {
    demoRunning.store(0);
    return;
  }
  if (single) {
    if (!GlideSaveShownFramePng(output.c_str())) {
      failed = true;
      failure = "cannot write " + output;
    }
  } else {
    int width = 0, height = 0, stride = 0;
    const std::uint16_t* frame = GlideShownFrame565(width, height, stride);
    if (frame == nullptr) {
      failed = true;
      failure = "no frame was shown";
    } else if (!writer->Submit(frame, stride, width, height, GlideShownGamma())) {
      failed = true;  // the writer's own message is taken when it finishes
    }
    // The soundtrack up to the end of this frame.
    const double end = options.from + static_cast<double>(frameIndex + 1) / options.fps;
    if (audio) PullAudio(std::llround(end * format.nSamplesPerSec));
  }
  ++frameIndex;
  ++result.frames;
  ShowProgress(frameIndex == totalFrames);
  if (failed || frameIndex >= totalFrames) {
    demoRunning.store(0);
    return;
  }
  virtualTick.store(clockBase + static_cast<DWORD>(Milliseconds(options.from + frameIndex / options.fps)));
}

bool Capture::Run(std::string& error) {
  single = options.frameTime >= 0.0;
  output = Absolute(options.output);
  const double from = single ? options.frameTime : options.from;
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

  if (!options.dataDir.empty() && chdir(options.dataDir.c_str()) != 0) {
    error = "cannot enter " + options.dataDir + ": " + std::strerror(errno);
    return false;
  }

  DemoSelectOutput(DemoOutput::offscreen);
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
    return false;
  }
  if (audio) {
    if (!demoProgress.soundInitialised) {
      result.audioNote = "the sound system did not start; the soundtrack is silent";
      audio = false;
    } else {
      if (musicModule == nullptr) result.audioNote = "music.s3m did not load; the soundtrack is silent";
      std::vector<Win32VirtualAudioOpen> opens = Win32VirtualAudioOpenLog();
      bool found = false;
      for (const Win32VirtualAudioOpen& open : opens) {
        if (!open.query && open.result == MMSYSERR_NOERROR) {
          format = open.format;
          found = true;
        }
      }
      if (!found || format.nBlockAlign == 0 || format.nSamplesPerSec == 0) {
        result.audioNote = "the wave output did not open; the soundtrack is left out";
        audio = false;
      }
    }
  }
  audioSkip = audio ? std::llround(from * format.nSamplesPerSec) : 0;

  if (!single) {
    video = options.useFfmpeg && ProgramOnPath("ffmpeg");
    if (video) {
      videoTemp = output + ".video.mkv";
      char rate[32];
      std::snprintf(rate, sizeof rate, "%g", options.fps);
      std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                                       "-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", "640x480",
                                       "-r", rate, "-i", "-", "-an", "-c:v", "libx264",
                                       "-preset", "ultrafast", "-crf", "20", videoTemp};
      if (!Spawn(args, true, encoder)) {
        error = "cannot start ffmpeg";
        return false;
      }
      if (audio) {
        audioTemp = output + ".audio.m4a";
        const std::vector<std::string> audioArgs = {
            "ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
            "-f", format.wBitsPerSample == 8 ? "u8" : "s16le", "-ar", std::to_string(format.nSamplesPerSec),
            "-ac", std::to_string(format.nChannels), "-i", "-", "-c:a", "aac", "-b:a", "192k", audioTemp};
        if (!Spawn(audioArgs, true, audioEncoder)) {
          error = "cannot start ffmpeg for the soundtrack";
          return false;
        }
      }
    } else {
      framesDir = Stem(output) + "_frames";
      if (mkdir(framesDir.c_str(), 0755) != 0 && errno != EEXIST) {
        error = "cannot create " + framesDir + ": " + std::strerror(errno);
        return false;
      }
    }
    if (video) {
      const int input = encoder.input;
      writer = std::make_unique<FrameWriter>(
          [input, converter = YuvConverter(), yuv = std::vector<std::uint8_t>()](
              const CapturedFrame& frame) mutable -> std::string {
            converter.Convert(frame.pixels.data(), frame.width, frame.width, frame.height, frame.gamma, yuv);
            return WriteAll(input, yuv.data(), yuv.size()) ? "" : "ffmpeg stopped taking frames";
          });
    } else {
      const std::string dir = framesDir;
      writer = std::make_unique<FrameWriter>(
          [dir, rgb = std::vector<std::uint8_t>()](const CapturedFrame& frame) mutable -> std::string {
            GlideConvertFrame565(frame.pixels.data(), frame.width, frame.width, frame.height, frame.gamma, rgb);
            char name[64];
            std::snprintf(name, sizeof name, "/frame_%06lld.png", static_cast<long long>(frame.number));
            const bool written = GlideWritePng((dir + name).c_str(), rgb.data(), frame.width, frame.height);
            return written ? "" : "cannot write " + dir + name;
          });
    }
  }

  GlideSetSwapHook(OnSwap, this);
  DemoBeginPlaying();
  virtualTick.store(clockBase + static_cast<DWORD>(Milliseconds(from)));
  RunTimeline();
  GlideSetSwapHook(nullptr, nullptr);
  DemoShutDown();
  if (audio) Win32UseVirtualAudio(false);
  Win32SetTickSource(nullptr);

  if (writer) {
    if (const std::string written = writer->Finish(); !written.empty()) {
      failed = true;
      if (failure.empty()) failure = written;
    }
  }
  result.seconds = static_cast<double>(frameIndex) / options.fps;
  result.audioFrames = audio ? audioKept : 0;

  if (video) {
    const int status = Finish(encoder);
    const int audioStatus = audioEncoder.pid >= 0 ? Finish(audioEncoder) : 0;
    if (failed || status != 0 || audioStatus != 0) {
      std::remove(videoTemp.c_str());
      if (!audioTemp.empty()) std::remove(audioTemp.c_str());
      error = failed ? failure : status != 0 ? "ffmpeg failed while encoding" : "ffmpeg failed while encoding the soundtrack";
      return false;
    }
    // Picture and sound were encoded side by side; they are only put together.
    std::vector<std::string> args = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-i", videoTemp};
    if (audio) args.insert(args.end(), {"-i", audioTemp, "-shortest"});
    args.insert(args.end(), {"-c", "copy", output});
    Child mux;
    const bool ok = Spawn(args, false, mux) && Finish(mux) == 0;
    std::remove(videoTemp.c_str());
    if (audio) std::remove(audioTemp.c_str());
    if (!ok) {
      error = audio ? "ffmpeg could not put picture and sound together into " + output
                    : "ffmpeg could not write " + output;
      return false;
    }
    result.encoded = true;
  } else if (!single) {
    if (failed) {
      error = failure;
      return false;
    }
    if (audio && !WriteWav(Stem(output) + ".wav", pcm, format)) {
      error = "cannot write " + Stem(output) + ".wav";
      return false;
    }
  } else if (failed || result.frames != 1) {
    error = failed ? failure : "no frame was drawn";
    return false;
  }
  return true;
}

}  // namespace

const char* CaptureUsage() {
  return "usage: democapture -o OUTPUT [--fps N] [--from S] [--to S] [--data DIR] [--png] [--no-audio]\n"
         "       democapture --frame T -o PICTURE.png [--data DIR]\n"
         "\n"
         "Plays the presentation offline on a virtual clock and writes it as a video with\n"
         "its soundtrack (through ffmpeg when it is installed; otherwise numbered PNG frames\n"
         "in OUTPUT-stem_frames/ and the soundtrack in OUTPUT-stem.wav).\n"
         "\n"
         "  -o, --output FILE  where the video (or, with --frame, the picture) goes\n"
         "  --fps N            frames per second of the video (default 60)\n"
         "  --from S, --to S   the stretch of the presentation in seconds (default 0 to 218)\n"
         "  --frame T          one picture of the presentation at T seconds, as PNG\n"
         "  --data DIR         folder holding demo.dat and music.s3m (default: current)\n"
         "  --png              PNG frames and a WAV even when ffmpeg is there\n"
         "  --no-audio         leave the soundtrack out\n"
         "  -h, --help         this text\n";
}

bool ParseCaptureArguments(int argc, char** argv, CaptureOptions& options, bool& help, std::string& error) {
  help = false;
  bool fromGiven = false, toGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char*& out) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    const char* text = nullptr;
    double number = 0.0;
    if (arg == "-h" || arg == "--help") {
      help = true;
      return true;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(text)) return false;
      options.output = text;
    } else if (arg == "--data") {
      if (!value(text)) return false;
      options.dataDir = text;
    } else if (arg == "--png") {
      options.useFfmpeg = false;
    } else if (arg == "--no-audio") {
      options.audio = false;
    } else if (arg == "--fps" || arg == "--from" || arg == "--to" || arg == "--frame") {
      if (!value(text)) return false;
      if (!ParseNumber(text, number)) {
        error = arg + " takes a number, not \"" + text + "\"";
        return false;
      }
      if (arg == "--fps") {
        if (number < 1.0 || number > 1000.0) {
          error = "--fps must lie between 1 and 1000";
          return false;
        }
        options.fps = number;
      } else if (number < 0.0) {
        error = arg + " must not be negative";
        return false;
      } else if (arg == "--from") {
        options.from = number;
        fromGiven = true;
      } else if (arg == "--to") {
        options.to = number;
        toGiven = true;
      } else {
        options.frameTime = number;
      }
    } else {
      error = "unknown argument \"" + arg + "\"";
      return false;
    }
  }
  if (options.output.empty()) {
    error = "an output file is needed (-o)";
    return false;
  }
  if (options.frameTime >= 0.0 && (fromGiven || toGiven)) {
    error = "--frame takes no --from or --to";
    return false;
  }
  if (options.frameTime < 0.0 && !(options.to > options.from)) {
    error = "--to must lie after --from";
    return false;
  }
  return true;
}

bool ProgramOnPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string dirs = path;
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    if (access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

bool RunCapture(const CaptureOptions& options, CaptureResult& result, std::string& error) {
  // A dying ffmpeg must show up as a failed write, not end this process.
  signal(SIGPIPE, SIG_IGN);
  Capture capture(options, result);
  return capture.Run(error);
}
