// The generated archive as the start-up reads it, and the generator's
// determinism.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "tests/content/contentkit.h"
#include "tools/mkcontent/content.h"

namespace {

class GeneratedArchive : public ::testing::Test {
protected:
  contentkit::OpenArchive open{DEMO_CONTENT_DIR "/demo.dat"};
};

TEST_F(GeneratedArchive, OpensWithTheSystemsReader) {
  ASSERT_TRUE(open.Ok());
  EXPECT_GT(open.Lib()->EntryCount(), 20);
}

TEST_F(GeneratedArchive, HoldsEveryMemberTheStartUpAsksFor) {
  ASSERT_TRUE(open.Ok());
  std::vector<std::string> wanted = {"textures\\brind.pcx", "textures\\bump\\scroller\\background.pcx",
                                     "textures\\bump\\256.pcx", "textures\\bump\\scroller\\text1024.pcx",
                                     "textures\\plasm.pcx"};
  for (const char* scene : contentkit::sceneNames) wanted.push_back(std::string("3ds\\") + scene + ".3DS");
  for (const std::string& name : wanted) {
    const TFileLibEntry* entry = open.Lib()->Find(name.c_str());
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_GT(entry->size, 0) << name;
    // A member stream reads the whole member back.
    TFileInLib member(open.Lib());
    member.SetName(name.c_str());
    ASSERT_TRUE(member.Open(modeRead)) << name;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(member.Size()));
    EXPECT_EQ(member.Read(bytes.data(), static_cast<int>(bytes.size()), 1), 1) << name;
    EXPECT_FALSE(member.Error()) << name;
  }
}

TEST_F(GeneratedArchive, MemberNamesFitAndAreUnique) {
  ASSERT_TRUE(open.Ok());
  const int count = open.Lib()->EntryCount();
  for (int i = 0; i < count; ++i) {
    const TFileLibEntry* entry = open.Lib()->Entry(i);
    ASSERT_LT(std::strlen(entry->name), static_cast<std::size_t>(TFileLibEntry::nameSize)) << i;
    // Find returns the first entry of a name: a duplicate would hide a member.
    EXPECT_EQ(open.Lib()->Find(entry->name), entry) << entry->name;
  }
}

TEST(ContentGenerator, GivesTheSameBytesEveryTime) {
  std::vector<std::uint8_t> first, second;
  std::string message;
  ASSERT_TRUE(content::BuildArchive(first, message)) << message;
  ASSERT_TRUE(content::BuildArchive(second, message)) << message;
  EXPECT_TRUE(first == second);
  // The build ran the same generator, so its archive matches too.
  std::vector<std::uint8_t> built;
  ASSERT_TRUE(contentkit::ReadBytes(DEMO_CONTENT_DIR "/demo.dat", built));
  EXPECT_TRUE(first == built);
  EXPECT_TRUE(content::BuildMusic() == content::BuildMusic());
}

TEST(ContentGenerator, WritesBothFilesAndRefusesAnUnwritableDirectory) {
  const std::string dir = ::testing::TempDir() + "content_write_test";
  std::string error;
  ASSERT_TRUE(content::WriteContent(dir, error)) << error;
  std::vector<std::uint8_t> music, archiveBytes;
  ASSERT_TRUE(contentkit::ReadBytes(dir + "/music.s3m", music));
  ASSERT_GE(music.size(), 96u);
  EXPECT_EQ(std::string(music.begin() + 44, music.begin() + 48), "SCRM");
  ASSERT_TRUE(contentkit::ReadBytes(dir + "/demo.dat", archiveBytes));
  EXPECT_EQ(std::string(archiveBytes.begin(), archiveBytes.begin() + 7), "QVRLIB1");

  // A path under a regular file cannot be a directory.
  EXPECT_FALSE(content::WriteContent(dir + "/music.s3m/sub", error));
  EXPECT_FALSE(error.empty());
}

}  // namespace

namespace {

int RunTool(const std::string& arguments) {
  const std::string command = std::string("\"") + MKCONTENT_PATH + "\" " + arguments + " > /dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MkcontentTool, AnswersHelpAndRefusesBadArguments) {
  EXPECT_EQ(RunTool("--help"), 0);
  EXPECT_EQ(RunTool(""), 2);
  EXPECT_EQ(RunTool("--bogus " + ::testing::TempDir()), 2);
  EXPECT_EQ(RunTool(::testing::TempDir() + "a " + ::testing::TempDir() + "b"), 2);
  // An output directory that cannot be made is a failure, reported as such.
  EXPECT_EQ(RunTool("/proc/mkcontent_cannot_be_here"), 1);
}

}  // namespace
