// Creating a file that exists only when it is complete: the data goes to a
// new temporary file beside it, which takes the file's name at the end and is
// removed on any failure. A reader that finds the file finds all of it.
#ifndef RTF2HTML_ATOMIC_FILE_H_
#define RTF2HTML_ATOMIC_FILE_H_

#include <string>
#include <string_view>

namespace rtf2html {

// Writes data to path by way of a temporary file in path's directory (named
// "rtf2html.XXXXXX", unique), replacing any file of that name. Returns false
// with *error set when anything fails; then path is not created or changed
// and no temporary file is left. Nothing is written outside path's directory.
bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error);

}  // namespace rtf2html

#endif  // RTF2HTML_ATOMIC_FILE_H_
