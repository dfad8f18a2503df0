// The helper protocol: request parsing, the request loop's answers, FILE answers, envelope blocks.
#include "cgp/ext_filter.h"

#include <gtest/gtest.h>

#include "orv/process.h"
#include "orv/testing.h"

namespace cgp {
namespace {

using orv::testing::CaptureStdout;
using orv::testing::TempDir;

TEST(ParseRequestLineTest, Table) {
  struct Case {
    const char *line, *token, *command, *parameters;
  } cases[] = {
      {"1 INTF 3", "1", "intf", "3"},
      {"  12   File   /q/a b.msg  ", "12", "file", "/q/a b.msg  "},
      {"\r12\rFILE\r\n/x y\r", "12", "file", "/x y\r"},
      {"7 KEY   ", "7", "key", ""},
      {"7", "7", "", ""},
      {"", "", "", ""},
      {" \r\n ", "", "", ""},
      {"7\tFILE x", "7\tFILE", "x", ""},
      {"1 \xC4X\x8A y", "1", "\xC4x\x9A", "y"},
  };
  for (const Case& c : cases) {
    RequestLine r = ParseRequestLine(c.line);
    EXPECT_EQ(r.token, c.token) << c.line;
    EXPECT_EQ(r.command, c.command) << c.line;
    EXPECT_EQ(r.parameters, c.parameters) << c.line;
  }
}

TEST(SequenceNumberTest, Table) {
  struct Case {
    const char* token;
    unsigned number;
  } cases[] = {
      {"0", 0},
      {"007", 7},
      {"00", 0},
      {"x", 0},
      {"", 0},
      {"12abc", 12},
      {"4294967295", 4294967295u},
      // Stream input wraps a negative number around.
      {"-1", 4294967295u},
  };
  for (const Case& c : cases) EXPECT_EQ(SequenceNumber(c.token), c.number) << c.token;
}

TEST(EscapeProtocolTextTest, Table) {
  struct Case {
    const char *text, *escaped;
  } cases[] = {
      {"plain", "plain"},
      {"a\\b", "a\\\\b"},
      {"l1\r\nl2", "l1\\el2"},
      {"t\tq\"", "t\\tq\\\""},
      {"\\e", "\\\\e"},
      {"\xE9\x01", "\xE9\x01"},
      {"\r\r", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeProtocolText(c.text), c.escaped) << c.text;
}

// A filter that gives one fixed answer and notes what it was asked.
class FixedFilter : public ExtFilter {
 public:
  Answer answer{Response::OK};
  std::vector<std::pair<unsigned, std::string>> calls;

 protected:
  Answer FilterMessage(unsigned seq, const orv::string& path) override {
    calls.emplace_back(seq, path);
    return answer;
  }
};

class ExtFilterTest : public ::testing::Test {
 protected:
  void SetUp() override { message_ = dir_.Write("1.msg", "From: a\n\nbody\n"); }

  // Serves the requests ("$M" stands for the message path, "$D" for the
  // directory) and returns the output after the opening line.
  std::string Serve(std::string requests) {
    for (auto [from, to] : {std::pair{"$M", message_}, std::pair{"$D", dir_.path()}}) {
      for (std::size_t at; (at = requests.find(from)) != std::string::npos;)
        requests.replace(at, 2, to);
    }
    orv::InputFile in(dir_.Write("requests", requests));
    CaptureStdout capture;
    filter_.Run(in);
    std::string out = capture.Finish();
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), "* Ready to receive INTF command.\n");
    return out.substr(out.find('\n') + 1);
  }

