// What every reading of an RTF document shares: the group stack, the
// destinations that are skipped or collected, the font and color tables, the
// code pages, \uN characters with the \ucN count of fallback characters to
// pass over, and the limits that keep hostile input from using unbounded
// memory. A subclass turns what remains, text and control words of the
// visible destinations, into HTML through the hooks below.
#ifndef RTF2HTML_RTF_READER_H_
#define RTF2HTML_RTF_READER_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rtf2html/text_decoder.h"
#include "rtf2html/tokenizer.h"

namespace rtf2html {

// Groups nested deeper than this make the document fail.
constexpr int kMaxDepth = 1000;
// Output larger than this makes the document fail.
constexpr std::size_t kMaxOutput = std::size_t{64} << 20;

// Where the text of a group goes.
enum class Destination {
  kBody,              // the document's text
  kSkip,              // nowhere: the group and everything inside it are ignored
  kFontTable,         // \fonttbl, read by the reader itself
  kColorTable,        // \colortbl, read by the reader itself
  kHtmlTag,           // \*\htmltag, encapsulated HTML
  kFieldInstruction,  // \fldinst
  kFieldResult,       // \fldrslt
  kListText,          // \pntext and \listtext, the number or bullet of a list item
};

enum class FontFamily { kNil, kRoman, kSwiss, kModern, kScript, kDecor, kTech };

struct Font {
  int charset = -1;   // \fcharset, -1 when not given
  int code_page = 0;  // \cpg, 0 when not given
  FontFamily family = FontFamily::kNil;
  std::string name;  // UTF-8
};

// A color table entry as 0xRRGGBB; empty for the "auto" entry.
using Color = std::optional<uint32_t>;

class RtfReader {
 public:
  RtfReader() = default;
  virtual ~RtfReader() = default;
  RtfReader(const RtfReader&) = delete;
  RtfReader& operator=(const RtfReader&) = delete;

  // Reads a document that opens with the tokens in prefix and goes on with
  // the rest of tokenizer's input, up to the end of the outermost group or of
  // the input, whichever comes first. Returns false when the document passed
  // one of the limits; error() then tells which, and output() is incomplete.
  bool Read(const std::vector<Token>& prefix, Tokenizer* tokenizer);

  const std::string& error() const { return error_; }
  std::string& output() { return output_; }

 protected:
  struct GroupState {
    Destination destination = Destination::kBody;
    int font = -1;  // -1: the document's default font
    int unicode_skip = 1;
  };

  const GroupState& state() const { return stack_.back(); }
  int depth() const { return static_cast<int>(stack_.size()); }
  int document_code_page() const { return document_code_page_; }
  // The font table entry, or null when the table has none of that number.
  const Font* font(int number) const;
  // The font in use in the current group, or null when it is not defined.
  const Font* current_font() const;
  int default_font() const { return default_font_; }
  // The color table entry; empty for "auto" and for numbers past the table.
  Color color(int index) const;

  // Appends html to the output; past kMaxOutput the document fails instead
  // and false is returned.
  bool Write(std::string_view html);

  // Lets a subclass give a destination control word (\word or \*\word) a
  // meaning; returns false to leave it to the reader.
  virtual bool ClaimDestination(std::string_view word, Destination* destination);
  // A control word or symbol in a destination that is not skipped. Returns
  // true when it was handled; otherwise the reader handles it, if it knows it.
  virtual bool OnControl(const Token& token) = 0;
  // Decoded text of a destination that is not skipped, as UTF-8, together
  // with the characters of control words such as \emdash.
  virtual void OnText(std::string_view text) = 0;
  // A group begins or ends; OnGroupEnd sees the state outside the group and
  // is told the destination of the group that ended.
  virtual void OnGroupStart() {}
  virtual void OnGroupEnd(Destination ended) { (void)ended; }
  // The input ended; not called when the document failed.
  virtual void OnDocumentEnd() {}
  // The code page of text bytes at this point; the current font's by default.
  virtual int TextCodePage() const;

  // Gives up on the document.
  void Fail(const std::string& why);

 private:
  void Process(const Token& token);
  void ProcessWord(const Token& token, bool starred);
  void ProcessSymbol(const Token& token);
  bool ProcessHeaderWord(const Token& token);
  void FontTableWord(const Token& token);
  void FontTableText(std::string_view bytes);
  void EndFontEntry();
  void ColorTableWord(const Token& token);
  void ColorTableText(std::string_view bytes);
  void AddTextBytes(std::string_view bytes);
  void AddUnicode(int32_t value);
  void FlushText(bool run_ends = true);
  int CodePageOfFont(const Font& font) const;
  bool DestinationOf(std::string_view word, bool starred, Destination* destination);

  std::vector<GroupState> stack_;
  bool done_ = false;
  bool starred_ = false;  // the previous token was \*
  int skip_ = 0;          // fallback characters of the last \uN still to pass over
  TextDecoder decoder_;
  std::string text_;
  std::string output_;
  std::string error_;

  int document_code_page_ = 1252;
  int default_font_ = 0;
  std::map<int, Font> fonts_;
  int font_number_ = -1;  // the font table entry being read, -1 when none
  Font font_entry_;       // its name still in bytes of its own code page
  std::vector<Color> colors_;
  uint32_t color_entry_ = 0;
  bool color_entry_set_ = false;
};

}  // namespace rtf2html

#endif  // RTF2HTML_RTF_READER_H_
