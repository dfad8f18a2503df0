// File-system helpers: existence tests, directory creation and removal, paths, listings, wildcards.
#include "orv/file_system.h"

#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <set>

#include "orv/testing.h"

namespace orv {
namespace {

class FileSystemTest : public ::testing::Test {
 protected:
  string P(const std::string& name) const { return dir_.Path(name); }
  testing::TempDir dir_;
};

std::set<string> List(const string& path, const string& pattern = string()) {
  std::set<string> names;
  DirectoryListing listing(path, pattern);
  while (listing.Next()) names.insert(listing.Name());
  EXPECT_EQ(listing.Name(), "");
  return names;
}

TEST_F(FileSystemTest, ExistsAndIsDirectory) {
  dir_.Write("file", "x");
  ASSERT_EQ(chmod(P("file").c_str(), 0), 0);
  ASSERT_EQ(symlink("nowhere", P("dangling").c_str()), 0);
  ASSERT_EQ(symlink(P("file").c_str(), P("link").c_str()), 0);
  ASSERT_EQ(symlink(dir_.path().c_str(), P("dirlink").c_str()), 0);
  EXPECT_TRUE(FileExists(P("file")));
  EXPECT_TRUE(FileExists(P("link")));
  EXPECT_FALSE(FileExists(P("dangling")));
  EXPECT_FALSE(FileExists(P("missing")));
  EXPECT_FALSE(FileExists(dir_.path()));
  EXPECT_FALSE(FileExists(P("dirlink")));
  EXPECT_TRUE(IsDirectory(P("dirlink")));
  EXPECT_FALSE(IsDirectory(P("file")));
  EXPECT_TRUE(FileExists("/dev/null"));
}

TEST_F(FileSystemTest, MakeDirectory) {
  EXPECT_FALSE(MakeDirectory(P("a/b"), false));  // no parent
  EXPECT_TRUE(MakeDirectory(P("a/b/c"), true));
  EXPECT_TRUE(IsDirectory(P("a/b/c")));
  EXPECT_TRUE(MakeDirectory(P("a/b/"), false));  // already there
  EXPECT_TRUE(MakeDirectory(P("tmp"), false));
  EXPECT_TRUE(MakeDirectory(P("tmp\\work"), false));
  EXPECT_TRUE(IsDirectory(P("tmp/work")));
  EXPECT_TRUE(MakeDirectory(P("x\\y\\z\\"), true));
  EXPECT_TRUE(IsDirectory(P("x/y/z")));
  dir_.Write("file", "");
  EXPECT_FALSE(MakeDirectory(P("file"), false));
  EXPECT_FALSE(MakeDirectory(P("file/sub"), true));
}

TEST_F(FileSystemTest, RemoveDirectory) {
  ASSERT_TRUE(MakeDirectory(P("d/sub/deeper"), true));
  dir_.Write("d/f", "");
  dir_.Write("d/sub/g", "");
  EXPECT_FALSE(RemoveDirectory(P("d"), false));  // not empty
  EXPECT_TRUE(RemoveDirectory(P("d"), true));
  EXPECT_FALSE(IsDirectory(P("d")));

  // A hidden name is never listed, so it stays and the directory too.
  ASSERT_TRUE(MakeDirectory(P("h"), false));
  dir_.Write("h/.hidden", "");
  dir_.Write("h/visible", "");
  EXPECT_FALSE(RemoveDirectory(P("h"), true));
  EXPECT_EQ(List(P("h")), std::set<string>{});
  EXPECT_TRUE(FileExists(P("h/.hidden")));

  EXPECT_FALSE(RemoveDirectory(P("missing"), true));
}

TEST_F(FileSystemTest, RecursiveRemovalDoesNotFollowLinks) {
  ASSERT_TRUE(MakeDirectory(P("outside"), false));
  dir_.Write("outside/keep", "");
  ASSERT_TRUE(MakeDirectory(P("d"), false));
  ASSERT_EQ(symlink(P("outside").c_str(), P("d/link").c_str()), 0);
  EXPECT_TRUE(RemoveDirectory(P("d"), true));
  EXPECT_TRUE(FileExists(P("outside/keep")));
}

TEST(FileSystemPathTest, DirectoryOfAndToSlashes) {
  struct Case {
    const char *path, *dir;
  } cases[] = {
      {"/var/spool/x/msg.txt", "/var/spool/x/"},
      {"dir/", "dir/"},
      {"/", "/"},
      {"msg.txt", "./"},
      {"", "./"},
      {"a\\b\\c", "a/b/"},
      {"a/b\\", "a/b/"},
  };
  for (const Case& c : cases) EXPECT_EQ(DirectoryOf(c.path), c.dir) << c.path;
  string path("\\a\\b/c");
  ToSlashes(path);
  EXPECT_EQ(path, "/a/b/c");
}

TEST_F(FileSystemTest, DirectoryListing) {
  for (const char* name : {".hidden", "a.txt", "b", "winmail.dat", "winmail.dat.1"})
    dir_.Write(name, "");
  ASSERT_TRUE(MakeDirectory(P("sub"), false));
  EXPECT_EQ(List(dir_.path()),
            (std::set<string>{"a.txt", "b", "sub", "winmail.dat", "winmail.dat.1"}));
  EXPECT_EQ(List(dir_.path(), "*.dat"), std::set<string>{"winmail.dat"});
  EXPECT_EQ(List(dir_.path(), "?"), std::set<string>{"b"});
  EXPECT_EQ(List(dir_.path(), ".*"), std::set<string>{});
  EXPECT_EQ(List(P("missing")), std::set<string>{});

  DirectoryListing listing(dir_.path(), "b");
  EXPECT_TRUE(listing.Next());
  EXPECT_FALSE(listing.Next());
  listing.Rewind();
  EXPECT_EQ(listing.Name(), "");
  EXPECT_TRUE(listing.Next());
  EXPECT_EQ(listing.Name(), "b");
}

TEST(WildcardMatchTest, Table) {
  struct Case {
    const char *pattern, *name;
    bool match;
  } cases[] = {
      {"*.dat", "winmail.dat", true},
      {"*.dat", "winmail.dat.1", false},
      {"w?nmail*", "winmail.dat", true},
      {"*", "", true},
      {"", "x", false},
      {"", "", true},
      {"?", "", false},
      {"a*", "a", true},
      {"*a", "ba", true},
      {"a*b*c", "aXbYc", true},
      {"a*b*c", "aXbYcd", false},
      {"*ab", "aab", true},
      {"**", "x", true},
      {"*?", "", false},
      {"Win*", "winmail", false},
      {"*a*a*a", "aaXaa", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

// Without brackets or backslashes, fnmatch with no flags has the same meaning.
TEST(WildcardMatchTest, AgreesWithFnmatch) {
  std::mt19937 random(7);
  auto make = [&random](const char* alphabet, int size) {
    string s;
    for (int n = static_cast<int>(random() % 8); n > 0; --n)
      s += alphabet[random() % static_cast<unsigned>(size)];
    return s;
  };
  for (int i = 0; i < 20000; ++i) {
    string pattern = make("ab*?", 4), name = make("ab.", 3);
    ASSERT_EQ(WildcardMatch(pattern, name), fnmatch(pattern.c_str(), name.c_str(), 0) == 0)
        << pattern << " " << name;
  }
}

}  // namespace
}  // namespace orv
