#include "rtf2html/text_decoder.h"

#include <gtest/gtest.h>

namespace rtf2html {
namespace {

TEST(TextDecoderTest, JoinsBytesAndCharactersInOrder) {
  TextDecoder decoder;
  decoder.AddBytes(1252, "caf\xE9 ");
  decoder.AddUnicode(0x201C);
  decoder.AddBytes(1251, "\xC4\xE0");
  decoder.AddUnicode(-3913);  // U+F0B7: \uN is a signed 16-bit number
  std::string out;
  decoder.Take(&out);
  EXPECT_EQ(out, "café “Да\uF0B7");
}

TEST(TextDecoderTest, DoubleByteCharactersMayComeInPieces) {
  TextDecoder decoder;
  decoder.AddBytes(932, "\x82");
  decoder.AddBytes(932, "\xA0");
  std::string out;
  decoder.Take(&out);
  EXPECT_EQ(out, "あ");
}

TEST(TextDecoderTest, PairsSurrogates) {
  struct Case {
    std::vector<int32_t> units;
    const char* utf8;
  } const kCases[] = {
      {{-10179, -8704}, "😀"}, {{0xD83D, 0xDE00}, "😀"}, {{-10179, 'x'}, "\uFFFDx"},
      {{-8704}, "\uFFFD"},    {{-10179}, "\uFFFD"},
  };
  for (const Case& c : kCases) {
    TextDecoder decoder;
    for (int32_t unit : c.units)
      decoder.AddUnicode(unit);
    std::string out;
    decoder.Take(&out);
    EXPECT_EQ(out, c.utf8);
  }
}

TEST(TextDecoderTest, ARunThatGoesOnKeepsItsCutOffEnd) {
  TextDecoder decoder;
  decoder.AddBytes(936, "\xC4\xE3\xBA");
  std::string out;
  decoder.Take(&out, false);
  EXPECT_EQ(out, "你");
  decoder.AddBytes(936, "\xC3");
  decoder.AddUnicode(0xD83D);
  decoder.Take(&out, false);
  EXPECT_EQ(out, "你好");
  decoder.AddUnicode(0xDE00);
  decoder.Take(&out);
  EXPECT_EQ(out, "你好😀");
}

}  // namespace
}  // namespace rtf2html
