// \fromhtml1 documents: the HTML they carry taken back out, whole pages and the escapes inside.
#include "rtf2html/html_extractor.h"

#include <gtest/gtest.h>

#include <sstream>

#include "rtf2html/convert.h"

namespace rtf2html {
namespace {

std::string Extract(const std::string& rtf) {
  std::stringbuf in(rtf);
  Conversion conversion = ConvertRtf(&in);
  EXPECT_TRUE(conversion.ok) << conversion.error;
  EXPECT_EQ(conversion.kind, RtfKind::kEncapsulatedHtml);
  return conversion.html;
}

// A whole page as an encapsulating writer would store it: markup, line ends
// and the meta tag in \htmltag groups, the text outside them, and the RTF
// rendering of the text between \htmlrtf and \htmlrtf0.
TEST(HtmlExtractorTest, GivesBackTheEncapsulatedPage) {
  const char* rtf =
      "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n"
      "{\\colortbl\\red0\\green0\\blue0;}\r\n"
      "{\\*\\htmltag64}\\uc1\\pard\\plain\\f0\\fs20\r\n"
      "{\\*\\htmltag19 <html>}{\\*\\htmltag1 \\par }{\\*\\htmltag34 <head>}{\\*\\htmltag1 \\par "
      "}\r\n"
      "{\\*\\htmltag161 <meta http-equiv=\"Content-Type\" content=\"text/html; "
      "charset=windows-1252\">}{\\*\\htmltag1 \\par }\r\n"
      "{\\*\\htmltag41 </head>}{\\*\\htmltag1 \\par }{\\*\\htmltag50 <body>}{\\*\\htmltag1 \\par "
      "}\r\n"
      "{\\*\\htmltag64 <p>}\\htmlrtf {\\htmlrtf0 Hello {\\*\\htmltag84 <b>}\\htmlrtf {\\b "
      "\\htmlrtf0 "
      "world\\htmlrtf }\\htmlrtf0 {\\*\\htmltag92 </b>}!\\htmlrtf\\par}\\htmlrtf0\r\n"
      "{\\*\\htmltag72 </p>}{\\*\\htmltag1 \\par }{\\*\\htmltag58 </body>}{\\*\\htmltag1 \\par "
      "}\r\n"
      "{\\*\\htmltag27 </html>}}\r\n";
  EXPECT_EQ(Extract(rtf),
            "<html>\n<head>\n"
            "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
            "</head>\n<body>\n"
            "<p>Hello <b>world</b>!</p>\n</body>\n</html>");
}

struct Case {
  const char* name;
  const char* body;  // follows the header, which ends with \f0 selected
  const char* html;  // follows the <meta charset="utf-8"> the extractor adds
};

TEST(HtmlExtractorTest, Fragments) {
  const char* header =
      "{\\rtf1\\ansi\\ansicpg1251\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
      "{\\f1\\fswiss\\fcharset204 Arial;}{\\f2\\fnil\\fcharset238 Tahoma;}{\\f3\\fnil\\fcharset2 "
      "Symbol;}{\\f4\\fnil\\fcharset128 Gothic;}}\\f0 ";
  const Case kCases[] = {
      {"bytes in a tag are in the document's code page, text in its font's",
       "{\\*\\htmltag84 <p title=\"\\'cc\\'e8\\'f0\">}{\\f1 \\'cc\\'e8\\'f0 }{\\f2 \\'8a\\'9a "
       "}\\'e9",
       "<p title=\"Мир\">Мир Šš é"},
      {"a double-byte character comes as two escapes", "{\\f4 \\'93\\'fa\\'96\\'7b}", "日本"},
      {"\\uN with its fallback characters, \\ucN counting them",
       "caf\\u233?{\\uc2 \\u8364\\'80\\'80}\\uc0 \\u8482 x\\uc1 \\u-10179?\\u-8704?"
       "{\\*\\htmltag <img alt=\"\\u9731?\">}\\u-10179?y\\u-8704?",
       "café€™x😀<img alt=\"☃\">\uFFFDy\uFFFD"},
      {"escaped braces and backslashes",
       "{\\*\\htmltag241 <style>a\\{b:c\\}</style>}C:\\\\dir\\\\\\{x\\}",
       "<style>a{b:c}</style>C:\\dir\\{x}"},
      {"the characters MS-OXRTFEX lists",
       "\\lquote x\\rquote  \\ldblquote y\\rdblquote  \\bullet \\endash \\emdash a\\~b\\_c",
       "‘x’ “y” •–—a\u00A0b\u00ADc"},
      {"other control words are not text", "a\\emspace b\\-c\\zwj d\\chdate e", "abcde"},
      {"line ends and tabs", "{\\*\\htmltag <pre>\\par \\tab x\\line }y\\line z\\tab w",
       "<pre>\n\txy\nz\tw"},
      {"\\htmlrtf is kept and restored by groups",
       "\\htmlrtf {\\htmlrtf0 a}b{\\htmlrtf0 c\\htmlrtf d{\\*\\htmltag <hr>}}e\\htmlrtf0 f", "acf"},
      {"MHTML copies of tags are left out",
       "{\\*\\mhtmltag84 <img src=\"\\htmlbase cid:image001.png\">}"
       "{\\*\\htmltag84 <img src=\"image001.png\">}",
       "<img src=\"image001.png\">"},
      {"RTF-only destinations are left out",
       "{\\pict\\wmetafile8 0102}{\\*\\generator x;}{\\object{\\*\\objdata 01}{\\result r}}"
       "{\\info{\\title t}}{\\field{\\*\\fldinst HYPERLINK \"u\"}{\\fldrslt shown}}",
       "shown"},
      {"a symbol font's bullet", "{\\f3\\'b7}", "•"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Extract(std::string(header) + c.body + "}"),
              std::string("<meta charset=\"utf-8\">") + c.html)
        << c.name;
  }
}

// Text is decoded in chunks; a double-byte character across a chunk's end stays whole.
TEST(HtmlExtractorTest, LongRunOfDoubleByteText) {
  std::string rtf = "{\\rtf1\\ansi\\ansicpg932\\fromhtml1 x", html = "<meta charset=\"utf-8\">x";
  for (int i = 0; i < 40000; ++i) rtf += "\\'82\\'a0", html += "あ";
  EXPECT_EQ(Extract(rtf + "}"), html);
}

}  // namespace
}  // namespace rtf2html
