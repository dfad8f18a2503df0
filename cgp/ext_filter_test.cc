// The helper protocol's request lines and escaped answers, and the envelope block of queue files.
#include "cgp/ext_filter.h"
#include "cgp/envelope.h"

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

TEST(ProtocolTextTest, RequestLinesNumbersAndEscapes) {
  EXPECT_EQ(Parse("\r12\rFILE\r\n/x y\r"), "[12][file][/x y\r]");
  EXPECT_EQ(Parse("7\tFILE x"), "[7\tFILE][x][]");
  EXPECT_EQ(Parse("1 \xC4X\x8A y"), "[1][\xC4x\x8A][y]");  // ASCII letters only
  EXPECT_EQ(SequenceNumber("007"), 7u);
  EXPECT_EQ(SequenceNumber(""), 0u);
  EXPECT_EQ(SequenceNumber("4294967295"), 4294967295u);
  EXPECT_EQ(SequenceNumber("-1"), 4294967295u);  // stream input wraps a negative number around
  EXPECT_EQ(EscapeProtocolText("plain \xE9\x01"), "plain \xE9\x01");
  EXPECT_EQ(EscapeProtocolText("a\\b \\e"), "a\\\\b \\\\e");
  EXPECT_EQ(EscapeProtocolText("l1\r\nl2\r\r"), "l1\\el2");
}

// Where SkipEnvelope leaves a file, or "none" when HasEnvelope finds no envelope block; either
// leaves it at offset 0 when there is none.
std::string Envelope(const std::string& content) {
  TempDir dir;
  orv::InputFile in(dir.Write("m", content));
  const bool has = HasEnvelope(in);
  EXPECT_EQ(in.Tell(), 0) << content;
  EXPECT_EQ(SkipEnvelope(in), has) << content;
  return has ? std::to_string(in.Tell()) : in.Tell() == 0 ? "none" : "moved";
}

TEST(EnvelopeTest, HasAndSkipEnvelope) {
  EXPECT_EQ(Envelope("P I x\r\nR W y\r\n\r\nBody"), "16");
  EXPECT_EQ(Envelope("P\tI\n\n"), "5");
  EXPECT_EQ(Envelope("\xC4 x\n\n"), "5");
  EXPECT_EQ(Envelope("P I x\nR y\n"), "10");   // no empty line: to the end
  EXPECT_EQ(Envelope("P \nR y\n\n"), "none");  // first line of two bytes only
  EXPECT_EQ(Envelope("1 x\n\n"), "none");
  EXPECT_EQ(Envelope(""), "none");
  orv::InputFile closed;
  EXPECT_FALSE(HasEnvelope(closed));
}

}  // namespace
}  // namespace cgp
