// democapture: renders the presentation to a video with sound, or one picture.

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "driver/contentdir.h"
#include "tools/democapture/capture.h"

namespace {

void Report(const CaptureOptions& options, const CaptureResult& result) {
  if (!result.notes.empty()) std::fprintf(stderr, "democapture: %s\n", result.notes.c_str());
  if (options.frameTime >= 0.0) {
    std::printf("democapture: wrote %s (t = %.3f s)\n", options.output.c_str(), options.frameTime);
  } else if (result.encoded) {
    std::printf("democapture: wrote %s: %lld frames, %.2f s %s\n", options.output.c_str(),
                static_cast<long long>(result.frames), result.seconds,
                result.withSound ? "with sound" : "without sound");
  } else {
    std::printf("democapture: wrote %lld PNG frames%s\n", static_cast<long long>(result.frames),
                result.audioFrames > 0 ? (result.withSound ? " and a WAV soundtrack" : " and a silent WAV") : "");
  }
}

}  // namespace

int main(int argc, char** argv) {
  CaptureOptions options;
  if (auto status = ParseCaptureOptions(argc, argv, &options)) return *status;
  if (options.dataDir.empty()) options.dataDir = DemoDefaultContentDir(DemoProgramPath());
  options.progress = !options.quiet && isatty(STDERR_FILENO) != 0;
  CaptureResult result;
  std::string error;
  if (!RunCapture(options, result, error)) {
    std::fprintf(stderr, "democapture: %s\n", error.c_str());
    if (result.stopSignal != 0) {
      // Ends as the signal would have ended it, now that nothing is left behind.
      signal(result.stopSignal, SIG_DFL);
      raise(result.stopSignal);
    }
    return 1;
  }
  if (!options.quiet) Report(options, result);
  return 0;
}
