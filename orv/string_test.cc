// orv::string members, the folding rule, the class table, and Printable.
#include "orv/string.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(StringTest, IstartsAndLowerize) {
  const string s("Content-Type: text/plain");
  EXPECT_TRUE(s.istarts("content-type:"));
  EXPECT_TRUE(s.istarts("TEXT/", 14));
  EXPECT_TRUE(s.istarts("", s.size()));
  EXPECT_FALSE(s.istarts("", s.size() + 1));
  EXPECT_FALSE(s.istarts("content-type:", 1));
  EXPECT_FALSE(s.istarts("plainX", 19));
  EXPECT_FALSE(string("\x8A").istarts("\x9A"));  // only ASCII letters are folded
  EXPECT_FALSE(string("\xC4").istarts("\xE4"));
  EXPECT_FALSE(string("A\0X", 3).istarts(string("a\0Y", 3)));  // a NUL ends nothing
  string h("X-Header: ABC");
  EXPECT_EQ(h.lowerize(8), "X-Header: abc");
  EXPECT_EQ(h.lowerize(99), "X-Header: abc");
}

// Only ASCII letters are folded; bytes of UTF-8 and of other code pages stay.
TEST(StringTest, FoldingKeepsUpperHalfBytes) {
  EXPECT_EQ(string("AZ\xD7\xFF@[`{\x8A\x9F\xDE\xC3\x89").ToLower(),
            "az\xD7\xFF@[`{\x8A\x9F\xDE\xC3\x89");
  EXPECT_EQ(string("AZ\xC4").ToLower(1), "Az\xC4");
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
  EXPECT_EQ(Replace("aaaa", "aa", "a"), "aa");
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
  for (int c : {'A', 'z', 0x8A, 0x9F, 0xFF}) EXPECT_TRUE(ISOisalpha(c)) << c;
  for (int c : {'@', '[', 0x09, 0xD7, 0xF8}) EXPECT_FALSE(ISOisalpha(c)) << c;
  for (int c : {0x09, 0x0D, 0x20}) EXPECT_TRUE(ISOisspace(c)) << c;
  for (int c : {0x08, 0x0E, 'A', 0xA0}) EXPECT_FALSE(ISOisspace(c)) << c;
}

TEST(StringTest, Printable) {
  EXPECT_EQ(Printable("a\tb\r\n\x7F\\c\x01\xE9"), "a\\x09b\\x0D\\x0A\\x7F\\x5Cc\\x01\xE9");
  EXPECT_EQ(Printable("abcdef", 6), "abcdef");
  EXPECT_EQ(Printable("abcdefg", 6), "abcdef...");
  EXPECT_EQ(Printable("\x01\x02", 4), "\\x01...");
  EXPECT_EQ(Printable(std::string(300, 'x')), std::string(200, 'x') + "...");
}

}  // namespace
}  // namespace orv
