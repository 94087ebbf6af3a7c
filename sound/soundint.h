// Library-wide state of the calling interface, shared by its own files (the
// interface, the player thread and the configuration). Not for hosts.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/win32/win32.h"

struct SoundDevice;

namespace soundint {

// The interface lock, serialising interface operations with the poll step.
// Created once per process, on first use, and never deleted.
CRITICAL_SECTION* InterfaceLock();

// Progress flags: SoundClose undoes exactly the steps whose flag is set.
struct Progress {
  bool deviceInit;
  bool playerInit;
  bool sampleManagerInit;
  bool streamManagerInit;
  bool channelsOpen;
  bool channelsForModule;
  bool modulePlaying;
};

// Read and written under the interface lock.
extern Progress progress;
extern SoundDevice* device;

// The player thread's flags.
extern std::atomic<int> backgroundPlay;

// The working pair of the configuration dialogs.
struct WorkingPair {
  unsigned rate;
  int interpolation;
};
extern WorkingPair working;

// Stores an option's value as it is, without the normalising SoundSetOption
// applies (the stored configuration is restored as it was saved).
void StoreOption(int option, std::intptr_t value);

// Fatal-error shutdown: stops the playing modules, closes the player, the
// channels and the device; each returns an error code.
int ShutdownStopModules();
int ShutdownClosePlayer();
int ShutdownCloseChannels();
int ShutdownCloseDevice();

}  // namespace soundint
