#include "tools/modplay/followsong.h"

#include <algorithm>
#include <csignal>
#include <cstdint>

#include "sound/module.h"
#include "sound/sound.h"
#include "tools/modplay/keyreader.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

// The volume stays between silence and twice the normal level.
constexpr unsigned volumeStep = 10;
constexpr unsigned maxVolume = 200;

// The amplification is the sound system's, kept from one song to the next.
unsigned volumePercent = 100;

struct Clock {
  DWORD startedAt = GetTickCount();
  DWORD pausedAt = 0;
  DWORD pausedFor = 0;
  bool paused = false;
  DWORD Elapsed() const { return (paused ? pausedAt : GetTickCount()) - startedAt - pausedFor; }
  void Toggle() {
    if (paused) pausedFor += GetTickCount() - pausedAt;
    else pausedAt = GetTickCount();
    paused = !paused;
  }
};

// Acts on a key; returns true when it ends the song, with *after set.
bool ApplyKey(PlayKey key, FollowedSong& song, Clock& clock, AfterSong* after) {
  const unsigned position = song.status.info.position;
  switch (key) {
    case PlayKey::quit: *after = AfterSong::quit; return true;
    case PlayKey::nextFile: *after = AfterSong::next; return true;
    case PlayKey::previousFile: *after = AfterSong::previous; return true;
    case PlayKey::pause:
      if (clock.paused ? SoundResume() != 0 : SoundSuspend() != 0) clock.Toggle();
      return false;
    case PlayKey::nextOrder:
      if (position + 1 < song.module->songLength) SoundSetModulePosition(song.handle, position + 1);
      return false;
    case PlayKey::previousOrder:
      SoundSetModulePosition(song.handle, position > 0 ? position - 1 : 0);
      return false;
    case PlayKey::louder:
    case PlayKey::softer:
      volumePercent = key == PlayKey::louder ? std::min(volumePercent + volumeStep, maxVolume)
                                             : volumePercent - std::min(volumePercent, volumeStep);
      SoundSetAmplification(volumePercent);
      return false;
    default: return false;
  }
}

// Reads the position and the channels; false when the song is gone.
bool Refresh(FollowedSong& song, const Clock& clock) {
  if (SoundGetPlayInfo(song.handle, &song.status.info) == 0) return false;
  std::uint8_t volumes[256];
  const unsigned channels = SoundGetChannelVolumes(song.handle, volumes, sizeof volumes);
  song.status.channelVolumes.assign(volumes, volumes + channels);
  song.status.elapsedMs = clock.Elapsed();
  song.status.volume = volumePercent;
  song.status.paused = clock.paused;
  return true;
}

// The song came to its (last) end; what is still queued for the card plays out.
AfterSong PlayOut(KeyReader& keys) {
  for (std::intptr_t waited = 0; waited < SoundGetOption(soundOptBufferLength); waited += 100) {
    if (interrupted != 0) return AfterSong::interrupted;
    if (keys.Next(100) == PlayKey::quit) return AfterSong::quit;
  }
  return AfterSong::next;
}

AfterSong Follow(const ModplayOptions& options, FollowedSong& song, StatusLine& line) {
  KeyReader keys;
  Clock clock;
  bool lastRound = options.loop == 0;
  for (;;) {
    if (!Refresh(song, clock)) return AfterSong::next;
    line.Show(song.status);
    if (!lastRound && song.status.info.loopCount >= static_cast<unsigned>(options.loop)) {
      lastRound = options.loop > 0 && SoundEndAtNextWrap(song.handle) != 0;
    } else if (lastRound && song.status.info.loopCount != 0) {
      return PlayOut(keys);
    }
    if (interrupted != 0) return AfterSong::interrupted;
    AfterSong after = AfterSong::next;
    if (ApplyKey(keys.Next(100), song, clock, &after)) return after;
  }
}

}  // namespace

AfterSong FollowSong(const ModplayOptions& options, FollowedSong& song) {
  interrupted = 0;
  auto previousInt = std::signal(SIGINT, OnInterrupt);
  auto previousTerm = std::signal(SIGTERM, OnInterrupt);
  SoundSetAmplification(volumePercent);
  StatusLine line(options.quiet);
  const AfterSong after = Follow(options, song, line);
  // A paused device is resumed before the song is stopped and closed.
  SoundResume();
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);
  line.End();
  return after;
}
