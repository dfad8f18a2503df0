#include "app/mime_words.h"

#include <cstring>
#include <sstream>
#include <vector>

#include "orv/codec.h"
#include "orv/utf8.h"

namespace {

// Lines start with the three spaces of a folded header line and end by 78.
constexpr std::size_t kIndent = 3;
constexpr std::size_t kMaxLine = 78;
// Bytes per encoded word: 56 Base64 characters, a 68-character word, so that
// even the first line, after name=", keeps within 78 with the closing quote.
constexpr std::size_t kWordBytes = 42;

// name cut into whole UTF-8 characters; a malformed byte counts as one.
std::vector<std::string_view> Characters(std::string_view name) {
  std::vector<std::string_view> characters;
  for (std::size_t pos = 0; pos < name.size();) {
    std::size_t length = orv::Utf8SequenceLength(name, pos);
    if (length == 0) length = 1;
    characters.push_back(name.substr(pos, length));
    pos += length;
  }
  return characters;
}

std::string EncodedWord(std::string_view bytes) {
  std::ostringstream out;
  out << "=?UTF-8?B?";
  orv::Base64Encode(bytes, out);
  out << "?=";
  return out.str();
}

// RFC 2231's attribute-char: printable ASCII but for tspecials, * ' and %.
std::string PercentEncoded(std::string_view character) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char byte : character) {
    unsigned char c = static_cast<unsigned char>(byte);
    if (c > 0x20 && c < 0x7F && !std::strchr("*'%()<>@,;:\\\"/[]?=", c)) {
      out += byte;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

}  // namespace

bool IsPlainName(std::string_view name) {
  for (char c : name) {
    if (c < 0x20 || c > 0x7E || std::strchr("\"\\/*?:%", c)) return false;
  }
  return true;
}

std::string NameParameter(std::string_view name) {
  if (IsPlainName(name)) return "name=\"" + std::string(name) + '"';
  std::string parameter = "name=\"";
  std::string word;
  for (std::string_view character : Characters(name)) {
    if (word.size() + character.size() > kWordBytes) {
      parameter += EncodedWord(word) + "\n   ";
      word.clear();
    }
    word += character;
  }
  return parameter + EncodedWord(word) + '"';
}

std::string FilenameParameter(std::string_view name) {
  if (IsPlainName(name)) return "filename=\"" + std::string(name) + '"';
  std::string encoded;
  std::vector<std::string> pieces;
  for (std::string_view character : Characters(name)) pieces.push_back(PercentEncoded(character));
  for (const std::string& piece : pieces) encoded += piece;
  const std::string whole = "filename*=UTF-8''" + encoded;
  if (kIndent + whole.size() <= kMaxLine) return whole;

  // Sections of whole characters; every line but the last ends in ";".
  std::string parameter;
  std::string section = "filename*0*=UTF-8''";
  int number = 0;
  for (const std::string& piece : pieces) {
    if (kIndent + section.size() + piece.size() + 1 > kMaxLine) {
      parameter += section + ";\n   ";
      section = "filename*" + std::to_string(++number) + "*=";
    }
    section += piece;
  }
  return parameter + section;
}

bool IsValidContentId(std::string_view id) {
  if (id.empty() || id.size() > 250) return false;
  for (char c : id) {
    if (c < 0x21 || c > 0x7E || c == '<' || c == '>' || c == '"') return false;
  }
  return true;
}
