// The lexical layer of RTF: braces, control words with their numeric
// parameters, control symbols, hexadecimal byte escapes and runs of plain
// text, read one at a time from a stream buffer. Nothing here knows what a
// control word means, except \bin, whose raw bytes are passed over here so
// that no later stage ever sees or stores them.
#ifndef RTF2HTML_TOKENIZER_H_
#define RTF2HTML_TOKENIZER_H_

#include <cstdint>
#include <streambuf>
#include <string>

namespace rtf2html {

struct Token {
  enum Kind {
    kGroupStart,  // {
    kGroupEnd,    // }
    kWord,        // \name or \nameN; text holds the name
    kSymbol,      // \ and one other character, held in text (\~ \- \_ \* ...)
    kText,        // plain text bytes, escaped \{ \} \\ included; never CR or LF
    kByte,        // \'hh; text holds the one byte
    kBinary,      // \binN: the N bytes that followed have been passed over
  };
  Kind kind = kText;
  std::string text;
  bool has_param = false;
  int32_t param = 0;

  bool Is(const char* word) const { return kind == kWord && text == word; }
};

class Tokenizer {
 public:
  // Longest control word name kept; a longer one is read to its end but
  // shortened, so it matches no known word.
  static constexpr std::size_t kMaxWordLength = 32;
  // Longest run of text in one token.
  static constexpr std::size_t kMaxTextRun = 4096;

  explicit Tokenizer(std::streambuf* in) : in_(in) {}

  // Reads the next token into *token; false at the end of the input. Input
  // that breaks off inside a token ends the token there. Parameters beyond
  // the range of int32_t are clamped to it.
  bool Next(Token* token);

 private:
  int Peek() { return in_->sgetc(); }
  int Get() { return in_->sbumpc(); }
  void ReadControl(Token* token);
  void ReadParameter(Token* token);
  void SkipBinary(int64_t count);

  std::streambuf* in_;
};

}  // namespace rtf2html

#endif  // RTF2HTML_TOKENIZER_H_
