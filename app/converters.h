// The external converters beside the program: tnef unpacks a winmail.dat file
// into the work directory and lists what it wrote; rtf2html turns an RTF file
// into HTML. Here are their command lines and the reading of tnef's listing.
#ifndef APP_CONVERTERS_H_
#define APP_CONVERTERS_H_

#include <vector>

#include "orv/process.h"
#include "orv/string.h"

// Limits for both converters; a child past them is stopped.
inline const orv::ProcessLimits kConverterLimits{};
// More listing than this from tnef is taken as hostile.
constexpr std::size_t kMaxListing = 4 * 1024 * 1024;

// tnef's arguments: the work file, the body saved as "saved_body" unless
// ignore_rtf_body, numbered backups, the work directory, and the listing.
std::vector<orv::string> TnefArguments(const orv::string& programDirectory, bool ignoreRtfBody);

// rtf2html's arguments: the RTF file and the HTML file to create.
std::vector<orv::string> Rtf2htmlArguments(const orv::string& rtf, const orv::string& html);

// The path that one line of tnef's listing names. Its columns are separated by
// TAB "|" TAB: "name", "path", "type", "content id" (older versions print the
// first two only). With at least two columns the second is the path; a line
// without separator is a bare name in the work directory.
orv::string ListedPath(const orv::string& line, const orv::string& workDirectory);

// Where the HTML for an RTF file goes: the RTF path without ".rtf" followed by
// ".html", or, when that exists, by ".1.html", ".2.html" and so on.
orv::string HtmlPathFor(const orv::string& rtf);

// A description of how a converter that ended abnormally ended, for the
// console; empty when it ended by itself. limits are those it ran under.
orv::string LimitMessage(const orv::string& program, orv::Process& child,
                         const orv::ProcessLimits& limits);

#endif  // APP_CONVERTERS_H_
