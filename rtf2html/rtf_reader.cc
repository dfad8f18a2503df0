#include "rtf2html/rtf_reader.h"

#include <algorithm>
#include <cstring>

#include "rtf2html/code_page.h"

namespace rtf2html {

namespace {

// Table sizes past which further entries are ignored, and the longest font
// name kept: real documents stay far below them.
constexpr std::size_t kMaxFonts = 4096;
constexpr std::size_t kMaxColors = 4096;
constexpr std::size_t kMaxFontName = 256;
// Decoded text is handed on at least this often within one long run.
constexpr std::size_t kTextChunk = 64 * 1024;

struct NamedDestination {
  const char* word;
  Destination destination;
};

// Destinations whose text is not part of the document. Most of them are
// written as \*\word and would be skipped for that alone; these are the ones
// that appear without the star as well, and those that are read.
constexpr NamedDestination kDestinations[] = {
    {"annotation", Destination::kSkip},
    {"atnid", Destination::kSkip},
    {"bkmkend", Destination::kSkip},
    {"bkmkstart", Destination::kSkip},
    {"colortbl", Destination::kColorTable},
    {"fldinst", Destination::kSkip},
    {"fldrslt", Destination::kFieldResult},
    {"fonttbl", Destination::kFontTable},
    {"footer", Destination::kSkip},
    {"footerf", Destination::kSkip},
    {"footerl", Destination::kSkip},
    {"footerr", Destination::kSkip},
    {"footnote", Destination::kSkip},
    {"header", Destination::kSkip},
    {"headerf", Destination::kSkip},
    {"headerl", Destination::kSkip},
    {"headerr", Destination::kSkip},
    {"info", Destination::kSkip},
    {"listtable", Destination::kSkip},
    {"listoverridetable", Destination::kSkip},
    {"listtext", Destination::kListText},
    {"nonshppict", Destination::kSkip},
    {"object", Destination::kSkip},
    {"pict", Destination::kSkip},
    {"pn", Destination::kSkip},
    {"pntext", Destination::kListText},
    {"pntxta", Destination::kSkip},
    {"pntxtb", Destination::kSkip},
    {"revtbl", Destination::kSkip},
    {"rxe", Destination::kSkip},
    {"stylesheet", Destination::kSkip},
    {"tc", Destination::kSkip},
    {"template", Destination::kSkip},
    {"txe", Destination::kSkip},
    {"xe", Destination::kSkip},
};

struct NamedCharacter {
  const char* word;
  char32_t character;
};

constexpr NamedCharacter kCharacters[] = {
    {"bullet", 0x2022},  {"emdash", 0x2014},    {"emspace", 0x2003}, {"endash", 0x2013},
    {"enspace", 0x2002}, {"ldblquote", 0x201C}, {"lquote", 0x2018},  {"ltrmark", 0x200E},
    {"qmspace", 0x2005}, {"rdblquote", 0x201D}, {"rquote", 0x2019},  {"rtlmark", 0x200F},
    {"zwbo", 0x200B},    {"zwj", 0x200D},       {"zwnj", 0x200C},
};

int ClampedColorChannel(int32_t value) {
  return std::clamp(value, int32_t{0}, int32_t{255});
}

}  // namespace

bool RtfReader::Read(const std::vector<Token>& prefix, Tokenizer* tokenizer) {
  for (const Token& token : prefix) {
    if (done_) break;
    Process(token);
  }
  Token token;
  while (!done_ && tokenizer->Next(&token)) Process(token);
  if (error_.empty() && !stack_.empty()) FlushText();
  if (!error_.empty()) return false;
  OnDocumentEnd();
  return error_.empty();
}

const Font* RtfReader::font(int number) const {
  auto it = fonts_.find(number);
  return it == fonts_.end() ? nullptr : &it->second;
}

const Font* RtfReader::current_font() const {
  return font(state().font >= 0 ? state().font : default_font_);
}

Color RtfReader::color(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= colors_.size()) return Color();
  return colors_[static_cast<std::size_t>(index)];
}

bool RtfReader::Write(std::string_view html) {
  if (!error_.empty()) return false;
  if (html.size() > kMaxOutput - output_.size()) {
    Fail("the HTML would be larger than " + std::to_string(kMaxOutput >> 20) + " MiB");
    return false;
  }
  output_.append(html);
  return true;
}

