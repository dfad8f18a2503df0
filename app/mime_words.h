// Header parameters that carry attachment names, and the check on content
// ids, for the parts made from a winmail.dat. A plain ASCII name is written
// as a quoted string, as it always was; any other name is encoded so that
// mail readers show it whole: RFC 2047 encoded words for the name parameter
// of Content-Type (which older readers look at), RFC 2231 for the filename
// parameter of Content-Disposition.
#ifndef APP_MIME_WORDS_H_
#define APP_MIME_WORDS_H_

#include <string>
#include <string_view>

// Whether name is written as it is: printable ASCII (space included) without
// " \ / * ? : %.
bool IsPlainName(std::string_view name);

// The Content-Type parameter for name (UTF-8), written at the start of a
// header line indented by three spaces: name="..." for a plain name, else
// name="=?UTF-8?B?...?=" in encoded words of at most 75 characters, each
// whole UTF-8 characters, on lines of at most 78 joined by "\n   ".
std::string NameParameter(std::string_view name);

// The Content-Disposition parameter for name, placed as NameParameter's:
// filename="..." for a plain name, else filename*=UTF-8''... percent-encoded,
// or, when that line would pass 78 characters, filename*0*=UTF-8''...,
// filename*1*=... sections joined by ";\n   ".
std::string FilenameParameter(std::string_view name);

// Whether id can be written as Content-ID: <id>: 1 to 250 bytes of printable
// ASCII other than < > and ".
bool IsValidContentId(std::string_view id);

#endif  // APP_MIME_WORDS_H_
