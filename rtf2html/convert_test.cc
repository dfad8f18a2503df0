#include "rtf2html/convert.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "rtf2html/rtf_reader.h"

namespace rtf2html {
namespace {

Conversion Convert(const std::string& rtf) {
  std::stringbuf in(rtf);
  return ConvertRtf(&in);
}

bool IsValidUtf8(std::string_view s) {
  static const char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t more;
    if (c < 0x80) {
      more = 0;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3;
    } else {
      return false;
    }
    if (s.size() - i <= more)
      return false;
    char32_t code = c & (0x7F >> more);
    for (std::size_t k = 1; k <= more; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80)
        return false;
      code = code << 6 | (d & 0x3F);
    }
    if (code < kLeast[more] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += more + 1;
  }
  return true;
}

// The message bodies that tnef saves from the winmail.dat samples of
// tests/data/tnef, with text each rendering must hold.
struct Sample {
  const char* file;
  RtfKind kind;
  std::vector<const char*> texts;
};

TEST(ConvertTest, SampleBodies) {
  const Sample kSamples[] = {
      {"MAPI_ATTACH_DATA_OBJ",
       RtfKind::kNative,
       {"Det er jo en velkjent sak at bodødamene", "<i>Få tips og ideer til hud og hår",
        "<b>Norwegian</b>", "fra Bodø!", "MIMEsweeper for the presence of computer viruses."}},
      {"MAPI_OBJECT",
       RtfKind::kNative,
       {"<p style=\"margin:5pt 0 5pt 0\"><span style=\"font-size:10pt\">Attached is the updated",
        "<u>&lt;mailto:cspencer@leading.com.au&gt;</u>"}},
      {"data-before-name", RtfKind::kNative, {">asdf"}},
      {"long-filename",
       RtfKind::kEncapsulatedText,
       {"<pre style=\"white-space: pre-wrap\">I've attached a temp. license for QARun 4.7.  Do",
        "\nFrom: Mark Simpson [mailto:msimpson@numega.com]\nSent: Wednesday",
        "Mark Simpson                                                 Software Engineer\n"}},
      {"missing-filenames",
       RtfKind::kEncapsulatedText,
       {"Hi Stephen,\n\nSue has encountered", "\nEOM \n\nNOTICE - This message",
        "notify postmaster@bhp.com.au.\n"}},
      {"multi-value-attribute",
       RtfKind::kEncapsulatedHtml,
       {"<html><head><meta charset=\"utf-8\">\n<style type=\"text/css\"> a:link { color: "
        "#3399ff; }",
        "You received a voice mail from Curie Conf Room at <a style=\"color: #3399ff; \" "
        "href=\"tel:208225\">208225</a>.</div><br><table"}},
      {"rtf", RtfKind::kNative, {"aafg<b>ag'alga'kgk</b>", "<b>\\hge</b>", ">Greg Allen<"}},
      {"triples", RtfKind::kNative, {"<span style=\"font-size:10pt\">Sample description</span>"}},
  };
  for (const Sample& sample : kSamples) {
    std::ifstream file(std::string(RTF2HTML_TESTDATA "/") + sample.file + ".rtf", std::ios::binary);
    ASSERT_TRUE(file.is_open()) << sample.file;
    Conversion conversion = ConvertRtf(file.rdbuf());
    ASSERT_TRUE(conversion.ok) << sample.file << ": " << conversion.error;
    EXPECT_EQ(conversion.kind, sample.kind) << sample.file;
    EXPECT_TRUE(IsValidUtf8(conversion.html)) << sample.file;
    for (const char* text : sample.texts)
      EXPECT_NE(conversion.html.find(text), std::string::npos) << sample.file << ": " << text;
  }
}

TEST(ConvertTest, TheHeaderTellsTheKind) {
  const std::pair<const char*, RtfKind> kCases[] = {
      {"{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0 x}", RtfKind::kEncapsulatedHtml},
      {"{\\rtf1\\fromhtml x}", RtfKind::kEncapsulatedHtml},
      {"{\\rtf1\\fromhtml0 x}", RtfKind::kNative},
      {"{\\rtf1\\ansi\\fromtext x}", RtfKind::kEncapsulatedText},
      {"{\\rtf1\\a\\b\\c\\d\\e\\f\\g\\fromhtml1 x}", RtfKind::kEncapsulatedHtml},
      // Past the first ten group starts and control words it is too late.
      {"{\\rtf1\\a\\b\\c\\d\\e\\f\\g\\h\\fromhtml1 x}", RtfKind::kNative},
  };
  for (auto [rtf, kind] : kCases)
    EXPECT_EQ(Convert(rtf).kind, kind) << rtf;
}

TEST(ConvertTest, WhatIsNotRtfFails) {
  for (const char* input : {"", "hello", "{\\rtx1 x}", " {\\rtf1 x}", "{{\\rtf1 x}}", "\\rtf1",
                            "\xEF\xBB\xBF{\\rtf1 x}", "{"}) {
    Conversion conversion = Convert(input);
    EXPECT_FALSE(conversion.ok) << input;
    EXPECT_EQ(conversion.kind, RtfKind::kNotRtf) << input;
    EXPECT_TRUE(conversion.html.empty());
  }
}

struct Malformed {
  const char* name;
  std::string rtf;
  const char* text;  // a piece of the HTML
};

TEST(ConvertTest, DamagedDocumentsConvertAsFarAsTheyGo) {
  std::string junk;
  for (int i = 0; i < 4096; ++i)
    junk.push_back(static_cast<char>(i * 7 % 256));
  const Malformed kCases[] = {
      {"closing braces missing", "{\\rtf1 {\\b bold {\\i more", "<b>bold <i>more</i></b>"},
      {"closing braces missing, encapsulated HTML", "{\\rtf1\\fromhtml1 {\\*\\htmltag <p>}x",
       "<p>x"},
      {"closing braces in excess", "{\\rtf1 x}}}} junk {\\b y}", ">x</p>"},
      {"cut inside a control word", "{\\rtf1 ab\\pa", ">ab</p>"},
      {"cut inside an escape", "{\\rtf1 ab\\'e", ">ab</p>"},
      {"cut after \\uN", "{\\rtf1 a\\u233", ">aé</p>"},
      {"binary junk", "{\\rtf1 " + junk, "<body"},
      {"\\bin longer than the input", "{\\rtf1 a\\bin99999999 {}", ">a</p>"},
      {"1000 levels of groups", std::string(999, '{').insert(0, "{\\rtf1 x"), ">x</p>"},
  };
  for (const Malformed& c : kCases) {
    Conversion conversion = Convert(c.rtf);
    ASSERT_TRUE(conversion.ok) << c.name << ": " << conversion.error;
    EXPECT_TRUE(IsValidUtf8(conversion.html)) << c.name;
    EXPECT_NE(conversion.html.find(c.text), std::string::npos) << c.name << "\n" << conversion.html;
    EXPECT_EQ(conversion.html.find("junk"), std::string::npos) << c.name;
  }
}

TEST(ConvertTest, LimitsMakeTheConversionFail) {
  struct Case {
    const char* name;
    std::string rtf;
    const char* error;
  } const kCases[] = {
      {"1001 levels of groups", "{\\rtf1 " + std::string(1000, '{'), "nested deeper than 1000"},
      {"100000 levels of groups", "{\\rtf1 " + std::string(100000, '{'), "nested deeper"},
      {"more than 64 MiB of HTML",
       "{\\rtf1 " +
           [] {
             std::string pars;
             for (std::size_t i = 0; i < kMaxOutput / 20; ++i)
               pars += "\\par ";
             return pars;
           }() +
           "}",
       "larger than 64 MiB"},
  };
  for (const Case& c : kCases) {
    Conversion conversion = Convert(c.rtf);
    EXPECT_FALSE(conversion.ok) << c.name;
    EXPECT_NE(conversion.error.find(c.error), std::string::npos)
        << c.name << ": " << conversion.error;
    EXPECT_TRUE(conversion.html.empty()) << c.name;
  }
}

TEST(ConvertTest, BinaryDataIsPassedOver) {
  std::string data(16 << 20, '{');
  data[1000] = '}';
  Conversion conversion = Convert("{\\rtf1 a\\bin" + std::to_string(data.size()) + " " + data +
                                  "b{\\*\\ignored\\bin3 }}}}c}");
  ASSERT_TRUE(conversion.ok) << conversion.error;
  EXPECT_NE(conversion.html.find(">abc</p>"), std::string::npos) << conversion.html;
}

// Documents put together at random from pieces of RTF syntax: whatever comes
// out is valid UTF-8, and nothing crashes or hangs.
TEST(ConvertTest, RandomDocuments) {
  const char* const kPieces[] = {"{",
                                 "}",
                                 "\\",
                                 "\\'",
                                 "\\'e9",
                                 "\\u",
                                 "\\u-4000",
                                 "\\uc3",
                                 "\\bin2 ",
                                 "\\par ",
                                 "\\line",
                                 "\\tab",
                                 "\\cell",
                                 "\\row",
                                 "\\intbl ",
                                 "\\trowd",
                                 "\\pard",
                                 "\\plain",
                                 "\\b",
                                 "\\i0",
                                 "\\ul",
                                 "\\fs",
                                 "\\cf9",
                                 "\\f1",
                                 "\\f99 ",
                                 "\\*",
                                 "\\*\\htmltag",
                                 "\\htmlrtf",
                                 "\\htmlrtf0",
                                 "\\pntext ",
                                 "\\listtext",
                                 "\\ilvl7",
                                 "\\field",
                                 "\\fldinst ",
                                 "\\fldrslt ",
                                 "HYPERLINK ",
                                 "\"http://x/\"",
                                 "\\fonttbl",
                                 "\\fcharset128 ",
                                 "\\colortbl",
                                 "\\red300",
                                 ";",
                                 "a",
                                 "b c",
                                 "1.",
                                 "\xE9",
                                 "\x82\xA0",
                                 "\x01",
                                 "\r\n",
                                 "-",
                                 "9999999999",
                                 "\\v",
                                 "\\sub",
                                 "\\~",
                                 "\\_",
                                 "<&>"};
  const char* const kHeaders[] = {"{\\rtf1\\ansi ", "{\\rtf1\\ansi\\ansicpg932\\fromhtml1 ",
                                  "{\\rtf1\\fromtext "};
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245 + 12345;
    return seed >> 8;
  };
  for (int i = 0; i < 600; ++i) {
    // Open groups enough that the document rarely ends before its pieces do.
    std::string rtf = kHeaders[i % 3] + std::string(40, '{');
    int pieces = static_cast<int>(next() % 600);
    for (int k = 0; k < pieces; ++k)
      rtf += kPieces[next() % (sizeof kPieces / sizeof kPieces[0])];
    Conversion conversion = Convert(rtf);
    if (conversion.ok) {
      EXPECT_TRUE(IsValidUtf8(conversion.html)) << rtf;
    }
  }
}

}  // namespace
}  // namespace rtf2html