bool RtfReader::ClaimDestination(std::string_view, Destination*) {
  return false;
}

int RtfReader::TextCodePage() const {
  const Font* font = current_font();
  return font ? CodePageOfFont(*font) : document_code_page_;
}

void RtfReader::Fail(const std::string& why) {
  if (error_.empty()) error_ = why;
  done_ = true;
}

void RtfReader::Process(const Token& token) {
  if (stack_.empty() && token.kind != Token::kGroupStart) return;
  bool starred = starred_;
  starred_ = false;
  if (skip_ > 0) {
    switch (token.kind) {
      case Token::kText: {
        std::size_t n = std::min(static_cast<std::size_t>(skip_), token.text.size());
        skip_ -= static_cast<int>(n);
        AddTextBytes(std::string_view(token.text).substr(n));
        return;
      }
      case Token::kByte:
      case Token::kBinary:
      case Token::kWord:
      case Token::kSymbol:
        --skip_;
        return;
      case Token::kGroupStart:
      case Token::kGroupEnd:
        skip_ = 0;
        break;
    }
  }
  // Text, escaped bytes and \uN characters make up one run of text, which is
  // decoded when anything else comes.
  if (token.kind == Token::kText || token.kind == Token::kByte) {
    AddTextBytes(token.text);
    return;
  }
  if (token.Is("u") && token.has_param) {
    AddUnicode(token.param);
    return;
  }
  FlushText();
  switch (token.kind) {
    case Token::kGroupStart:
      if (depth() >= kMaxDepth) {
        Fail("groups are nested deeper than " + std::to_string(kMaxDepth));
        return;
      }
      stack_.push_back(stack_.empty() ? GroupState() : stack_.back());
      OnGroupStart();
      return;
    case Token::kGroupEnd: {
      Destination ended = state().destination;
      if (ended == Destination::kFontTable) EndFontEntry();
      stack_.pop_back();
      if (stack_.empty()) {
        done_ = true;  // whatever follows the document is not part of it
        return;
      }
      OnGroupEnd(ended);
      return;
    }
    case Token::kWord:
      ProcessWord(token, starred);
      return;
    case Token::kSymbol:
      if (token.text == "*") {
        starred_ = true;
        return;
      }
      ProcessSymbol(token);
      return;
    default:
      return;
  }
}

void RtfReader::ProcessWord(const Token& token, bool starred) {
  GroupState& group = stack_.back();
  if (group.destination == Destination::kSkip) return;
  Destination destination;
  if (DestinationOf(token.text, starred, &destination)) {
    if (destination == Destination::kFontTable && group.destination != destination)
      font_number_ = -1;
    group.destination = destination;
    return;
  }
  if (group.destination == Destination::kFontTable) {
    FontTableWord(token);
    return;
  }
  if (group.destination == Destination::kColorTable) {
    ColorTableWord(token);
    return;
  }
  if (ProcessHeaderWord(token)) return;
  if (token.Is("uc")) {
    group.unicode_skip = std::max(token.param, int32_t{0});
    return;
  }
  if (token.Is("f")) {
    group.font = token.param;
    return;
  }
  if (token.Is("plain")) group.font = -1;
  if (OnControl(token)) return;
  for (const NamedCharacter& named : kCharacters) {
    if (token.text == named.word) {
      decoder_.AddUnicode(static_cast<int32_t>(named.character));
      FlushText();
      return;
    }
  }
}

void RtfReader::ProcessSymbol(const Token& token) {
  Destination destination = state().destination;
  if (destination == Destination::kSkip || destination == Destination::kFontTable ||
      destination == Destination::kColorTable || OnControl(token)) {
    return;
  }
  char32_t character = 0;
  switch (token.text[0]) {
    case '~':
      character = 0x00A0;
      break;
    case '_':
      character = 0x2011;
      break;
    case '-':
      character = 0x00AD;
      break;
    default:
      return;
  }
  decoder_.AddUnicode(static_cast<int32_t>(character));
  FlushText();
}

bool RtfReader::ProcessHeaderWord(const Token& token) {
  if (token.Is("ansicpg")) {
    if (token.param > 0) document_code_page_ = token.param;
  } else if (token.Is("ansi")) {
    document_code_page_ = 1252;
  } else if (token.Is("mac")) {
    document_code_page_ = 10000;
  } else if (token.Is("pc")) {
    document_code_page_ = 437;
  } else if (token.Is("pca")) {
    document_code_page_ = 850;
  } else if (token.Is("deff")) {
    default_font_ = token.param;
  } else {
    return false;
  }
  return true;
}

