// Error codes and messages of the sound system, the translation of
// operating-system file errors, and the fatal-error path.
#include "sound/errors.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/win32/win32.h"

namespace {

constexpr std::array<const char*, soundErrorCount> errorMessages = {
    "Undefined error",
    "Out of memory",
    "Heap corrupted",
    "Invalid memory block",
    "Out of EMS memory",
    "EMS memory heap corrupted",
    "Invalid EMS memory block",
    "Expanded Memory Manager failure",
    "Out of soundcard memory",
    "Soundcard memory heap corrupted",
    "Invalid soundcard memory block",
    "Out of sample handles",
    "Unable to open file",
    "Unable to read file",
    "Invalid module file",
    "Invalid instrument in module",
    "Invalid pattern data in module",
    "Invalid channel number",
    "Invalid sample handle",
    "Sound Device channels not open",
    "Sound Device hardware failure",
    "Invalid function arguments",
    "File does not exist",
    "Invalid file handle",
    "Access denied",
    "File exists",
    "Too many open files",
    "Disk full",
    "Unexpected end of file",
    "Invalid path",
    "Unable to write file",
    "Unable to lock Virtual DMA buffer",
    "Unable to use Virtual DMA Services",
    "Invalid Virtual DMA Service version",
    "DPMI failure",
    "Invalid segment descriptor",
    "Out of system resources",
    "Invalid device used",
    "Unsupported function used",
    "Device is not available",
    "Device is busy",
    "Unsupported output mode used",
    "Unable to lock memory",
    "DirectSound Window Handle not set",
    "Invalid ADPCM data",
    "Invalid sample type",
    "No module is being played",
    "Out of sound channels",
    "Couldn't load dsound.dll",
    "Bad WAVE file",
    "Unsupported sample data format",
};

std::atomic<int> lastError{errOK};
std::atomic<SoundErrorExitHandler> errorExit{&SoundDefaultErrorExit};

SoundShutdownStep shutdownSteps[soundMaxShutdownSteps] = {};
int shutdownStepCount = 0;

// The fatal messages are assembled here; the handler receives this buffer.
char messageBuffer[256];

void ReportWith(const char* prefix, int code) {
  std::snprintf(messageBuffer, sizeof messageBuffer, "%s%s", prefix, SoundErrorMessage(code));
  errorExit.load()(messageBuffer);
}

}  // namespace

const char* SoundErrorMessage(int code) {
  if (code == errOK) {
    return "OK";
  }
  if (code < 1 || code > soundErrorCount) {
    return "Unknown error";
  }
  return errorMessages[static_cast<std::size_t>(code - 1)];
}

int SoundLastError() { return lastError.load(); }

void SoundSetLastError(int code) { lastError.store(code); }

int SoundTranslateSystemError(DWORD systemError) {
  switch (systemError) {
    case ERROR_SUCCESS:
      return errOK;
    case ERROR_FILE_NOT_FOUND:
      return errFileNotFound;
    case ERROR_TOO_MANY_OPEN_FILES:
      return errTooManyFiles;
    case ERROR_ACCESS_DENIED:
      return errAccessDenied;
    case ERROR_INVALID_HANDLE:
      return errInvalidFileHandle;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return errOutOfMemory;
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
    case ERROR_INVALID_COMPUTERNAME:
    case ERROR_INVALID_SHARENAME:
      return errInvalidPath;
    case ERROR_SEEK:
    case ERROR_READ_FAULT:
      return errFileRead;
    case ERROR_WRITE_FAULT:
    case ERROR_CANNOT_MAKE:
      return errFileWrite;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL:
      return errDiskFull;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return errFileExists;
    case ERROR_OPEN_FAILED:
      return errFileOpen;
    default:
      return errUndefined;
  }
}

void SoundDefaultErrorExit(const char* message) {
  std::fprintf(stderr, "%s\n", message != nullptr ? message : "");
  std::fflush(stderr);
  std::exit(255);
}

void SoundSetErrorExit(SoundErrorExitHandler handler) {
  errorExit.store(handler != nullptr ? handler : &SoundDefaultErrorExit);
}

void SoundCallErrorExit(const char* message) { errorExit.load()(message); }

void SoundSetShutdownSteps(const SoundShutdownStep* steps, int count) {
  shutdownStepCount = 0;
  if (steps == nullptr || count <= 0) {
    return;
  }
  for (int i = 0; i < count && i < soundMaxShutdownSteps; i++) {
    shutdownSteps[i] = steps[i];
  }
  shutdownStepCount = count < soundMaxShutdownSteps ? count : soundMaxShutdownSteps;
}

void SoundReportError(int code) {
  for (int i = 0; i < shutdownStepCount; i++) {
    if (shutdownSteps[i] == nullptr) {
      continue;
    }
    if (int error = shutdownSteps[i](); error != errOK) {
      SoundReportUninitError(error);
    }
  }
  ReportWith("QUAVR Error: ", code);
}

void SoundReportUninitError(int code) {
  ReportWith("FATAL QUAVR uninitialization failure: ", code);
}