  TempDir dir_;
  std::string message_;
  FixedFilter filter_;
};

TEST_F(ExtFilterTest, RequestLoopAnswers) {
  struct Case {
    const char *requests, *output;
  } cases[] = {
      {"1 INTF 3\n", "1 INTF 3\n"},
      {"1 intf\n", "1 INTF 3\n"},
      {"1 INTF 9\n", "1 INTF 3\n"},
      {"5 KEY anything\n", "5 OK\n"},
      {"00 FILE $M\n", "00 REJECTED \"Error: seqID should be a number\"\n"},
      {"x FILE $M\n", "x REJECTED \"Error: seqID should be a number\"\n"},
      {"12 FILE\n", "12 FAILURE \"Missing parameter(s)\"\n"},
      {"12 FILE   \n", "12 FAILURE \"Missing parameter(s)\"\n"},
      {"12 FROB x\n", "12 FAILURE\n"},
      {"12\n", "12 FAILURE\n"},
      {"\n  \n", "(null) FAILURE\n(null) FAILURE\n"},
      {"1 KEY\r\n2 KEY\r3 KEY", "1 OK\n2 OK\n3 OK\n"},
      {"", ""},
      {"3 QUIT\n4 FILE $M\n5\n\n6 KEY\n",
       "* 3: Filter is shutting down...\n"
       "3 OK \"Filter is shut down and waiting for standard output to be closed\"\n"
       "4 REJECTED \"QUIT command received, filter is shut down. Please restart the filter.\"\n"
       "5 REJECTED \"QUIT command received, filter is shut down. Please restart the filter.\"\n"
       "(null) FAILURE\n"
       "6 REJECTED \"QUIT command received, filter is shut down. Please restart the filter.\"\n"},
      {"q\x1B\\ QUIT\n",  // the untrusted token is shown safely in the log line
       "* q\\x1B\\x5C: Filter is shutting down...\n"
       "q\x1B\\ OK \"Filter is shut down and waiting for standard output to be closed\"\n"},
      {"9 FILE $D/missing\n", "9 OK \"Error: File Not Found $D/missing\"\n"},
      {"9 FILE $D\n", "9 OK \"Error: File Not Found $D\"\n"},
      {"9 FILE $D/q\"b\\s\n", "9 OK \"Error: File Not Found $D/q\\\"b\\\\s\"\n"},
  };
  for (const Case& c : cases) {
    std::string expected = c.output;
    for (std::size_t at; (at = expected.find("$D")) != std::string::npos;)
      expected.replace(at, 2, dir_.path());
    EXPECT_EQ(Serve(c.requests), expected) << c.requests;
  }
  EXPECT_TRUE(filter_.calls.empty());
  EXPECT_THROW(Serve("1 CRASH\n2 KEY\n"), orv::Exception);
}

TEST_F(ExtFilterTest, FileRequestsReachTheFilter) {
  dir_.Write("a b.msg  ", "");
  EXPECT_EQ(Serve("0 FILE $M\n007 file $M\n12 FILE $D/a b.msg  \n"),
            "* Accepting message\n0 OK\n* [7] Accepting message\n7 OK\n"
            "* [12] Accepting message\n12 OK\n");
  using Calls = std::vector<std::pair<unsigned, std::string>>;
  EXPECT_EQ(filter_.calls, (Calls{{0, message_}, {7, message_}, {12, dir_.Path("a b.msg  ")}}));
}

TEST_F(ExtFilterTest, AnswerKinds) {
  using Lines = std::vector<orv::string>;
  struct Case {
    Response::ENUM kind;
    Lines lines;
    const char* output;
  } cases[] = {
      {Response::OK, {"ignored"}, "* [9] Accepting message\n9 OK\n"},
      {Response::REJECTED,
       {"try \"later\""},
       "* [9] Postponing message\n9 REJECTED \"try \\\"later\\\"\"\n"},
      {Response::ERROR, {}, "* [9] Rejecting message\n9 ERROR \"\"\n"},
      {Response::ERROR, {"a\r", "b\tc"}, "* [9] Rejecting message\n9 ERROR \"a\\eb\\tc\"\n"},
      {Response::DISCARD, {"ignored"}, "* [9] Discarding message\n9 DISCARD\n"},
      {Response::ADDHEADER,
       {"X-A: 1", "X-B: 2"},
       "* [9] Adding Header(s) to message\n9 ADDHEADER \"X-A: 1\\eX-B: 2\"\n"},
      {Response::ADDHEADER, {}, "* [9] Accepting message\n9 OK\n"},
      {Response::ADDHEADER, {""}, "* [9] Accepting message\n9 OK\n"},
      {Response::ADDHEADER, {"\r"}, "* [9] Accepting message\n9 OK\n"},
  };
  for (const Case& c : cases) {
    filter_.answer = Answer(c.kind);
    filter_.answer.lines = c.lines;
    EXPECT_EQ(Serve("9 FILE $M\n"), c.output) << c.kind;
  }
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
