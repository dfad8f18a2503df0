// Files: InputFile and getline (line ends, buffer boundaries, long lines,
// offsets, seeking, pipes), orv::ofstream (buffered and large writes,
// truncation, every failure reported), and directories and paths.
#include "orv/input_file.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>

#include "orv/file_system.h"
#include "orv/output_file.h"
#include "orv/testing.h"

namespace orv {
namespace {

constexpr std::size_t kBuf = InputFile::kBufferSize;

// Every line getline returns, each followed by "|" or, when it came with eof() set, by "<eof>".
std::string Lines(InputFile& in, std::vector<int64_t>* tells = nullptr) {
  std::string lines;
  string line;
  while (getline(in, line)) {
    lines += line + (in.eof() ? "<eof>" : "|");
    if (tells) tells->push_back(in.Tell());
  }
  EXPECT_TRUE(line.empty());
  EXPECT_TRUE(in.eof() && in.fail());
  return lines;
}

class InputFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& content) { return dir_.Write("input", content); }
  std::string LinesOf(const std::string& content) {
    InputFile in(Write(content));
    return Lines(in);
  }
  string P(const std::string& name) const { return dir_.Path(name); }
  // The names a DirectoryListing of path gives.
  std::set<string> List(const string& path) {
    std::set<string> names;
    DirectoryListing listing(path);
    while (listing.Next()) names.insert(listing.Name());
    EXPECT_EQ(listing.Name(), "");
    return names;
  }
  testing::TempDir dir_;
};
using OutputFileTest = InputFileTest;
using FileSystemTest = InputFileTest;

TEST_F(InputFileTest, LineEnds) {
  EXPECT_EQ(LinesOf("one\r\ntwo\n\rthree\rfour"), "one|two|three|four<eof>");
  EXPECT_EQ(LinesOf(""), "");
  EXPECT_EQ(LinesOf("\r\r\n"), "||");
  EXPECT_EQ(LinesOf("a\n\r\n"), "a||");
  EXPECT_EQ(LinesOf("a\r\n\r\nb\r"), "a||b|");
  EXPECT_EQ(LinesOf(std::string("nul\0byte\n", 9)), std::string("nul\0byte|", 9));
  // A terminator pair split across the buffer boundary is still one terminator.
  const std::string x(kBuf - 1, 'x');
  EXPECT_EQ(LinesOf(x + "\r\ny\n"), x + "|y|");
  EXPECT_EQ(LinesOf(x + "\n\ry"), x + "|y<eof>");
  EXPECT_EQ(LinesOf(x + "\r"), x + "|");
  EXPECT_EQ(LinesOf(x + "x\n"), x + "x|");
  EXPECT_EQ(LinesOf(std::string(3 * kBuf + 5, 'x')), std::string(3 * kBuf + 5, 'x') + "<eof>");
  InputFile missing(dir_.Path("missing"));
  EXPECT_FALSE(missing.is_open());
  EXPECT_EQ(Lines(missing), "");
}

TEST_F(InputFileTest, TellAfterEachLine) {
  std::vector<int64_t> tells;
  InputFile in(Write("ab\r\ncd\n\n\re\r" + std::string(kBuf - 12, 'f') + "\r\ng"));
  Lines(in, &tells);
  EXPECT_EQ(tells, (std::vector<int64_t>{4, 7, 9, 11, static_cast<int64_t>(kBuf + 1),
                                         static_cast<int64_t>(kBuf + 2)}));
}

