// Whole conversions: the sample message bodies, the kind of document, and damaged or hostile input.
#include "rtf2html/convert.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "orv/utf8.h"
#include "rtf2html/rtf_reader.h"

namespace rtf2html {
namespace {

Conversion Convert(const std::string& rtf) {
  std::stringbuf in(rtf);
  return ConvertRtf(&in);
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
      {"long-filename",
       RtfKind::kEncapsulatedText,
       {"<pre style=\"white-space: pre-wrap\">I've attached a temp. license for QARun 4.7.  Do",
        "\nFrom: Mark Simpson [mailto:msimpson@numega.com]\nSent: Wednesday",
        "Mark Simpson                                                 Software Engineer\n"}},
      {"multi-value-attribute",
       RtfKind::kEncapsulatedHtml,
       {"<html><head><meta charset=\"utf-8\">\n<style type=\"text/css\"> a:link { color: "
        "#3399ff; }",
        "You received a voice mail from Curie Conf Room at <a style=\"color: #3399ff; \" "
        "href=\"tel:208225\">208225</a>.</div><br><table"}},
      {"rtf", RtfKind::kNative, {"aafg<b>ag'alga'kgk</b>", "<b>\\hge</b>", ">Greg Allen<"}},
  };
  for (const Sample& sample : kSamples) {
    std::ifstream file(std::string(RTF2HTML_TESTDATA "/") + sample.file + ".rtf", std::ios::binary);
    ASSERT_TRUE(file.is_open()) << sample.file;
    Conversion conversion = ConvertRtf(file.rdbuf());
    ASSERT_TRUE(conversion.ok) << sample.file << ": " << conversion.error;
    EXPECT_EQ(conversion.kind, sample.kind) << sample.file;
    EXPECT_TRUE(orv::IsUtf8(conversion.html)) << sample.file;
    for (const char* text : sample.texts)
      EXPECT_NE(conversion.html.find(text), std::string::npos) << sample.file << ": " << text;
  }
}

TEST(ConvertTest, TheHeaderTellsTheKind) {
  EXPECT_EQ(Convert("{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0 x}").kind,
            RtfKind::kEncapsulatedHtml);
  EXPECT_EQ(Convert("{\\rtf1\\fromhtml0 x}").kind, RtfKind::kNative);
  EXPECT_EQ(Convert("{\\rtf1\\ansi\\fromtext x}").kind, RtfKind::kEncapsulatedText);
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
