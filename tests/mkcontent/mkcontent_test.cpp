// mkcontent creates at most the last level of its output folder and says so;
// a mistyped path grows no tree of folders. Option mistakes are refused.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "../stream/temp_dir.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
  int status = -1;
  std::string output;  // standard output and error
};

ToolRun Mkcontent(const std::string& args) {
  const std::string command = std::string(MKCONTENT_PATH) + " " + args + " 2>&1";
  ToolRun r;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return r;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(MkcontentFolder, OnlyTheLastLevelIsCreatedAndThatIsSaid) {
  TempDir dir;
  ToolRun r = Mkcontent(dir.File("no/such/dir"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("the folder " + dir.File("no/such") + " does not exist"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(dir.File("no"))) << "nothing created on the way";

  r = Mkcontent(dir.File("out") + "/");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("created the folder"), std::string::npos) << r.output;
  EXPECT_GT(fs::file_size(dir.File("out/demo.dat")), 0u);
  EXPECT_GT(fs::file_size(dir.File("out/music.s3m")), 0u);
}

TEST(MkcontentFolder, AFileInThePlaceOfTheFolderIsRefused) {
  TempDir dir;
  dir.Write("taken", {1, 2, 3});
  const ToolRun r = Mkcontent(dir.File("taken"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("exists and is not a folder"), std::string::npos) << r.output;
  EXPECT_EQ(fs::file_size(dir.File("taken")), 3u);
}

TEST(MkcontentOptions, MistakesAreRefusedNamingTheOption) {
  for (const auto& [args, message] : {std::pair{"", "OUTDIR is required"}, std::pair{"--bogus x", "--bogus"},
                                      std::pair{"''", "OUTDIR: must not be empty"},
                                      std::pair{"a b", "not expected: b"}}) {
    const ToolRun r = Mkcontent(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.output.find(message), std::string::npos) << args << ": " << r.output;
  }
  const ToolRun r = Mkcontent("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output.rfind("mkcontent ", 0), 0u) << r.output;
}

}  // namespace
