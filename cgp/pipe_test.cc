// Submitted queue files: reserved names and release without replacing.
#include "cgp/pipe.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "orv/file_system.h"
#include "orv/testing.h"

namespace cgp {
namespace {

// Runs inside a fresh directory holding Submitted/.
TEST(PipeTest, ReserveAndRelease) {
  orv::testing::TempDir dir;
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  ASSERT_TRUE(orv::MakeDirectory("Submitted", false));
  const std::regex pattern("Submitted/quillmeremailer_[0-9]+_-?[0-9]+\\.tmp");
  const orv::string first = Pipe::CreateQueueFile(), second = Pipe::CreateQueueFile();
  EXPECT_TRUE(std::regex_match(first, pattern)) << first;
  EXPECT_NE(first, second);
  EXPECT_EQ(orv::testing::ReadFile(first), "");
  EXPECT_TRUE(orv::FileExists(first));

  EXPECT_TRUE(Pipe::ReleaseQueueFile(first));
  EXPECT_FALSE(orv::FileExists(first));
  EXPECT_TRUE(orv::FileExists(first + ".sub"));
  ASSERT_EQ(rename((first + ".sub").c_str(), (second + ".sub").c_str()), 0);
  EXPECT_FALSE(Pipe::ReleaseQueueFile(second));  // never replaces
  EXPECT_TRUE(orv::FileExists(second));
  EXPECT_FALSE(Pipe::ReleaseQueueFile("Submitted/missing.tmp"));
  ASSERT_EQ(chdir(cwd), 0);
}

}  // namespace
}  // namespace cgp
