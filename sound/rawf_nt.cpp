// Raw file access over the Win32 file calls. Each failure of a system call is
// translated from the thread's last error into a sound error code.
#include "sound/rawf_nt.h"

#include "platform/win32/win32.h"
#include "sound/errors.h"
#include "sound/mem.h"

namespace {

// The translated last error; a failure that left no error behind still has to
// be reported as one, so it falls back to `fallback`.
int SystemError(int fallback) {
  int error = SoundTranslateSystemError(GetLastError());
  return error != errOK ? error : fallback;
}

HANDLE OpenHandle(const char* fileName, int openMode) {
  switch (openMode) {
    case rfOpenRead:
      return CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
    case rfOpenWrite:
      return CreateFileA(fileName, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    case rfOpenReadWrite:
      return CreateFileA(fileName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    default:
      return INVALID_HANDLE_VALUE;
  }
}

bool Usable(const RawFile* file) {
  return file != nullptr && file->fileHandle != nullptr && file->fileHandle != INVALID_HANDLE_VALUE;
}

}  // namespace

int RawFileOpen(const char* fileName, int openMode, RawFile** file) {
  if (file == nullptr) {
    return errInvalidArguments;
  }
  *file = nullptr;
  if (fileName == nullptr || openMode < rfOpenRead || openMode > rfOpenReadWrite) {
    return errInvalidArguments;
  }
  RawFile* record = nullptr;
  if (int error = memAllocArray(1, &record); error != errOK) {
    return error;
  }
  SetLastError(ERROR_SUCCESS);
  record->fileHandle = OpenHandle(fileName, openMode);
  if (record->fileHandle == INVALID_HANDLE_VALUE) {
    int error = SystemError(errFileNotFound);
    memFree(record);
    return error;
  }
  *file = record;
  return errOK;
}

int RawFileClose(RawFile* file) {
  if (!Usable(file)) {
    return errInvalidFileHandle;
  }
  // The record goes even when the system refuses the close: the handle is
  // unusable either way, and keeping the record would only leak it.
  int error = CloseHandle(file->fileHandle) ? errOK : SystemError(errUndefined);
  file->fileHandle = INVALID_HANDLE_VALUE;
  int freed = memFree(file);
  return error != errOK ? error : freed;
}

int RawFileRead(RawFile* file, void* buffer, std::uint32_t numBytes) {
  if (!Usable(file)) {
    return errInvalidFileHandle;
  }
  if (buffer == nullptr && numBytes != 0) {
    return errInvalidArguments;
  }
  DWORD numRead = 0;
  if (!ReadFile(file->fileHandle, buffer, numBytes, &numRead, nullptr)) {
    return SystemError(errFileRead);
  }
  if (numRead < numBytes) {
    return errEndOfFile;
  }
  return errOK;
}

int RawFileWrite(RawFile* file, const void* buffer, std::uint32_t numBytes) {
  if (!Usable(file)) {
    return errInvalidFileHandle;
  }
  if (buffer == nullptr && numBytes != 0) {
    return errInvalidArguments;
  }
  DWORD numWritten = 0;
  if (!WriteFile(file->fileHandle, buffer, numBytes, &numWritten, nullptr)) {
    return SystemError(errFileWrite);
  }
  if (numWritten < numBytes) {
    return errFileWrite;
  }
  return errOK;
}

int RawFileSeek(RawFile* file, std::int32_t newPosition, int seekMode) {
  if (!Usable(file)) {
    return errInvalidFileHandle;
  }
  DWORD moveMethod = FILE_BEGIN;
  switch (seekMode) {
    case rfSeekAbsolute:
      moveMethod = FILE_BEGIN;
      break;
    case rfSeekRelative:
      moveMethod = FILE_CURRENT;
      break;
    case rfSeekEnd:
      moveMethod = FILE_END;
      break;
    default:
      return errInvalidArguments;
  }
  if (SetFilePointer(file->fileHandle, newPosition, nullptr, moveMethod) ==
      INVALID_SET_FILE_POINTER) {
    return SystemError(errFileRead);
  }
  return errOK;
}

int RawFileGetPosition(RawFile* file, std::int32_t* position) {
  if (!Usable(file)) {
    return errInvalidFileHandle;
  }
  if (position == nullptr) {
    return errInvalidArguments;
  }
  DWORD where = SetFilePointer(file->fileHandle, 0, nullptr, FILE_CURRENT);
  if (where == INVALID_SET_FILE_POINTER) {
    return SystemError(errFileRead);
  }
  *position = static_cast<std::int32_t>(where);
  return errOK;
}

int RawFileLength(RawFile* file, std::int32_t* fileLength) {
  if (fileLength == nullptr) {
    return errInvalidArguments;
  }
  // The position to return to is kept per call, so two threads measuring two
  // files at once do not disturb each other.
  std::int32_t remembered = 0;
  if (int error = RawFileGetPosition(file, &remembered); error != errOK) {
    return error;
  }
  if (int error = RawFileSeek(file, 0, rfSeekEnd); error != errOK) {
    return error;
  }
  std::int32_t length = 0;
  if (int error = RawFileGetPosition(file, &length); error != errOK) {
    return error;
  }
  if (int error = RawFileSeek(file, remembered, rfSeekAbsolute); error != errOK) {
    return error;
  }
  *fileLength = length;
  return errOK;
}

int RawFileExists(const char* fileName, int* exists) {
  if (exists == nullptr) {
    return errInvalidArguments;
  }
  *exists = 0;
  if (fileName == nullptr) {
    return errOK;
  }
  HANDLE handle = OpenHandle(fileName, rfOpenRead);
  if (handle != INVALID_HANDLE_VALUE) {
    *exists = 1;
    CloseHandle(handle);
  }
  return errOK;
}
