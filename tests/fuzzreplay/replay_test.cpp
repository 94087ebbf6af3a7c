// Every kept fuzz input (the minimised corpus and every input that once crashed,
// hung or leaked) goes through its harness again, as the fuzzer ran it: each file
// must give a documented error or a success, with no crash, no leak and no
// failed check. The sanitizer build runs this under AddressSanitizer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> KeptInputs() {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(CORPUS_DIR, ec)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// REPLAY_SUITE names the harness (FuzzReplay_xm, ...), so each program's case
// has a name of its own.
TEST(REPLAY_SUITE, EveryKeptInputLoadsOrFailsCleanly) {
  const auto files = KeptInputs();
  ASSERT_FALSE(files.empty()) << "no kept inputs in " << CORPUS_DIR;
  for (const auto& file : files) {
    // Printed first: a crash or a failed harness check ends the program here.
    std::fprintf(stderr, "replaying %s\n", file.filename().c_str());
    const std::vector<std::uint8_t> bytes = ReadBytes(file);
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0) << file;
  }
}

}  // namespace
