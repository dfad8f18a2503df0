// UTF-8 for texts from outside that name things (attachment names, subjects):
// checking it, and making it from UTF-16 and from the single-byte code pages
// of orv/code_page_tables.h. Every result is valid UTF-8.
#ifndef ORV_UTF8_H_
#define ORV_UTF8_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace orv {

// The length of the well-formed UTF-8 sequence at text[pos] (1 for ASCII);
// 0 when none starts there (a stray, overlong, surrogate or cut-off
// sequence). pos must be less than text.size().
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos);

// Whether text is well-formed UTF-8 throughout.
bool IsUtf8(std::string_view text);

// Appends c as UTF-8; surrogates and values past U+10FFFF become U+FFFD.
void AppendUtf8(char32_t c, std::string* out);

// UTF-16 little-endian as UTF-8. An unpaired surrogate becomes U+FFFD, and so
// does an odd byte at the end.
std::string Utf16LeToUtf8(std::string_view utf16);

// Single-byte text in code_page as UTF-8. Code pages without a built-in table
// (0, which is "none given", included) are read as windows-1252; bytes a code
// page leaves undefined become U+FFFD.
std::string CodePageToUtf8(std::string_view bytes, int code_page);

}  // namespace orv

#endif  // ORV_UTF8_H_
