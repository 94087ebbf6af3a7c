// Output files of the tools: replaced only when complete, devices and links
// as the user means them, and same-file detection through other names.
#include "tools/common/outputfile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/stream/temp_dir.h"
#include "tools/common/samefile.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class OutputFileTest : public ::testing::Test {
 protected:
  bool WriteAll(const std::string& path, const std::string& text, std::string& error) {
    toolio::OutputFile out;
    if (!out.Open(path, error)) return false;
    out.Write(text.data(), text.size());  // a failure is reported by Commit
    return out.Commit(error);
  }
  TempDir dir;
};

TEST_F(OutputFileTest, AFileAppearsOnlyWhenCommittedAndAnOldOneSurvivesAnAbandon) {
  const std::string path = dir.File("out.bin");
  dir.Write("out.bin", {'o', 'l', 'd'});
  {
    toolio::OutputFile out;
    std::string error;
    ASSERT_TRUE(out.Open(path, error)) << error;
    ASSERT_TRUE(out.Write("new", 3));
    EXPECT_EQ(Text(path), "old") << "nothing replaced before the end";
    out.Abandon();
  }
  EXPECT_EQ(Text(path), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1) << "no temporary left";

  std::string error;
  ASSERT_TRUE(WriteAll(path, "fresh", error)) << error;
  EXPECT_EQ(Text(path), "fresh");
}

TEST_F(OutputFileTest, PatchingWrittenBytesAndKeepingPermissions) {
  const std::string path = dir.Write("out.bin", {'x'});
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  toolio::OutputFile out;
  std::string error;
  ASSERT_TRUE(out.Open(path, error));
  EXPECT_TRUE(out.Seekable());
  ASSERT_TRUE(out.Write("abcdef", 6));
  ASSERT_TRUE(out.WriteAt(2, "XY", 2));
  ASSERT_TRUE(out.Commit(error)) << error;
  EXPECT_EQ(Text(path), "abXYef");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(OutputFileTest, LinksAreFollowedAndFoldersRefused) {
  dir.Write("target.bin", {'t'});
  fs::create_symlink(dir.File("target.bin"), dir.File("link.bin"));
  fs::create_symlink("missing.bin", dir.File("dangling.bin"));
  std::string error;
  ASSERT_TRUE(WriteAll(dir.File("link.bin"), "via link", error)) << error;
  EXPECT_TRUE(fs::is_symlink(dir.File("link.bin")));
  EXPECT_EQ(Text(dir.File("target.bin")), "via link");
  ASSERT_TRUE(WriteAll(dir.File("dangling.bin"), "created", error)) << error;
  EXPECT_TRUE(fs::is_symlink(dir.File("dangling.bin")));
  EXPECT_EQ(Text(dir.File("missing.bin")), "created");

  EXPECT_FALSE(WriteAll(dir.Path(), "x", error));
  EXPECT_NE(error.find("is a folder"), std::string::npos) << error;
  EXPECT_FALSE(WriteAll("", "x", error));
  EXPECT_FALSE(WriteAll(dir.File("no/such/folder/out.bin"), "x", error));
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST_F(OutputFileTest, DevicesAreWrittenThroughAndAFullOneFails) {
  std::string error;
  EXPECT_TRUE(WriteAll("/dev/null", "gone", error)) << error;
  EXPECT_FALSE(WriteAll("/dev/full", "lost", error));
  EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
  struct stat info {};
  ASSERT_EQ(stat("/dev/full", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
  toolio::OutputFile out;
  ASSERT_TRUE(out.Open("/dev/null", error));
  EXPECT_FALSE(out.Seekable());
  EXPECT_FALSE(out.WriteAt(0, "x", 1));
}

TEST_F(OutputFileTest, SameFileSeesThroughLinksAndOtherNames) {
  const std::string file = dir.Write("a.bin", {1});
  dir.Write("b.bin", {1});
  fs::create_symlink(file, dir.File("link.bin"));
  fs::create_hard_link(file, dir.File("hard.bin"));
  EXPECT_TRUE(toolio::SameFile(file, dir.File("link.bin")));
  EXPECT_TRUE(toolio::SameFile(file, dir.File("hard.bin")));
  EXPECT_TRUE(toolio::SameFile(file, dir.Path() + "/./a.bin"));
  EXPECT_FALSE(toolio::SameFile(file, dir.File("b.bin")));
  EXPECT_FALSE(toolio::SameFile(file, dir.File("absent.bin")));
}

}  // namespace

namespace {

// Standard output on a pseudo-terminal for as long as it lives.
class StdoutOnATerminal {
 public:
  StdoutOnATerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const int terminal = open(ptsname(master_), O_RDWR | O_NOCTTY);
    if (terminal < 0) return;
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    dup2(terminal, STDOUT_FILENO);
    close(terminal);
  }
  ~StdoutOnATerminal() {
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
    if (master_ >= 0) close(master_);
  }
  bool Ready() const { return saved_ >= 0; }

 private:
  int master_ = -1;
  int saved_ = -1;
};

TEST(OutputFileStdout, ATerminalIsRefusedAFileIsPatchedInPlace) {
  {
    StdoutOnATerminal terminal;
    ASSERT_TRUE(terminal.Ready());
    toolio::OutputFile out;
    std::string error;
    EXPECT_FALSE(out.Open("-", error));
    EXPECT_NE(error.find("standard output is a terminal"), std::string::npos) << error;
  }
  TempDir dir;
  const std::string path = dir.Write("redirected", {'>', '>'});
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int file = open(path.c_str(), O_WRONLY);
  lseek(file, 2, SEEK_SET);  // as after "tool >> file" without O_APPEND: output starts at 2
  dup2(file, STDOUT_FILENO);
  close(file);
  toolio::OutputFile out;
  std::string error;
  const bool opened = out.Open("-", error);
  const bool seekable = out.Seekable();
  out.Write("abcd", 4);
  out.WriteAt(1, "X", 1);
  const bool committed = out.Commit(error);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  EXPECT_TRUE(opened && seekable && committed) << error;
  EXPECT_EQ(Text(path), ">>aXcd") << "offsets count from where the output began";
}

TEST(OutputFileRules, AFileTheUserMayNotWriteIsNotReplaced) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write every file";
  TempDir dir;
  const std::string path = dir.Write("locked", {'k'});
  fs::permissions(path, fs::perms::owner_read);
  toolio::OutputFile out;
  std::string error;
  EXPECT_FALSE(out.Open(path, error));
  EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
  EXPECT_EQ(Text(path), "k");
}

}  // namespace
