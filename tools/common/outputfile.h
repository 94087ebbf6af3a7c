// A file a tool writes its result to, safe for the user's files:
//   "-"            standard output (refused when it is a terminal);
//   a new name, or an existing regular file the user may write
//                  written under a temporary name in the same folder and
//                  renamed into place by Commit, so a failure or a signal
//                  never leaves a half-written file (nor destroys the old one);
//   a device, FIFO or socket
//                  written to directly, as the user asked (never replaced);
//   a symbolic link
//                  the file it points to, by the rules above.
// Every write error is reported, a full device included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace toolio {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();  // a file not committed is abandoned

  // False with a message naming the file when it cannot be opened.
  bool Open(const std::string& path, std::string& error);
  // Appends bytes; false (and the file is failed) when they are not written.
  bool Write(const void* data, std::size_t bytes);
  // Whether WriteAt can change bytes already written (a regular file).
  bool Seekable() const { return seekable_; }
  // Overwrites bytes at an offset from the start of this output.
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t bytes);
  // Finishes the output: flushed, closed and renamed into place. False with a
  // message on any failure on the way; the temporary is then removed.
  bool Commit(std::string& error);
  // Gives up: a temporary is removed; a direct output is left as written.
  void Abandon();

  const std::string& Path() const { return path_; }

 private:
  bool OpenTemporary(const std::string& target, std::string& error);
  std::string Reason() const;

  std::string path_;       // as the user named it
  std::string target_;     // where a temporary is renamed to
  std::string temporary_;  // empty when written directly
  int fd_ = -1;
  bool ownsFd_ = false;
  bool seekable_ = false;
  std::uint64_t start_ = 0;  // offset of byte 0 of this output in the file
  int errno_ = 0;            // first write failure
};

}  // namespace toolio
