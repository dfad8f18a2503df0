// Header blocks (folding, the fields that matter, limits) and header parameters.
#include "app/mime_scan.h"

#include <gtest/gtest.h>

#include "orv/testing.h"

namespace {

// What ReadHeaderBlock makes of a block: "type b=boundary n=name"; "<too long>" when it fails.
// A block that ends with its empty line is followed by a body, which must stay unread.
std::string Headers(const std::string& b) {
  orv::testing::TempDir dir;
  const bool closed =
      b == "\n" || b.rfind("\n\n") == b.size() - 2 || b.rfind("\n\r\n") == b.size() - 3;
  orv::InputFile in(dir.Write("m", closed ? b + "BODY\n" : b));
  PartHeaders h;
  h.name = "stale";
  if (!ReadHeaderBlock(in, h)) return "<too long>";
  EXPECT_EQ(in.Tell(), static_cast<int64_t>(b.size())) << b;
  return h.content_type + " b=" + h.boundary + " n=" + h.name;
}

TEST(ReadHeaderBlockTest, Table) {
  EXPECT_EQ(Headers("Content-Type: Multipart/Mixed; Boundary=abc\n\n"), "multipart/mixed b=abc n=");
  EXPECT_EQ(Headers("Content-Type: application/octet-stream; name=\"x.bin\"\n"
                    "Content-Disposition: attachment;\n filename=\"winmail.dat\"\n\n"),
            "application/octet-stream b= n=winmail.dat");
  EXPECT_EQ(Headers("Content-Disposition: attachment; filename=a.txt\n"
                    "Content-Type: text/plain; name=b.txt\n\n"),
            "text/plain b= n=b.txt");
  EXPECT_EQ(Headers("Subject: s\nContent-Type: text/html"), "text/html b= n=");
  EXPECT_EQ(Headers("Content-Type: multipart/mixed; boundary=abc\n continued"),
            "multipart/mixed b=abc n=");
  EXPECT_EQ(Headers("Content-Type: \"text/plain\"\n\n"), "text/plain b= n=");
  EXPECT_EQ(Headers("Content-Type:   \n\n"), " b= n=");
  EXPECT_EQ(Headers("Content-Type: text/plain\n   \nX-A: y\n\n"), "text/plain b= n=");
  EXPECT_EQ(Headers("Content-Type: multipart/alternative;\r\n boundary=xyz\r\n\r\n"),
            "multipart/alternative b=xyz n=");
  EXPECT_EQ(Headers("Content-Type: text/plain\nContent-Type: image/png\n\n"), "image/png b= n=");
  EXPECT_EQ(Headers("\n"), " b= n=");
}

TEST(ReadHeaderBlockTest, FieldLengthLimit) {
  const std::string field = "X-Long: " + std::string(kMaxHeaderField - 8, 'a');
  EXPECT_EQ(Headers(field + "\n\n"), " b= n=");
  EXPECT_EQ(Headers(field + "a\n\n"), "<too long>");
  EXPECT_EQ(Headers(field.substr(0, kMaxHeaderField - 3) + "\n\tb\n\n"), " b= n=");
  EXPECT_EQ(Headers(field.substr(0, kMaxHeaderField - 2) + "\n\tb\n\n"), "<too long>");
}

// The value GetHeaderParameter finds, or "<none>" when it finds none and leaves the value alone.
std::string Parameter(const char* header, const char* key = "name") {
  orv::string value("untouched");
  if (GetHeaderParameter(header, key, value)) return value;
  return value == "untouched" ? "<none>" : "<changed>";
}

TEST(GetHeaderParameterTest, Table) {
  EXPECT_EQ(Parameter("Content-Type: text/plain; name=\"open"), "open");
  EXPECT_EQ(Parameter("Content-Type: text/plain; name="), "");
  EXPECT_EQ(Parameter("Content-Type: text/plain; name=a;b"), "a");
  EXPECT_EQ(Parameter("Content-Type: text/plain; name=a\tb"), "a");
  EXPECT_EQ(Parameter("Content-Type: text/plain; name=a\"b\""), "a");
  EXPECT_EQ(Parameter("x; filename=first; name=second"), "first");
  EXPECT_EQ(Parameter("Content-Type: multipart/mixed; boundary=\"=_b\"; name=x", "boundary"),
            "=_b");
  EXPECT_EQ(Parameter("Content-Type: text/plain; name = a"), "<none>");
}

}  // namespace

// Where the first part of the winmail.dat part's multipart begins when it is a
// text/plain part of a multipart/mixed, as an offset; 0 when not.
int64_t FirstPlain(const std::string& type, const std::string& first) {
  orv::testing::TempDir dir;
  const std::string tnef = "--B\nContent-Type: application/ms-tnef\n\neJ8+\n\n";
  orv::InputFile in(dir.Write("m", "Content-Type: " + type + "; boundary=B\n\n--B\n" + first +
                                       "\n\nhello\n" + tnef + tnef + "--B--\n"));
  std::vector<WinmailPart> parts;
  EXPECT_TRUE(ScanMessage(in, parts));
  EXPECT_EQ(parts.size(), first.empty() || first.find("tnef") == std::string::npos ? 2u : 3u);
  EXPECT_EQ(parts.back().first_plain, parts.front().first_plain);
  return parts.back().first_plain;
}

TEST(ScanMessageTest, FirstPlainPart) {
  const int64_t after_delimiter = 47;  // the header line, the empty line and "--B"
  EXPECT_EQ(FirstPlain("multipart/mixed", "Content-Type: text/plain"), after_delimiter);
  EXPECT_EQ(FirstPlain("multipart/mixed", "X-None: no type"), after_delimiter);
  EXPECT_EQ(FirstPlain("multipart/mixed", "Content-Type: text/html"), 0);
  EXPECT_EQ(FirstPlain("multipart/mixed",
                       "Content-Type: text/plain\nContent-Disposition: "
                       "Attachment; filename=a.txt"),
            0);
  EXPECT_EQ(FirstPlain("multipart/mixed", "Content-Type: application/ms-tnef"), 0);
  EXPECT_EQ(FirstPlain("multipart/alternative", "Content-Type: text/plain"), 0);
}
