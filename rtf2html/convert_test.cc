// The converter's layers, the tokenizer, code pages and charset declarations,
// and whole conversions: native RTF rendered as HTML, the HTML and the text
// that encapsulating documents carry given back, the kind of document, and
// damaged or hostile input.
#include "rtf2html/convert.h"

#include <gtest/gtest.h>

#include <sstream>

#include "orv/utf8.h"
#include "rtf2html/code_page.h"
#include "rtf2html/html_renderer.h"
#include "rtf2html/html_text.h"
#include "rtf2html/meta_charset.h"
#include "rtf2html/rtf_reader.h"
#include "rtf2html/tokenizer.h"

namespace rtf2html {
namespace {

// The tokens of input, one word each: "{", "}", "\name" with its parameter,
// "sym:c", "text:...", "byte:hh" and "bin".
std::string Dump(const std::string& input) {
  static const char* const kPrefix[] = {"{", "}", "\\", "sym:", "text:", "byte:", "bin"};
  std::stringbuf buffer(input);
  Tokenizer tokenizer(&buffer);
  std::string dump;
  for (Token token; tokenizer.Next(&token);) {
    dump += (dump.empty() ? "" : " ") + std::string(kPrefix[token.kind]);
    if (token.kind == Token::kWord) {
      dump += token.text + (token.has_param ? std::to_string(token.param) : "");
    } else if (token.kind == Token::kSymbol || token.kind == Token::kText) {
      dump += token.text;
    } else if (token.kind == Token::kByte) {
      const unsigned char byte = static_cast<unsigned char>(token.text[0]);
      dump += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
    }
  }
  return dump;
}

TEST(TokenizerTest, Tokens) {
  const std::string name(Tokenizer::kMaxWordLength + 9, 'x'), run(Tokenizer::kMaxTextRun, 'a');
  const std::pair<std::string, std::string> kCases[] = {
      {"{\\rtf1 Hello}", "{ \\rtf1 text:Hello }"},
      // One space ends a control word and belongs to it; a second is text.
      {"\\b  x", "\\b text: x"},
      {"\\f0Arial", "\\f0 text:Arial"},
      {"\\u-10179?", "\\u-10179 text:?"},
      {"\\li-", "\\li"},
      {"\\'e9\\'4A", "byte:e9 byte:4a"},
      {"\\'zz", "text:zz"},
      {"a\\{b\\}c\\\\", "text:a text:{ text:b text:} text:c text:\\"},
      {"a\r\nb\rc\n", "text:a text:b text:c"},
      {"x\\\ny", "text:x \\par text:y"},
      {"\\~\\-\\_\\*\\|", "sym:~ sym:- sym:_ sym:* sym:|"},
      {"\\fs99999999999 \\fi-99999999999", "\\fs2147483647 \\fi-2147483648"},
      // \bin passes over its bytes, braces and backslashes included.
      {"\\bin4 {}\\}x", "bin text:x"},
      {"\\bin100 short", "bin"},
      // Input that ends inside a token.
      {"a\\", "text:a"},
      {"\\'4", ""},
      // Long names and runs of text are cut.
      {"\\" + name + "5", "\\" + name.substr(0, Tokenizer::kMaxWordLength + 1) + "5"},
      {run + "aa", "text:" + run + " text:aa"},
  };
  for (const auto& [input, tokens] : kCases) EXPECT_EQ(Dump(input), tokens) << input;
}

// bytes decoded whole; every byte must be used.
std::string Decode(int code_page, std::string_view bytes) {
  std::string out;
  EXPECT_EQ(DecodeBytes(code_page, bytes, false, &out), bytes.size()) << code_page;
  return out;
}

TEST(CodePageTest, Decodes) {
  EXPECT_EQ(Decode(1252, "caf\xE9 \x80 \x93q\x94"), "café € “q”");
  EXPECT_EQ(Decode(932, "\x82\xA0\x93\xFA\x96\x7B"), "あ日本");
  EXPECT_EQ(Decode(kUtf8CodePage, "\xC3\xA9"), "é");
  EXPECT_EQ(Decode(kSymbolCodePage, "\xB7\xA7"), "•▪");
  // What cannot be decoded becomes replacement characters; control characters are dropped.
  EXPECT_EQ(Decode(1252, "a\x81z"), "a\uFFFDz");    // undefined in the code page
  EXPECT_EQ(Decode(99999, "a\xFF"), "a\uFFFD");     // unknown code page
  EXPECT_EQ(Decode(932, "\x82"), "\uFFFD");         // cut-off double-byte character
  EXPECT_EQ(Decode(932, "\x82\x20x"), "\uFFFD x");  // invalid trail byte
  EXPECT_EQ(Decode(kUtf8CodePage, "\xC3("), "\uFFFD(");
  EXPECT_EQ(Decode(1252, "a\x01\x1B\x7F\tb\r\n"), "a\tb\r\n");
  std::string out;
  for (char32_t c : {U'\U0001F600', char32_t{0xD800}, char32_t{0x110000}, char32_t{0x1F}})
    AppendCodePoint(c, &out);
  // Unless more follows: then a cut-off character is kept for later.
  EXPECT_EQ(DecodeBytes(932, "\x82\xA0\x82", true, &out), 2u);
  EXPECT_EQ(out, "😀\uFFFD\uFFFDあ");
  // Character sets name code pages; the document's is the default.
  EXPECT_EQ(CodePageOfCharset(0, 1251), 1252);
  EXPECT_EQ(CodePageOfCharset(1, 1251), 1251);
  EXPECT_EQ(CodePageOfCharset(2, 1251), kSymbolCodePage);
  EXPECT_EQ(CodePageOfCharset(128, 1251), 932);
}

// Declarations are rewritten, or one is added where there is none.
TEST(MetaCharsetTest, DeclaresUtf8) {
  EXPECT_EQ(DeclareUtf8("<head><META CHARSET=windows-1252 /></head>"),
            "<head><META CHARSET=utf-8 /></head>");
  EXPECT_EQ(DeclareUtf8("<META CONTENT='text/html; charset=iso-2022-jp' HTTP-EQUIV=content-type>"),
            "<META CONTENT='text/html; charset=utf-8' HTTP-EQUIV=content-type>");
  EXPECT_EQ(DeclareUtf8("<meta charset=\"a\"><p>x</p><meta\ncharset=\"b\">"),
            "<meta charset=\"utf-8\"><p>x</p><meta\ncharset=\"utf-8\">");
  EXPECT_EQ(DeclareUtf8("<HTML>\n<HEAD lang=en><title>"),
            "<HTML>\n<HEAD lang=en><meta charset=\"utf-8\"><title>");
  EXPECT_EQ(DeclareUtf8("<html><body>x</body></html>"),
            "<html><head><meta charset=\"utf-8\"></head><body>x</body></html>");
  EXPECT_EQ(DeclareUtf8("<!DOCTYPE html>\n<p>x"), "<!DOCTYPE html><meta charset=\"utf-8\">\n<p>x");
  EXPECT_EQ(DeclareUtf8(""), "<meta charset=\"utf-8\">");
  // Neither comments, nor metas without a charset, nor look-alike tags count.
  EXPECT_EQ(DeclareUtf8("<!-- <meta charset=\"x\"> <head> --><head>"),
            "<!-- <meta charset=\"x\"> <head> --><head><meta charset=\"utf-8\">");
  EXPECT_EQ(DeclareUtf8("<html><header>h</header><meta name=\"Generator\" content=\"x\">"),
            "<html><head><meta charset=\"utf-8\"></head><header>h</header><meta "
            "name=\"Generator\" content=\"x\">");
  EXPECT_EQ(DeclareUtf8("<metadata charset=x><head>"),
            "<metadata charset=x><head><meta charset=\"utf-8\">");
}

Conversion Convert(const std::string& rtf) {
  std::stringbuf in(rtf);
  return ConvertRtf(&in);
}

// The HTML of rtf, which must convert to a document of the given kind.
std::string Html(const std::string& rtf, RtfKind kind) {
  const Conversion conversion = Convert(rtf);
  EXPECT_TRUE(conversion.ok) << conversion.error;
  EXPECT_EQ(conversion.kind, kind);
  return conversion.html;
}

// Each row: a name, the document's body after a header that the table gives,
// and the HTML it gives.
struct Case {
  const char* name;
  const char* body;
  const char* html;
};

const char kHeader[] =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern\\fcharset204 "
    "Courier New;}{\\f2\\fnil\\fcharset2 Symbol;}}\r\n"
    "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n\\pard\\plain ";

// What a native page holds between its body tags.
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
  for (const Case& c : kCases) {
    const std::string html = Html(kHeader + std::string(c.body) + "}", RtfKind::kNative);
    const std::size_t start = html.find(">\n", html.find("<body")) + 2;
    EXPECT_EQ(html.substr(start, html.rfind("</body>") - start), c.html) << c.name;
  }
}

TEST(HtmlRendererTest, HyperlinkTargets) {
  EXPECT_EQ(HyperlinkTarget(" hyperlink  https://a.example/x "), "https://a.example/x");
  EXPECT_EQ(HyperlinkTarget("HYPERLINK \\o \"tip\" \"mailto:a@b.example\""), "mailto:a@b.example");
  EXPECT_EQ(HyperlinkTarget("HYPERLINK www.example.com"), "http://www.example.com");
  EXPECT_EQ(HyperlinkTarget("HYPERLINK \"file:///etc/passwd\""), "");
}

// After the <meta charset="utf-8"> that the extractor adds; the header ends
// with \f0 selected.
TEST(HtmlExtractorTest, Fragments) {
  const char* header =
      "{\\rtf1\\ansi\\ansicpg1251\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
      "{\\f1\\fswiss\\fcharset204 Arial;}{\\f2\\fnil\\fcharset238 Tahoma;}"
      "{\\f4\\fnil\\fcharset128 Gothic;}}\\f0 ";
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
      {"the characters MS-OXRTFEX lists, other control words are not text",
       "\\lquote x\\rquote  \\ldblquote y\\rdblquote  \\bullet \\endash \\emdash "
       "a\\~b\\_c\\emspace d\\-e",
       "‘x’ “y” •–—a\u00A0b\u00ADcde"},
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
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Html(header + std::string(c.body) + "}", RtfKind::kEncapsulatedHtml),
              std::string("<meta charset=\"utf-8\">") + c.html)
        << c.name;
  }
}

