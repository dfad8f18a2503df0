// InputFile and getline: line ends, buffer boundaries, long lines, offsets, seeking, pipes.
#include "orv/input_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "orv/testing.h"

namespace orv {
namespace {

constexpr std::size_t kBuf = InputFile::kBufferSize;

// Every line getline returns; one that came with eof() set is marked "<eof>".
std::vector<std::string> Lines(InputFile& in, std::vector<int64_t>* tells = nullptr) {
  std::vector<std::string> lines;
  string line;
  while (getline(in, line)) {
    lines.push_back(line + (in.eof() ? "<eof>" : ""));
    if (tells) tells->push_back(in.Tell());
  }
  EXPECT_TRUE(line.empty());
  EXPECT_TRUE(in.eof() && in.fail());
  return lines;
}

// Letters whose position in the file shows through (no line ends).
std::string Letters(std::size_t n) {
  std::string s(n, 'a');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

class InputFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& content) { return dir_.Write("input", content); }
  testing::TempDir dir_;
};

TEST_F(InputFileTest, LineEnds) {
  using V = std::vector<std::string>;
  struct Case {
    std::string content;
    V lines;
  } cases[] = {
      {"one\r\ntwo\n\rthree\rfour", {"one", "two", "three", "four<eof>"}},
      {"\n\n", {"", ""}},
      {"a\n", {"a"}},
      {"a", {"a<eof>"}},
      {"", {}},
      {"\r\r\n", {"", ""}},
      {"a\n\r\n", {"a", ""}},
      {"a\r\n\r\nb\r", {"a", "", "b"}},
      {"a\n\n\r", {"a", ""}},
      {std::string("nul\0byte\n", 9), {std::string("nul\0byte", 8)}},
      // A terminator pair split across the buffer boundary is still one terminator.
      {std::string(kBuf - 1, 'x') + "\r\ny\n", {std::string(kBuf - 1, 'x'), "y"}},
      {std::string(kBuf - 1, 'x') + "\n\ry", {std::string(kBuf - 1, 'x'), "y<eof>"}},
      {std::string(kBuf - 1, 'x') + "\r", {std::string(kBuf - 1, 'x')}},
      {std::string(kBuf, 'x') + "\n", {std::string(kBuf, 'x')}},
      {std::string(3 * kBuf + 5, 'x'), {std::string(3 * kBuf + 5, 'x') + "<eof>"}},
  };
  for (const Case& c : cases) {
    InputFile in(Write(c.content));
    EXPECT_EQ(Lines(in), c.lines) << c.content.substr(0, 20);
  }
}

TEST_F(InputFileTest, TellAfterEachLine) {
  std::vector<int64_t> tells;
  InputFile in(Write("ab\r\ncd\n\n\re\r" + std::string(kBuf - 12, 'f') + "\r\ng"));
  Lines(in, &tells);
  EXPECT_EQ(tells, (std::vector<int64_t>{4, 7, 9, 11, static_cast<int64_t>(kBuf + 1),
                                         static_cast<int64_t>(kBuf + 2)}));
}

TEST_F(InputFileTest, LongLinesSpillWholeLineInOrder) {
  const std::string content = Letters(3 * kBuf + 17);
  InputFile in(Write(content + "\r\n" + std::string(10, 'k') + "\nnext"));
  string head, spilled;
  auto spill = [&spilled](std::string_view piece) { spilled.append(piece); };
  EXPECT_TRUE(getline(in, head, 10, spill));
  EXPECT_EQ(head + "|" + spilled, content.substr(0, 10) + "|" + content);
  EXPECT_TRUE(getline(in, head, 10, spill));  // exactly `keep` bytes: nothing spilled
  EXPECT_EQ(head + "|" + spilled, std::string(10, 'k') + "|" + content);
  EXPECT_TRUE(getline(in, head, 2));  // the default spill drops the rest
  EXPECT_EQ(head, "ne");
  EXPECT_TRUE(in.eof());
  EXPECT_FALSE(in.fail());
}

TEST_F(InputFileTest, SeekInsideAndOutsideTheBuffer) {
  std::string content;
  for (int i = 0; i < 30000; ++i) content += "line " + std::to_string(i) + "\n";
  ASSERT_GT(content.size(), 3 * kBuf);
  InputFile in(Write(content));
  string line;
  getline(in, line);
  const int64_t second = in.Tell();
  getline(in, line);
  EXPECT_EQ(line, "line 1");
  in.Seek(second);  // still in the buffer
  getline(in, line);
  EXPECT_EQ(line, "line 1");
  while (getline(in, line)) {
  }
  in.Seek(second);  // long gone from the buffer; clears eof and fail
  EXPECT_TRUE(in.good());
  EXPECT_EQ(in.Tell(), second);
  getline(in, line);
  EXPECT_EQ(line, "line 1");
  const int64_t far = static_cast<int64_t>(content.find("line 20000\n"));
  in.Seek(far);
  getline(in, line);
  EXPECT_EQ(line, "line 20000");
  in.Seek(far - 3);
  getline(in, line);
  EXPECT_EQ(line, "99");
}

TEST_F(InputFileTest, ReadAndSeek) {
  const std::string content = Letters(5 * kBuf);
  InputFile in(Write(content));
  std::string buf(3 * kBuf, '\0');
  // Empty the buffer, then read past it in one go, then seek back into the bytes read last.
  EXPECT_EQ(in.Read(&buf[0], 10), 10u);
  EXPECT_EQ(in.Read(&buf[0], kBuf - 10), kBuf - 10);
  EXPECT_EQ(in.Read(&buf[0], 2 * kBuf), 2 * kBuf);
  EXPECT_EQ(buf.substr(0, 2 * kBuf), content.substr(kBuf, 2 * kBuf));
  EXPECT_EQ(in.Tell(), static_cast<int64_t>(3 * kBuf));
  for (int64_t offset : {int64_t{2} * int64_t{kBuf} + 7, int64_t{5}, int64_t{4} * int64_t{kBuf}}) {
    in.Seek(offset);
    EXPECT_EQ(in.Read(&buf[0], 100), 100u);
    EXPECT_EQ(buf.substr(0, 100), content.substr(static_cast<std::size_t>(offset), 100)) << offset;
  }
  in.Seek(static_cast<int64_t>(content.size()) - 4);
  EXPECT_EQ(in.Read(&buf[0], 10), 4u);
  EXPECT_TRUE(in.eof());
  EXPECT_FALSE(in.fail());
}

TEST_F(InputFileTest, PipeWithTerminatorArrivingLater) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  InputFile in(fds[0]);
  string line;
  ASSERT_EQ(write(fds[1], "a\r", 2), 2);
  // Returns at once: it does not wait to learn whether an LF follows.
  EXPECT_TRUE(getline(in, line));
  EXPECT_EQ(line, "a");
  ASSERT_EQ(write(fds[1], "\nb\n", 3), 3);
  close(fds[1]);
  EXPECT_TRUE(getline(in, line));
  EXPECT_EQ(line, "b");
  EXPECT_FALSE(getline(in, line));
  EXPECT_TRUE(in.eof());
  in.Close();
  EXPECT_EQ(close(fds[0]), 0);  // not closed by the reader
}

TEST_F(InputFileTest, MissingFile) {
  InputFile in(dir_.Path("missing"));
  EXPECT_FALSE(in.is_open());
  EXPECT_TRUE(in.fail());
  string line("old");
  EXPECT_FALSE(getline(in, line));
  EXPECT_EQ(line, "");
}

}  // namespace
}  // namespace orv
