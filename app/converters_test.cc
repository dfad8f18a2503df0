// tnef listing lines and HTML paths of the files it writes, converter ends.
#include "app/converters.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "orv/testing.h"

namespace {

// The columns of a listing line, each in brackets.
std::string Listed(const std::string& line) {
  ListingLine l = ParseListingLine(line, "wmd");
  return "[" + l.name + "][" + l.path + "][" + l.type + "][" + l.content_id + "]";
}

TEST(ParseListingLineTest, Table) {
  EXPECT_EQ(Listed("a.pdf\t|\t/w/a.pdf\t|\tapplication/pdf\t|\t<cid>"),
            "[a.pdf][/w/a.pdf][application/pdf][<cid>]");
  EXPECT_EQ(Listed("a.pdf\t|\t/w/a b.pdf"), "[a.pdf][/w/a b.pdf][][]");
  EXPECT_EQ(Listed("a.pdf"), "[][wmd/a.pdf][][]");
  EXPECT_EQ(Listed("a|b\tc.pdf"), "[][wmd/a|b\tc.pdf][][]");
  EXPECT_EQ(Listed("a.pdf\t|\t"), "[a.pdf][][][]");
}

TEST(HtmlPathForTest, NeverAnExistingName) {
  orv::testing::TempDir dir;
  const std::string rtf = dir.Path("body.rtf");
  EXPECT_EQ(HtmlPathFor(rtf), dir.Path("body.html"));
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

TEST(LimitMessageTest, Signals) {
  EXPECT_EQ(LimitMessageOf("exit 1"), "");
  EXPECT_EQ(LimitMessageOf("kill -s ABRT $$"), "tnef ended with signal 6");
  EXPECT_EQ(LimitMessageOf("kill -s XCPU $$"),
            "tnef used more than 60 seconds of CPU time and was stopped");
  EXPECT_EQ(LimitMessageOf("kill -s XFSZ $$"),
            "tnef tried to write a file larger than 2048 MiB and was stopped");
}

TEST(LimitMessageTest, WallClockSlow) {
  EXPECT_EQ(LimitMessageOf("sleep 100", 1), "tnef ran longer than 1 seconds and was stopped");
}

// A run's status and reason.
std::string Ended(const ConverterRun& run) {
  return std::to_string(run.status) + " " + run.reason;
}

// A converter that could not be executed, or whose loader gave up, did not
// run; one that ran and failed did.
TEST(ProgramConvertersTest, NotRun) {
  const struct {
    std::string script;
    mode_t mode;
    ConverterRun::Status status;
    std::string reason;
  } cases[] = {
      {"#!/nonexistent/interp\n", 0755, ConverterRun::kNotRun, "No such file or directory"},
      {"#!/bin/sh\n", 0644, ConverterRun::kNotRun, "Permission denied"},
      {"#!/bin/sh\nexit 127\n", 0755, ConverterRun::kNotRun,
       "it exited with status 127, as when a shared library is missing"},
      {"#!/bin/sh\nexit 1\n", 0755, ConverterRun::kDone, ""},
  };
  const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (const auto& c : cases) {
    orv::testing::TempDir dir;
    for (const char* name : kConverterNames) {
      ASSERT_EQ(chmod(dir.Write(name, c.script).c_str(), c.mode), 0);
    }
    ProgramConverters converters(dir.Path(""), orv::Confinement());
    const ConverterRun tnef =
        converters.Tnef(dir.Path("winmail.dat"), dir.Path(""), true, deadline);
    EXPECT_EQ(Ended(tnef), std::to_string(c.status) + " " + c.reason) << c.script;
    const ConverterRun rtf2html =
        converters.Rtf2html(dir.Path("a.rtf"), dir.Path("a.html"), deadline);
    EXPECT_EQ(Ended(rtf2html), std::to_string(c.status) + " " + c.reason) << c.script;
  }
}

TEST(ProgramConvertersTest, Refused) {
  orv::testing::TempDir dir;
  ASSERT_EQ(chmod(dir.Write("tnef", "#!/bin/sh\n").c_str(), 0755), 0);
  ProgramConverters converters(dir.Path(""), orv::Confinement(), "no user");
  const ConverterRun run =
      converters.Tnef(dir.Path("winmail.dat"), dir.Path(""), true,
                      std::chrono::steady_clock::now() + std::chrono::seconds(60));
  EXPECT_EQ(Ended(run), std::to_string(ConverterRun::kNotRun) + " no user");
}

}  // namespace