// Text is decoded in chunks; a double-byte character across a chunk's end stays whole.
TEST(HtmlExtractorTest, LongRunOfDoubleByteText) {
  std::string rtf = "{\\rtf1\\ansi\\ansicpg932\\fromhtml1 x", html = "<meta charset=\"utf-8\">x";
  for (int i = 0; i < 40000; ++i) rtf += "\\'82\\'a0", html += "あ";
  EXPECT_EQ(Html(rtf + "}", RtfKind::kEncapsulatedHtml), html);
}

// The text as it stands inside the <pre> element.
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
      {"a field shows its result",
       "see {\\field{\\*\\fldinst HYPERLINK \"http://x/\"}{\\fldrslt http://x/}}", "see http://x/"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Html(header + std::string(c.body) + "}", RtfKind::kEncapsulatedText),
              std::string(kPageStart) + ">\n<pre style=\"white-space: pre-wrap\">" + c.html +
                  "</pre>\n" + std::string(kPageEnd))
        << c.name;
  }
}

TEST(ConvertTest, TheHeaderTellsTheKind) {
  EXPECT_EQ(Convert("{\\rtf1\\fromhtml0 x}").kind, RtfKind::kNative);
  EXPECT_EQ(Convert("{\\rtf1\\a\\b\\c\\d\\e\\f\\g\\fromhtml1 x}").kind, RtfKind::kEncapsulatedHtml);
  // Past the first ten group starts and control words it is too late.
  EXPECT_EQ(Convert("{\\rtf1\\a\\b\\c\\d\\e\\f\\g\\h\\fromhtml1 x}").kind, RtfKind::kNative);
}

