// Native RTF as HTML: paragraphs, formatting, characters, links, lists, tables.
#include "rtf2html/html_renderer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "rtf2html/convert.h"

namespace rtf2html {
namespace {

const char kHeader[] =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern\\fcharset204 "
    "Courier New;}{\\f2\\fnil\\fcharset2 Symbol;}}\r\n"
    "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n\\pard\\plain ";

// What the page holds between its body tags.
std::string RenderBody(const std::string& body) {
  std::stringbuf in(kHeader + body + "}");
  Conversion conversion = ConvertRtf(&in);
  EXPECT_TRUE(conversion.ok) << conversion.error;
  EXPECT_EQ(conversion.kind, RtfKind::kNative);
  const std::string& html = conversion.html;
  std::size_t start = html.find(">\n", html.find("<body")) + 2;
  return html.substr(start, html.rfind("</body>") - start);
}

struct Case {
  const char* name;
  const char* body;
  const char* html;
};

TEST(HtmlRendererTest, Renders) {
  const Case kCases[] = {
      {"paragraphs, the empty one kept", "one\\par\\par two",
       "<p style=\"margin:0\">one</p>\n<p style=\"margin:0\"><br></p>\n"
       "<p style=\"margin:0\">two</p>\n"},
      {"character formatting in groups",
       "a {\\b b {\\i bi} b}\\ul u\\ulnone  {\\strike s}{\\super 2}{\\sub x}",
       "<p style=\"margin:0\">a <b>b <i>bi</i> b</b><u>u</u> <s>s</s><sup>2</sup><sub>x</sub>"
       "</p>\n"},
      {"alignment, indents and spacing",
       "\\qc centered\\par\\pard\\li720\\fi-360\\sb120 indented\\par\\pard\\qr\\ri1450 r",
       "<p style=\"margin:0;text-align:center\">centered</p>\n"
       "<p style=\"margin:6pt 0 0 36pt;text-indent:-18pt\">indented</p>\n"
       "<p style=\"margin:0 72.5pt 0 0;text-align:right\">r</p>\n"},
      {"characters of every origin", "caf\\u233? {\\f1 \\'cf\\'f0\\'e8} \\'80 \\u-10179?\\u-8704?",
       "<p style=\"margin:0\">café <span style=\"font-family:'Courier New',monospace\">При</span> "
       "€ 😀</p>\n"},
      {"markup characters and runs of spaces", "<b> & \"q\"  two   three\\par   x",
       "<p style=\"margin:0\">&lt;b&gt; &amp; &quot;q&quot; &nbsp;two &nbsp; three</p>\n"
       "<p style=\"margin:0\">&nbsp; x</p>\n"},
      {"a hyperlink",
       "see {\\field{\\*\\fldinst{HYPERLINK \"http://example.com/a?b=1&c=2\"}}{\\fldrslt{\\ul\\cf2 "
       "here}}}.",
       "<p style=\"margin:0\">see <a href=\"http://example.com/a?b=1&amp;c=2\"><span "
       "style=\"color:#0000ff\"><u>here</u></span></a>.</p>\n"},
      {"a link that would run a script is no link",
       "{\\field{\\*\\fldinst HYPERLINK \"javascript:alert(1)\"}{\\fldrslt click}}",
       "<p style=\"margin:0\">click</p>\n"},
      {"bulleted list with a numbered one inside",
       "{\\pntext\\f2\\'b7\\tab}one\\par{\\pntext\\f2\\'b7\\tab}two\\par"
       "\\pard{\\listtext 1.\\tab}\\ilvl1 sub\\par\\pard after",
       "<ul>\n<li>one</li>\n<li>two<ol>\n<li>sub</li>\n</ol>\n</li>\n</ul>\n"
       "<p style=\"margin:0\">after</p>\n"},
      {"a table with an empty cell",
       "\\trowd\\trgaph108\\clbrdrt\\brdrs\\cellx2000\\cellx4000\\pard\\intbl "
       "A\\cell\\cell\\row\r\n"
       "\\trowd\\cellx2000\\cellx4000\\pard\\intbl {\\b C}\\cell D\\par E\\cell\\row\\pard after",
       "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" "
       "style=\"border-collapse:collapse\">\n"
       "<tr><td valign=\"top\"><p style=\"margin:0\">A</p>\n</td><td valign=\"top\"></td></tr>\n"
       "<tr><td valign=\"top\"><p style=\"margin:0\"><b>C</b></p>\n</td><td valign=\"top\"><p "
       "style=\"margin:0\">D</p>\n<p style=\"margin:0\">E</p>\n</td></tr>\n</table>\n"
       "<p style=\"margin:0\">after</p>\n"},
      {"pictures, objects, headers and footnotes are left out",
       "{\\header h}{\\pict\\pngblip 89504e47}{\\object{\\*\\objdata 01}{\\result r}}"
       "x{\\footnote f}",
       "<p style=\"margin:0\">x</p>\n"},
  };
  for (const Case& c : kCases) EXPECT_EQ(RenderBody(c.body), c.html) << c.name;
}

TEST(HtmlRendererTest, HyperlinkTargets) {
  EXPECT_EQ(HyperlinkTarget(" hyperlink  https://a.example/x "), "https://a.example/x");
  EXPECT_EQ(HyperlinkTarget("HYPERLINK \\o \"tip\" \"mailto:a@b.example\""), "mailto:a@b.example");
  EXPECT_EQ(HyperlinkTarget("HYPERLINK www.example.com"), "http://www.example.com");
  EXPECT_EQ(HyperlinkTarget("HYPERLINK \\l \"_Toc1\""), "");
  EXPECT_EQ(HyperlinkTarget("HYPERLINK \"file:///etc/passwd\""), "");
  EXPECT_EQ(HyperlinkTarget("PAGE"), "");
}

}  // namespace
}  // namespace rtf2html
