// Where the presentation looks for its data when no folder is named: the current
// folder first, then the folder an installed copy keeps beside its bin/.

#include "driver/contentdir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "content.h"

namespace {

namespace fs = std::filesystem;
using testcontent::TempDir;

// Runs the lookup from inside dir, as the program would, and comes back.
std::string DefaultFrom(const std::string& dir, const std::string& program) {
  const fs::path back = fs::current_path();
  fs::current_path(dir);
  std::string found = DemoDefaultContentDir(program);
  fs::current_path(back);
  return found;
}

void Touch(const fs::path& file) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "x";
}

TEST(ContentDir, AnInstalledProgramLooksInShareBesideItsBinFolder) {
  EXPECT_EQ(DemoInstalledContentDir("/opt/p/bin/demo"), "/opt/p/bin/../share/demo");
  EXPECT_EQ(DemoInstalledContentDir("demo"), "");
  EXPECT_EQ(DemoInstalledContentDir(""), "");
}

TEST(ContentDir, TheCurrentFolderComesFirstThenTheInstalledOne) {
  TempDir prefix, work;
  const std::string program = prefix.File("bin/demo");
  Touch(program);
  // Nothing anywhere: the current folder, whose missing file the start-up names.
  EXPECT_EQ(DefaultFrom(work.Path(), program), "");

  Touch(prefix.File("share/demo/demo.dat"));
  const std::string found = DefaultFrom(work.Path(), program);
  ASSERT_FALSE(found.empty());
  EXPECT_TRUE(fs::equivalent(found, prefix.File("share/demo")));

  Touch(work.File("demo.dat"));
  EXPECT_EQ(DefaultFrom(work.Path(), program), "");
}

TEST(ContentDir, AFolderNamedDemoDatIsNoData) {
  TempDir prefix, work;
  fs::create_directories(prefix.File("share/demo/demo.dat"));
  fs::create_directories(work.File("demo.dat"));
  EXPECT_EQ(DefaultFrom(work.Path(), prefix.File("bin/demo")), "");
}

TEST(ContentDir, TheRunningProgramKnowsItsPath) {
  const std::string self = DemoProgramPath();
  ASSERT_FALSE(self.empty());
  EXPECT_TRUE(fs::equivalent(self, "/proc/self/exe"));
}

}  // namespace
