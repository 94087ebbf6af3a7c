// The registry stand-in. Keys are paths under a root ("HKEY_CURRENT_USER\a\b"),
// compared without regard to case; each value keeps its type and bytes. The whole
// store is read from its file when first needed and written back after every
// change. A damaged file loses only the lines that cannot be read.
#include "platform/win32/win32_registry.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/win32_error.h"

struct HKEY__ {
  std::uint32_t signature;
  std::string path;  // lower case
  REGSAM access;
};

namespace {

constexpr std::uint32_t kKeySignature = 0x5245474Bu;  // "REGK"

struct Value {
  std::string name;  // as first written
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct Key {
  std::string name;                    // full path as first written
  std::map<std::string, Value> values;  // by lower-case name
};

std::mutex storeMutex;
std::string storeFile;
bool loaded = false;
std::map<std::string, Key> keys;  // by lower-case path
std::vector<HKEY__*> openKeys;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string DefaultFile() {
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && *home != '\0' ? home : ".") + "/.win32-registry";
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

bool Unhex(const std::string& text, std::string* bytes) {
  if (text.size() % 2 != 0) return false;
  bytes->clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int hi = std::isxdigit(static_cast<unsigned char>(text[i])) ? std::stoi(text.substr(i, 1), nullptr, 16) : -1;
    int lo = std::isxdigit(static_cast<unsigned char>(text[i + 1])) ? std::stoi(text.substr(i + 1, 1), nullptr, 16) : -1;
    if (hi < 0 || lo < 0) return false;
    bytes->push_back(static_cast<char>(hi * 16 + lo));
  }
  return true;
}

// File lines: "K <hex path>" starts a key; "V <hex name> <type> <hex data>" is one
// of its values.
void Load() {
  if (loaded) return;
  loaded = true;
  keys.clear();
  if (storeFile.empty()) storeFile = DefaultFile();
  std::ifstream in(storeFile);
  std::string line;
  Key* current = nullptr;
  while (std::getline(in, line)) {
    std::string bytes;
    if (line.size() > 2 && line[0] == 'K' && line[1] == ' ') {
      if (!Unhex(line.substr(2), &bytes) || bytes.empty()) {
        current = nullptr;
        continue;
      }
      current = &keys[Lower(bytes)];
      current->name = bytes;
    } else if (line.size() > 2 && line[0] == 'V' && line[1] == ' ' && current != nullptr) {
      std::size_t a = line.find(' ', 2);
      std::size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
      if (b == std::string::npos) continue;
      std::string name, data;
      std::string typeText = line.substr(a + 1, b - a - 1);
      if (!Unhex(line.substr(2, a - 2), &name) || !Unhex(line.substr(b + 1), &data)) continue;
      if (typeText.empty() || typeText.size() > 9 ||
          !std::all_of(typeText.begin(), typeText.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        continue;
      }
      Value& value = current->values[Lower(name)];
      value.name = name;
      value.type = static_cast<DWORD>(std::stoul(typeText));
      value.data.assign(data.begin(), data.end());
    }
  }
}

bool Save() {
  std::string temporary = storeFile + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    if (!out) return false;
    for (const auto& [path, key] : keys) {
      out << "K " << Hex(key.name) << '\n';
      for (const auto& [lower, value] : key.values) {
        out << "V " << Hex(value.name) << ' ' << value.type << ' '
            << Hex(std::string(value.data.begin(), value.data.end())) << '\n';
      }
    }
    if (!out.flush()) return false;
  }
  return std::rename(temporary.c_str(), storeFile.c_str()) == 0;
}

const char* RootName(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (key == HKEY_USERS) return "HKEY_USERS";
  return nullptr;
}

HKEY__* OpenKey(HKEY key) {
  auto it = std::find(openKeys.begin(), openKeys.end(), key);
  return it != openKeys.end() && (*it)->signature == kKeySignature ? *it : nullptr;
}

// The full path of a sub-key: empty components (doubled or edge separators) drop out.
bool FullPath(HKEY key, LPCSTR subKey, std::string* path) {
  if (const char* root = RootName(key)) {
    *path = root;
  } else if (HKEY__* open = OpenKey(key)) {
    *path = keys.count(open->path) != 0 ? keys[open->path].name : open->path;
  } else {
    return false;
  }
  std::string rest = subKey != nullptr ? subKey : "";
  std::string component;
  for (std::size_t i = 0; i <= rest.size(); ++i) {
    if (i == rest.size() || rest[i] == '\\') {
      if (!component.empty()) *path += "\\" + component;
      component.clear();
    } else {
      component.push_back(rest[i]);
    }
  }
  return true;
}

HKEY NewHandle(const std::string& path, REGSAM access) {
  auto* handle = new HKEY__{kKeySignature, Lower(path), access};
  openKeys.push_back(handle);
  return handle;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::lock_guard<std::mutex> lock(storeMutex);
  Load();
  std::string path;
  if (!FullPath(key, subKey, &path)) return ERROR_INVALID_HANDLE;
  if (keys.count(Lower(path)) == 0 && RootName(key) == nullptr) return ERROR_FILE_NOT_FOUND;
  if (keys.count(Lower(path)) == 0 && path.find('\\') != std::string::npos) return ERROR_FILE_NOT_FOUND;
  *result = NewHandle(path, access);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access, void*, PHKEY result,
                     LPDWORD disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::lock_guard<std::mutex> lock(storeMutex);
  Load();
  std::string path;
  if (!FullPath(key, subKey, &path)) return ERROR_INVALID_HANDLE;
  bool created = keys.count(Lower(path)) == 0;
  if (created) {
    // Every key on the way exists too, as on Windows.
    std::size_t at = path.find('\\');
    while (at != std::string::npos) {
      std::string parent = path.substr(0, at);
      if (keys.count(Lower(parent)) == 0) keys[Lower(parent)].name = parent;
      at = path.find('\\', at + 1);
    }
    keys[Lower(path)].name = path;
    if (!Save()) return ERROR_WRITE_FAULT;
  }
  if (disposition != nullptr) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(path, access);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  std::lock_guard<std::mutex> lock(storeMutex);
  HKEY__* open = OpenKey(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if ((open->access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  auto keyIt = keys.find(open->path);
  if (keyIt == keys.end()) return ERROR_FILE_NOT_FOUND;
  auto valueIt = keyIt->second.values.find(Lower(valueName != nullptr ? valueName : ""));
  if (valueIt == keyIt->second.values.end()) return ERROR_FILE_NOT_FOUND;
  const Value& value = valueIt->second;
  if (type != nullptr) *type = value.type;
  auto needed = static_cast<DWORD>(value.data.size());
  if (data != nullptr && *size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (data != nullptr && needed > 0) std::memcpy(data, value.data.data(), needed);
  if (size != nullptr) *size = needed;
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
  std::lock_guard<std::mutex> lock(storeMutex);
  HKEY__* open = OpenKey(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if ((open->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  auto keyIt = keys.find(open->path);
  if (keyIt == keys.end()) return ERROR_FILE_NOT_FOUND;
  std::string name = valueName != nullptr ? valueName : "";
  Value& value = keyIt->second.values[Lower(name)];
  if (value.name.empty()) value.name = name;
  value.type = type;
  value.data.assign(data, data + size);
  return Save() ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
  std::lock_guard<std::mutex> lock(storeMutex);
  HKEY__* open = OpenKey(key);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  auto keyIt = keys.find(open->path);
  if (keyIt == keys.end() || keyIt->second.values.erase(Lower(valueName != nullptr ? valueName : "")) == 0) {
    return ERROR_FILE_NOT_FOUND;
  }
  return Save() ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  std::lock_guard<std::mutex> lock(storeMutex);
  Load();
  std::string path;
  if (subKey == nullptr || *subKey == '\0' || !FullPath(key, subKey, &path)) return ERROR_INVALID_PARAMETER;
  std::string lower = Lower(path);
  if (keys.count(lower) == 0) return ERROR_FILE_NOT_FOUND;
  // Only a key without sub-keys can go, as on Windows. Every descendant starts
  // with "key\", and those names sit together from the first one not below it;
  // the key's own next name may be a sibling such as "key-2".
  const std::string prefix = lower + "\\";
  auto first = keys.lower_bound(prefix);
  if (first != keys.end() && first->first.compare(0, prefix.size(), prefix) == 0) return ERROR_ACCESS_DENIED;
  keys.erase(lower);
  return Save() ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

LONG RegCloseKey(HKEY key) {
  std::lock_guard<std::mutex> lock(storeMutex);
  HKEY__* open = OpenKey(key);
  if (open == nullptr) return RootName(key) != nullptr ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  openKeys.erase(std::remove(openKeys.begin(), openKeys.end(), open), openKeys.end());
  open->signature = 0;
  delete open;
  return ERROR_SUCCESS;
}

void Win32SetRegistryFile(const char* path) {
  std::lock_guard<std::mutex> lock(storeMutex);
  storeFile = path != nullptr ? path : DefaultFile();
  loaded = false;
}
