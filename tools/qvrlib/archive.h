// An archive opened with the system's own reader, and member names as a user
// types them on Linux (slashes) or as the archive keeps them (backslashes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream/filelib.h"
#include "stream/stream.h"

namespace qvrlib {

class OpenArchive {
 public:
  OpenArchive() = default;
  OpenArchive(const OpenArchive&) = delete;
  OpenArchive& operator=(const OpenArchive&) = delete;
  ~OpenArchive() { delete lib_; }

  // False with a message when the file cannot be opened or is no archive.
  bool Open(const std::string& path, std::string& error);
  TFileLib& Lib() { return *lib_; }
  // Bytes in the archive file, for members that claim to lie past its end.
  std::uint64_t FileSize() const { return fileSize_; }
  // The member's bytes; false with a message when it is missing or cut short.
  bool Read(const std::string& member, std::vector<std::uint8_t>& bytes, std::string& error);

 private:
  std::string path_;
  TFile file_;
  TFileLib* lib_ = nullptr;
  std::uint64_t fileSize_ = 0;
};

std::string EntryName(const TFileLibEntry& entry);

// A member name typed on the command line: '/' becomes the archive's '\'
// (an unquoted backslash never reaches the program).
std::string ArchiveName(const std::string& typed);

}  // namespace qvrlib
