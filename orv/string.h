// The byte string passed through the whole filter, the one case-folding rule
// and the byte-class table the filter uses, and helpers for showing untrusted
// text on the console. Everything here is byte oriented: case is folded for the
// ASCII letters only, so that bytes from 0x80 up, which may belong to UTF-8
// addresses and names, always pass unchanged.
#ifndef ORV_STRING_H_
#define ORV_STRING_H_

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// A standard byte string with a few members of its own; it adds no data.
class string : public std::string {
 public:
  using std::string::string;
  string() = default;
  string(const std::string& s) : std::string(s) {}
  string(std::string&& s) noexcept : std::string(std::move(s)) {}
  explicit string(std::string_view s) : std::string(s) {}

  // True iff the bytes from pos on begin with prefix, compared through
  // ToAsciiLower. False when prefix is longer than the rest of the string or
  // pos is past its end.
  bool istarts(const string& prefix, unsigned long pos = 0) const;

  // Folds every byte from pos on through ToAsciiLower, in place.
  string& lowerize(unsigned long pos = 0);

  // A copy with every byte from pos on folded through ToAsciiLower.
  string ToLower(unsigned long pos = 0) const;

  // Replaces every occurrence of from by to, left to right, never searching
  // the inserted text again. Returns whether anything was replaced; an empty
  // from changes nothing.
  bool replace_all(const string& from, const string& to);

  // Splits at any byte of separators into at most max fields (0 or ULONG_MAX:
  // no limit). Runs of separators count as one and give no empty fields; the
  // last allowed field holds the whole remainder.
  std::vector<string> split(const string& separators, unsigned long max = ULONG_MAX) const;
};

// The code reduced to an unsigned byte value, 0 to 255.
int ISOchar(int c);
// The byte with A-Z folded to a-z; every other byte, 0x80 up included, unchanged.
// The filter's only case-folding rule: it never depends on the locale.
inline int ToAsciiLower(int c) {
  c &= 0xFF;
  return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}
// Letters and white space by the byte-class table (ISO-8859-1 letters count).
bool ISOisalpha(int c);
bool ISOisspace(int c);

// Character traits that compare bytes after folding them through ToAsciiLower.
struct ichar_traits : std::char_traits<char> {
  static bool eq(char a, char b) { return ToAsciiLower(a) == ToAsciiLower(b); }
  static bool lt(char a, char b) { return ToAsciiLower(a) < ToAsciiLower(b); }
  static int compare(const char* a, const char* b, std::size_t n);
  static const char* find(const char* s, std::size_t n, char c);
};
using istring_view = std::basic_string_view<char, ichar_traits>;

// The hash of a string's bytes up to its first NUL: h = 5h + signed byte.
struct StringHash {
  std::size_t operator()(const std::string& s) const;
};

// Whether the container holds key; the second form also keeps the iterator.
template <typename Container, typename Key>
bool has_key(const Container& c, const Key& key) {
  return c.find(key) != c.end();
}
template <typename Container, typename Key, typename Iterator>
bool has_key(Container& c, const Key& key, Iterator& it) {
  it = c.find(key);
  return it != c.end();
}

// Untrusted text made fit for one console line: control bytes, DEL and
// backslash are shown as \xNN, and text beyond max bytes is cut with "...".
string Printable(std::string_view text, std::size_t max = 200);

}  // namespace orv

#endif  // ORV_STRING_H_
