// orv::string members, folding and class tables, ichar_traits, StringHash, Printable.
#include "orv/string.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(StringTest, Istarts) {
  const string s("Content-Type: text/plain");
  EXPECT_TRUE(s.istarts("content-type:"));
  EXPECT_TRUE(s.istarts("TEXT/", 14));
  EXPECT_TRUE(s.istarts(""));
  EXPECT_TRUE(s.istarts("", s.size()));
  EXPECT_FALSE(s.istarts("", s.size() + 1));
  EXPECT_FALSE(s.istarts("content-type:", 1));
  EXPECT_FALSE(string("Content-Typ").istarts("content-type:"));
  EXPECT_FALSE(s.istarts("plainX", 19));
  // Only ASCII letters are folded here, unlike ToISOlower.
  EXPECT_FALSE(string("\x8A").istarts("\x9A"));
}

TEST(StringTest, LowerizeAndToLower) {
  string s("X-Header: ABC");
  EXPECT_EQ(s.lowerize(8), "X-Header: abc");
  EXPECT_EQ(s.lowerize(99), "X-Header: abc");
  EXPECT_EQ(string("AZ\xC4\xD7\xFF\x8A@[").ToLower(), "az\xC4\xD0\xDF\x9A@[");
  const string upper("ABC");
  EXPECT_EQ(upper.ToLower(1), "Abc");
  EXPECT_EQ(upper, "ABC");
}

TEST(StringTest, ReplaceAll) {
  struct Case {
    const char *text, *from, *to, *result;
    bool replaced;
  } cases[] = {
      {"YYYYMMDD", "YYYY", "2024", "2024MMDD", true},
      {"abc", "", "x", "abc", false},
      {"abc", "d", "x", "abc", false},
      {"aaaa", "aa", "a", "aa", true},
      {"aaa", "a", "aa", "aaaaaa", true},
      {"a\r\nb\r", "\r", "", "a\nb", true},
      {"xx", "x", "", "", true},
  };
  for (const Case& c : cases) {
    string s(c.text);
    EXPECT_EQ(s.replace_all(c.from, c.to), c.replaced) << c.text << " " << c.from;
    EXPECT_EQ(s, c.result) << c.text << " " << c.from;
  }
}

TEST(StringTest, Split) {
  using V = std::vector<string>;
  struct Case {
    const char *text, *separators;
    unsigned long max;
    V fields;
  } cases[] = {
      {",,a, b,,c  ", " ,", ULONG_MAX, {"a", "b", "c"}},
      {"a,b,c", ",", 2, {"a", "b,c"}},
      {",a,,b,c,,", ",", 2, {"a", "b,c,,"}},
      {",a,b", ",", 1, {",a,b"}},
      {"a,b,c", ",", 0, {"a", "b", "c"}},
      {"a,b", ",", 5, {"a", "b"}},
      {"", ",", ULONG_MAX, {""}},
      {"", ",", 1, {""}},
      {",,,", ",", ULONG_MAX, {}},
      {"a,,,", ",", 2, {"a"}},
      {"abc", "", ULONG_MAX, {"abc"}},
      {"one\ntwo\n", "\n", 0, {"one", "two"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(string(c.text).split(c.separators, c.max), c.fields) << c.text << " max " << c.max;
}

TEST(StringTest, Tables) {
  struct Case {
    int byte, lower;
    bool alpha, space;
  } cases[] = {
      {'A', 'a', true, false},    {'Z', 'z', true, false},    {'a', 'a', true, false},
      {'@', '@', false, false},   {'[', '[', false, false},   {'0', '0', false, false},
      {0x09, 0x09, false, true},  {0x0D, 0x0D, false, true},  {0x20, 0x20, false, true},
      {0x08, 0x08, false, false}, {0x0E, 0x0E, false, false}, {0x8A, 0x9A, true, false},
      {0x8C, 0x9C, true, false},  {0x8E, 0x9E, true, false},  {0x9A, 0x9A, true, false},
      {0x9F, 0xFF, true, false},  {0xA0, 0xA0, false, false}, {0xC0, 0xC0, true, false},
      {0xC4, 0xC4, true, false},  {0xD7, 0xD0, false, false}, {0xDF, 0xDF, true, false},
      {0xE4, 0xE4, true, false},  {0xF7, 0xF0, true, false},  {0xF8, 0xF8, false, false},
      {0xFF, 0xDF, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.byte);
    EXPECT_EQ(ToISOlower(c.byte), c.lower);
    EXPECT_EQ(ToISOlower(c.byte - 256), c.lower);  // as a signed char
    EXPECT_EQ(ISOisalpha(c.byte), c.alpha);
    EXPECT_EQ(ISOisspace(c.byte), c.space);
  }
  EXPECT_EQ(ISOchar(-1), 255);
  EXPECT_EQ(ISOchar(0x141), 0x41);
}

TEST(StringTest, IcharTraits) {
  istring_view hay("Content-Type: text/plain; NAME=\xC4.txt");
  EXPECT_EQ(hay.find("name="), 26u);
  EXPECT_EQ(hay.find("content-type"), 0u);
  EXPECT_EQ(hay.find("\xE4"), istring_view::npos);  // 0xC4 is not folded
  EXPECT_EQ(hay.find("boundary="), istring_view::npos);
  const char* text = "abC\x8A";
  EXPECT_EQ(ichar_traits::find(text, 4, 'c'), text + 2);
  EXPECT_EQ(ichar_traits::find(text, 4, '\x9A'), text + 3);
  EXPECT_EQ(ichar_traits::find(text, 2, 'c'), nullptr);
  EXPECT_EQ(istring_view("ABC").compare("abd"), -1);
  EXPECT_EQ(istring_view("ABC").compare("abc"), 0);
}

TEST(StringTest, StringHash) {
  StringHash hash;
  EXPECT_EQ(hash(""), 0u);
  EXPECT_EQ(hash("a"), 97u);
  EXPECT_EQ(hash("ab"), 5u * 97 + 98);
  EXPECT_EQ(hash(std::string("ab\0cd", 5)), hash("ab"));
  EXPECT_EQ(hash("\xFF"), 0xFFFFFFFFu);  // the byte counts as -1
  EXPECT_EQ(hash("a\x80"), 5u * 97 - 128);
  EXPECT_EQ(hash(std::string(20, 'z')) >> 32, 0u);  // 32-bit arithmetic
}

TEST(StringTest, Printable) {
  EXPECT_EQ(Printable("plain text"), "plain text");
  EXPECT_EQ(Printable("a\tb\r\n\x7F\\c\x01"), "a\\x09b\\x0D\\x0A\\x7F\\x5Cc\\x01");
  EXPECT_EQ(Printable("\xE9t\xE9"), "\xE9t\xE9");
  EXPECT_EQ(Printable("abcdef", 6), "abcdef");
  EXPECT_EQ(Printable("abcdefg", 6), "abcdef...");
  EXPECT_EQ(Printable("\x01\x02", 4), "\\x01...");
  EXPECT_EQ(Printable(std::string(300, 'x')), std::string(200, 'x') + "...");
}

}  // namespace
}  // namespace orv
