// orv::string members, the folding rule, the class table, Printable, and
// UTF-8: checked, and made from UTF-16 and from single-byte code pages.
#include "orv/string.h"

#include <gtest/gtest.h>

#include "orv/utf8.h"

namespace orv {
namespace {

TEST(StringTest, IstartsAndLowerize) {
  const string s("Content-Type: text/plain");
  EXPECT_TRUE(s.istarts("content-type:"));
  EXPECT_TRUE(s.istarts("TEXT/", 14));
  EXPECT_TRUE(s.istarts("", s.size()));
  EXPECT_FALSE(s.istarts("", s.size() + 1));
  EXPECT_FALSE(s.istarts("plainX", 19));
  EXPECT_FALSE(string("\x8A").istarts("\x9A"));                // only ASCII letters are folded
  EXPECT_FALSE(string("A\0X", 3).istarts(string("a\0Y", 3)));  // a NUL ends nothing
  string h("X-Header: ABC");
  EXPECT_EQ(h.lowerize(8), "X-Header: abc");
}

// Only ASCII letters are folded; bytes of UTF-8 and of other code pages stay.
TEST(StringTest, FoldingKeepsUpperHalfBytes) {
  EXPECT_EQ(string("AZ\xD7\xFF@[`{\x8A\x9F\xDE\xC3\x89").ToLower(),
            "az\xD7\xFF@[`{\x8A\x9F\xDE\xC3\x89");
  EXPECT_EQ(ToAsciiLower(static_cast<signed char>('\xC4')), 0xC4);
}

// The text after replace_all, and whether it reported a replacement.
std::string Replace(const char* text, const char* from, const char* to) {
  string s(text);
  const bool replaced = s.replace_all(from, to);
  return s + (replaced ? "" : " (unchanged)");
}

TEST(StringTest, ReplaceAll) {
  EXPECT_EQ(Replace("YYYYMMDD", "YYYY", "2024"), "2024MMDD");
  EXPECT_EQ(Replace("abc", "", "x"), "abc (unchanged)");
  EXPECT_EQ(Replace("abc", "d", "x"), "abc (unchanged)");
  EXPECT_EQ(Replace("aaa", "a", "aa"), "aaaaaa");  // the inserted text is not searched again
  EXPECT_EQ(Replace("xx", "x", ""), "");
}

// The fields of split, each in brackets.
std::string Split(const char* text, const char* separators, unsigned long max = ULONG_MAX) {
  std::string fields;
  for (const string& field : string(text).split(separators, max)) fields += "[" + field + "]";
  return fields;
}

TEST(StringTest, Split) {
  EXPECT_EQ(Split(",,a, b,,c  ", " ,"), "[a][b][c]");
  EXPECT_EQ(Split(",a,,b,c,,", ",", 2), "[a][b,c,,]");
  EXPECT_EQ(Split(",a,b", ",", 1), "[,a,b]");
  EXPECT_EQ(Split("a,b,c", ",", 0), "[a][b][c]");
  EXPECT_EQ(Split("", ","), "[]");
  EXPECT_EQ(Split(",,,", ","), "");
  EXPECT_EQ(Split("a,,,", ",", 2), "[a]");
}

TEST(StringTest, ClassTable) {
  for (int c : {'A', 'z', '\x8A', '\x9F', '\xFF'}) EXPECT_TRUE(ISOisalpha(c)) << c;
  for (int c : {'@', '[', '\t', '\xD7', '\xF8'}) EXPECT_FALSE(ISOisalpha(c)) << c;
  for (int c : {'\t', '\r', ' '}) EXPECT_TRUE(ISOisspace(c)) << c;
  for (int c : {'\b', '\x0E', 'A', '\xA0'}) EXPECT_FALSE(ISOisspace(c)) << c;
}

TEST(StringTest, Printable) {
  EXPECT_EQ(Printable("a\tb\r\n\x7F\\c\x01\xE9"), "a\\x09b\\x0D\\x0A\\x7F\\x5Cc\\x01\xE9");
  EXPECT_EQ(Printable("abcdef", 6), "abcdef");
  EXPECT_EQ(Printable("abcdefg", 6), "abcdef...");
  EXPECT_EQ(Printable("\x01\x02", 4), "\\x01...");
  EXPECT_EQ(Printable(std::string(300, 'x')), std::string(200, 'x') + "...");
}

TEST(Utf8Test, TellsWellFormedFromMalformed) {
  for (std::string_view good : {"", "plain", "caf\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                                "\xF4\x8F\xBF\xBF", "\xED\x9F\xBF"})
    EXPECT_TRUE(IsUtf8(good)) << good;
  for (std::string_view bad : {"caf\xE9", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                               "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xE2\x82", "\x80", "\xFF"})
    EXPECT_FALSE(IsUtf8(bad)) << bad;
  EXPECT_EQ(Utf8SequenceLength("a\xF0\x9F\x98\x80", 1), 4u);
  EXPECT_EQ(Utf8SequenceLength("a\xF0\x9F\x98", 1), 0u);
}

TEST(Utf8Test, DecodesUtf16) {
  EXPECT_EQ(Utf16LeToUtf8(std::string_view("a\0\xE9\0\xAC\x20", 6)), "a\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(Utf16LeToUtf8(std::string_view("\x3D\xD8\x00\xDE", 4)), "\xF0\x9F\x98\x80");
  // An unpaired surrogate, a low one alone, and an odd byte at the end.
  EXPECT_EQ(Utf16LeToUtf8(std::string_view("\x3D\xD8x\0\x00\xDEz", 7)),
            "\xEF\xBF\xBDx\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Utf8Test, DecodesCodePages) {
  const struct {
    int code_page;
    std::string_view bytes, utf8;
  } cases[] = {
      {1252, "Umlaut-\xE4\xFC\xF6\x80", "Umlaut-\xC3\xA4\xC3\xBC\xC3\xB6\xE2\x82\xAC"},
      {0, "\xE4", "\xC3\xA4"},    // none given: windows-1252
      {932, "\xE4", "\xC3\xA4"},  // no table: windows-1252
      {1250, "\x9A\xE8", "\xC5\xA1\xC4\x8D"},
      {1251, "\xCF\xF0\xE8", "\xD0\x9F\xD1\x80\xD0\xB8"},
      {1253, "\xE1\xE2", "\xCE\xB1\xCE\xB2"},
      {1254, "\xF0\xFE", "\xC4\x9F\xC5\x9F"},
      {1257, "\xE0\xFE", "\xC4\x85\xC5\xBE"},
      {28591, "\x80\xE4", "\xC2\x80\xC3\xA4"},
      {1252, "a\x81z", "a\xEF\xBF\xBDz"},  // undefined in the code page
  };
  for (const auto& c : cases)
    EXPECT_EQ(CodePageToUtf8(c.bytes, c.code_page), c.utf8) << c.code_page;
}

}  // namespace
}  // namespace orv
