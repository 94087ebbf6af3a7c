// Built-in libraries for LoadLibraryA: a module is a record with its exports.
#include "platform/win32/win32_library.h"

#include <cstring>
#include <mutex>
#include <strings.h>

#include "platform/win32/win32_dsound.h"

struct HINSTANCE__ {
  const char* name;
  const char* exportName;
  FARPROC exportAddress;
  int references;
  bool missing;
};

namespace {

std::mutex libraryMutex;
HINSTANCE__ dsoundLibrary{"dsound.dll", "DirectSoundCreate", reinterpret_cast<FARPROC>(&Win32DirectSoundCreate), 0,
                          false};
HINSTANCE__ processModule{"", nullptr, nullptr, 1, false};

// The file name without a directory, compared without regard to case.
HINSTANCE__* Find(LPCSTR fileName) {
  if (fileName == nullptr) return nullptr;
  const char* base = fileName;
  for (const char* p = fileName; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') base = p + 1;
  }
  if (strcasecmp(base, dsoundLibrary.name) == 0 || strcasecmp(base, "dsound") == 0) return &dsoundLibrary;
  return nullptr;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
  std::lock_guard<std::mutex> lock(libraryMutex);
  HINSTANCE__* library = Find(fileName);
  if (library == nullptr || library->missing) return nullptr;
  ++library->references;
  return library;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  std::lock_guard<std::mutex> lock(libraryMutex);
  if (module != &dsoundLibrary || module->references == 0 || procName == nullptr) return nullptr;
  if (std::strcmp(procName, module->exportName) != 0) return nullptr;
  return module->exportAddress;
}

BOOL FreeLibrary(HMODULE module) {
  std::lock_guard<std::mutex> lock(libraryMutex);
  if (module != &dsoundLibrary || module->references == 0) return FALSE;
  --module->references;
  return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  if (moduleName == nullptr) return &processModule;
  std::lock_guard<std::mutex> lock(libraryMutex);
  HINSTANCE__* library = Find(moduleName);
  return library != nullptr && library->references > 0 ? library : nullptr;
}

void Win32SetLibraryMissing(LPCSTR fileName, bool missing) {
  std::lock_guard<std::mutex> lock(libraryMutex);
  if (HINSTANCE__* library = Find(fileName)) library->missing = missing;
}
