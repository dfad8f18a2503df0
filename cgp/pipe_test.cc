// Submitted queue files: reserved names, release without replacing, envelope lines.
#include "cgp/pipe.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <regex>

#include "orv/file_system.h"
#include "orv/testing.h"

namespace cgp {
namespace {

using orv::testing::ReadFile;

// Runs each test inside a fresh directory holding Submitted/.
class PipeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    ASSERT_TRUE(orv::MakeDirectory("Submitted", false));
  }
  void TearDown() override { ASSERT_EQ(chdir(cwd_), 0); }

  orv::testing::TempDir dir_;
  char cwd_[4096];
};

TEST_F(PipeTest, CreateQueueFile) {
  const long before = static_cast<long>(time(nullptr));
  const std::regex pattern("Submitted/quillmeremailer_([0-9]+)_-?[0-9]+\\.tmp");
  std::set<orv::string> names;
  for (int i = 0; i < 20; ++i) {
    orv::string name = Pipe::CreateQueueFile();
    std::smatch match;
    ASSERT_TRUE(std::regex_match(name, match, pattern)) << name;
    EXPECT_GE(std::stol(match[1]), before);
    EXPECT_LE(std::stol(match[1]), static_cast<long>(time(nullptr)));
    struct stat st;
    ASSERT_EQ(stat(name.c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_size, 0);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 20u);

  ASSERT_EQ(rename("Submitted", "Elsewhere"), 0);  // the name still comes, the file cannot
  orv::string name = Pipe::CreateQueueFile();
  EXPECT_TRUE(std::regex_match(name, pattern)) << name;
  EXPECT_FALSE(orv::FileExists(name));
}

TEST_F(PipeTest, ReleaseQueueFile) {
  orv::string name = Pipe::CreateQueueFile();
  EXPECT_TRUE(Pipe::ReleaseQueueFile(name));
  EXPECT_FALSE(orv::FileExists(name));
  EXPECT_TRUE(orv::FileExists(name + ".sub"));

  orv::string second = Pipe::CreateQueueFile();
  orv::testing::WriteFile(second + ".sub", "delivered");
  EXPECT_FALSE(Pipe::ReleaseQueueFile(second));
  EXPECT_TRUE(orv::FileExists(second));
  EXPECT_EQ(ReadFile(second + ".sub"), "delivered");

  EXPECT_FALSE(Pipe::ReleaseQueueFile("Submitted/missing.tmp"));
}

TEST(EnvelopeTest, Lines) {
  std::string returnPath;
  std::set<orv::string> recipients;
  Pipe::Envelope envelope(returnPath, recipients);
  EXPECT_EQ(envelope.ToString(), "Return-Path: \n");
  returnPath = "sender@example.com";
  for (const char* to : {"b@example.com", "a@example.com", "b@example.com"}) recipients.insert(to);
  std::ostringstream out;
  out << envelope << "Subject: x\n";
  EXPECT_EQ(out.str(),
            "Return-Path: sender@example.com\nEnvelope-To: a@example.com\n"
            "Envelope-To: b@example.com\nSubject: x\n");
}

}  // namespace
}  // namespace cgp
