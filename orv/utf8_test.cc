// UTF-8 checked, and made from UTF-16 and from single-byte code pages.
#include "orv/utf8.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

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
