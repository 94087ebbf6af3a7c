// Sound configuration: the set-up dialog and its custom-quality dialog, and the
// stored settings (a file of five numbers, or a registry key). The operations
// themselves are declared with the calling interface in sound/sound.h; this
// header names the dialogs' controls and presets for hosts and checks.
#pragma once

#include "sound/sound.h"

// Set-up dialog controls.
enum : int {
  cnfPresetFirst = 1001,  // 1001..1005: the quality presets
  cnfPresetLast = 1005,
  cnfCustom = 1006,
  cnfStereo = 1008,
  cnfSoundCard = 1011,
  cnfBufferLength = 1015,
  cnfDSoundBuffer = 1017,
  cnfNeverUseDSound = 1026,
};

// Custom dialog controls.
enum : int {
  cnfCustomRate = 1019,
  cnfCustomNormal = 1022,
  cnfCustomInterpolating = 1023,
};

// The private message that opens the custom dialog from the set-up dialog.
inline constexpr UINT cnfOpenCustomMessage = 0x1B42;

struct SoundQualityPreset {
  int id;
  const char* text;
  unsigned rate;
  int interpolation;
};
inline constexpr SoundQualityPreset soundQualityPresets[5] = {
    {1001, "V&ery Low (smallest CPU usage)", 22050, 0},
    {1002, "&Low", 32000, 0},
    {1003, "&Medium", 44100, 0},
    {1004, "&High", 32000, 1},
    {1005, "&Very High (largest CPU usage)", 44100, 1},
};

inline constexpr unsigned soundCustomRates[8] = {8000, 11025, 16000, 22050, 27429, 32000, 37800, 44100};

// The dialogs' templates, as built in memory (for checks of their layout).
const DLGTEMPLATE* SoundSetupDialogTemplate();
const DLGTEMPLATE* SoundCustomDialogTemplate();
