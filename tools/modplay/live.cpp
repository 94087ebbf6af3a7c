// Live playback: start the sound system, play the module from the player thread,
// show where the song is, and shut everything down in order on the way out.
#include "tools/modplay/live.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "sound/module.h"
#include "sound/sdevice.h"
#include "sound/sound.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

// Puts the terminal into single-key mode for as long as it lives.
class KeyReader {
public:
  KeyReader() {
    if (isatty(STDIN_FILENO) != 0 && tcgetattr(STDIN_FILENO, &saved_) == 0) {
      termios raw = saved_;
      raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
      raw.c_cc[VMIN] = 0;
      raw.c_cc[VTIME] = 0;
      active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
  }
  ~KeyReader() {
    if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  KeyReader(const KeyReader&) = delete;
  KeyReader& operator=(const KeyReader&) = delete;

  // True when q (or Q) was pressed; waits at most `ms` for a key.
  bool QuitPressed(int ms) {
    if (!active_) {
      Sleep(static_cast<DWORD>(ms));
      return false;
    }
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (poll(&in, 1, ms) <= 0) return false;
    char key = 0;
    while (read(STDIN_FILENO, &key, 1) == 1) {
      if (key == 'q' || key == 'Q') return true;
    }
    return false;
  }

private:
  termios saved_{};
  bool active_ = false;
};

int Report(const char* what) {
  std::fprintf(stderr, "modplay: %s: %s\n", what, SoundErrorMessage(SoundLastError()));
  return 1;
}

}  // namespace

int ModplayLive(const ModplayOptions& options) { return ModplayLiveRun(options, false); }

int ModplayLiveRun(const ModplayOptions& options, bool showSetup) {
  SoundStartup();
  SoundSetOption(soundOptMixRate, options.rate);
  SoundSetOption(soundOptOutputMode,
                 (options.mono ? sdMono : sdStereo) | (options.eightBit ? sd8bit : sd16bit));
  SoundSetOption(soundOptInterpolation, options.interpolate ? 1 : 0);
  SoundSetOption(soundOptFilterMode, options.filter);
  if (showSetup && SoundConfigDialog() == 0) {
    if (SoundLastError() != 0) return Report("cannot show the set-up dialog");
    return 0;  // cancelled
  }
  if (SoundInit() == 0) {
    int status = Report("cannot start the sound system");
    SoundClose();
    return status;
  }
  SoundStartBackgroundPlay(0);
  Module* module = SoundLoadModule(options.file.c_str());
  if (module == nullptr) {
    int status = Report(options.file.c_str());
    SoundClose();
    return status;
  }
  unsigned handle = SoundPlayModule(module, 0);
  if (handle == 0) {
    int status = Report("cannot play the module");
    SoundFreeModule(module);
    SoundClose();
    return status;
  }

  const SoundDevice* device = SoundCurrentDevice();
  unsigned rate = 0;
  if (device != nullptr) device->GetMixRate(&rate);
  if (!options.quiet) {
    std::printf("Playing \"%s\" (%u orders, %u channels) on %s at %u Hz. Press q or Ctrl-C to stop.\n",
                module->name, module->songLength, module->numChannels, device != nullptr ? device->name : "?",
                rate);
    std::fflush(stdout);
  }

  interrupted = 0;
  auto previousInt = std::signal(SIGINT, OnInterrupt);
  auto previousTerm = std::signal(SIGTERM, OnInterrupt);
  DWORD start = GetTickCount();
  int status = 0;
  {
    KeyReader keys;
    for (;;) {
      SoundPlayInfo info{};
      if (SoundGetPlayInfo(handle, &info) == 0) break;
      DWORD elapsed = GetTickCount() - start;
      if (!options.quiet) {
        std::printf("\rposition %3u/%u  pattern %3u  row %2u  %2u:%02u.%u ", info.position,
                    module->songLength, info.pattern, info.row, elapsed / 60000, elapsed / 1000 % 60,
                    elapsed / 100 % 10);
        std::fflush(stdout);
      }
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
  if (!options.quiet) std::printf("\n");

  SoundStopModule(handle);
  SoundFreeModule(module);
  SoundStopBackgroundPlay();
  if (SoundClose() == 0) return Report("closing the sound system");
  return status;
}
