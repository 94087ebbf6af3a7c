// Offline rendering with a progress report: a bar redrawn in place on a
// terminal, whole lines at each quarter otherwise (for logs).
#include "tools/modplay/render.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "sound/errors.h"
#include "sound/gmprender.h"
#include "sound/module.h"
#include "tools/common/outputfile.h"
#include "tools/common/samefile.h"
#include "tools/modplay/printable.h"
#include "tools/modplay/probe.h"
#include "tools/modplay/audiowriter.h"

namespace {

struct RenderState {
  AudioWriter* writer;
  double total;       // expected length (0 = unknown)
  bool show;          // progress wanted at all
  bool terminal;      // redraw one line instead of printing lines
  int lastShown = -1;
  bool writeFailed = false;
};

void ShowProgress(RenderState* state, double seconds) {
  if (!state->show || state->total <= 0) return;
  const int percent = static_cast<int>(std::min(100.0, 100.0 * seconds / state->total));
  if (!state->terminal) {
    if (percent / 25 != state->lastShown / 25 || state->lastShown < 0) {
      std::fprintf(stderr, "modplay: %3d%%  %.1f / %.1f s\n", percent, seconds, state->total);
    }
    state->lastShown = percent;
    return;
  }
  if (percent == state->lastShown) return;
  state->lastShown = percent;
  char bar[41];
  const int filled = percent * 40 / 100;
  for (int i = 0; i < 40; ++i) bar[i] = i < filled ? '#' : '-';
  bar[40] = 0;
  std::fprintf(stderr, "\r[%s] %3d%%  %6.1f / %.1f s", bar, percent, seconds, state->total);
  std::fflush(stderr);
}

bool WriteBlock(const std::uint8_t* data, std::size_t bytes, double seconds, void* user) {
  auto* state = static_cast<RenderState*>(user);
  if (bytes > 0 && !state->writer->Write(data, bytes)) {
    state->writeFailed = true;
    return false;
  }
  ShowProgress(state, seconds);
  return true;
}

int Complain(const std::string& message) {
  std::fprintf(stderr, "modplay: %s\n", message.c_str());
  return 1;
}

int Fail(const std::string& file, const std::string& reason) { return Complain(file + ": " + reason); }

// What the render needs to know before it starts.
struct Plan {
  double total = 0;      // expected length of all the plays
  double maxSeconds = 0;  // where the render stops at the latest
  std::string title;
};

// Says what an endless render writes; returns that length.
double FirstHour(const ModplayOptions& o, const char* why) {
  if (!o.quiet) std::fprintf(stderr, "modplay: %s %s; writing its first hour\n", o.file.c_str(), why);
  return gmpMaxSongSeconds;
}

// The song's length for the progress report, and the checks before any
// output is touched.
int Prepare(const ModplayOptions& o, Plan* plan) {
  ModuleHeaderFacts header;
  if (std::string reason; !ProbeModule(o.file, &header, reason)) return Fail(o.file, reason);
  if (toolio::SameFile(o.file, o.output)) {
    return Fail(o.output, "is the module itself; choose another output name");
  }
  Module* module = nullptr;
  if (int e = gmpLoadAnyModule(o.file.c_str(), nullptr, 0, &module); e != errOK) {
    return Fail(o.file, SoundErrorMessage(e));
  }
  plan->title = PrintableName(module->name, sizeof module->name);
  // The song's length serves the progress report and the limit of a render
  // that repeats; a quiet render played once stops at the same limit
  // whatever the length, so it skips the pass through the song.
  if (o.quiet && o.loop == 0) {
    ModuleFree(module, nullptr);
    plan->maxSeconds = gmpMaxSongSeconds;
    return 0;
  }
  double once = 0;
  const int e = gmpSongDuration(module, &once);
  ModuleFree(module, nullptr);
  if (e != errOK) return Fail(o.file, SoundErrorMessage(e));
  if (once >= gmpMaxSongSeconds) {
    plan->total = plan->maxSeconds = FirstHour(o, "loops for ever");
  } else if (o.loop < 0) {
    plan->total = plan->maxSeconds = FirstHour(o, "repeats for ever (--loop -1)");
  } else {
    plan->total = once * (o.loop + 1);
    plan->maxSeconds = gmpMaxSongSeconds * (o.loop + 1);
  }
  return 0;
}

RenderSettings Settings(const ModplayOptions& o, const Plan& plan) {
  RenderSettings settings;
  settings.rate = o.rate;
  settings.mono = o.mono;
  settings.eightBit = o.eightBit;
  settings.interpolate = o.interpolate;
  settings.filter = o.filter;
  settings.repeats = o.loop;
  settings.maxSeconds = plan.maxSeconds;
  return settings;
}

AudioFormat OutputFormat(const ModplayOptions& o, const std::string& title) {
  AudioFormat format;
  format.container = OutputContainer(o);
  format.rate = o.rate;
  format.channels = o.mono ? 1 : 2;
  format.bits = o.eightBit ? 8 : 16;
  // Names are padded with spaces in most module formats.
  format.title = title.substr(0, title.find_last_not_of(' ') + 1);
  return format;
}

}  // namespace

int RenderModule(const ModplayOptions& o) {
  Plan plan;
  if (int status = Prepare(o, &plan); status != 0) return status;
  toolio::OutputFile out;
  std::string error;
  if (!out.Open(o.output, error)) return Complain(error);
  AudioWriter writer;
  if (!writer.Open(&out, OutputFormat(o, plan.title), error)) return Complain(error);
  RenderState state{&writer, plan.total, !o.quiet, isatty(STDERR_FILENO) != 0};
  double seconds = 0;
  const int e = gmpRenderModule(o.file.c_str(), Settings(o, plan), WriteBlock, &state, &seconds);
  if (e == errOK && !state.writeFailed) {
    state.total = seconds;
    ShowProgress(&state, seconds);  // the full bar
  }
  if (state.show && state.terminal) std::fprintf(stderr, "\n");
  if (e != errOK) {
    out.Abandon();
    return Fail(o.file, SoundErrorMessage(e));
  }
  if (!writer.Finish(error)) return Complain(error);
  if (!o.quiet) std::fprintf(stderr, "modplay: wrote %.3f s to %s\n", seconds, o.output.c_str());
  return 0;
}
