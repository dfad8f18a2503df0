// The character set declaration of an HTML document taken out of RTF. The
// document is written in UTF-8, whatever the RTF's code page was, so any
// charset its meta tags name has to become UTF-8 as well.
#ifndef RTF2HTML_META_CHARSET_H_
#define RTF2HTML_META_CHARSET_H_

#include <string>
#include <string_view>

namespace rtf2html {

// html with every meta charset declaration outside comments changed to
// declare UTF-8: <meta charset> gets the value "utf-8", and a Content-Type
// <meta http-equiv> the content "text/html; charset=utf-8". Without such a
// declaration, <meta charset="utf-8"> is added at the start of the head (a
// head is made after the html tag when there is none), else after the
// doctype, else at the very beginning.
std::string DeclareUtf8(std::string_view html);

}  // namespace rtf2html

#endif  // RTF2HTML_META_CHARSET_H_
