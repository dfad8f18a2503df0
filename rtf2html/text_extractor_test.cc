#include "rtf2html/text_extractor.h"

#include <gtest/gtest.h>

#include <sstream>

#include "rtf2html/convert.h"
#include "rtf2html/html_text.h"

namespace rtf2html {
namespace {

struct Case {
  const char* name;
  const char* body;
  const char* text;  // as it stands inside the <pre> element
};

TEST(TextExtractorTest, TextKeepsItsLinesAndSpaces) {
  const char* header =
      "{\\rtf1\\ansi\\ansicpg1252\\fromtext \\deff0{\\fonttbl{\\f0\\fswiss Arial;}"
      "{\\f1\\fnil\\fcharset204 Arial;}}\r\n{\\colortbl\\red0\\green0\\blue0;}\r\n"
      "\\uc1\\pard\\plain\\f0\\fs20 ";
  const Case kCases[] = {
      {"markup characters are escaped", "Dear <Bob> & \"co\",\\par\r\n",
       "Dear &lt;Bob&gt; &amp; &quot;co&quot;,\n"},
      {"line ends, tabs and runs of spaces",
       "\\tab indented  two\\line next\\par\r\n-- \\par\r\n\\par",
       "\tindented  two\nnext\n-- \n\n"},
      {"code pages and \\uN", "{\\f1 \\'cf\\'f0\\'e8} caf\\u233?\\par", "При café\n"},
      {"a field shows its result",
       "see {\\field{\\*\\fldinst HYPERLINK \"http://x/\"}{\\fldrslt http://x/}}", "see http://x/"},
  };
  for (const Case& c : kCases) {
    std::stringbuf in(std::string(header) + c.body + "}");
    Conversion conversion = ConvertRtf(&in);
    ASSERT_TRUE(conversion.ok) << c.name;
    EXPECT_EQ(conversion.kind, RtfKind::kEncapsulatedText);
    EXPECT_EQ(conversion.html, std::string(kPageStart) +
                                   ">\n<pre style=\"white-space: pre-wrap\">" + c.text +
                                   "</pre>\n" + std::string(kPageEnd))
        << c.name;
  }
}

}  // namespace
}  // namespace rtf2html
