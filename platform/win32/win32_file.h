// Win32 stand-in: file calls over POSIX file descriptors. Failures leave a
// Win32 error code (mapped from errno) in GetLastError.
#pragma once

#include "platform/win32/win32_types.h"

// Access rights.
#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL

// Sharing modes (recorded, not enforced).
#define FILE_SHARE_READ 0x00000001UL
#define FILE_SHARE_WRITE 0x00000002UL
#define FILE_SHARE_DELETE 0x00000004UL

// Creation dispositions.
#define CREATE_NEW 1UL
#define CREATE_ALWAYS 2UL
#define OPEN_EXISTING 3UL
#define OPEN_ALWAYS 4UL
#define TRUNCATE_EXISTING 5UL

// Attributes and flags (accepted and ignored).
#define FILE_ATTRIBUTE_NORMAL 0x00000080UL

// SetFilePointer move methods and failure value.
#define FILE_BEGIN 0UL
#define FILE_CURRENT 1UL
#define FILE_END 2UL
#define INVALID_SET_FILE_POINTER (static_cast<DWORD>(0xFFFFFFFFUL))
#define INVALID_FILE_SIZE (static_cast<DWORD>(0xFFFFFFFFUL))

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES securityAttributes,
                          DWORD creationDisposition, DWORD flagsAndAttributes,
                          HANDLE templateFile);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD numberOfBytesToRead,
                     LPDWORD numberOfBytesRead, LPOVERLAPPED overlapped);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD numberOfBytesToWrite,
                      LPDWORD numberOfBytesWritten, LPOVERLAPPED overlapped);
// 32-bit moves only (distanceToMoveHigh must be null); a result below 0 fails
// with ERROR_NEGATIVE_SEEK and a position past 2^32 - 2 with ERROR_INVALID_PARAMETER.
DWORD WINAPI SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh,
                            DWORD moveMethod);
DWORD WINAPI GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
BOOL WINAPI CloseHandle(HANDLE object);
BOOL WINAPI DeleteFileA(LPCSTR fileName);
