// Scratch directories: one per conversion, gone with it; what a crashed
// instance left is removed at the next start, what a running one holds is not.
#include "app/scratch_directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "orv/file_system.h"
#include "orv/testing.h"

namespace {

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  for (orv::DirectoryListing listing(dir); listing.Next();) names.insert(listing.Name());
  return names;
}

// A process id that no process has now.
pid_t DeadPid() {
  pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

TEST(ScratchDirectoryTest, RemovedWithItsContent) {
  orv::testing::TempDir dir;
  std::string path;
  {
    ScratchDirectory scratch;
    ASSERT_TRUE(scratch.Create(dir.path()));
    path = scratch.path();
    ASSERT_TRUE(orv::MakeDirectory(path + "/sub", false));
    dir.Write(path.substr(dir.path().size() + 1) + "/.hidden", "x");
    EXPECT_TRUE(scratch.Contains(path + "/sub/../x"));
    EXPECT_FALSE(scratch.Contains(path + "/sub/x"));
    EXPECT_FALSE(scratch.Contains(path));
  }
  EXPECT_FALSE(orv::IsDirectory(path));
  ScratchDirectory missing;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(missing.Create(dir.Path("missing")));
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("Unable to use the work directory"),
            std::string::npos);
}

TEST(WorkRootTest, LeftoversOfGoneInstancesOnly) {
  orv::testing::TempDir dir;
  const std::string root = dir.Path("wmd_temp");
  const std::string dead = "conversion-" + std::to_string(DeadPid()) + "-abcdef";
  const std::string alive = "conversion-1-abcdef";  // init runs as long as the system
  for (const std::string& name : {dead, alive, std::string("other")}) {
    ASSERT_TRUE(orv::MakeDirectory(root + "/" + name, true));
    dir.Write("wmd_temp/" + name + "/file", "x");
  }
  dir.Write("wmd_temp/winmail.dat", "old");
  dir.Write("wmd_temp/.keep", "");
  PrepareWorkRoot(root);
  EXPECT_EQ(Entries(root), (std::set<std::string>{alive, "other"}));
  struct stat st;
  ASSERT_EQ(stat(root.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0711u);  // converters of another user pass through
  ScratchDirectory own;
  ASSERT_TRUE(own.Create(root));
  dir.Write(own.path().substr(dir.path().size() + 1) + "/file", "x");
  RemoveWorkRoot(root);  // not empty: stays, without this instance's directory
  EXPECT_EQ(Entries(root), (std::set<std::string>{alive, "other"}));
}

}  // namespace
