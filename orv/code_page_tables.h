// Built-in tables for the single-byte code pages, so that the common Western,
// Central European, Cyrillic, Greek, Turkish, Hebrew, Arabic, Baltic,
// Vietnamese and Thai texts (RTF bodies, attachment names) decode without help
// from the system.
#ifndef ORV_CODE_PAGE_TABLES_H_
#define ORV_CODE_PAGE_TABLES_H_

namespace orv {

// The 128 code points of bytes 0x80 to 0xFF in code_page (437, 850, 874,
// 1250 to 1258, 10000, 28591), 0xFFFD for undefined bytes; null for other
// code pages.
const char16_t* UpperHalf(int code_page);

}  // namespace orv

#endif  // ORV_CODE_PAGE_TABLES_H_
