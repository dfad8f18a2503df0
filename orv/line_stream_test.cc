// outline and logline on descriptor 1: prefixes, line ends, repeat summaries, long lines.
#include "orv/line_stream.h"

#include <gtest/gtest.h>

#include <thread>

namespace orv {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

TEST(LineStreamTest, Prefixes) {
  CaptureStdout();
  outline() << "text\n\n";
  outline() << "a\nb" << ' ' << 42;
  logline() << "plain";
  logline(7) << "numbered";
  logline(3, string("prefix-k")) << "first\nsecond\n";
  logline() << "a\n\nb";
  logline(12);
  EXPECT_EQ(GetCapturedStdout(),
            "text\na\nb 42\n* plain\n* [7] numbered\n* [3] prefix-k: first\n"
            "* [3] prefix-k: second\n* a\n* \n* b\n* [12] \n");
}

TEST(LineStreamTest, RepeatedMessagesAreSummarised) {
  CaptureStdout();
  const string k("repeat-k"), other("repeat-other");
  for (int i = 0; i < 3; ++i) logline(k) << "busy";
  logline(1, k) << "busy";  // the number is not compared
  logline(k) << "idle";     // once in a row: no summary
  logline(k) << "busy";
  logline() << "x";  // lines without a key are never suppressed
  logline() << "x";
  logline(other) << "busy";  // each key has its own last text
  logline(k) << "busy";
  logline(k) << "done";
  EXPECT_EQ(GetCapturedStdout(),
            "* repeat-k: busy\n* repeat-k: (Last message repeated 4 times)\n* repeat-k: idle\n"
            "* repeat-k: busy\n* x\n* x\n* repeat-other: busy\n"
            "* repeat-k: (Last message repeated 2 times)\n* repeat-k: done\n");
}

TEST(LineStreamTest, LongLinesAreCut) {
  CaptureStdout();
  logline() << std::string(kMaxLogLine - 2, 'a');
  logline(5) << std::string(kMaxLogLine, 'b') << "\nshort";
  for (const char* text : {"x", "x", "y"})  // a long key cuts the summary line too
    logline(string(5000, 'k')) << text;
  const std::string cut_key = "* " + std::string(kMaxLogLine - 2, 'k') + "...\n";
  EXPECT_EQ(GetCapturedStdout(), "* " + std::string(kMaxLogLine - 2, 'a') + "\n* [5] " +
                                     std::string(kMaxLogLine - 6, 'b') + "...\n* [5] short\n" +
                                     cut_key + cut_key + cut_key);
}

TEST(LineStreamTest, BlockKeepsItsThreadsLinesTogether) {
  CaptureStdout();
  {
    LineBlock block;
    logline(3) << "first";
    std::thread([] { outline() << "another thread"; }).join();
    outline() << "3 OK";
  }
  outline() << "after";
  EXPECT_EQ(GetCapturedStdout(), "another thread\n* [3] first\n3 OK\nafter\n");
}

}  // namespace
}  // namespace orv
