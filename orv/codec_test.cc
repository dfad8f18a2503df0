// Base64 encoding and decoding (whole and piecewise), Base64 lines and quoted-printable files.
#include "orv/codec.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "orv/testing.h"

namespace orv {
namespace {

std::string Encode(std::string_view input, bool modified) {
  std::ostringstream out;
  Base64Encode(input, out, modified);
  return out.str();
}

TEST(Base64Test, Encode) {
  struct Case {
    std::string input;
    const char *standard, *modified;
  } cases[] = {
      {"", "", ""},
      {"M", "TQ==", "TQ"},
      {"Ma", "TWE=", "TWE"},
      {"Man", "TWFu", "TWFu"},
      {"\xFB\xFF", "+/8=", "+,8"},
      {"\xFB\xEF\xBE", "++++", "++++"},
      {"\xFF\xFF\xFF", "////", ",,,,"},
      {std::string(1, '\0'), "AA==", "AA"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Encode(c.input, false), c.standard) << c.standard;
    EXPECT_EQ(Encode(c.input, true), c.modified) << c.standard;
  }
}

TEST(Base64Test, Decode) {
  struct Case {
    std::string text;
    bool ok;
    std::string bytes;
  } cases[] = {
      {"TWFu", true, "Man"},
      {"TQ", true, "M"},
      {"TQ==", true, "M"},
      {"TWE", true, "Ma"},
      {"TQ==TQ==", true, "MM"},
      {"TWE=TWFu", true, "MaMan"},
      {"", true, ""},
      {"+,8=", true, "\xFB\xFF"},
      {"+/8=", true, "\xFB\xFF"},
      {"====", true, ""},
      {"T", true, ""},
      {"TW Fu", false, ""},
      {"TWFuTW\n", false, "Man"},
      {"TWFu\xC3\xA9QQ", false, "Man"},
      {"TWFu-_==", false, "Man"},
      {"TWFuTWFu\t", false, "ManMan"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    EXPECT_EQ(Base64Decode(c.text, out), c.ok) << c.text;
    EXPECT_EQ(out.str(), c.bytes) << c.text;
  }
}

// Decodes one line group by group, the obvious way.
bool ReferenceDecode(const std::string& line, std::string& out) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t pos = 0; pos < line.size(); pos += 4) {
    int v[4];
    for (std::size_t i = 0; i < 4; ++i) {
      char c = pos + i < line.size() ? line[pos + i] : '=';
      std::size_t at = c == ',' ? 63 : c == '=' ? 64 : kAlphabet.find(c);
      if (at == std::string::npos) return false;
      v[i] = at == 64 ? -1 : static_cast<int>(at);
    }
    if (v[0] < 0 || v[1] < 0) continue;
    out += static_cast<char>((v[0] << 2) | (v[1] >> 4));
    if (v[2] < 0) continue;
    out += static_cast<char>(((v[1] << 4) | (v[2] >> 2)) & 255);
    if (v[3] >= 0) out += static_cast<char>(((v[2] << 6) | v[3]) & 255);
  }
  return true;
}

TEST(Base64Test, LineDecoderFedInPiecesMatchesReference) {
  std::mt19937 random(42);
  const std::string chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/,";
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> lines(1 + random() % 6);
    for (std::string& line : lines) {
      std::size_t length = random() % 5 == 0 ? random() % 120000 : random() % 90;
      for (std::size_t i = 0; i < length; ++i) line += chars[random() % chars.size()];
      for (int k = static_cast<int>(random() % 3); k > 0 && !line.empty(); --k)
        line[random() % line.size()] = "=\xE9 \n!"[random() % (random() % 4 == 0 ? 5 : 1)];
    }
    std::string expected;
    std::vector<bool> expectedOk;
    for (const std::string& line : lines) expectedOk.push_back(ReferenceDecode(line, expected));

    std::ostringstream out;
    std::vector<bool> ok;
    {
      Base64LineDecoder decoder(out);
      for (const std::string& line : lines) {
        for (std::size_t pos = 0; pos < line.size();) {
          std::size_t n = std::min<std::size_t>(line.size() - pos, random() % 9000);
          decoder.Feed(std::string_view(line).substr(pos, n));
          pos += n;
        }
        ok.push_back(decoder.EndLine());
      }
    }
    ASSERT_EQ(ok, expectedOk) << "round " << round;
    ASSERT_EQ(out.str(), expected) << "round " << round;
  }
}

class FileCodecTest : public ::testing::Test {
 protected:
  std::string Base64Lines(const std::string& content) {
    InputFile in(dir_.Write("in", content));
    std::ostringstream out;
    WriteBase64Lines(in, out);
    return out.str();
  }
  std::string QuotedPrintable(const std::string& content) {
    InputFile in(dir_.Write("in", content));
    std::ostringstream out;
    WriteQuotedPrintable(in, out);
    return out.str();
  }
  testing::TempDir dir_;
};

TEST_F(FileCodecTest, Base64Lines) {
  const std::string line76 = Encode(std::string(57, 'x'), false);
  EXPECT_EQ(Base64Lines(""), "\n");
  EXPECT_EQ(Base64Lines("Man"), "TWFu\n");
  EXPECT_EQ(Base64Lines(std::string(56, 'x')), Encode(std::string(56, 'x'), false) + "\n");
  EXPECT_EQ(Base64Lines(std::string(57, 'x')), line76 + "\n\n");
  EXPECT_EQ(Base64Lines(std::string(58, 'x')), line76 + "\neA==\n");
  EXPECT_EQ(Base64Lines(std::string(114, 'x')), line76 + "\n" + line76 + "\n\n");
  EXPECT_EQ(Base64Lines(std::string(57 * 1024, 'x')), [&] {
    std::string s;
    for (int i = 0; i < 1024; ++i) s += line76 + "\n";
    return s + "\n";
  }());
}

TEST_F(FileCodecTest, Base64LinesDecodeBackToTheFile) {
  std::string content(1000 * 1000 + 3, '\0');
  std::mt19937 random(1);
  for (char& c : content) c = static_cast<char>(random());
  std::istringstream lines(Base64Lines(content));
  std::ostringstream decoded;
  std::string line;
  while (std::getline(lines, line)) {
    ASSERT_LE(line.size(), 76u);
    ASSERT_TRUE(Base64Decode(line, decoded));
  }
  EXPECT_EQ(decoded.str(), content);
}

TEST_F(FileCodecTest, QuotedPrintable) {
  struct Case {
    std::string content, encoded;
  } cases[] = {
      {"a=b\tc\r\n", "a=3Db=09c\r\n"},
      {"\xE9", "=E9"},
      {"\x05", "=05"},
      {std::string("\0\x7F\xFF", 3), "=00=7F=FF"},
      {"  trailing  \n", "  trailing  \n"},
      {"!~ \x7E", "!~ ~"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(QuotedPrintable(c.content), c.encoded) << c.encoded;
  const std::string longLine(100000, 'q');  // no soft line breaks
  EXPECT_EQ(QuotedPrintable(longLine + "=\n"), longLine + "=3D\n");
}

}  // namespace
}  // namespace orv
