// tnef listing lines and HTML paths of the files it writes, converter ends; the
// scratch directories converters work in: one per conversion, gone with it, and
// what a crashed instance left is removed at the next start, what a running one
// holds is not.
#include "app/converters.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "app/scratch_directory.h"
#include "orv/file_system.h"
#include "orv/testing.h"

namespace {

// The columns of a listing line, each in brackets.
std::string Listed(const std::string& line) {
  ListingLine l = ParseListingLine(line, "wmd");
  return "[" + l.name + "][" + l.path + "][" + l.type + "][" + l.content_id + "]";
}

TEST(ParseListingLineTest, Table) {
  EXPECT_EQ(Listed("a|b\tc.pdf"), "[][wmd/a|b\tc.pdf][][]");
  EXPECT_EQ(Listed("a.pdf\t|\t"), "[a.pdf][][][]");
}

TEST(HtmlPathForTest, NeverAnExistingName) {
  orv::testing::TempDir dir;
  const std::string rtf = dir.Path("body.rtf");
  dir.Write("body.html", "");
  EXPECT_EQ(HtmlPathFor(rtf), dir.Path("body.1.html"));
  ASSERT_EQ(symlink("nowhere", dir.Path("body.1.html").c_str()), 0);  // dangling, still taken
  EXPECT_EQ(HtmlPathFor(rtf), dir.Path("body.2.html"));
  EXPECT_EQ(HtmlPathFor(dir.Path("BODY.RTF")), dir.Path("BODY.html"));
}

std::string LimitMessageOf(const std::string& script, int wall_seconds = 120) {
  orv::ProcessLimits limits;
  limits.wall_seconds = wall_seconds;
  orv::Process child("/bin/sh", {"-c", script}, orv::ChildOutput::kDiscard, limits);
  child.Wait();
  return LimitMessage("tnef", child, limits);
}

TEST(LimitMessageTest, SignalsAndTheWallClock) {
  EXPECT_EQ(LimitMessageOf("exit 1"), "");
  EXPECT_EQ(LimitMessageOf("kill -s ABRT $$"), "tnef ended with signal 6");
  EXPECT_EQ(LimitMessageOf("kill -s XCPU $$"),
            "tnef used more than 60 seconds of CPU time and was stopped");
  EXPECT_EQ(LimitMessageOf("kill -s XFSZ $$"),
            "tnef tried to write a file larger than 2048 MiB and was stopped");
  EXPECT_EQ(LimitMessageOf("sleep 100", 1), "tnef ran longer than 1 seconds and was stopped");
}

// A converter user that does not exist: no converter is started.
TEST(ProgramConvertersTest, Refused) {
  ProgramConverters converters("/nonexistent/", orv::Confinement(), "no user");
  const ConverterRun run =
      converters.Tnef("winmail.dat", "/nonexistent", true,
                      std::chrono::steady_clock::now() + std::chrono::seconds(60));
  EXPECT_EQ(run.status, ConverterRun::kNotRun);
  EXPECT_EQ(run.reason, "no user");
}

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
