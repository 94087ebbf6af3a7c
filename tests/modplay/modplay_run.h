// Runs modplay as a user would, and builds the modules the tests give it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/stream/temp_dir.h"
#include "tools/s3mwriter/s3mwriter.h"

namespace modplaytest {

struct ToolRun {
  int status = -1;     // exit status; 128 + signal when killed
  std::string output;  // standard output
  std::string errors;  // standard error
};

// Runs modplay with the arguments (no shell: each is one argument), standard
// input from /dev/null; standard output to `stdoutFile` when given; `env`
// entries ("NAME=value") are added to the environment.
ToolRun Modplay(const std::vector<std::string>& args, const std::string& stdoutFile = "",
                const std::vector<std::string>& env = {});

std::vector<std::uint8_t> Slurp(const std::string& path);
std::uint32_t Le32(const std::vector<std::uint8_t>& v, std::size_t at);
std::uint16_t Le16(const std::vector<std::uint8_t>& v, std::size_t at);

// A short S3M song: `channels` enabled (alternating sides), notes on the
// first `used` of them, one pattern at speed 6, tempo 125: 64 rows (7.68 s),
// or `rows` when fewer (a pattern break ends it).
s3m::Song ShortSong(int channels = 4, int used = 2, int rows = 64);
// A song that runs for more than an hour (speed 255, tempo 32, three orders).
s3m::Song EndlessSong();

}  // namespace modplaytest
