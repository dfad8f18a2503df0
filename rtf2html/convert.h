// The conversion of one RTF message body: which of the three kinds of RTF
// document it is, and the reader for that kind. A \fromhtml1 document gives
// back the HTML it carries, a \fromtext document the plain text it carries,
// and any other document an HTML rendering of its own.
#ifndef RTF2HTML_CONVERT_H_
#define RTF2HTML_CONVERT_H_

#include <streambuf>
#include <string>

namespace rtf2html {

enum class RtfKind { kNotRtf, kEncapsulatedHtml, kEncapsulatedText, kNative };

struct Conversion {
  bool ok = false;
  RtfKind kind = RtfKind::kNotRtf;
  std::string html;   // a UTF-8 HTML page when ok
  std::string error;  // why not, when not ok
};

// Converts the RTF document that in holds. Fails when the input does not
// begin with "{\rtf", or when the document passes a limit (group nesting,
// output size). A document cut off before its end is converted as far as it
// goes; whatever follows its last closing brace is ignored.
Conversion ConvertRtf(std::streambuf* in);

}  // namespace rtf2html

#endif  // RTF2HTML_CONVERT_H_
