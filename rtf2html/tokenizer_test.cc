#include "rtf2html/tokenizer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace rtf2html {
namespace {

// The tokens of input, one word each: "{", "}", "\name" with its parameter,
// "sym:c", "text:...", "byte:hh" and "bin".
std::string Dump(const std::string& input) {
  std::stringbuf buffer(input);
  Tokenizer tokenizer(&buffer);
  Token token;
  std::string dump;
  while (tokenizer.Next(&token)) {
    if (!dump.empty())
      dump += ' ';
    switch (token.kind) {
      case Token::kGroupStart:
        dump += '{';
        break;
      case Token::kGroupEnd:
        dump += '}';
        break;
      case Token::kWord:
        dump += '\\' + token.text + (token.has_param ? std::to_string(token.param) : "");
        break;
      case Token::kSymbol:
        dump += "sym:" + token.text;
        break;
      case Token::kText:
        dump += "text:" + token.text;
        break;
      case Token::kByte: {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(token.text[0]));
        dump += std::string("byte:") + hex;
        break;
      }
      case Token::kBinary:
        dump += "bin";
        break;
    }
  }
  return dump;
}

struct Case {
  const char* input;
  const char* tokens;
};

TEST(TokenizerTest, Tokens) {
  const Case kCases[] = {
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
      {"\\bin0 x", "bin text:x"},
      {"\\bin100 short", "bin"},
      // Input that ends inside a token.
      {"a\\", "text:a"},
      {"\\'4", ""},
      {"\\par", "\\par"},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(Dump(c.input), c.tokens) << c.input;
}

TEST(TokenizerTest, LongNamesAndRunsAreCut) {
  std::string name(40, 'x');
  EXPECT_EQ(Dump("\\" + name + "5"), "\\" + name.substr(0, Tokenizer::kMaxWordLength + 1) + "5");

  std::string text(Tokenizer::kMaxTextRun + 10, 'a');
  EXPECT_EQ(Dump(text),
            "text:" + text.substr(0, Tokenizer::kMaxTextRun) + " text:" + std::string(10, 'a'));
}

}  // namespace
}  // namespace rtf2html
