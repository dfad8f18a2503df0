// orv::string members, the folding and class tables, and Printable.
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
  EXPECT_FALSE(string("\x8A").istarts("\x9A"));  // only ASCII letters are folded here
  string h("X-Header: ABC");
  EXPECT_EQ(h.lowerize(8), "X-Header: abc");
  EXPECT_EQ(h.lowerize(99), "X-Header: abc");
  EXPECT_EQ(string("AZ\xD7\xFF@[").ToLower(1), "Az\xD0\xDF@[");
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

TEST(StringTest, Tables) {
  struct Case {
    int byte, lower;
    bool alpha, space;
  } cases[] = {
      {'A', 'a', true, false},    {'Z', 'z', true, false},    {'@', '@', false, false},
      {'[', '[', false, false},   {0x08, 0x08, false, false}, {0x09, 0x09, false, true},
      {0x0D, 0x0D, false, true},  {0x0E, 0x0E, false, false}, {0x20, 0x20, false, true},
      {0x8A, 0x9A, true, false},  {0x9F, 0xFF, true, false},  {0xD7, 0xD0, false, false},
      {0xF8, 0xF8, false, false}, {0xFF, 0xDF, true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToISOlower(c.byte), c.lower) << c.byte;
    EXPECT_EQ(ToISOlower(c.byte - 256), c.lower) << c.byte;  // as a signed char
    EXPECT_EQ(ISOisalpha(c.byte), c.alpha) << c.byte;
    EXPECT_EQ(ISOisspace(c.byte), c.space) << c.byte;
  }
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
