// Code pages to UTF-8: built-in tables, iconv's double-byte pages, replacements, charsets.
#include "rtf2html/code_page.h"

#include <gtest/gtest.h>

namespace rtf2html {
namespace {

// bytes decoded whole; every byte must be used.
std::string Decode(int code_page, std::string_view bytes) {
  std::string out;
  EXPECT_EQ(DecodeBytes(code_page, bytes, false, &out), bytes.size()) << code_page;
  return out;
}

TEST(CodePageTest, Decodes) {
  EXPECT_EQ(Decode(1252, "caf\xE9 \x80 \x93q\x94"), "café € “q”");
  EXPECT_EQ(Decode(1251, "\xCF\xF0\xE8\xE2\xE5\xF2"), "Привет");
  EXPECT_EQ(Decode(850, "\x9B"), "ø");
  EXPECT_EQ(Decode(932, "\x82\xA0\x93\xFA\x96\x7B"), "あ日本");
  EXPECT_EQ(Decode(kUtf8CodePage, "\xC3\xA9"), "é");
  EXPECT_EQ(Decode(kSymbolCodePage, "\xB7\xA7"), "•▪");
}

TEST(CodePageTest, WhatCannotBeDecodedBecomesReplacementCharacters) {
  EXPECT_EQ(Decode(1252, "a\x81z"), "a\uFFFDz");    // undefined in the code page
  EXPECT_EQ(Decode(99999, "a\xFF"), "a\uFFFD");     // unknown code page
  EXPECT_EQ(Decode(932, "\x82"), "\uFFFD");         // cut-off double-byte character
  EXPECT_EQ(Decode(932, "\x82\x20x"), "\uFFFD x");  // invalid trail byte
  EXPECT_EQ(Decode(kUtf8CodePage, "\xC3("), "\uFFFD(");
  EXPECT_EQ(Decode(1252, "a\x01\x1B\x7F\tb\r\n"), "a\tb\r\n");  // control characters are dropped
  std::string out;
  for (char32_t c : {U'\U0001F600', char32_t{0xD800}, char32_t{0x110000}, char32_t{0x1F}})
    AppendCodePoint(c, &out);
  EXPECT_EQ(out, "😀\uFFFD\uFFFD");
}

TEST(CodePageTest, KeepsACutOffCharacterWhenMoreFollows) {
  std::string out;
  EXPECT_EQ(DecodeBytes(932, "\x82\xA0\x82", true, &out), 2u);
  EXPECT_EQ(out, "あ");
}

TEST(CodePageTest, CharsetsNameCodePages) {
  EXPECT_EQ(CodePageOfCharset(0, 1251), 1252);
  EXPECT_EQ(CodePageOfCharset(1, 1251), 1251);  // the default character set
  EXPECT_EQ(CodePageOfCharset(2, 1251), kSymbolCodePage);
  EXPECT_EQ(CodePageOfCharset(128, 1251), 932);
  EXPECT_EQ(CodePageOfCharset(12345, 1251), 1251);
}

}  // namespace
}  // namespace rtf2html
