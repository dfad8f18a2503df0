// Name parameters and content ids: exact output for each form, and Python's
// email package reading back every name.
#include "app/mime_words.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "app/attachment_name.h"
#include "orv/testing.h"

namespace {

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

// Names from 8-bit code pages, UTF-8, long and with special characters,
// written as both parameters into one part each, then read back by Python's
// email package with its default policy.
TEST(MimeWordsTest, PythonReadsTheNamesBack) {
  const std::string names[] = {
      NameToUtf8("UmlautAnhang-\xE4\xFC\xF6.txt", 1252),
      NameToUtf8("\xCE\xE1\xE7\xEE\xF0 \xE7\xE0 2026.doc", 1251),
      "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x98\x80.pdf",
      std::string(60, 'n') + "\xC3\xA9" + std::string(150, 'm') + ".txt",  // over 200 bytes
      "a \"quoted\" \\back\\ 100% a/b.txt",
      "plain name.txt",
  };
  orv::testing::TempDir dir;
  std::string message = "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=B\n\n";
  std::string expected;
  for (const std::string& name : names) {
    message += "--B\nContent-Type: application/octet-stream; \n   " + NameParameter(name) +
               "\nContent-Transfer-Encoding: base64\n\neA==\n";
    message +=
        "--B\nContent-Type: application/octet-stream\nContent-Disposition: attachment;\n   " +
        FilenameParameter(name) + "\nContent-Transfer-Encoding: base64\n\neA==\n";
    expected += name + '\n' + name + '\n';
  }
  message += "--B--\n";
  const std::string script =
      "import email, email.policy, sys\n"
      "m = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=email.policy.default)\n"
      "out = ''.join(p.get_filename() + '\\n' for p in m.iter_parts())\n"
      "open(sys.argv[2], 'wb').write(out.encode())\n";
  const std::string command = "python3 " + dir.Write("check.py", script) + ' ' +
                              dir.Write("message", message) + ' ' + dir.Path("names");
  ASSERT_EQ(std::system(command.c_str()), 0) << message;
  EXPECT_EQ(orv::testing::ReadFile(dir.Path("names")), expected) << message;
}

}  // namespace
