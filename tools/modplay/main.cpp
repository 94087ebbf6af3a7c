// modplay: prints a module's facts (--info, --json), renders it to a WAV file
// through the player and the mixer (-o), or plays it live.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "sound/errors.h"
#include "sound/gmprender.h"
#include "sound/mem.h"
#include "sound/module.h"
#include "tools/modplay/options.h"
#include "tools/modplay/wavwriter.h"
#ifdef MODPLAY_HAVE_LIVE
#include "tools/modplay/live.h"
#endif

namespace {

constexpr const char* usage =
    "usage: modplay [options] FILE\n"
    "  Plays a module (MOD, S3M, XM or IT) live, prints its facts, or renders it\n"
    "  to a WAV file, played once to its end.\n"
    "\n"
    "  --info            print kind, name, channels, orders, patterns, instruments,\n"
    "                    samples and duration in seconds\n"
    "  --json            with --info: the same as one JSON object\n"
    "  -o, --output WAV  render to this WAV file instead of playing\n"
    "  --rate HZ         mixing rate, 8000..192000 (default 44100)\n"
    "  --mono            mono output (default stereo)\n"
    "  --8bit            8-bit output (default 16-bit)\n"
    "  --interpolate     interpolating (high quality) mixing\n"
    "  --filter N        output filter: 0 off, 1 light, 2 strong, 3 automatic (default)\n"
    "  --quiet           no progress bar\n"
    "  --setup           live play: show the sound set-up dialog first\n"
    "  -h, --help        this text\n";

const char* KindName(std::uint32_t kind) {
  switch (kind) {
    case modKindMOD: return "MOD";
    case modKindS3M: return "S3M";
    case modKindXM: return "XM";
    case modKindIT: return "IT";
    default: return "unknown";
  }
}

bool ParseUnsigned(const char* text, unsigned long low, unsigned long high, unsigned* value) {
  char* end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(text, &end, 10);
  if (errno != 0 || end == text || *end != 0 || text[0] == '-' || v < low || v > high) {
    return false;
  }
  *value = static_cast<unsigned>(v);
  return true;
}

// 0 when parsed, 1 on a usage error (message printed), 2 for --help.
int ParseArguments(int argc, char** argv, ModplayOptions* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "modplay: %s needs a value\n", name);
        return nullptr;
      }
      return argv[++i];
    };
    if (a == "-h" || a == "--help") {
      return 2;
    } else if (a == "--info") {
      o->info = true;
    } else if (a == "--json") {
      o->json = true;
    } else if (a == "-o" || a == "--output") {
      const char* v = value(a.c_str());
      if (v == nullptr) return 1;
      o->output = v;
    } else if (a == "--rate") {
      const char* v = value("--rate");
      if (v == nullptr) return 1;
      if (!ParseUnsigned(v, 8000, 192000, &o->rate)) {
        std::fprintf(stderr, "modplay: --rate takes a rate from 8000 to 192000 Hz\n");
        return 1;
      }
    } else if (a == "--mono") {
      o->mono = true;
    } else if (a == "--8bit") {
      o->eightBit = true;
    } else if (a == "--interpolate") {
      o->interpolate = true;
    } else if (a == "--filter") {
      const char* v = value("--filter");
      unsigned f = 0;
      if (v == nullptr) return 1;
      if (!ParseUnsigned(v, 0, 3, &f)) {
        std::fprintf(stderr, "modplay: --filter takes 0, 1, 2 or 3\n");
        return 1;
      }
      o->filter = static_cast<int>(f);
    } else if (a == "--setup") {
      o->setup = true;
    } else if (a == "--quiet") {
      o->quiet = true;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "modplay: unknown option %s\n", a.c_str());
      return 1;
    } else if (o->file.empty()) {
      o->file = a;
    } else {
      std::fprintf(stderr, "modplay: one module file at a time\n");
      return 1;
    }
  }
  if (o->file.empty()) {
    std::fprintf(stderr, "modplay: no module file given\n");
    return 1;
  }
  if (o->json && !o->info) {
    std::fprintf(stderr, "modplay: --json goes with --info\n");
    return 1;
  }
  return 0;
}

int Fail(const std::string& file, int code) {
  std::fprintf(stderr, "modplay: %s: %s\n", file.c_str(), SoundErrorMessage(code));
  return 1;
}

