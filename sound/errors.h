// Error codes of the sound system, their message texts, the translation of
// operating-system file errors, and the fatal-error path of the player thread.
// Every sound operation returns one of these codes (0 = success); nothing throws.
#pragma once

#include <cstdint>

#include "platform/win32/win32.h"

// The 51 codes. The table is fixed, including codes this system never raises.
enum : int {
  errOK = 0,
  errUndefined = 1,              // "Undefined error"
  errOutOfMemory = 2,            // "Out of memory"
  errHeapCorrupted = 3,          // "Heap corrupted"
  errInvalidBlock = 4,           // "Invalid memory block"
  errOutOfEMS = 5,               // "Out of EMS memory"
  errEMSHeapCorrupted = 6,       // "EMS memory heap corrupted"
  errInvalidEMSBlock = 7,        // "Invalid EMS memory block"
  errEMMFailure = 8,             // "Expanded Memory Manager failure"
  errOutOfCardMemory = 9,        // "Out of soundcard memory"
  errCardHeapCorrupted = 10,     // "Soundcard memory heap corrupted"
  errInvalidCardBlock = 11,      // "Invalid soundcard memory block"
  errNoSampleHandles = 12,       // "Out of sample handles"
  errFileOpen = 13,              // "Unable to open file"
  errFileRead = 14,              // "Unable to read file"
  errInvalidModule = 15,         // "Invalid module file"
  errInvalidInstrument = 16,     // "Invalid instrument in module"
  errInvalidPattern = 17,        // "Invalid pattern data in module"
  errInvalidChannel = 18,        // "Invalid channel number"
  errInvalidSampleHandle = 19,   // "Invalid sample handle"
  errNoChannels = 20,            // "Sound Device channels not open"
  errDeviceFailure = 21,         // "Sound Device hardware failure"
  errInvalidArguments = 22,      // "Invalid function arguments"
  errFileNotFound = 23,          // "File does not exist"
  errInvalidFileHandle = 24,     // "Invalid file handle"
  errAccessDenied = 25,          // "Access denied"
  errFileExists = 26,            // "File exists"
  errTooManyFiles = 27,          // "Too many open files"
  errDiskFull = 28,              // "Disk full"
  errEndOfFile = 29,             // "Unexpected end of file"
  errInvalidPath = 30,           // "Invalid path"
  errFileWrite = 31,             // "Unable to write file"
  errVDSLock = 32,               // "Unable to lock Virtual DMA buffer"
  errVDSUnavailable = 33,        // "Unable to use Virtual DMA Services"
  errVDSVersion = 34,            // "Invalid Virtual DMA Service version"
  errDPMIFailure = 35,           // "DPMI failure"
  errInvalidDescriptor = 36,     // "Invalid segment descriptor"
  errOutOfResources = 37,        // "Out of system resources"
  errInvalidDevice = 38,         // "Invalid device used"
  errUnsupported = 39,           // "Unsupported function used"
  errDeviceNotAvailable = 40,    // "Device is not available"
  errDeviceBusy = 41,            // "Device is busy"
  errBadMode = 42,               // "Unsupported output mode used"
  errUnableToLock = 43,          // "Unable to lock memory"
  errNoDSoundWindow = 44,        // "DirectSound Window Handle not set"
  errInvalidADPCM = 45,          // "Invalid ADPCM data"
  errInvalidSampleType = 46,     // "Invalid sample type"
  errNoModulePlaying = 47,       // "No module is being played"
  errOutOfChannels = 48,         // "Out of sound channels"
  errNoDSoundDLL = 49,           // "Couldn't load dsound.dll"
  errBadWave = 50,               // "Bad WAVE file"
  errUnsupportedSampleFormat = 51,  // "Unsupported sample data format"
};

inline constexpr int soundErrorCount = 51;

// Message text of a code 1..51. Code 0 gives "OK"; any other code gives
// "Unknown error", so a caller that passes a stray value still gets a text.
const char* SoundErrorMessage(int code);

// The library-wide last error: written by the calling interface when one of
// its operations fails, 0 after start-up. Safe to read from any thread.
int SoundLastError();
void SoundSetLastError(int code);

// Translates a last-error value after a failed file call (Windows names,
// ERROR_FILE_NOT_FOUND and so on) into a sound error code.
int SoundTranslateSystemError(DWORD systemError);

// The error-exit handler receives the assembled message. It is expected not to
// return; if it does, the caller carries on as if the failed step had succeeded.
using SoundErrorExitHandler = void (*)(const char* message);

// The default handler: the message and a line feed on standard error, then
// exit status 255.
void SoundDefaultErrorExit(const char* message);

// Replaces the handler; a null handler restores the default.
void SoundSetErrorExit(SoundErrorExitHandler handler);

// Hands a message of the caller's own, as it stands, to the current handler.
void SoundCallErrorExit(const char* message);

// The steps SoundReportError runs to shut the sound system down before it
// reports (stop the playing module, close the module player, close the
// channels, close the device). The calling interface registers them; each
// returns an error code, and a failing step is reported through
// SoundReportUninitError. Up to soundMaxShutdownSteps steps are kept; a null
// list (or count 0) clears them.
using SoundShutdownStep = int (*)();
inline constexpr int soundMaxShutdownSteps = 8;
void SoundSetShutdownSteps(const SoundShutdownStep* steps, int count);

// Fatal path of the player thread: shuts the sound system down, then calls the
// error-exit handler with "QUAVR Error: " and the code's message.
void SoundReportError(int code);

// Calls the error-exit handler with "FATAL QUAVR uninitialization failure: "
// and the code's message.
void SoundReportUninitError(int code);
