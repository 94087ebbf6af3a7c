// Runs the qvrlib tool as a user would and checks the archives it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../stream/temp_dir.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
  int status;
  std::string output;
};

ToolRun Qvrlib(const std::string& args) {
  const std::string command = std::string(QVRLIB_PATH) + " " + args + " 2>&1";
  ToolRun r{-1, {}};
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::vector<std::uint8_t> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Le32(const std::vector<std::uint8_t>& v, std::size_t at) {
  return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<std::uint32_t>(v[at + 3]) << 24;
}

class QvrlibTool : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(dir.File("in/textures/bump"));
    fs::create_directories(dir.File("in/3ds"));
    dir.Write("in/textures/bump/256.pcx", Iota(1000, 3));
    dir.Write("in/3ds/intro.3DS", Iota(77, 9));
    dir.Write("in/empty.bin", {});
  }
  TempDir dir;
};

TEST_F(QvrlibTool, CreateListAndExtractRoundTripAFolder) {
  const std::string archive = dir.File("demo.dat");
  ToolRun r = Qvrlib("create " + archive + " " + dir.File("in"));
  ASSERT_EQ(r.status, 0) << r.output;

  r = Qvrlib("list " + archive);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("textures\\bump\\256.pcx"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("3ds\\intro.3DS"), std::string::npos);
  EXPECT_NE(r.output.find("1000"), std::string::npos);

  for (const auto& [member, file] : {std::pair{"TEXTURES\\BUMP\\256.PCX", "in/textures/bump/256.pcx"},
                                     std::pair{"3ds\\intro.3DS", "in/3ds/intro.3DS"},
                                     std::pair{"empty.bin", "in/empty.bin"}}) {
    const std::string out = dir.File("out.bin");
    r = Qvrlib("extract " + archive + " '" + member + "' " + out);
    ASSERT_EQ(r.status, 0) << member << ": " << r.output;
    EXPECT_EQ(Slurp(out), Slurp(dir.File(file))) << member;
  }
}

TEST_F(QvrlibTool, ArchiveFollowsTheFormatByteForByte) {
  const std::string archive = dir.File("demo.dat");
  ASSERT_EQ(Qvrlib("create " + archive + " " + dir.File("in")).status, 0);
  const std::vector<std::uint8_t> bytes = Slurp(archive);
  ASSERT_GE(bytes.size(), 12u);
  EXPECT_EQ(std::memcmp(bytes.data(), "QVRLIB1\x1A", 8), 0);
  const std::uint32_t count = Le32(bytes, 8);
  ASSERT_EQ(count, 3u);
  std::size_t total = 12 + 64 * count;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t e = 12 + 64 * i;
    const std::string name(reinterpret_cast<const char*>(&bytes[e]));
    const std::uint32_t offset = Le32(bytes, e + 52), size = Le32(bytes, e + 56);
    ASSERT_LE(offset + size, bytes.size()) << name;
    std::string file = name;
    std::replace(file.begin(), file.end(), '\\', '/');
    const std::vector<std::uint8_t> original = Slurp(dir.File("in/" + file));
    EXPECT_TRUE(std::equal(original.begin(), original.end(), bytes.begin() + offset)) << name;
    total += size;
  }
  EXPECT_EQ(total, bytes.size()) << "no bytes beyond header, directory and members";
}

TEST_F(QvrlibTool, FailuresSayWhyAndLeaveNoHalfWrittenArchive) {
  const std::string archive = dir.File("demo.dat");
  dir.Write("demo.dat", {1, 2, 3});
  fs::create_directories(dir.File("in/" + std::string(40, 'd')));
  dir.Write("in/" + std::string(40, 'd') + "/" + std::string(12, 'f'), {1});
  ToolRun r = Qvrlib("create " + archive + " " + dir.File("in"));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("longer than 51"), std::string::npos) << r.output;
  EXPECT_EQ(Slurp(archive), (std::vector<std::uint8_t>{1, 2, 3})) << "the old file is untouched";
  EXPECT_FALSE(fs::exists(archive + ".tmp"));

  r = Qvrlib("list " + dir.File("absent.dat"));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("cannot open"), std::string::npos) << r.output;

  r = Qvrlib("list " + archive);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("not a valid archive"), std::string::npos) << r.output;

  fs::remove_all(dir.File("in/" + std::string(40, 'd')));
  ASSERT_EQ(Qvrlib("create " + archive + " " + dir.File("in")).status, 0);
  r = Qvrlib("extract " + archive + " nothing.here " + dir.File("x"));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("no member"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(dir.File("x")));
}

TEST_F(QvrlibTool, UnreadableFileStopsCreation) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string locked = dir.Write("in/locked.bin", {1, 2});
  fs::permissions(locked, fs::perms::none);
  const ToolRun r = Qvrlib("create " + dir.File("demo.dat") + " " + dir.File("in"));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("cannot open"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(dir.File("demo.dat")));
}

TEST_F(QvrlibTool, HelpAndUsage) {
  ToolRun r = Qvrlib("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("qvrlib create ARCHIVE DIR"), std::string::npos);
  EXPECT_EQ(Qvrlib("frobnicate").status, 2);
}

}  // namespace
