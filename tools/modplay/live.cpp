// Live playback: start the sound system, play the module from the player thread,
// show where the song is, and shut everything down in order on the way out.
#include "tools/modplay/live.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sound/dsmnsnd.h"
#include "sound/module.h"
#include "sound/sdevice.h"
#include "sound/sound.h"
#include "tools/modplay/keyreader.h"
#include "tools/modplay/probe.h"
#include "tools/modplay/quietstderr.h"
#include "tools/modplay/statusline.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

int Report(const char* what) {
  std::fprintf(stderr, "modplay: %s: %s\n", what, SoundErrorMessage(SoundLastError()));
  return 1;
}

bool DisplayNamed() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x != nullptr && *x != 0) || (wayland != nullptr && *wayland != 0);
}

void ApplyOptions(const ModplayOptions& options) {
  SoundSetOption(soundOptMixRate, options.rate);
  SoundSetOption(soundOptOutputMode,
                 (options.mono ? sdMono : sdStereo) | (options.eightBit ? sd8bit : sd16bit));
  SoundSetOption(soundOptInterpolation, options.interpolate ? 1 : 0);
  SoundSetOption(soundOptFilterMode, options.filter);
  // Without a sound card the song still keeps time at the rate asked for.
  NoSoundSetMixRate(options.rate);
}

// -1 to go on; else the exit status (0 when cancelled, 1 when it failed).
int RunSetupDialog(bool verbose) {
  int confirmed = 0;
  {
    QuietStderr quiet(!verbose);
    confirmed = SoundConfigDialog();
  }
  if (confirmed != 0) return -1;
  if (SoundLastError() == 0) return 0;  // cancelled
  if (!DisplayNamed()) {
    std::fprintf(stderr, "modplay: --setup shows a window and needs a display; none is set (DISPLAY)\n");
    return 1;
  }
  return Report("cannot show the set-up dialog");
}

// What the user sees once before the song starts.
void Announce(const ModplayOptions& options, const Module& module) {
  const SoundDevice* device = SoundCurrentDevice();
  unsigned rate = 0;
  if (device != nullptr) device->GetMixRate(&rate);
  if (device == &NoSoundDevice) {
    std::fprintf(stderr, "modplay: no sound output could be opened; the song plays silently, in real time\n");
  }
  if (options.quiet) return;
  const std::string title = PrintableName(module.name, sizeof module.name);
  if (device == &NoSoundDevice) {
    std::printf("Playing \"%s\" (%u orders, %u channels) without sound. Press q or Ctrl-C to stop.\n",
                title.c_str(), module.songLength, module.numChannels);
  } else {
    std::printf("Playing \"%s\" (%u orders, %u channels) on %s at %u Hz. Press q or Ctrl-C to stop.\n",
                title.c_str(), module.songLength, module.numChannels, device != nullptr ? device->name : "?",
                rate);
  }
  std::fflush(stdout);
}

// Shows the position until the song ends, q is pressed or a signal comes;
// returns the exit status.
int FollowSong(const ModplayOptions& options, const Module& module, unsigned handle) {
  interrupted = 0;
  auto previousInt = std::signal(SIGINT, OnInterrupt);
  auto previousTerm = std::signal(SIGTERM, OnInterrupt);
  const DWORD start = GetTickCount();
  int status = 0;
  StatusLine statusLine(options.quiet);
  {
    KeyReader keys;
    for (;;) {
      SoundPlayInfo info{};
      if (SoundGetPlayInfo(handle, &info) == 0) break;
      statusLine.Show(info, module.songLength, GetTickCount() - start);
      if (info.loopCount != 0) {
        // The song came to its end; what is still queued for the card plays out.
        for (std::intptr_t waited = 0; waited < SoundGetOption(soundOptBufferLength); waited += 100) {
          if (interrupted != 0 || keys.QuitPressed(100)) break;
        }
        break;
      }
      if (interrupted != 0 || keys.QuitPressed(100)) {
        status = interrupted != 0 ? 130 : 0;
        break;
      }
    }
  }
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  statusLine.End();
  return status;
}

int CloseSound(int status, bool verbose) {
  int closed = 0;
  {
    QuietStderr quiet(!verbose);
    closed = SoundClose();
  }
  return closed == 0 && status == 0 ? Report("closing the sound system") : status;
}

}  // namespace

int ModplayLiveRun(const ModplayOptions& options, bool showSetup) {
  ModuleHeaderFacts header;
  if (std::string reason; !ProbeModule(options.file, &header, reason)) {
    std::fprintf(stderr, "modplay: %s: %s\n", options.file.c_str(), reason.c_str());
    return 1;
  }
  SoundStartup();
  ApplyOptions(options);
  if (showSetup) {
    if (int status = RunSetupDialog(options.verbose); status >= 0) return status;
  }
  int started = 0;
  {
    QuietStderr quiet(!options.verbose);
    started = SoundInit();
  }
  if (started == 0) return CloseSound(Report("cannot start the sound system"), options.verbose);
  SoundStartBackgroundPlay(0);
  Module* module = SoundLoadModule(options.file.c_str());
  if (module == nullptr) return CloseSound(Report(options.file.c_str()), options.verbose);
  unsigned handle = SoundPlayModule(module, 0);
  if (handle == 0) {
    int status = Report("cannot play the module");
    SoundFreeModule(module);
    return CloseSound(status, options.verbose);
  }
  Announce(options, *module);
  const int status = FollowSong(options, *module, handle);
  SoundStopModule(handle);
  SoundFreeModule(module);
  SoundStopBackgroundPlay();
  return CloseSound(status, options.verbose);
}
