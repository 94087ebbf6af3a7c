// Builds an archive in a temporary file and opens it as the loaders' archive.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "gfx/texture.h"
#include "stream/archive.h"
#include "stream/filelib.h"

class TestArchive {
public:
  void Add(const std::string& name, std::vector<std::uint8_t> bytes) {
    members.emplace_back(name, std::move(bytes));
  }

  // Writes the archive and points the global 'archive' at it.
  bool Open() {
    Close();
    path = std::filesystem::temp_directory_path() /
           ("gfx_test_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".dat");
    std::vector<std::uint8_t> out(fileLibMagic, fileLibMagic + 8);
    Put32(out, static_cast<std::uint32_t>(members.size()));
    std::uint32_t offset = fileLibHeaderSize + fileLibEntrySize * static_cast<std::uint32_t>(members.size());
    for (const auto& [name, bytes] : members) {
      char entryName[TFileLibEntry::nameSize] = {};
      std::strncpy(entryName, name.c_str(), sizeof(entryName) - 1);
      out.insert(out.end(), entryName, entryName + sizeof(entryName));
      Put32(out, offset);
      Put32(out, static_cast<std::uint32_t>(bytes.size()));
      Put32(out, 0);
      offset += static_cast<std::uint32_t>(bytes.size());
    }
    for (const auto& member : members) out.insert(out.end(), member.second.begin(), member.second.end());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    std::fclose(f);
    if (!written) return false;
    file = new TFile;
    file->SetName(path.c_str());
    if (!file->Open(modeRead)) return false;
    lib = new TFileLib(file);
    archive = lib;
    return !lib->Error();
  }

  void Close() {
    if (archive == lib) archive = nullptr;
    delete lib;
    delete file;
    lib = nullptr;
    file = nullptr;
    if (!path.empty()) std::filesystem::remove(path);
  }

  ~TestArchive() { Close(); }

private:
  static void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }

  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> members;
  std::filesystem::path path;
  TFile* file = nullptr;
  TFileLib* lib = nullptr;
};

// PCX files written by hand: header fields, raw run-length data and a palette.
struct PcxLayout {
  int version = 5, encoding = 1, bitsPerPixel = 8, planes = 1;
  int xmin = 0, ymin = 0, xmax = 0, ymax = 0;
  int bytesPerLine = 0;
};

inline std::vector<std::uint8_t> MakePcx(const PcxLayout& layout, const std::vector<std::uint8_t>& data,
                                         const std::vector<std::uint8_t>& palette) {
  std::vector<std::uint8_t> out(128, 0);
  out[0] = 10;
  out[1] = static_cast<std::uint8_t>(layout.version);
  out[2] = static_cast<std::uint8_t>(layout.encoding);
  out[3] = static_cast<std::uint8_t>(layout.bitsPerPixel);
  auto put16 = [&](int at, int v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  put16(4, layout.xmin);
  put16(6, layout.ymin);
  put16(8, layout.xmax);
  put16(10, layout.ymax);
  out[65] = static_cast<std::uint8_t>(layout.planes);
  put16(66, layout.bytesPerLine);
  out.insert(out.end(), data.begin(), data.end());
  if (!palette.empty()) {
    out.push_back(12);
    out.insert(out.end(), palette.begin(), palette.end());
  }
  return out;
}