// Each row: a name, the input and either a piece of the HTML it gives or, after "error:", a
// piece of the error that makes it fail.
TEST(ConvertTest, DamagedAndHostileInput) {
  std::string junk, pars, binary(16 << 20, '{');
  for (int i = 0; i < 4096; ++i) junk.push_back(static_cast<char>(i * 7 % 256));
  for (std::size_t i = 0; i < kMaxOutput / 20; ++i) pars += "\\par ";
  binary[1000] = '}';
  const struct {
    const char* name;
    std::string rtf;
    const char* expected;
  } kCases[] = {
      {"a byte order mark first", "\xEF\xBB\xBF{\\rtf1 x}", "error:not RTF"},
      {"a group before it", "{{\\rtf1 x}}", "error:not RTF"},
      {"nothing after the brace", "{", "error:not RTF"},
      {"closing braces missing", "{\\rtf1 {\\b bold {\\i more", "<b>bold <i>more</i></b>"},
      {"closing braces missing, encapsulated HTML", "{\\rtf1\\fromhtml1 {\\*\\htmltag <p>}x",
       "<p>x"},
      {"closing braces in excess", "{\\rtf1 x}}}} junk {\\b y}", ">x</p>"},
      {"cut inside a control word", "{\\rtf1 ab\\pa", ">ab</p>"},
      {"cut after \\uN", "{\\rtf1 a\\u233", ">aé</p>"},
      {"binary junk", "{\\rtf1 " + junk, "<body"},
      {"\\bin longer than the input", "{\\rtf1 a\\bin99999999 {}", ">a</p>"},
      {"16 MiB of \\bin",
       "{\\rtf1 a\\bin" + std::to_string(binary.size()) + " " + binary + "b{\\*\\x\\bin3 }}}}c}",
       ">abc</p>"},
      {"1000 levels of groups", "{\\rtf1 x" + std::string(999, '{'), ">x</p>"},
      {"1001 levels of groups", "{\\rtf1 " + std::string(1000, '{'),
       "error:nested deeper than 1000"},
      {"more than 64 MiB of HTML", "{\\rtf1 " + pars + "}", "error:larger than 64 MiB"},
  };
  for (const auto& c : kCases) {
    const Conversion conversion = Convert(c.rtf);
    const std::string expected = c.expected;
    if (expected.rfind("error:", 0) == 0) {
      EXPECT_FALSE(conversion.ok) << c.name;
      EXPECT_NE(conversion.error.find(expected.substr(6)), std::string::npos)
          << c.name << ": " << conversion.error;
      EXPECT_TRUE(conversion.html.empty()) << c.name;
      EXPECT_EQ(conversion.kind == RtfKind::kNotRtf, expected == "error:not RTF") << c.name;
      continue;
    }
    ASSERT_TRUE(conversion.ok) << c.name << ": " << conversion.error;
    EXPECT_TRUE(orv::IsUtf8(conversion.html)) << c.name;
    EXPECT_NE(conversion.html.find(expected), std::string::npos) << c.name << "\n"
                                                                 << conversion.html.substr(0, 2000);
    EXPECT_EQ(conversion.html.find("junk"), std::string::npos) << c.name;
  }
}

}  // namespace
}  // namespace rtf2html
