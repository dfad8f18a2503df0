// Attachment names made UTF-8, and tnef's escapes in file names undone.
#include "app/attachment_name.h"

#include <gtest/gtest.h>

namespace {

TEST(NameToUtf8Test, KeepsUtf8AndDecodesTheRest) {
  const struct {
    std::string_view raw;
    int code_page;
    std::string_view utf8;
  } cases[] = {
      {"UmlautAnhang-\xC3\xA4\xC3\xBC\xC3\xB6.txt", 1251,
       "UmlautAnhang-\xC3\xA4\xC3\xBC\xC3\xB6.txt"},
      {"UmlautAnhang-\xE4\xFC\xF6.txt", 1252, "UmlautAnhang-\xC3\xA4\xC3\xBC\xC3\xB6.txt"},
      {"\xCE\xE1\xE7\xEE\xF0.doc", 1251, "\xD0\x9E\xD0\xB1\xD0\xB7\xD0\xBE\xD1\x80.doc"},
  };
  for (const auto& c : cases) EXPECT_EQ(NameToUtf8(c.raw, c.code_page), c.utf8) << c.raw;
}

// What tnef 1.4.18 writes for these names, found by running it.
TEST(UndoTnefEscapesTest, UndoesWhatTnefWrites) {
  const struct {
    std::string_view on_disk, name;
  } cases[] = {
      {"a%22b%5Cc%2Fd%09e%0Af", "a\"b\\c/d\te\nf"},
      {"a%2Ab%3Fc%3Ad%25e%01f%7Fg%0Dh",
       "a*b?c:d%e\x01"
       "f\x7Fg\rh"},
      {"a%3Cb%3E%7Cc", "a<b>|c"},
      {"a b;c~#&'()[]{}!", "a b;c~#&'()[]{}!"},
      {"caf\xE9%2541", "caf\xE9%41"},
      // Not tnef's: a "%" without an escaped byte after it stays.
      {"%41%2f%00%2%", "%41%2f%00%2%"},
  };
  for (const auto& c : cases) EXPECT_EQ(UndoTnefEscapes(c.on_disk), c.name) << c.on_disk;
}

}  // namespace
