// The pieces of HTML that the converters write themselves: the start of a
// page, and text made safe to stand in element content and in double-quoted
// attribute values alike.
#ifndef RTF2HTML_HTML_TEXT_H_
#define RTF2HTML_HTML_TEXT_H_

#include <string>
#include <string_view>

namespace rtf2html {

// Everything up to and including the <body tag's name: the caller closes the
// tag, so that it may give it attributes.
constexpr std::string_view kPageStart =
    "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n</head>\n<body";
constexpr std::string_view kPageEnd = "</body>\n</html>\n";

// Appends text to *out with &, <, > and " written as character references.
void AppendEscaped(std::string_view text, std::string* out);

}  // namespace rtf2html

#endif  // RTF2HTML_HTML_TEXT_H_
