#include "rtf2html/code_page.h"

#include <gtest/gtest.h>

namespace rtf2html {
namespace {

struct Case {
  int code_page;
  const char* bytes;
  const char* utf8;
};

TEST(CodePageTest, DecodesEveryCommonCodePage) {
  const Case kCases[] = {
      {1252, "caf\xE9 \x80 \x93q\x94", "café € “q”"},
      {1250, "\x8A\xB9", "Šą"},
      {1251, "\xCF\xF0\xE8\xE2\xE5\xF2", "Привет"},
      {1253, "\xC1\xE2", "Αβ"},
      {1254, "\xD0\xFE", "Ğş"},
      {1255, "\xF9\xEC\xE5\xED", "שלום"},
      {1256, "\xC7", "ا"},
      {1257, "\xC0", "Ą"},
      {1258, "\xD5", "Ơ"},
      {874, "\xA1", "ก"},
      {437, "\x82", "é"},
      {850, "\x9B", "ø"},
      {10000, "\x8A", "ä"},
      {932, "\x82\xA0\x93\xFA\x96\x7B", "あ日本"},
      {936, "\xC4\xE3\xBA\xC3", "你好"},
      {949, "\xC7\xD1", "한"},
      {950, "\xA4\xA4", "中"},
      {kUtf8CodePage, "\xC3\xA9", "é"},
      {kSymbolCodePage, "\xB7\xA7", "•▪"},
  };
  for (const Case& c : kCases) {
    std::string out;
    EXPECT_EQ(DecodeBytes(c.code_page, c.bytes, false, &out), std::string(c.bytes).size());
    EXPECT_EQ(out, c.utf8) << c.code_page;
  }
}

TEST(CodePageTest, WhatCannotBeDecodedBecomesReplacementCharacters) {
  const Case kCases[] = {
      {1252, "a\x81z", "a\uFFFDz"},                // undefined in the code page
      {99999, "a\xFF", "a\uFFFD"},                 // unknown code page
      {932, "\x82", "\uFFFD"},                     // cut-off double-byte character
      {932, "\x82\x20x", "\uFFFD x"},              // invalid trail byte
      {kUtf8CodePage, "\xC3(", "\uFFFD("},         // broken UTF-8
      {1252, "a\x01\x1B\x7F\tb\r\n", "a\tb\r\n"},  // control characters are dropped
  };
  for (const Case& c : kCases) {
    std::string out;
    DecodeBytes(c.code_page, c.bytes, false, &out);
    EXPECT_EQ(out, c.utf8) << c.code_page << " " << c.bytes;
  }
}

TEST(CodePageTest, KeepsACutOffCharacterWhenMoreFollows) {
  std::string out;
  EXPECT_EQ(DecodeBytes(932, "\x82\xA0\x82", true, &out), 2u);
  EXPECT_EQ(out, "あ");
}

TEST(CodePageTest, CharsetsNameCodePages) {
  const std::pair<int, int> kCases[] = {
      {0, 1252},   {1, 1251},   {2, kSymbolCodePage}, {77, 10000}, {128, 932},
      {129, 949},  {134, 936},  {136, 950},           {161, 1253}, {162, 1254},
      {163, 1258}, {177, 1255}, {178, 1256},          {186, 1257}, {204, 1251},
      {222, 874},  {238, 1250}, {255, 850},           {3, 1251},   {12345, 1251}};
  for (auto [charset, code_page] : kCases)
    EXPECT_EQ(CodePageOfCharset(charset, 1251), code_page) << charset;
}

TEST(CodePageTest, AppendsCodePointsAsUtf8) {
  std::string out;
  for (char32_t c : {U'A', U'\u00E9', U'\u20AC', U'\U0001F600', char32_t{0xD800},
                     char32_t{0x110000}, char32_t{0}, char32_t{0x1F}})
    AppendCodePoint(c, &out);
  EXPECT_EQ(out, "Aé€😀\uFFFD\uFFFD");
}

}  // namespace
}  // namespace rtf2html
