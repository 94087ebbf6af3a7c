// Silences standard error for as long as it lives: the audio and video back
// ends print their own diagnostics (ALSA's "cannot find card", SDL's
// XDG_RUNTIME_DIR) while the sound system starts, which say nothing a
// modplay user can act on. modplay reports the failure itself.
#pragma once

class QuietStderr {
 public:
  explicit QuietStderr(bool quiet);
  ~QuietStderr();
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_ = -1;
};
