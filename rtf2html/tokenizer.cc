#include "rtf2html/tokenizer.h"

#include <cstdint>
#include <limits>

namespace rtf2html {

namespace {

constexpr int kEof = std::char_traits<char>::eof();

bool IsLetter(int c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(int c) {
  return c >= '0' && c <= '9';
}

int HexValue(int c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool Tokenizer::Next(Token* token) {
  token->text.clear();
  token->has_param = false;
  token->param = 0;
  for (;;) {
    int c = Peek();
    if (c == kEof) return false;
    switch (c) {
      case '{':
        Get();
        token->kind = Token::kGroupStart;
        return true;
      case '}':
        Get();
        token->kind = Token::kGroupEnd;
        return true;
      case '\\':
        Get();
        ReadControl(token);
        if (token->kind == Token::kText && token->text.empty())
          continue;  // a lone backslash at the end, or \' without hex digits
        return true;
      case '\r':
      case '\n':
        // Line ends in RTF source are not text.
        Get();
        continue;
      default:
        token->kind = Token::kText;
        while (c != kEof && c != '{' && c != '}' && c != '\\' && c != '\r' && c != '\n' &&
               token->text.size() < kMaxTextRun) {
          token->text.push_back(static_cast<char>(Get()));
          c = Peek();
        }
        return true;
    }
  }
}

void Tokenizer::ReadControl(Token* token) {
  int c = Peek();
  if (IsLetter(c)) {
    token->kind = Token::kWord;
    while (IsLetter(c = Peek())) {
      Get();
      if (token->text.size() < kMaxWordLength + 1) token->text.push_back(static_cast<char>(c));
    }
    ReadParameter(token);
    if (Peek() == ' ') Get();
    if (token->text == "bin") {
      token->kind = Token::kBinary;
      SkipBinary(token->param);
    }
    return;
  }
  token->kind = Token::kText;
  if (c == kEof) return;
  Get();
  switch (c) {
    case '{':
    case '}':
    case '\\':
      token->text.push_back(static_cast<char>(c));
      return;
    case '\r':
    case '\n':
      // A backslash before a line end stands for \par.
      token->kind = Token::kWord;
      token->text = "par";
      return;
    case '\'': {
      int high = HexValue(Peek());
      if (high < 0) return;
      Get();
      int low = HexValue(Peek());
      if (low < 0) return;
      Get();
      token->kind = Token::kByte;
      token->text.push_back(static_cast<char>(high * 16 + low));
      return;
    }
    default:
      token->kind = Token::kSymbol;
      token->text.push_back(static_cast<char>(c));
      return;
  }
}

void Tokenizer::ReadParameter(Token* token) {
  bool negative = false;
  if (Peek() == '-') {
    Get();
    negative = true;
    if (!IsDigit(Peek())) return;  // a hyphen that is no sign is the delimiter, and it is consumed
  }
  int64_t value = 0;
  while (IsDigit(Peek())) {
    token->has_param = true;
    if (value <= std::numeric_limits<int32_t>::max())
      value = value * 10 + (Get() - '0');
    else
      Get();
  }
  if (!token->has_param) return;
  if (negative) value = -value;
  if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) value = std::numeric_limits<int32_t>::min();
  token->param = static_cast<int32_t>(value);
}

void Tokenizer::SkipBinary(int64_t count) {
  char scratch[4096];
  while (count > 0) {
    std::streamsize chunk = count < static_cast<int64_t>(sizeof scratch)
                                ? static_cast<std::streamsize>(count)
                                : static_cast<std::streamsize>(sizeof scratch);
    std::streamsize got = in_->sgetn(scratch, chunk);
    if (got <= 0) return;
    count -= got;
  }
}

}  // namespace rtf2html
