#include "orv/string.h"

#include <array>

namespace orv {
namespace {

enum : unsigned char { kAlpha = 1, kUpper = 2, kLower = 4, kDigit = 8, kSpace = 16 };

constexpr std::array<unsigned char, 256> MakeClassTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0x09; i <= 0x0D; ++i) t[i] = kSpace;
  t[0x20] = kSpace;
  for (int i = '0'; i <= '9'; ++i) t[i] = kDigit;
  const unsigned char upper = kAlpha | kUpper, lower = kAlpha | kLower;
  for (int i = 'A'; i <= 'Z'; ++i) t[i] = upper;
  for (int i = 'a'; i <= 'z'; ++i) t[i] = lower;
  for (int i : {0x8A, 0x8C, 0x8E, 0x9F}) t[i] = upper;
  for (int i : {0x9A, 0x9C, 0x9E}) t[i] = lower;
  for (int i = 0xC0; i <= 0xDE; ++i) t[i] = (i == 0xD7) ? 0 : upper;
  for (int i = 0xE0; i <= 0xFF; ++i) t[i] = (i == 0xF8) ? 0 : lower;
  t[0xDF] = kAlpha | kUpper | kLower;
  return t;
}

constexpr auto kClass = MakeClassTable();

}  // namespace

int ISOchar(int c) {
  return c & 0xFF;
}
bool ISOisalpha(int c) {
  return kClass[ISOchar(c)] & kAlpha;
}
bool ISOisspace(int c) {
  return kClass[ISOchar(c)] & kSpace;
}

int ichar_traits::compare(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (lt(a[i], b[i])) return -1;
    if (lt(b[i], a[i])) return 1;
  }
  return 0;
}

const char* ichar_traits::find(const char* s, std::size_t n, char c) {
  for (std::size_t i = 0; i < n; ++i) {
    if (eq(s[i], c)) return s + i;
  }
  return nullptr;
}

std::size_t StringHash::operator()(const std::string& s) const {
  uint32_t h = 0;
  for (char c : s) {
    if (c == '\0') break;
    h = 5 * h + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
  }
  return h;
}

bool string::istarts(const string& prefix, unsigned long pos) const {
  if (pos > size() || prefix.size() > size() - pos) return false;
  return ichar_traits::compare(data() + pos, prefix.data(), prefix.size()) == 0;
}

string& string::lowerize(unsigned long pos) {
  for (unsigned long i = pos; i < size(); ++i)
    (*this)[i] = static_cast<char>(ToAsciiLower((*this)[i]));
  return *this;
}

string string::ToLower(unsigned long pos) const {
  string copy(*this);
  return copy.lowerize(pos);
}

bool string::replace_all(const string& from, const string& to) {
  if (from.empty()) return false;
  bool replaced = false;
  for (size_type pos = find(from); pos != npos; pos = find(from, pos + to.size())) {
    replace(pos, from.size(), to);
    replaced = true;
  }
  return replaced;
}

std::vector<string> string::split(const string& separators, unsigned long max) const {
  std::vector<string> fields;
  size_type pos = 0;
  for (;;) {
    size_type end;
    if (fields.size() == max - 1) {
      end = size();
      fields.emplace_back(substr(pos));
    } else {
      size_type separator = find_first_of(separators, pos);
      end = separator == npos ? size() : separator;
      if (separator != pos) fields.emplace_back(substr(pos, end - pos));
    }
    pos = find_first_not_of(separators, end);
    if (pos == npos) return fields;
  }
}

string Printable(std::string_view text, std::size_t max) {
  static const char kHex[] = "0123456789ABCDEF";
  string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (out.size() >= max) {
      out += "...";
      break;
    }
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F || c == '\\') {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace orv
