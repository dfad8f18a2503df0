// File-system helpers: directory creation and removal, paths, listings.
#include "orv/file_system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>

#include "orv/testing.h"

namespace orv {
namespace {

class FileSystemTest : public ::testing::Test {
 protected:
  string P(const std::string& name) const { return dir_.Path(name); }
  std::set<string> List(const string& path) {
    std::set<string> names;
    DirectoryListing listing(path);
    while (listing.Next()) names.insert(listing.Name());
    EXPECT_EQ(listing.Name(), "");
    return names;
  }
  testing::TempDir dir_;
};

TEST_F(FileSystemTest, MakeAndRemoveDirectory) {
  EXPECT_FALSE(MakeDirectory(P("a/b"), false));  // no parent
  EXPECT_TRUE(MakeDirectory(P("a/b/c"), true));
  EXPECT_TRUE(MakeDirectory(P("a/b/"), false));  // already there
  EXPECT_TRUE(MakeDirectory(P("x\\y\\z\\"), true));
  EXPECT_TRUE(IsDirectory(P("x/y/z")));
  dir_.Write("file", "");
  EXPECT_FALSE(MakeDirectory(P("file"), false));
  EXPECT_FALSE(RemoveDirectory(P("a/b"), false));  // not empty
  EXPECT_TRUE(RemoveDirectory(P("a/b/c"), false));
  EXPECT_FALSE(IsDirectory(P("a/b/c")));
}

TEST_F(FileSystemTest, DirectoryListing) {
  for (const char* name : {".hidden", "a.txt", "b", "winmail.dat", "winmail.dat.1"})
    dir_.Write(name, "");
  ASSERT_TRUE(MakeDirectory(P("sub"), false));
  EXPECT_EQ(List(dir_.path()),
            (std::set<string>{"a.txt", "b", "sub", "winmail.dat", "winmail.dat.1"}));
  EXPECT_EQ(List(P("missing")), std::set<string>{});
}

TEST(FileSystemPathTest, DirectoryOf) {
  EXPECT_EQ(DirectoryOf("/var/spool/x/msg.txt"), "/var/spool/x/");
  EXPECT_EQ(DirectoryOf("dir/"), "dir/");
  EXPECT_EQ(DirectoryOf("/"), "/");
  EXPECT_EQ(DirectoryOf("msg.txt"), "./");
  EXPECT_EQ(DirectoryOf(""), "./");
  EXPECT_EQ(DirectoryOf("a\\b\\c"), "a/b/");
}

}  // namespace
}  // namespace orv
