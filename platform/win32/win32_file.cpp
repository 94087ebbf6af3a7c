// Win32 stand-in: CreateFileA, ReadFile, WriteFile, SetFilePointer, GetFileSize,
// CloseHandle and DeleteFileA over POSIX file descriptors. A file handle points
// to a small record of our own; any failure sets the Win32 last error mapped
// from errno.
#include "platform/win32/win32_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <new>
#include <unordered_set>

#include "platform/win32/win32_error.h"

namespace {

struct FileObject {
  int fd;
};

// Live file handles. A handle is looked up before it is used, so a stray or
// already closed handle fails with ERROR_INVALID_HANDLE instead of touching
// freed memory.
std::mutex handlesLock;
std::unordered_set<FileObject*>& LiveHandles() {
  static std::unordered_set<FileObject*> handles;
  return handles;
}

FileObject* AsFile(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    return nullptr;
  }
  auto* object = static_cast<FileObject*>(handle);
  std::lock_guard<std::mutex> guard(handlesLock);
  return LiveHandles().count(object) != 0 ? object : nullptr;
}

// Removes a handle from the live set; false when it was not there.
bool TakeHandle(FileObject* object) {
  std::lock_guard<std::mutex> guard(handlesLock);
  return LiveHandles().erase(object) != 0;
}

BOOL FailWith(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD /*shareMode*/,
                          LPSECURITY_ATTRIBUTES /*securityAttributes*/,
                          DWORD creationDisposition, DWORD /*flagsAndAttributes*/,
                          HANDLE /*templateFile*/) {
  if (fileName == nullptr || fileName[0] == '\0') {
    SetLastError(fileName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  int flags = O_CLOEXEC;
  const bool wantRead = (desiredAccess & GENERIC_READ) != 0;
  const bool wantWrite = (desiredAccess & GENERIC_WRITE) != 0;
  if (wantRead && wantWrite) {
    flags |= O_RDWR;
  } else if (wantWrite) {
    flags |= O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }
  switch (creationDisposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      flags |= O_TRUNC;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  int fd = open(fileName, flags, 0666);
  if (fd < 0) {
    SetLastError(Win32ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  // Windows refuses to open a directory as a file.
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  auto* object = new (std::nothrow) FileObject{fd};
  if (object == nullptr) {
    close(fd);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  {
    std::lock_guard<std::mutex> guard(handlesLock);
    LiveHandles().insert(object);
  }
  SetLastError(ERROR_SUCCESS);
  return object;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD numberOfBytesToRead,
                     LPDWORD numberOfBytesRead, LPOVERLAPPED /*overlapped*/) {
  if (numberOfBytesRead != nullptr) {
    *numberOfBytesRead = 0;
  }
  FileObject* object = AsFile(file);
  if (object == nullptr) {
    return FailWith(ERROR_INVALID_HANDLE);
  }
  if (buffer == nullptr && numberOfBytesToRead != 0) {
    return FailWith(ERROR_INVALID_PARAMETER);
  }
  DWORD done = 0;
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  while (done < numberOfBytesToRead) {
    ssize_t got = read(object->fd, bytes + done, numberOfBytesToRead - done);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (numberOfBytesRead != nullptr) {
        *numberOfBytesRead = done;
      }
      return FailWith(errno == EISDIR ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(errno));
    }
    if (got == 0) {
      break;  // end of file: success with a short count, as on Windows
    }
    done += static_cast<DWORD>(got);
  }
  if (numberOfBytesRead != nullptr) {
    *numberOfBytesRead = done;
  }
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD numberOfBytesToWrite,
                      LPDWORD numberOfBytesWritten, LPOVERLAPPED /*overlapped*/) {
  if (numberOfBytesWritten != nullptr) {
    *numberOfBytesWritten = 0;
  }
  FileObject* object = AsFile(file);
  if (object == nullptr) {
    return FailWith(ERROR_INVALID_HANDLE);
  }
  if (buffer == nullptr && numberOfBytesToWrite != 0) {
    return FailWith(ERROR_INVALID_PARAMETER);
  }
  DWORD done = 0;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  while (done < numberOfBytesToWrite) {
    ssize_t put = write(object->fd, bytes + done, numberOfBytesToWrite - done);
    if (put < 0) {
      if (errno == EINTR) {
        continue;
      }
      if (numberOfBytesWritten != nullptr) {
        *numberOfBytesWritten = done;
      }
      DWORD error = Win32ErrorFromErrno(errno);
      return FailWith(error == ERROR_INVALID_HANDLE ? ERROR_ACCESS_DENIED : error);
    }
    if (put == 0) {
      break;
    }
    done += static_cast<DWORD>(put);
  }
  if (numberOfBytesWritten != nullptr) {
    *numberOfBytesWritten = done;
  }
  return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh,
                            DWORD moveMethod) {
  FileObject* object = AsFile(file);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  std::int64_t distance = distanceToMove;
  if (distanceToMoveHigh != nullptr) {
    distance = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceToMoveHigh)) << 32) |
        static_cast<std::uint32_t>(distanceToMove));
  }
  std::int64_t base = 0;
  switch (moveMethod) {
    case FILE_BEGIN:
      base = 0;
      break;
    case FILE_CURRENT:
      base = lseek(object->fd, 0, SEEK_CUR);
      break;
    case FILE_END:
      base = lseek(object->fd, 0, SEEK_END);
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
  }
  if (base < 0) {
    SetLastError(Win32ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  std::int64_t target = base + distance;
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  // Without the high word only positions that fit a DWORD (short of the failure
  // value) can be reported.
  if (distanceToMoveHigh == nullptr && target >= static_cast<std::int64_t>(INVALID_SET_FILE_POINTER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (lseek(object->fd, static_cast<off_t>(target), SEEK_SET) < 0) {
    SetLastError(Win32ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceToMoveHigh != nullptr) {
    *distanceToMoveHigh = static_cast<LONG>(static_cast<std::uint64_t>(target) >> 32);
  }
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(static_cast<std::uint64_t>(target) & 0xFFFFFFFFu);
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
  FileObject* object = AsFile(file);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  struct stat info {};
  if (fstat(object->fd, &info) != 0) {
    SetLastError(Win32ErrorFromErrno(errno));
    return INVALID_FILE_SIZE;
  }
  auto size = static_cast<std::uint64_t>(info.st_size);
  if (fileSizeHigh != nullptr) {
    *fileSizeHigh = static_cast<DWORD>(size >> 32);
  }
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL WINAPI CloseHandle(HANDLE objectHandle) {
  auto* object = static_cast<FileObject*>(objectHandle);
  if (objectHandle == nullptr || objectHandle == INVALID_HANDLE_VALUE || !TakeHandle(object)) {
    return FailWith(ERROR_INVALID_HANDLE);
  }
  int result = close(object->fd);
  int closeErrno = errno;
  delete object;
  if (result != 0 && closeErrno != EINTR) {
    return FailWith(Win32ErrorFromErrno(closeErrno));
  }
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR fileName) {
  if (fileName == nullptr) {
    return FailWith(ERROR_INVALID_PARAMETER);
  }
  if (unlink(fileName) != 0) {
    return FailWith(Win32ErrorFromErrno(errno));
  }
  return TRUE;
}
