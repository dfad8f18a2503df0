// The helper protocol's request lines and escaped answers, and the envelope block of queue files.
#include "cgp/ext_filter.h"

#include <gtest/gtest.h>

#include "orv/testing.h"

namespace cgp {
namespace {

using orv::testing::TempDir;

// The fields of a request line, each in brackets.
std::string Parse(const char* line) {
  RequestLine r = ParseRequestLine(line);
  return "[" + r.token + "][" + r.command + "][" + r.parameters + "]";
}

TEST(ParseRequestLineTest, Table) {
  EXPECT_EQ(Parse("1 INTF 3"), "[1][intf][3]");
  EXPECT_EQ(Parse("  12   File   /q/a b.msg  "), "[12][file][/q/a b.msg  ]");
  EXPECT_EQ(Parse("\r12\rFILE\r\n/x y\r"), "[12][file][/x y\r]");
  EXPECT_EQ(Parse("7 KEY   "), "[7][key][]");
  EXPECT_EQ(Parse("7"), "[7][][]");
  EXPECT_EQ(Parse(" \r\n "), "[][][]");
  EXPECT_EQ(Parse("7\tFILE x"), "[7\tFILE][x][]");
  EXPECT_EQ(Parse("1 \xC4X\x8A y"), "[1][\xC4x\x9A][y]");
}

TEST(SequenceNumberTest, Table) {
  EXPECT_EQ(SequenceNumber("007"), 7u);
  EXPECT_EQ(SequenceNumber("12abc"), 12u);
  EXPECT_EQ(SequenceNumber("x"), 0u);
  EXPECT_EQ(SequenceNumber(""), 0u);
  EXPECT_EQ(SequenceNumber("4294967295"), 4294967295u);
  EXPECT_EQ(SequenceNumber("-1"), 4294967295u);  // stream input wraps a negative number around
}

TEST(EscapeProtocolTextTest, Table) {
  EXPECT_EQ(EscapeProtocolText("plain \xE9\x01"), "plain \xE9\x01");
  EXPECT_EQ(EscapeProtocolText("a\\b \\e"), "a\\\\b \\\\e");
  EXPECT_EQ(EscapeProtocolText("l1\r\nl2\r\r"), "l1\\el2");
  EXPECT_EQ(EscapeProtocolText("t\tq\""), "t\\tq\\\"");
}

TEST(EnvelopeTest, HasAndSkipEnvelope) {
  struct Case {
    std::string content;
    bool has;
    std::size_t after;  // offset after SkipEnvelope
  } cases[] = {
      {"P I 01-01-2010\nR W <a@b>\n\nFrom: x\n", true, 26},
      {"P I x\r\nR W y\r\n\r\nBody", true, 16},
      {"P\tI\n\n", true, 5},
      {"\xC4 x\n\n", true, 5},
      {"P I x\nR y\n", true, 10},  // no empty line: to the end
      {"From: a\n\n", false, 0},
      {"P \nR y\n\n", false, 0},  // first line of two bytes only
      {"1 x\n\n", false, 0},
      {"", false, 0},
  };
  TempDir dir;
  for (const Case& c : cases) {
    orv::InputFile in(dir.Write("m", c.content));
    EXPECT_EQ(ExtFilter::HasEnvelope(in), c.has) << c.content;
    EXPECT_EQ(in.Tell(), 0) << c.content;
    EXPECT_EQ(ExtFilter::SkipEnvelope(in), c.has) << c.content;
    EXPECT_EQ(in.Tell(), static_cast<int64_t>(c.after)) << c.content;
  }
  orv::InputFile closed;
  EXPECT_FALSE(ExtFilter::HasEnvelope(closed));
}

}  // namespace
}  // namespace cgp