int Info(const ModplayOptions& o) {
  Module* module = nullptr;
  if (int e = gmpLoadAnyModule(o.file.c_str(), nullptr, 0, &module); e != errOK) {
    return Fail(o.file, e);
  }
  double seconds = 0;
  const int e = gmpSongDuration(module, &seconds);
  nlohmann::json facts = {
      {"kind", module->kind},
      {"name", std::string(module->name, strnlen(module->name, sizeof module->name))},
      {"channels", module->numChannels},
      {"orders", module->songLength},
      {"patterns", module->numPatterns},
      {"instruments", module->numInstruments},
      {"samples", module->numSamples},
      {"duration", static_cast<double>(static_cast<long long>(seconds * 1000 + 0.5)) / 1000},
  };
  const std::uint32_t kind = module->kind;
  ModuleFree(module, nullptr);
  if (e != errOK) {
    return Fail(o.file, e);
  }
  if (o.json) {
    // Names come from the file; bytes that are not UTF-8 are replaced.
    std::printf("%s\n", facts.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    return 0;
  }
  std::printf("kind:        %s (%u)\n", KindName(kind), kind);
  std::string name = facts["name"].get<std::string>();
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  }
  std::printf("name:        %s\n", name.c_str());
  std::printf("channels:    %u\n", facts["channels"].get<unsigned>());
  std::printf("orders:      %u\n", facts["orders"].get<unsigned>());
  std::printf("patterns:    %u\n", facts["patterns"].get<unsigned>());
  std::printf("instruments: %u\n", facts["instruments"].get<unsigned>());
  std::printf("samples:     %u\n", facts["samples"].get<unsigned>());
  std::printf("duration:    %.3f s\n", facts["duration"].get<double>());
  return 0;
}

struct RenderState {
  WavWriter* wav;
  double total;     // expected length, for the progress bar (0 = unknown)
  bool progress;
  int lastShown = -1;
};

bool WriteBlock(const std::uint8_t* data, std::size_t bytes, double seconds, void* user) {
  auto* state = static_cast<RenderState*>(user);
  if (bytes > 0 && !state->wav->Write(data, bytes)) {
    return false;
  }
  if (state->progress && state->total > 0) {
    const int percent = static_cast<int>(std::min(100.0, 100.0 * seconds / state->total));
    if (percent != state->lastShown) {
      state->lastShown = percent;
      char bar[41];
      const int filled = percent * 40 / 100;
      for (int i = 0; i < 40; ++i) bar[i] = i < filled ? '#' : '-';
      bar[40] = 0;
      std::fprintf(stderr, "\r[%s] %3d%%  %6.1f / %.1f s", bar, percent, seconds, state->total);
      std::fflush(stderr);
    }
  }
  return true;
}

int Render(const ModplayOptions& o) {
  double total = 0;
  {
    Module* module = nullptr;
    if (int e = gmpLoadAnyModule(o.file.c_str(), nullptr, 0, &module); e != errOK) {
      return Fail(o.file, e);
    }
    const int e = gmpSongDuration(module, &total);
    ModuleFree(module, nullptr);
    if (e != errOK) {
      return Fail(o.file, e);
    }
  }
  WavWriter wav;
  if (!wav.Open(o.output, o.rate, o.mono ? 1 : 2, o.eightBit ? 8 : 16)) {
    std::fprintf(stderr, "modplay: %s: cannot write: %s\n", o.output.c_str(), std::strerror(errno));
    return 1;
  }
  RenderState state{&wav, total, !o.quiet && isatty(STDERR_FILENO) != 0};
  RenderSettings settings;
  settings.rate = o.rate;
  settings.mono = o.mono;
  settings.eightBit = o.eightBit;
  settings.interpolate = o.interpolate;
  settings.filter = o.filter;
  double seconds = 0;
  const int e = gmpRenderModule(o.file.c_str(), settings, WriteBlock, &state, &seconds);
  if (state.progress) {
    if (e == errOK) {
      state.lastShown = -1;
      state.total = seconds;
      WriteBlock(nullptr, 0, seconds, &state);  // the full bar
    }
    std::fprintf(stderr, "\n");
  }
  const bool written = wav.Finish();
  if (e != errOK) {
    std::remove(o.output.c_str());
    return Fail(o.file, e);
  }
  if (!written) {
    std::fprintf(stderr, "modplay: %s: cannot write: %s\n", o.output.c_str(), std::strerror(errno));
    std::remove(o.output.c_str());
    return 1;
  }
  if (!o.quiet) {
    std::fprintf(stderr, "modplay: wrote %.3f s to %s\n", seconds, o.output.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ModplayOptions options;
  switch (ParseArguments(argc, argv, &options)) {
    case 0: break;
    case 2: std::fputs(usage, stdout); return 0;
    default: std::fputs(usage, stderr); return 2;
  }
  if (options.info) {
    return Info(options);
  }
  if (!options.output.empty()) {
    return Render(options);
  }
#ifdef MODPLAY_HAVE_LIVE
  return ModplayLiveRun(options, options.setup);
#else
  std::fprintf(stderr, "modplay: live playback is not built in; use --info or -o FILE.wav\n");
  return 2;
#endif
}
