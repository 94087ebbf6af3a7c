// democapture's options, declared once for parsing and for --help.
#include "tools/democapture/capture_options.h"

#include <cmath>

#include "tools/common/cli.h"
#include "tools/democapture/output_file.h"

namespace {

// A time of the presentation in seconds: finite and not negative.
CLI::Validator Seconds() {
  return CLI::Validator(
      [](std::string& value) {
        try {
          std::size_t used = 0;
          const double s = std::stod(value, &used);
          if (used == value.size() && std::isfinite(s) && s >= 0.0) return std::string();
        } catch (const std::exception&) {
        }
        return "takes a time in seconds, 0 or more, not \"" + value + "\"";
      },
      "", "SECONDS");
}

// Which options were given, for the checks the parser cannot make by itself.
struct Given {
  const CLI::Option *named, *positional, *fps, *from, *to, *frame;
};

// One output, named once, of the right kind; options that contradict each other
// are refused rather than one of them ignored. Empty when all is well.
std::string CheckCombination(const CaptureOptions& o, const Given& given, const std::string& named,
                             const std::string& positional) {
  if (given.named->count() > 0 && given.positional->count() > 0) {
    return "one output only: \"" + named + "\" and \"" + positional + "\"";
  }
  if (o.output.empty()) return "an output file is needed (-o)";
  if (given.frame->count() > 0) {
    if (given.from->count() > 0 || given.to->count() > 0) return "--frame takes no --from or --to";
    if (given.fps->count() > 0) return "--frame takes no --fps: it makes one picture";
    return ExtensionOf(o.output) == "png" ? "" : "--frame writes a PNG picture: name it .png";
  }
  if (!(o.to > o.from)) return "--to must lie after --from";
  return "";
}

const char* const forms =
    "  democapture -o OUTPUT [--fps N] [--from S] [--to S] [--data DIR] [--png] [--no-audio]\n"
    "              [--draw-threads N]\n"
    "  democapture --frame T -o PICTURE.png [--data DIR]\n"
    "\n"
    "A name after -- is the output even when it starts with -.";

}  // namespace

std::optional<int> ParseCaptureOptions(int argc, char** argv, CaptureOptions* o) {
  CLI::App app{"Plays the presentation offline on a virtual clock and writes it as a video with\n"
               "its soundtrack: H.264 and AAC in the container the name asks for (.mp4, .mkv,\n"
               ".mov); with --png, or when built without libavcodec, numbered PNG frames in\n"
               "OUTPUT-stem_frames/ and the soundtrack in OUTPUT-stem.wav.",
               "democapture"};
  toolcli::Setup(app);
  app.footer(forms);
  std::string named, positional;
  Given given{};
  given.positional = app.add_option("OUTPUT", positional, "the output, when -o does not name it")->type_name("");
  given.named = app.add_option("-o,--output", named, "where the video (or, with --frame, the picture) goes")->type_name("FILE");
  given.fps = app.add_option("--fps", o->fps, "frames per second of the video, 1..1000 (default 60)")
                  ->type_name("N")
                  ->check(toolcli::Range(1.0, 1000.0));
  given.from = app.add_option("--from", o->from, "where the video starts, in seconds (default 0)")
                   ->type_name("S")
                   ->check(Seconds());
  given.to = app.add_option("--to", o->to, "where it ends, in seconds (default 218, the end)")->type_name("S")->check(Seconds());
  given.frame = app.add_option("--frame", o->frameTime, "one picture of the presentation at T seconds, as PNG\n(not with --fps, --from, --to)")
                    ->type_name("T")
                    ->check(Seconds());
  app.add_option("--data", o->dataDir, "folder holding demo.dat and music.s3m (default: the current\none, else the installed content)")
      ->type_name("DIR")
      ->check(toolcli::NonEmpty());
  app.add_flag("--png", [o](std::int64_t) { o->useVideo = false; }, "PNG frames and a WAV instead of a video");
  app.add_flag("--no-audio", [o](std::int64_t) { o->audio = false; }, "leave the soundtrack out");
  app.add_option("--draw-threads", o->drawThreads, "threads drawing each frame's rows, 1 or 2 (default 2)")
      ->type_name("N")
      ->check(toolcli::Range(1, 2));
  app.add_flag("--quiet", o->quiet, "no progress bar and no closing summary");
  if (auto status = toolcli::Parse(app, argc, argv)) return status;
  o->output = named.empty() ? positional : named;
  if (const std::string error = CheckCombination(*o, given, named, positional); !error.empty()) {
    return toolcli::UsageError(app, error);
  }
  return std::nullopt;
}
