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

TEST(StringTest, FoldingKeepsUpperHalfBytes) {
  const struct {
    const char* text;
    const char* lower;
  } cases[] = {
      {"Tu\xC4\x9Frul.Kaya@Example.COM.tr", "tu\xC4\x9Frul.kaya@example.com.tr"},
      {"\xC3\x89LISE@\xC3\x89"
       "COLE.FR",
       "\xC3\x89lise@\xC3\x89"
       "cole.fr"},
      {"AZ\xD7\xFF@[`{\x8A\x9F\xDE", "az\xD7\xFF@[`{\x8A\x9F\xDE"},
  };
  for (const auto& c : cases) EXPECT_EQ(string(c.text).ToLower(), c.lower) << c.text;
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
  struct Case {
    int byte;
    bool alpha, space;
  } cases[] = {
      {'A', true, false},   {'z', true, false},  {'@', false, false}, {'[', false, false},
      {0x08, false, false}, {0x09, false, true}, {0x0D, false, true}, {0x0E, false, false},
      {0x20, false, true},  {0x8A, true, false}, {0x9F, true, false}, {0xD7, false, false},
      {0xF8, false, false}, {0xFF, true, false},
  };
  for (const Case& c : cases) {
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
