#include "tools/democapture/capture_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "tools/democapture/output_file.h"

namespace {

bool ParseNumber(const char* text, double& value) {
  if (text == nullptr || *text == 0) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text, &end);
  return errno == 0 && end != nullptr && *end == 0 && std::isfinite(value);
}

// Which of the options that change the capture were given.
struct Given {
  bool from = false, to = false, fps = false, output = false;
};

bool TakeNumber(const std::string& option, const char* text, CaptureOptions& options, Given& given,
                std::string& error) {
  double number = 0.0;
  if (!ParseNumber(text, number)) {
    error = option + " takes a number, not \"" + text + "\"";
    return false;
  }
  if (option == "--fps") {
    if (number < 1.0 || number > 1000.0) {
      error = "--fps must lie between 1 and 1000";
      return false;
    }
    options.fps = number;
    given.fps = true;
  } else if (number < 0.0) {
    error = option + " must not be negative";
    return false;
  } else if (option == "--from") {
    options.from = number;
    given.from = true;
  } else if (option == "--to") {
    options.to = number;
    given.to = true;
  } else {
    options.frameTime = number;
  }
  return true;
}

bool TakeOutput(const std::string& name, CaptureOptions& options, Given& given, std::string& error) {
  if (given.output) {
    error = "one output only: \"" + options.output + "\" and \"" + name + "\"";
    return false;
  }
  options.output = name;
  given.output = true;
  return true;
}

// Options that contradict each other are refused rather than one of them ignored.
bool CheckCombination(const CaptureOptions& options, const Given& given, std::string& error) {
  if (options.output.empty()) {
    error = "an output file is needed (-o)";
    return false;
  }
  if (options.frameTime >= 0.0) {
    if (given.from || given.to) error = "--frame takes no --from or --to";
    else if (given.fps) error = "--frame takes no --fps: it makes one picture";
    else if (ExtensionOf(options.output) != "png") error = "--frame writes a PNG picture: name it .png";
    return error.empty();
  }
  if (!(options.to > options.from)) {
    error = "--to must lie after --from";
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
         "its soundtrack: H.264 and AAC in the container the name asks for (.mp4, .mkv,\n"
         ".mov); with --png, or when built without libavcodec, numbered PNG frames in\n"
         "OUTPUT-stem_frames/ and the soundtrack in OUTPUT-stem.wav.\n"
         "\n"
         "  -o, --output FILE  where the video (or, with --frame, the picture) goes\n"
         "  --fps N            frames per second of the video (default 60)\n"
         "  --from S, --to S   the stretch of the presentation in seconds (default 0 to 218)\n"
         "  --frame T          one picture of the presentation at T seconds, as PNG\n"
         "  --data DIR         folder holding demo.dat and music.s3m (default: current)\n"
         "  --png              PNG frames and a WAV instead of a video\n"
         "  --no-audio         leave the soundtrack out\n"
         "  -h, --help         this text\n"
         "  --                 ends the options; a name after it is the output\n";
}

bool ParseCaptureArguments(int argc, char** argv, CaptureOptions& options, bool& help, std::string& error) {
  help = false;
  Given given;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.empty() || arg[0] != '-') {
      if (!TakeOutput(arg, options, given, error)) return false;
      continue;
    }
    auto value = [&](const char*& out) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    const char* text = nullptr;
    if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      help = true;
      return true;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(text) || !TakeOutput(text, options, given, error)) return false;
    } else if (arg == "--data") {
      if (!value(text)) return false;
      options.dataDir = text;
    } else if (arg == "--png") {
      options.useVideo = false;
    } else if (arg == "--no-audio") {
      options.audio = false;
    } else if (arg == "--fps" || arg == "--from" || arg == "--to" || arg == "--frame") {
      if (!value(text) || !TakeNumber(arg, text, options, given, error)) return false;
    } else {
      error = "unknown argument \"" + arg + "\"";
      return false;
    }
  }
  return CheckCombination(options, given, error);
}