void RtfReader::FontTableWord(const Token& token) {
  if (token.Is("f")) {
    EndFontEntry();
    font_number_ = token.param;
    font_entry_ = Font();
  } else if (font_number_ < 0) {
    return;
  } else if (token.Is("fcharset")) {
    font_entry_.charset = token.param;
  } else if (token.Is("cpg")) {
    font_entry_.code_page = token.param;
  } else if (token.Is("froman")) {
    font_entry_.family = FontFamily::kRoman;
  } else if (token.Is("fswiss")) {
    font_entry_.family = FontFamily::kSwiss;
  } else if (token.Is("fmodern")) {
    font_entry_.family = FontFamily::kModern;
  } else if (token.Is("fscript")) {
    font_entry_.family = FontFamily::kScript;
  } else if (token.Is("fdecor")) {
    font_entry_.family = FontFamily::kDecor;
  } else if (token.Is("ftech")) {
    font_entry_.family = FontFamily::kTech;
  }
}

void RtfReader::FontTableText(std::string_view bytes) {
  for (char c : bytes) {
    if (font_number_ < 0) return;
    if (c == ';') {
      EndFontEntry();
    } else if (font_entry_.name.size() < kMaxFontName) {
      font_entry_.name.push_back(c);
    }
  }
}

void RtfReader::EndFontEntry() {
  if (font_number_ < 0) return;
  if (fonts_.size() < kMaxFonts || fonts_.count(font_number_)) {
    Font& font = fonts_[font_number_];
    font = font_entry_;
    font.name.clear();
    DecodeBytes(CodePageOfFont(font), font_entry_.name, false, &font.name);
    while (!font.name.empty() && font.name.back() == ' ') font.name.pop_back();
    while (!font.name.empty() && font.name.front() == ' ') font.name.erase(0, 1);
  }
  font_number_ = -1;
}

void RtfReader::ColorTableWord(const Token& token) {
  int shift;
  if (token.Is("red")) {
    shift = 16;
  } else if (token.Is("green")) {
    shift = 8;
  } else if (token.Is("blue")) {
    shift = 0;
  } else {
    return;
  }
  color_entry_ &= ~(uint32_t{0xFF} << shift);
  color_entry_ |= static_cast<uint32_t>(ClampedColorChannel(token.param)) << shift;
  color_entry_set_ = true;
}

void RtfReader::ColorTableText(std::string_view bytes) {
  for (char c : bytes) {
    if (c != ';') continue;
    if (colors_.size() < kMaxColors)
      colors_.push_back(color_entry_set_ ? Color(color_entry_) : Color());
    color_entry_ = 0;
    color_entry_set_ = false;
  }
}

void RtfReader::AddTextBytes(std::string_view bytes) {
  switch (state().destination) {
    case Destination::kSkip:
      return;
    case Destination::kFontTable:
      FontTableText(bytes);
      return;
    case Destination::kColorTable:
      ColorTableText(bytes);
      return;
    default:
      decoder_.AddBytes(TextCodePage(), bytes);
      if (decoder_.pending() >= kTextChunk) FlushText(false);
  }
}

void RtfReader::AddUnicode(int32_t value) {
  Destination destination = state().destination;
  if (destination != Destination::kSkip && destination != Destination::kFontTable &&
      destination != Destination::kColorTable) {
    decoder_.AddUnicode(value);
  }
  skip_ = state().unicode_skip;
}

void RtfReader::FlushText(bool run_ends) {
  decoder_.Take(&text_, run_ends);
  if (text_.empty()) return;
  OnText(text_);
  text_.clear();
}

int RtfReader::CodePageOfFont(const Font& font) const {
  if (font.code_page > 0) return font.code_page;
  return font.charset < 0 ? document_code_page_
                          : CodePageOfCharset(font.charset, document_code_page_);
}

bool RtfReader::DestinationOf(std::string_view word, bool starred, Destination* destination) {
  if (ClaimDestination(word, destination)) return true;
  for (const NamedDestination& named : kDestinations) {
    if (word == named.word) {
      *destination = named.destination;
      return true;
    }
  }
  if (!starred) return false;
  *destination = Destination::kSkip;
  return true;
}

}  // namespace rtf2html
