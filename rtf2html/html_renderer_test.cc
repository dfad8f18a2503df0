#include "rtf2html/html_renderer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "rtf2html/convert.h"
#include "rtf2html/html_text.h"

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
      {"\\plain ends formatting", "{\\b\\i x\\plain y}",
       "<p style=\"margin:0\"><b><i>x</i></b>y</p>\n"},
      {"sizes, colors and fonts", "\\fs20 small {\\cf1 red} {\\f1\\highlight2 mono}",
       "<p style=\"margin:0\"><span style=\"font-size:10pt\">small </span><span "
       "style=\"font-size:10pt;color:#ff0000\">red</span><span style=\"font-size:10pt\"> "
       "</span><span style=\"font-family:'Courier New',monospace;font-size:10pt;"
       "background-color:#0000ff\">mono</span></p>\n"},
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
      {"tabs and line breaks", "a\\tab b\\line c",
       "<p style=\"margin:0\">a<span style=\"white-space:pre\">\t</span>b<br>\nc</p>\n"},
      {"hidden text", "a{\\v hidden}b", "<p style=\"margin:0\">ab</p>\n"},
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
      {"lettered list", "{\\pntext b)\\tab}x\\par{\\pntext c)\\tab}y\\par",
       "<ol type=\"a\" start=\"2\">\n<li>x</li>\n<li>y</li>\n</ol>\n"},
      {"roman numbers", "{\\pntext iv.\\tab}x", "<ol type=\"i\" start=\"4\">\n<li>x</li>\n</ol>\n"},
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
      {"nothing at all", "", ""},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(RenderBody(c.body), c.html) << c.name;
}

TEST(HtmlRendererTest, PageUsesTheDefaultFont) {
  std::stringbuf in(std::string(kHeader) + "x}");
  EXPECT_EQ(ConvertRtf(&in).html, std::string(kPageStart) +
                                      " style=\"font-family:'Arial',sans-serif;font-size:12pt\">\n"
                                      "<p style=\"margin:0\">x</p>\n" +
                                      std::string(kPageEnd));
}

TEST(HtmlRendererTest, HyperlinkTargets) {
  const std::pair<const char*, const char*> kCases[] = {
      {"HYPERLINK \"http://a.example/\"", "http://a.example/"},
      {" hyperlink  https://a.example/x ", "https://a.example/x"},
      {"HYPERLINK \"mailto:a@b.example\"", "mailto:a@b.example"},
      {"HYPERLINK \\o \"tip\" \"https://x.example/\"", "https://x.example/"},
      {"HYPERLINK www.example.com", "http://www.example.com"},
      {"HYPERLINK \\l \"_Toc1\"", ""},
      {"HYPERLINK \"javascript:alert(1)\"", ""},
      {"HYPERLINK \"file:///etc/passwd\"", ""},
      {"HYPERLINK \"data:text/html,x\"", ""},
      {"PAGE", ""},
      {"HYPERLINK", ""},
      {"", ""},
  };
  for (auto [instruction, target] : kCases)
    EXPECT_EQ(HyperlinkTarget(instruction), target) << instruction;
}

}  // namespace
}  // namespace rtf2html
