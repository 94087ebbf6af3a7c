// Live playback of the list: for each module start the sound system, play it
// from the player thread, follow it, and shut everything down in order
// before the next one.
#include "tools/modplay/live.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sound/dsmnsnd.h"
#include "sound/module.h"
#include "sound/sdevice.h"
#include "sound/sound.h"
#include "sound/errors.h"
#include "sound/gmprender.h"
#include "tools/modplay/followsong.h"
#include "tools/modplay/printable.h"
#include "tools/modplay/probe.h"
#include "tools/modplay/quietstderr.h"

namespace {

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
void Announce(const ModplayOptions& options, const Module& module, std::size_t index) {
  static bool silenceSaid = false;
  const SoundDevice* device = SoundCurrentDevice();
  unsigned rate = 0;
  if (device != nullptr) device->GetMixRate(&rate);
  if (device == &NoSoundDevice && !silenceSaid) {
    std::fprintf(stderr, "modplay: no sound output could be opened; the song plays silently, in real time\n");
    silenceSaid = true;
  }
  if (options.quiet) return;
  static bool keysSaid = false;
  if (!keysSaid && isatty(STDIN_FILENO) != 0) {
    std::printf("Keys: space pause, left/right order, n/p next/previous file, +/- volume, q quit.\n");
    keysSaid = true;
  }
  if (options.files.size() > 1) std::printf("[%zu/%zu] %s\n", index + 1, options.files.size(),
                                            PrintableFileName(options.files[index]).c_str());
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

// The length of one play-through, for the status line (-1 when the song
// never ends); false, with the message printed, when the file is no module.
bool MeasureSong(const std::string& file, double* seconds) {
  ModuleHeaderFacts header;
  if (std::string reason; !ProbeModule(file, &header, reason)) {
    std::fprintf(stderr, "modplay: %s: %s\n", file.c_str(), reason.c_str());
    return false;
  }
  Module* module = nullptr;
  if (int e = gmpLoadAnyModule(file.c_str(), nullptr, 0, &module); e != errOK) {
    std::fprintf(stderr, "modplay: %s: %s\n", file.c_str(), SoundErrorMessage(e));
    return false;
  }
  if (gmpSongDuration(module, seconds) != errOK || *seconds >= gmpMaxSongSeconds) *seconds = -1;
  ModuleFree(module, nullptr);
  return true;
}

int CloseSound(int status, bool verbose) {
  int closed = 0;
  {
    QuietStderr quiet(!verbose);
    closed = SoundClose();
  }
  return closed == 0 && status == 0 ? Report("closing the sound system") : status;
}

// One play-through of the list's entry `index`: the song's length first
// (while the sound system is closed, since it uses the player), then the
// sound system started, the song played and followed, and everything closed.
// *failed is set when the file cannot be played.
AfterSong PlayEntry(const ModplayOptions& options, std::size_t index, bool* failed) {
  const std::string& file = options.files[index];
  FollowedSong song;
  if (!MeasureSong(file, &song.status.duration)) {
    *failed = true;
    return AfterSong::next;
  }
  int started = 0;
  {
    QuietStderr quiet(!options.verbose);
    started = SoundInit();
  }
  if (started == 0) {
    *failed = CloseSound(Report("cannot start the sound system"), options.verbose) != 0;
    return AfterSong::quit;
  }
  SoundStartBackgroundPlay(0);
  Module* module = SoundLoadModule(file.c_str());
  if (module == nullptr) {
    *failed = true;
    CloseSound(Report(file.c_str()), options.verbose);
    return AfterSong::next;
  }
  song.module = module;
  song.handle = SoundPlayModule(module, options.loop != 0 ? 1 : 0);
  AfterSong after = AfterSong::next;
  if (song.handle == 0) {
    *failed = Report("cannot play the module") != 0;
  } else {
    Announce(options, *module, index);
    song.status.file = PrintableFileName(file);
    song.status.index = static_cast<unsigned>(index + 1);
    song.status.count = static_cast<unsigned>(options.files.size());
    song.status.songLength = module->songLength;
    after = FollowSong(options, song);
    SoundStopModule(song.handle);
  }
  SoundFreeModule(module);
  SoundStopBackgroundPlay();
  if (CloseSound(0, options.verbose) != 0) *failed = true;
  return after;
}

}  // namespace

int ModplayLiveRun(const ModplayOptions& options, bool showSetup) {
  SoundStartup();
  ApplyOptions(options);
  if (showSetup) {
    if (int status = RunSetupDialog(options.verbose); status >= 0) return status;
  }
  bool anyFailed = false;
  bool backwards = false;  // a file that fails is passed over in the direction the user went
  for (std::size_t index = 0; index < options.files.size();) {
    bool failed = false;
    const AfterSong after = PlayEntry(options, index, &failed);
    anyFailed = anyFailed || failed;
    if (after == AfterSong::interrupted) return 130;
    if (after == AfterSong::quit) break;
    if (!failed) backwards = after == AfterSong::previous;
    if (backwards && index > 0) {
      --index;
    } else if (after == AfterSong::previous) {
      backwards = false;  // the first file again
    } else {
      backwards = false;
      ++index;
    }
  }
  return anyFailed ? 1 : 0;
}
