// The program as the filter runs it: OUT.html exists afterwards exactly when
// the conversion succeeded, and no temporary file stays behind either way.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/rtf2html-test-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }

  void TearDown() override {
    for (const std::string& name : Listing()) {
      std::string path = dir_ + "/" + name;
      if (rmdir(path.c_str()) != 0)
        unlink(path.c_str());
    }
    rmdir(dir_.c_str());
  }

  // Runs the program with args, standard error going to *errors; returns its
  // exit status, or -1 when it did not exit by itself.
  int Run(const std::vector<std::string>& args, std::string* errors = nullptr) {
    std::string error_file = dir_ + ".stderr";
    pid_t pid = fork();
    if (pid == 0) {
      int null = open("/dev/null", O_RDWR);
      int err = open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(null, 0);
      dup2(null, 1);
      dup2(err, 2);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(RTF2HTML_PROGRAM));
      for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(error_file);
    std::stringstream text;
    text << in.rdbuf();
    if (errors)
      *errors = text.str();
    unlink(error_file.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Everything in the directory, hidden names included, sorted.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir_.c_str())) {
      while (dirent* entry = readdir(d)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
          names.push_back(name);
      }
      closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  void WriteFile(const std::string& name, const std::string& content) const {
    std::ofstream(Path(name), std::ios::binary) << content;
  }

  std::string ReadFile(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string dir_;
};

using Names = std::vector<std::string>;

TEST_F(ProgramTest, WritesTheHtmlFile) {
  ASSERT_EQ(Run({RTF2HTML_TESTDATA "/multi-value-attribute.rtf", Path("out.html")}), 0);
  EXPECT_EQ(Listing(), Names({"out.html"}));
  EXPECT_EQ(ReadFile("out.html").rfind("<html><head><meta charset=\"utf-8\">\n", 0), 0u);

  struct stat st;
  ASSERT_EQ(stat(Path("out.html").c_str(), &st), 0);
  mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST_F(ProgramTest, ReplacesAFileOfTheSameName) {
  WriteFile("in.rtf", "{\\rtf1 new}");
  WriteFile("out.html", "old");
  ASSERT_EQ(Run({Path("in.rtf"), Path("out.html")}), 0);
  EXPECT_EQ(Listing(), Names({"in.rtf", "out.html"}));
  EXPECT_NE(ReadFile("out.html").find(">new</p>"), std::string::npos);
}

TEST_F(ProgramTest, FailureLeavesNoHtmlFile) {
  const std::pair<const char*, std::string> kCases[] = {
      {"empty", ""},
      {"not RTF", "<html>hello</html>"},
      {"nested too deep", "{\\rtf1 " + std::string(100000, '{')},
  };
  for (const auto& [name, rtf] : kCases) {
    WriteFile("in.rtf", rtf);
    WriteFile("out.html", "stale");
    std::string errors;
    EXPECT_EQ(Run({Path("in.rtf"), Path("out.html")}, &errors), 1) << name;
    EXPECT_EQ(Listing(), Names({"in.rtf"})) << name;
    EXPECT_NE(errors.find("rtf2html: "), std::string::npos) << name;
  }
}

TEST_F(ProgramTest, FilesThatCannotBeUsed) {
  EXPECT_EQ(Run({Path("missing.rtf"), Path("out.html")}), 1);
  EXPECT_EQ(Listing(), Names());

  WriteFile("in.rtf", "{\\rtf1 x}");
  EXPECT_EQ(Run({Path("in.rtf"), Path("no/such/dir/out.html")}), 1);
  EXPECT_EQ(Run({Path("in.rtf"), Path("")}), 1);
  EXPECT_EQ(Listing(), Names({"in.rtf"}));

  ASSERT_EQ(mkdir(Path("out.html").c_str(), 0755), 0);
  EXPECT_EQ(Run({Path("in.rtf"), Path("out.html")}), 1);
  EXPECT_EQ(Listing(), Names({"in.rtf", "out.html"}));
}

TEST_F(ProgramTest, WrongUsage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"in.rtf"}, {"in.rtf", "out.html", "more"}}) {
    std::string errors;
    EXPECT_EQ(Run(args, &errors), 2);
    EXPECT_EQ(errors, "usage: rtf2html IN.rtf OUT.html\n");
  }
  EXPECT_EQ(Listing(), Names());
}

}  // namespace