TEST_F(InputFileTest, LongLinesSpillWholeLineInOrder) {
  std::string content;  // letters whose position shows through
  for (std::size_t i = 0; i < 3 * kBuf + 17; ++i) content += static_cast<char>('a' + i % 26);
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

TEST_F(InputFileTest, ReadTellAndSeek) {
  std::string content;
  for (int i = 0; i < 30000; ++i) content += "line " + std::to_string(i) + "\n";
  InputFile in(Write(content));
  string line;
  getline(in, line);
  const int64_t second = in.Tell();
  getline(in, line);
  in.Seek(second);  // still in the buffer
  getline(in, line);
  EXPECT_EQ(line, "line 1");
  // Empty the buffer, then read past it in one go.
  std::string buf(2 * kBuf, '\0');
  const std::size_t rest = kBuf - static_cast<std::size_t>(in.Tell());
  EXPECT_EQ(in.Read(&buf[0], rest), rest);
  EXPECT_EQ(in.Read(&buf[0], 2 * kBuf), 2 * kBuf);
  EXPECT_EQ(buf, content.substr(kBuf, 2 * kBuf));
  EXPECT_EQ(in.Tell(), static_cast<int64_t>(3 * kBuf));
  // Into the bytes read last; then, each time after the end of input, back to the start and
  // far ahead. Every Seek clears eof and fail.
  for (std::size_t offset : {2 * kBuf + 7, std::size_t{5}, content.find("line 29999")}) {
    in.Seek(static_cast<int64_t>(offset));
    EXPECT_TRUE(in.good());
    EXPECT_EQ(in.Tell(), static_cast<int64_t>(offset));
    getline(in, line);
    EXPECT_EQ(line, content.substr(offset, content.find('\n', offset) - offset)) << offset;
    while (getline(in, line)) {
    }
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
  EXPECT_EQ(Lines(in), "b|");
  in.Close();
  EXPECT_EQ(close(fds[0]), 0);  // not closed by the reader
}

TEST_F(OutputFileTest, WritesSmallAndLargePieces) {
  const std::string big(3 * FdOutBuf::kBufferSize + 11, 'b'), put(70000, 'c');
  ofstream out(P("f"), std::ios::trunc);
  out << "head\n";
  out.write(big.data(), static_cast<std::streamsize>(big.size()));
  for (char c : put) out.put(c);
  EXPECT_TRUE(out.Sync());
  EXPECT_EQ(testing::ReadFile(P("f")), "head\n" + big + put);
  out << "tail";
  EXPECT_TRUE(out.close());
  EXPECT_FALSE(out.close());  // already closed
  EXPECT_EQ(out.error(), 0);
  EXPECT_EQ(testing::ReadFile(P("f")), "head\n" + big + put + "tail");
  ofstream truncate(P("f"), std::ios::trunc);
  EXPECT_EQ(testing::ReadFile(P("f")), "");
}

TEST_F(OutputFileTest, FailuresAreReported) {
  ofstream out("/dev/full", std::ios::trunc);
  ASSERT_TRUE(out.is_open());
  out << "does not fit";
  EXPECT_TRUE(out.good());  // still buffered
  EXPECT_FALSE(out.Sync());
  EXPECT_FALSE(out.close());
  EXPECT_TRUE(out.bad());
  EXPECT_EQ(out.error(), ENOSPC);

  ofstream large("/dev/full", std::ios::trunc);  // more than the buffer: written at once
  const std::string big(2 * FdOutBuf::kBufferSize, 'x');
  large.write(big.data(), static_cast<std::streamsize>(big.size()));
  EXPECT_TRUE(large.bad());
  EXPECT_FALSE(large.close());
  EXPECT_EQ(large.error(), ENOSPC);

  // An open failure keeps its reason.
  ofstream missing(P("missing/f"), std::ios::trunc);
  EXPECT_FALSE(missing.is_open());
  EXPECT_TRUE(missing.fail());
  EXPECT_EQ(missing.error(), ENOENT);
  EXPECT_EQ(ofstream(dir_.path(), std::ios::trunc).error(), EISDIR);
}

TEST_F(FileSystemTest, MakeAndRemoveDirectory) {
  EXPECT_FALSE(MakeDirectory(P("a/b"), false));  // no parent
  EXPECT_TRUE(MakeDirectory(P("a/b/c"), true));
  EXPECT_TRUE(MakeDirectory(P("a/b/"), false));  // already there
  EXPECT_TRUE(MakeDirectory(P("x\\y\\z\\"), true));
  EXPECT_TRUE(IsDirectory(P("x/y/z")));
  dir_.Write("file", "");
  EXPECT_FALSE(MakeDirectory(P("file"), false));
  EXPECT_FALSE(RemoveDirectory(P("a/b"), false));  // not empty
  EXPECT_TRUE(RemoveDirectory(P("a/b/c"), false));
  EXPECT_FALSE(IsDirectory(P("a/b/c")));
}

TEST_F(FileSystemTest, DirectoryListing) {
  for (const char* name : {".hidden", "a.txt", "b", "winmail.dat", "winmail.dat.1"})
    dir_.Write(name, "");
  ASSERT_TRUE(MakeDirectory(P("sub"), false));
  EXPECT_EQ(List(dir_.path()),
            (std::set<string>{"a.txt", "b", "sub", "winmail.dat", "winmail.dat.1"}));
  EXPECT_EQ(List(P("missing")), std::set<string>{});
}

TEST_F(FileSystemTest, DirectoryOf) {
  EXPECT_EQ(DirectoryOf("/var/spool/x/msg.txt"), "/var/spool/x/");
  EXPECT_EQ(DirectoryOf("dir/"), "dir/");
  EXPECT_EQ(DirectoryOf("/"), "/");
  EXPECT_EQ(DirectoryOf("msg.txt"), "./");
  EXPECT_EQ(DirectoryOf(""), "./");
  EXPECT_EQ(DirectoryOf("a\\b\\c"), "a/b/");
}

}  // namespace
}  // namespace orv
