// Base64 encoding and decoding (whole and piecewise), Base64 lines and quoted-printable files.
#include "orv/codec.h"

#include <gtest/gtest.h>

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
  auto both = [](const std::string& in) { return Encode(in, false) + " " + Encode(in, true); };
  EXPECT_EQ(both(""), " ");
  EXPECT_EQ(both("M"), "TQ== TQ");
  EXPECT_EQ(both("Ma"), "TWE= TWE");
  EXPECT_EQ(both("Man"), "TWFu TWFu");
  EXPECT_EQ(both("\xFB\xFF"), "+/8= +,8");
  EXPECT_EQ(both("\xFF\xFF\xFF"), "//// ,,,,");
}

// The bytes decoded, followed by "<invalid>" when decoding stopped at an invalid group.
std::string Decode(std::string_view text) {
  std::ostringstream out;
  const bool ok = Base64Decode(text, out);
  return out.str() + (ok ? "" : "<invalid>");
}

TEST(Base64Test, Decode) {
  EXPECT_EQ(Decode("TWFu"), "Man");
  EXPECT_EQ(Decode("TQ"), "M");  // missing characters count as padding
  EXPECT_EQ(Decode("TWE"), "Ma");
  EXPECT_EQ(Decode("TQ==TQ=="), "MM");
  EXPECT_EQ(Decode("+,8="), "\xFB\xFF");
  EXPECT_EQ(Decode("===="), "");
  EXPECT_EQ(Decode("T"), "");
  EXPECT_EQ(Decode("TW Fu"), "<invalid>");
  EXPECT_EQ(Decode("TWFuTW\n"), "Man<invalid>");
  EXPECT_EQ(Decode("TWFu\xC3\xA9QQ"), "Man<invalid>");
  EXPECT_EQ(Decode("TWFu-_=="), "Man<invalid>");
}

// Lines fed in pieces of several sizes decode as they do whole: groups, padding and invalid
// characters across pieces, a line longer than the output buffer, a line after an invalid one.
TEST(Base64Test, LineDecoderFedInPieces) {
  std::string big(100000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
  const std::string lines[] = {Encode("Ma", true), Encode(big, false), "TWFu-TWFu", "", "TQ"};
  for (std::size_t size : {1, 2, 5, 9000, 1 << 20}) {
    std::ostringstream out;
    std::string ok;
    {
      Base64LineDecoder decoder(out);
      for (const std::string& line : lines) {
        for (std::size_t pos = 0; pos < line.size(); pos += size)
          decoder.Feed(std::string_view(line).substr(pos, size));
        ok += decoder.EndLine() ? "+" : "-";
      }
    }
    EXPECT_EQ(ok, "++-++") << size;
    EXPECT_EQ(out.str(), "Ma" + big + "ManM") << size;
  }
}

// What write makes of a file holding content.
std::string FromFile(void (*write)(InputFile&, std::ostream&), const std::string& content) {
  testing::TempDir dir;
  InputFile in(dir.Write("in", content));
  std::ostringstream out;
  write(in, out);
  return out.str();
}

TEST(FileCodecTest, Base64Lines) {
  const std::string line76 = Encode(std::string(57, 'x'), false);
  EXPECT_EQ(FromFile(WriteBase64Lines, ""), "\n");
  EXPECT_EQ(FromFile(WriteBase64Lines, "Man"), "TWFu\n");
  EXPECT_EQ(FromFile(WriteBase64Lines, std::string(57, 'x')), line76 + "\n\n");
  EXPECT_EQ(FromFile(WriteBase64Lines, std::string(58, 'x')), line76 + "\neA==\n");
  std::string lines;  // groups of three bytes straddle the input buffer's end
  for (int i = 0; i < 2000; ++i) lines += line76 + "\n";
  EXPECT_EQ(FromFile(WriteBase64Lines, std::string(57 * 2000, 'x')), lines + "\n");
}

TEST(FileCodecTest, QuotedPrintable) {
  const std::string q75(75, 'q');
  const struct {
    std::string text, encoded;
  } cases[] = {
      {"", ""},
      {"a=b\tc\r\n!~", "a=3Db=09c\r\n!~"},
      {std::string("\0\x7F\xFF\xE9", 4), "=00=7F=FF=E9"},
      // A space before a line end or the end is encoded; others are not.
      {"  x  \n", "  x =20\n"},
      {"a \r\nb \rc  ", "a=20\r\nb=20\rc =20"},
      // Soft line breaks keep lines at 76 characters, "=" included, and
      // never split an encoded byte.
      {q75, q75},
      {q75 + "\n" + q75, q75 + "\n" + q75},
      {q75 + "r", q75 + "=\nr"},
      {q75 + " \n", q75 + "=\n=20\n"},
      {q75.substr(2) + "==", q75.substr(2) + "=\n=3D=3D"},
      {q75.substr(3) + "\xC3\xA9", q75.substr(3) + "=C3=\n=A9"},
      {q75 + q75 + "qq", q75 + "=\n" + q75 + "=\nqq"},
      // A space that ends one 16 KiB read waits for the first byte of the next.
      {std::string(16383, '\n') + " \n", std::string(16383, '\n') + "=20\n"},
      {std::string(16383, '\n') + " x", std::string(16383, '\n') + " x"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FromFile(WriteQuotedPrintable, c.text), c.encoded) << c.text;
}

}  // namespace
}  // namespace orv
