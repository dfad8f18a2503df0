// outline and logline on descriptor 1: prefixes, line ends, repeats, long lines, broken output.
#include "orv/line_stream.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "orv/testing.h"

namespace orv {
namespace {

using testing::CaptureStdout;

TEST(LineStreamTest, Outline) {
  CaptureStdout capture;
  outline() << "text\n\n";
  outline();
  outline() << "a\nb" << ' ' << 42;
  outline() << "\n";
  EXPECT_EQ(capture.Finish(), "text\n\na\nb 42\n\n");
}

TEST(LineStreamTest, LoglinePrefixes) {
  CaptureStdout capture;
  logline() << "plain";
  logline(7) << "numbered";
  logline(string("prefix-key")) << "keyed";
  logline(3, string("prefix-k")) << "first\nsecond\n";
  logline() << "a\n\nb";
  logline(12);
  EXPECT_EQ(capture.Finish(),
            "* plain\n* [7] numbered\n* prefix-key: keyed\n* [3] prefix-k: first\n"
            "* [3] prefix-k: second\n* a\n* \n* b\n* [12] \n");
}

TEST(LineStreamTest, RepeatedMessagesAreSummarised) {
  CaptureStdout capture;
  const string k("repeat-k"), other("repeat-other");
  for (int i = 0; i < 3; ++i) logline(k) << "busy";
  logline(1, k) << "busy";  // the number is not compared
  logline(k) << "idle";
  logline(k) << "busy";  // once in a row: no summary
  logline(k) << "done";
  logline() << "x";  // lines without a key are never suppressed
  logline() << "x";
  for (int i = 0; i < 2; ++i) {
    logline(k) << "ping";
    logline(other) << "ping";
  }
  logline(k) << "pong";
  EXPECT_EQ(
      capture.Finish(),
      "* repeat-k: busy\n* repeat-k: (Last message repeated 4 times)\n* repeat-k: idle\n"
      "* repeat-k: busy\n* repeat-k: done\n* x\n* x\n* repeat-k: ping\n"
      "* repeat-other: ping\n* repeat-k: (Last message repeated 2 times)\n* repeat-k: pong\n");
}

TEST(LineStreamTest, LongLinesAreCut) {
  CaptureStdout capture;
  logline() << std::string(kMaxLogLine - 2, 'a');
  logline(5) << std::string(kMaxLogLine, 'b') << "\nshort";
  for (const char* text : {"x", "x", "y"})  // a long key cuts the summary line too
    logline(string(5000, 'k')) << text;
  const std::string cutKey = "* " + std::string(kMaxLogLine - 2, 'k') + "...\n";
  EXPECT_EQ(capture.Finish(), "* " + std::string(kMaxLogLine - 2, 'a') + "\n* [5] " +
                                  std::string(kMaxLogLine - 6, 'b') + "...\n* [5] short\n" +
                                  cutKey + cutKey + cutKey);
}

// Run in a child process: the broken state lasts for the whole process.
void WriteToClosedPipe() {
  signal(SIGPIPE, SIG_IGN);
  int fds[2];
  if (pipe(fds) != 0 || dup2(fds[1], STDOUT_FILENO) < 0) _exit(2);
  close(fds[0]);
  bool first = WriteLine("lost");
  outline() << "lost too";
  _exit(!first && OutputBroken() && !WriteLine("x") ? 0 : 1);
}

TEST(LineStreamDeathTest, ClosedOutputIsBrokenForGood) {
  EXPECT_FALSE(OutputBroken());
  EXPECT_EXIT(WriteToClosedPipe(), ::testing::ExitedWithCode(0), "");
  EXPECT_FALSE(OutputBroken());
}

}  // namespace
}  // namespace orv
