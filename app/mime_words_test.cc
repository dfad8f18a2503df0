// File names as tnef writes them and as the new parts' parameters carry them,
// and content ids: exact output for each form.
#include "app/mime_words.h"

#include <gtest/gtest.h>

#include "app/attachment_name.h"

namespace {

// What tnef 1.4.18 writes for these names, found by running it.
TEST(UndoTnefEscapesTest, UndoesWhatTnefWrites) {
  const std::pair<std::string_view, std::string_view> cases[] = {
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
  for (const auto& [on_disk, name] : cases) EXPECT_EQ(UndoTnefEscapes(on_disk), name) << on_disk;
}

TEST(MimeWordsTest, PlainNamesStayAsTheyWere) {
  for (std::string_view name : {"report.pdf", "a b;c=d(1)<2>[3]{4}|~#&'.txt", ""}) {
    EXPECT_TRUE(IsPlainName(name)) << name;
    EXPECT_EQ(NameParameter(name), "name=\"" + std::string(name) + '"');
    EXPECT_EQ(FilenameParameter(name), "filename=\"" + std::string(name) + '"');
  }
  for (std::string_view name :
       {"a\"b", "a\\b", "a/b", "a*b", "a?b", "a:b", "a%b", "a\tb", "a\x7F", "caf\xC3\xA9"})
    EXPECT_FALSE(IsPlainName(name)) << name;
}

TEST(MimeWordsTest, EncodesOtherNames) {
  EXPECT_EQ(NameParameter("caf\xC3\xA9 \"1\".txt"), "name=\"=?UTF-8?B?Y2Fmw6kgIjEiLnR4dA==?=\"");
  EXPECT_EQ(FilenameParameter("caf\xC3\xA9 \"1\".txt"), "filename*=UTF-8''caf%C3%A9%20%221%22.txt");
  EXPECT_EQ(FilenameParameter("100%/a\\b"), "filename*=UTF-8''100%25%2Fa%5Cb");

  // 41 ASCII bytes and a 2-byte character: the character goes whole into the
  // second word, which stands on a line of its own; 42 bytes fit one word.
  EXPECT_EQ(NameParameter(std::string(41, 'x') + "\xC3\xA9"),
            "name=\"=?UTF-8?B?eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHh4eHg=?=\n"
            "   =?UTF-8?B?w6k=?=\"");
  EXPECT_EQ(NameParameter(std::string(40, 'x') + "\xC3\xA9").find('\n'), std::string::npos);
  // Lines of exactly 78 characters, after the three spaces of a folded line.
  std::string e9;
  for (int i = 0; i < 9; ++i) e9 += "\xC3\xA9";
  EXPECT_EQ(FilenameParameter("abcd" + e9),
            "filename*=UTF-8''abcd%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9");
  EXPECT_EQ(FilenameParameter("a" + e9 + "bc\xC3\xA9"),
            "filename*0*=UTF-8''a%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9;\n   "
            "filename*1*=bc%C3%A9");
}

TEST(MimeWordsTest, ContentIds) {
  EXPECT_TRUE(IsValidContentId("image001.png@01DC0563.B37C4800"));
  EXPECT_TRUE(IsValidContentId(std::string(250, 'a')));
  for (std::string_view id : {"", "a b", "<a>", "a\"b", "a\tb", "caf\xC3\xA9", "a>"})
    EXPECT_FALSE(IsValidContentId(id)) << id;
  EXPECT_FALSE(IsValidContentId(std::string(251, 'a')));
}

}  // namespace
