// The rtf2html program: OUT.html exactly when the conversion succeeds, exit codes, no stray files.
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "orv/testing.h"

namespace {

namespace fs = std::filesystem;
using orv::testing::ReadFile;

class ProgramTest : public ::testing::Test {
 protected:
  // Runs the program with args, standard error going to errors_; returns its exit status.
  int Run(const std::vector<std::string>& args) {
    std::string command = RTF2HTML_PROGRAM;
    for (const std::string& arg : args) command += " '" + arg + "'";
    const std::string errors = stderr_dir_.Path("errors");
    const int status = system((command + " </dev/null >/dev/null 2>" + errors).c_str());
    errors_ = ReadFile(errors);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Everything in the directory, hidden names included, sorted and each followed by a space.
  std::string Listing() const {
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_.path()))
      names.insert(entry.path().filename());
    std::string listing;
    for (const std::string& name : names) listing += name + " ";
    return listing;
  }

  std::string Path(const std::string& name) const { return dir_.Path(name); }

  orv::testing::TempDir dir_, stderr_dir_;
  std::string errors_;
};

// Each row: the input ("-" for none), the output's name, the exit status, and what the
// directory holds afterwards; a stale out.html is there before.
TEST_F(ProgramTest, OutHtmlExactlyWhenTheConversionSucceeds) {
  const struct {
    const char* name;
    std::string rtf;
    const char* out;
    int status;
    const char* listing;
  } kCases[] = {
      {"not RTF", "<html>hello</html>", "out.html", 1, "in.rtf "},
      {"missing input", "-", "out.html", 1, ""},
      {"missing directory", "{\\rtf1 x}", "no/such/dir/out.html", 1, "in.rtf out.html "},
      {"a directory", "{\\rtf1 x}", "d", 1, "d in.rtf out.html "},
      {"converted", "{\\rtf1 new}", "out.html", 0, "in.rtf out.html "},
  };
  const mode_t mask = umask(0);
  umask(mask);
  for (const auto& c : kCases) {
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_.path()))
      fs::remove_all(entry);
    if (c.out == std::string("d")) fs::create_directory(Path("d"));
    if (c.rtf != "-") dir_.Write("in.rtf", c.rtf);
    dir_.Write("out.html", "stale");
    EXPECT_EQ(Run({Path("in.rtf"), Path(c.out)}), c.status) << c.name;
    EXPECT_EQ(Listing(), c.listing) << c.name;
    EXPECT_EQ(errors_.rfind("rtf2html: ", 0), c.status == 0 ? std::string::npos : 0) << c.name;
  }
  EXPECT_NE(ReadFile(Path("out.html")).find(">new</p>"), std::string::npos);
  struct stat st;
  ASSERT_EQ(stat(Path("out.html").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST_F(ProgramTest, WrongUsage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"in.rtf"}, {"in.rtf", "out.html", "more"}}) {
    EXPECT_EQ(Run(args), 2);
    EXPECT_EQ(errors_, "usage: rtf2html IN.rtf OUT.html\n");
  }
}

}  // namespace
