// Header blocks (folding, the fields that matter, limits) and header parameters.
#include "app/mime_scan.h"

#include <gtest/gtest.h>

#include "orv/testing.h"

namespace {

TEST(ReadHeaderBlockTest, Table) {
  struct Case {
    std::string block;
    const char *type, *boundary, *name;
    bool processed;
  } cases[] = {
      {"Content-Type: Multipart/Mixed; Boundary=abc\n\n", "multipart/mixed", "abc", "", false},
      {"Content-Type: multipart/mixed;\n\tboundary=\"a b  c\"\nSubject: x\n\n", "multipart/mixed",
       "a b  c", "", false},
      {"Content-Type: application/octet-stream; name=\"x.bin\"\nContent-Disposition: "
       "attachment;\n filename=\"winmail.dat\"\n\n",
       "application/octet-stream", "", "winmail.dat", false},
      {"Content-Disposition: attachment; filename=a.txt\nContent-Type: text/plain; name=b.txt\n\n",
       "text/plain", "", "b.txt", false},
      {"Content-Disposition: inline\nContent-Type: Application/MS-TNEF\n\n", "application/ms-tnef",
       "", "", false},
      {"x-winmaildat: 1 attachments extracted.\n\n", "", "", "", true},
      {"Subject: s\nContent-Type: text/html", "text/html", "", "", false},
      {"Subject: s\nContent-Type: text/html\n", "text/html", "", "", false},
      {"Content-Type: multipart/mixed; boundary=abc\n continued", "multipart/mixed", "abc", "",
       false},
      {"Content-Type: \"text/plain\"\n\n", "text/plain", "", "", false},
      {"Content-Type:text/plain;charset=x\n\n", "text/plain", "", "", false},
      {"Content-Type:   \n\n", "", "", "", false},
      {"Content-Type: text/plain\n   \nX-A: y\n\n", "text/plain", "", "", false},
      {"Content-Type: multipart/alternative;\r\n boundary=xyz\r\n\r\n", "multipart/alternative",
       "xyz", "", false},
      {"Content-Type: text/plain\nContent-Type: image/png\n\n", "image/png", "", "", false},
      {"Content-Typo: x/y\n\n", "", "", "", false},
      {"\n", "", "", "", false},
  };
  orv::testing::TempDir dir;
  for (const Case& c : cases) {
    // A block that ends with its empty line is followed by a body.
    const std::string& b = c.block;
    auto ends = [&b](const std::string& tail) {
      return b.size() >= tail.size() && b.compare(b.size() - tail.size(), tail.size(), tail) == 0;
    };
    bool closed = b == "\n" || ends("\n\n") || ends("\n\r\n");
    orv::InputFile in(dir.Write("m", closed ? b + "BODY\n" : b));
    PartHeaders h;
    h.name = "stale";
    EXPECT_TRUE(ReadHeaderBlock(in, h)) << c.block;
    EXPECT_EQ(h.contentType, c.type) << c.block;
    EXPECT_EQ(h.boundary, c.boundary) << c.block;
    EXPECT_EQ(h.name, c.name) << c.block;
    EXPECT_EQ(h.alreadyProcessed, c.processed) << c.block;
    EXPECT_EQ(in.Tell(), static_cast<int64_t>(c.block.size())) << c.block;
  }
}

TEST(ReadHeaderBlockTest, FieldLengthLimit) {
  orv::testing::TempDir dir;
  auto read = [&dir](const std::string& block) {
    orv::InputFile in(dir.Write("m", block));
    PartHeaders h;
    return ReadHeaderBlock(in, h);
  };
  const std::string field = "X-Long: " + std::string(kMaxHeaderField - 8, 'a');
  EXPECT_TRUE(read(field + "\n\n"));
  EXPECT_FALSE(read(field + "a\n\n"));
  EXPECT_TRUE(read(field.substr(0, kMaxHeaderField - 3) + "\n\tb\n\n"));
  EXPECT_FALSE(read(field.substr(0, kMaxHeaderField - 2) + "\n\tb\n\n"));
}

TEST(GetHeaderParameterTest, Table) {
  struct Case {
    const char *header, *key;
    bool found;
    const char* value;
  } cases[] = {
      {"Content-Type: text/plain; name=a.txt", "name", true, "a.txt"},
      {"Content-Disposition: attachment; filename=\"x y.dat\"", "name", true, "x y.dat"},
      {"Content-Type: text/plain; NAME=abc", "name", true, "abc"},
      {"Content-Type: text/plain; name=\"open", "name", true, "open"},
      {"Content-Type: text/plain; name=", "name", true, ""},
      {"Content-Type: text/plain; name=a;b", "name", true, "a"},
      {"Content-Type: text/plain; name=a\tb", "name", true, "a"},
      {"Content-Type: text/plain; name=a\"b\"", "name", true, "a"},
      {"x; filename=first; name=second", "name", true, "first"},
      {"Content-Type: multipart/mixed; boundary=\"=_b\"; name=x", "boundary", true, "=_b"},
      {"Content-Type: text/plain; name = a", "name", false, "untouched"},
      {"Content-Type: text/plain", "name", false, "untouched"},
  };
  for (const Case& c : cases) {
    orv::string value("untouched");
    EXPECT_EQ(GetHeaderParameter(c.header, c.key, value), c.found) << c.header;
    EXPECT_EQ(value, c.value) << c.header;
  }
}

}  // namespace
