// tnef listing lines and HTML paths of the files it writes, converter ends.
#include "app/converters.h"

#include <gtest/gtest.h>
#include <unistd.h>

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

}  // namespace
