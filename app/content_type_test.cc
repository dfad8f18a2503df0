// Content types by extension: the built-in table, then a mime.types file,
// its malformed lines and its limits.
#include "app/content_type.h"

#include <gtest/gtest.h>

#include "orv/testing.h"

namespace {

// Each line shows one thing about the format.
const char kMimeTypes[] =
    "# comment\n"
    "application/vnd.oasis.opendocument.text\t\todt\r\n"
    "text/calendar ics ifb # Ical\n"
    "message/rfc822 eml art\n"
    "image/x-jg art\n"
    "\n"
    "  image/svg+xml svg\n"
    "application/sarif+json sarif.json sarif\n"
    "application/activemessage\n";

TEST(ContentTypesTest, BuiltInTableFirstThenMimeTypes) {
  ContentTypes types;
  EXPECT_EQ(types.AddMimeTypes(kMimeTypes).extensions, 7u);
  const std::pair<const char*, const char*> cases[] = {
      {".xls", "application/vnd.ms-excel"},
      {"q3.odt", "application/vnd.oasis.opendocument.text"},
      {"invite.ICS", "text/calendar"},
      {"x.art", "message/rfc822"},  // the first type listed for it
      {"logo.svg", "image/svg+xml"},
      {"log.sarif", "application/sarif+json"},
  };
  for (const auto& [path, type] : cases) EXPECT_EQ(types.Of(path), type) << path;
  for (const char* path : {"old.files/README", "notes.", "Tu\u011Frul.\u0130CS"})
    EXPECT_EQ(types.Of(path), "application/octet-stream") << path;
  EXPECT_EQ(ContentTypes().Of("q3.odt"), "application/octet-stream");
}

TEST(ContentTypesTest, MalformedLinesAreSkipped) {
  using std::string_view_literals::operator""sv;
  const std::string_view malformed[] = {
      "plain good1\n",        "text/ good2\n",          "/plain good3\n",
      "text/pl;ain good4\n",  "text/pl\"ain good5\n",   "-text/plain good6\n",
      "text/plain a/b\n",     "text/plain ok \x01x\n",  "text/plain \xC3\xA9t\xC3\xA9\n",
      "text/plain/x good7\n", "text/pl\0ain good8\n"sv,
  };
  std::string text = "text/x-good good\n";
  for (std::string_view line : malformed) text += line;
  text += "text/long " + std::string(kMaxMimeTypesLine, 'l') + " toolong\n";
  ContentTypes types;
  ContentTypes::MimeTypesCount count = types.AddMimeTypes(text + "text/x-last last");
  EXPECT_EQ(count.extensions, 2u);
  EXPECT_EQ(count.skipped, std::size(malformed) + 1);
  EXPECT_EQ(types.Of("a.good"), "text/x-good");
  EXPECT_EQ(types.Of("a.last"), "text/x-last");
}

TEST(ContentTypesTest, LimitsAndUnreadableFiles) {
  std::string text;
  for (std::size_t i = 0; i <= kMaxMimeTypesExtensions; ++i)
    text += "text/x-" + std::to_string(i) + " e" + std::to_string(i) + "\n";
  ContentTypes::MimeTypesCount count = ContentTypes().AddMimeTypes(text);
  EXPECT_EQ(count.extensions, kMaxMimeTypesExtensions);
  EXPECT_TRUE(count.truncated);

  // Only whole lines of the first kMaxMimeTypesBytes count.
  orv::testing::TempDir dir;
  std::string big = "text/x-first first\n";
  while (big.size() < kMaxMimeTypesBytes - 200) big += std::string(99, '#') + "\n";
  big += std::string(kMaxMimeTypesBytes - 5 - big.size() - 1, '#') + "\n";
  big += "text/x-cut cut\ntext/x-beyond beyond\n";
  ContentTypes bounded;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(bounded.ReadMimeTypes(dir.Write("big.types", big)));
  EXPECT_FALSE(bounded.ReadMimeTypes(dir.Path("missing.types")));
  EXPECT_FALSE(bounded.ReadMimeTypes(dir.path()));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "* " + dir.Path("big.types") + ": larger than 1048576 bytes, the rest is ignored\n" +
                "* Unable to read " + dir.Path("missing.types") +
                ": No such file or directory, only the built-in content types are known\n" +
                "* Unable to read " + dir.path() +
                ": Is a directory, only the built-in content types are known\n");
  EXPECT_EQ(bounded.Of("a.first"), "text/x-first");
  EXPECT_EQ(bounded.Of("a.cut"), "application/octet-stream");
}

}  // namespace
