// Runs the qvrlib tool as a user would and checks the archives it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../stream/temp_dir.h"
#include "tools/archivewriter/archivewriter.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
  int status;
  std::string output;
};

// Runs a shell command line; standard error joins the output.
ToolRun Shell(const std::string& line) {
  const std::string command = "{ " + line + "; } 2>&1";
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

ToolRun Qvrlib(const std::string& args) { return Shell(std::string(QVRLIB_PATH) + " " + args); }

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

namespace {

// Runs qvrlib in a folder of the test's choosing.
ToolRun QvrlibIn(const std::string& folder, const std::string& args) {
  return Shell("cd '" + folder + "' && " + std::string(QVRLIB_PATH) + " " + args);
}

class QvrlibArchive : public QvrlibTool {
protected:
  void SetUp() override {
    QvrlibTool::SetUp();
    archive = dir.File("demo.dat");
    ASSERT_EQ(Qvrlib("create " + archive + " " + dir.File("in")).status, 0);
  }
  std::string archive;
};

TEST_F(QvrlibArchive, MembersNamedWithSlashesToFilesOrStandardOutput) {
  ToolRun r = Qvrlib("extract " + archive + " 3ds/intro.3DS " + dir.File("a.3ds"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Slurp(dir.File("a.3ds")), Slurp(dir.File("in/3ds/intro.3DS")));

  r = Qvrlib("extract " + archive + " textures/bump/256.PCX - > " + dir.File("b.pcx"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Slurp(dir.File("b.pcx")), Slurp(dir.File("in/textures/bump/256.pcx")));

  fs::create_directory(dir.File("here"));
  r = QvrlibIn(dir.File("here"), "extract " + archive + " 3ds/intro.3DS");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Slurp(dir.File("here/intro.3DS")), Slurp(dir.File("in/3ds/intro.3DS"))) << "named after the member";

  fs::create_directory(dir.File("into"));
  r = Qvrlib("extract " + archive + " textures/bump/256.pcx " + dir.File("into"));
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Slurp(dir.File("into/256.pcx")), Slurp(dir.File("in/textures/bump/256.pcx"))) << "OUT may be a folder";
}

TEST_F(QvrlibArchive, WithoutAMemberEverythingGoesIntoFolders) {
  fs::create_directory(dir.File("all"));
  ToolRun r = Qvrlib("extract " + archive + " -C " + dir.File("all"));
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* file : {"textures/bump/256.pcx", "3ds/intro.3DS", "empty.bin"}) {
    EXPECT_EQ(Slurp(dir.File(std::string("all/") + file)), Slurp(dir.File(std::string("in/") + file))) << file;
  }
  fs::create_directory(dir.File("cwd"));
  r = QvrlibIn(dir.File("cwd"), "extract " + archive);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(fs::exists(dir.File("cwd/textures/bump/256.pcx")));

  r = Qvrlib("extract " + archive + " -C " + dir.File("absent"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("is not a folder"), std::string::npos) << r.output;
}

TEST_F(QvrlibArchive, NamesThatClimbOutOfTheFolderAreLeftOut) {
  std::vector<archivewriter::Member> members = {{"..\\escaped.txt", {1}}, {"\\rooted.txt", {2}},
                                                {"ok\\fine.txt", {3}}};
  std::string error;
  ASSERT_TRUE(archivewriter::WriteFile(members, dir.File("evil.dat"), error)) << error;
  fs::create_directories(dir.File("x/y"));
  const ToolRun r = Qvrlib("extract " + dir.File("evil.dat") + " -C " + dir.File("x/y"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("\"..\\escaped.txt\" names no place inside"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("\"\\rooted.txt\" names no place inside"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(dir.File("x/escaped.txt")));
  EXPECT_FALSE(fs::exists("/rooted.txt"));
  EXPECT_EQ(Slurp(dir.File("x/y/ok/fine.txt")), (std::vector<std::uint8_t>{3}));
}

TEST_F(QvrlibArchive, NeverWritesOverItsInputs) {
  const std::vector<std::uint8_t> original = Slurp(archive);
  fs::create_symlink(archive, dir.File("link.dat"));
  for (const std::string& out : {archive, dir.File("link.dat")}) {
    const ToolRun r = Qvrlib("extract " + archive + " 3ds/intro.3DS " + out);
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_NE(r.output.find("is the archive itself"), std::string::npos) << r.output;
  }
  EXPECT_EQ(Slurp(archive), original);

  const std::string inside = dir.File("in/3ds/intro.3DS");
  const std::vector<std::uint8_t> input = Slurp(inside);
  const ToolRun r = Qvrlib("create " + inside + " " + dir.File("in"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("is one of the files to pack"), std::string::npos) << r.output;
  EXPECT_EQ(Slurp(inside), input);
}

TEST_F(QvrlibArchive, DevicesAreWrittenThroughAndAFullOneIsAnError) {
  for (const std::string& command : {"extract " + archive + " 3ds/intro.3DS /dev/full",
                                     "create /dev/full " + dir.File("in")}) {
    const ToolRun r = Qvrlib(command);
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_NE(r.output.find("cannot write /dev/full: No space left on device"), std::string::npos) << r.output;
  }
  EXPECT_EQ(Qvrlib("extract " + archive + " 3ds/intro.3DS /dev/null").status, 0);
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  dir.Write("target.bin", {9});
  fs::create_symlink(dir.File("target.bin"), dir.File("link.bin"));
  ASSERT_EQ(Qvrlib("extract " + archive + " 3ds/intro.3DS " + dir.File("link.bin")).status, 0);
  EXPECT_TRUE(fs::is_symlink(dir.File("link.bin")));
  EXPECT_EQ(Slurp(dir.File("target.bin")), Slurp(dir.File("in/3ds/intro.3DS")));
}

TEST_F(QvrlibArchive, ListingACutArchiveWarnsAndFails) {
  std::vector<std::uint8_t> bytes = Slurp(archive);
  bytes.resize(bytes.size() - 500);
  dir.Write("cut.dat", bytes);
  const ToolRun r = Qvrlib("list " + dir.File("cut.dat"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("textures\\bump\\256.pcx"), std::string::npos) << "the listing is still printed";
  EXPECT_NE(r.output.find("warning: member \"textures\\bump\\256.pcx\" runs past the end"), std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find("warning: member \"3ds\\intro.3DS\""), std::string::npos) << "whole members are fine";
  EXPECT_NE(r.output.find("is cut short: 1 member cannot be read whole"), std::string::npos) << r.output;
}

TEST_F(QvrlibArchive, OptionMistakesAreRefusedNamingTheOption) {
  using Case = std::pair<std::string, std::string>;
  for (const auto& [args, message] :
       {Case{"extract " + archive + " 3ds/intro.3DS -C " + dir.File("in"), "excludes"},
        Case{"extract " + archive + " ''", "MEMBER: must not be empty"},
        Case{"extract " + archive + " 3ds/intro.3DS ''", "OUT: must not be empty"},
        Case{"list", "ARCHIVE is required"}, Case{"list a b", "not expected: b"},
        Case{"", "a command is needed"}, Case{"create --bogus a b", "--bogus"}}) {
    const ToolRun r = Qvrlib(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.output.find(message), std::string::npos) << args << ": " << r.output;
  }
  const ToolRun r = Qvrlib("extract -- " + archive + " -nothing");
  EXPECT_EQ(r.status, 1) << "-- ends the options: " << r.output;
  EXPECT_NE(r.output.find("no member \"-nothing\""), std::string::npos) << r.output;
}

}  // namespace
