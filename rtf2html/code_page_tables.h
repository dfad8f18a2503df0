// Built-in tables for the single-byte code pages, so that the common Western,
// Central European, Cyrillic, Greek, Turkish, Hebrew, Arabic, Baltic,
// Vietnamese and Thai bodies decode without help from the system.
#ifndef RTF2HTML_CODE_PAGE_TABLES_H_
#define RTF2HTML_CODE_PAGE_TABLES_H_

namespace rtf2html {

// The 128 code points of bytes 0x80 to 0xFF in code_page (437, 850, 874,
// 1250 to 1258, 10000), 0xFFFD for undefined bytes; null for other code pages.
const char16_t* UpperHalf(int code_page);

}  // namespace rtf2html

#endif  // RTF2HTML_CODE_PAGE_TABLES_H_
