#include "tools/archivewriter/archivewriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "stream/filelib.h"

namespace archivewriter {
namespace {

void Put32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace

bool Build(const std::vector<Member>& members, std::vector<std::uint8_t>& out, std::string& error) {
  if (members.empty()) {
    error = "an archive needs at least one member";
    return false;
  }
  if (members.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() / fileLibEntrySize)) {
    error = "too many members";
    return false;
  }
  std::uint64_t offset = fileLibHeaderSize + static_cast<std::uint64_t>(members.size()) * fileLibEntrySize;
  const std::uint64_t directoryEnd = offset;
  for (const Member& m : members) {
    if (m.name.empty() || m.name.size() > maxNameLength || m.name.find('\0') != std::string::npos) {
      error = "member name \"" + m.name + "\" must be 1 to " + std::to_string(maxNameLength) + " characters";
      return false;
    }
    if (m.data.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      error = "member \"" + m.name + "\" is larger than 2 GiB";
      return false;
    }
    offset += m.data.size();
  }
  // Offsets are 32-bit, and readers seek with signed 32-bit positions.
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    error = "the archive would be larger than 2 GiB";
    return false;
  }

  out.assign(static_cast<std::size_t>(directoryEnd), 0);
  std::memcpy(out.data(), fileLibMagic, sizeof fileLibMagic);
  Put32(out.data() + 8, static_cast<std::uint32_t>(members.size()));
  std::uint32_t at = static_cast<std::uint32_t>(directoryEnd);
  for (std::size_t i = 0; i < members.size(); ++i) {
    std::uint8_t* e = out.data() + fileLibHeaderSize + i * fileLibEntrySize;
    std::memcpy(e, members[i].name.data(), members[i].name.size());
    Put32(e + 52, at);
    Put32(e + 56, static_cast<std::uint32_t>(members[i].data.size()));
    at += static_cast<std::uint32_t>(members[i].data.size());
  }
  for (const Member& m : members) out.insert(out.end(), m.data.begin(), m.data.end());
  return true;
}

bool WriteFile(const std::vector<Member>& members, const std::string& path, std::string& error) {
  std::vector<std::uint8_t> bytes;
  if (!Build(members, bytes, error)) return false;

  const std::string temporary = path + ".tmp";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (!f) {
    error = "cannot create " + temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const int flushErrno = errno;
  if (std::fclose(f) != 0 || !written) {
    error = "cannot write " + temporary + ": " + std::strerror(written ? errno : flushErrno);
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot rename " + temporary + " to " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

bool ReadFile(const std::string& path, std::vector<std::uint8_t>& out, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  out.clear();
  std::uint8_t chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + got);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    error = "cannot read " + path;
    return false;
  }
  return true;
}

}  // namespace archivewriter
