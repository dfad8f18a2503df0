// Character sets of RTF text. RTF names a code page for the whole document
// (\ansicpg) and a character set for each font (\fcharset, \cpg); text bytes
// are in the code page of the font in use. Everything is turned into UTF-8
// here: single-byte code pages from built-in tables, the East Asian multibyte
// ones through the C library's iconv. Whatever cannot be decoded becomes
// U+FFFD, so the result is always valid UTF-8.
#ifndef RTF2HTML_CODE_PAGE_H_
#define RTF2HTML_CODE_PAGE_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace rtf2html {

// Fonts with the symbol character set (\fcharset2) draw glyphs of their own
// at byte positions; this pseudo code page maps the few that matter in mail,
// list bullets, and takes the rest as Windows-1252.
constexpr int kSymbolCodePage = 42;
constexpr int kUtf8CodePage = 65001;

// The code page of an \fcharset value; document_code_page for the default
// character set (1) and for values that name no code page.
int CodePageOfCharset(int charset, int document_code_page);

// Appends c to *out as UTF-8. Control characters other than tab, line feed
// and carriage return are dropped; surrogates and values past U+10FFFF
// become U+FFFD.
void AppendCodePoint(char32_t c, std::string* out);

// Decodes bytes in code_page and appends them to *out as UTF-8. Returns how
// many bytes were used: all of them, except that when more_follow is true an
// incomplete multibyte character at the end is left for the next call.
// Unknown code pages decode ASCII and turn every other byte into U+FFFD.
std::size_t DecodeBytes(int code_page, std::string_view bytes, bool more_follow, std::string* out);

}  // namespace rtf2html

#endif  // RTF2HTML_CODE_PAGE_H_
