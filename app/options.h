// The command line: the settings every conversion reads, and the mailbox path
// that chooses batch mode.
#ifndef APP_OPTIONS_H_
#define APP_OPTIONS_H_

#include "app/content_type.h"
#include "orv/string.h"

// Fixed at start-up; conversions share them read-only.
struct Settings {
  orv::string program_directory;  // where tnef, rtf2html and wmd_temp are; ends with "/"
  bool no_recurse = false;
  bool keep_winmail = false;
  bool no_rtf_alternative = false;
  bool ignore_rtf_body = false;
  bool always_remove_winmail = false;
  orv::string converter_user;  // who runs the converters when we run as root; empty: the default
  unsigned workers = 1;        // messages converted at once, kMinWorkers to kMaxWorkers
  bool inline_body = false;    // the HTML body of a winmail.dat shown as the message body
  ContentTypes content_types;  // of extracted files; the built-in table until start-up adds more
};

constexpr unsigned kMinWorkers = 1, kMaxWorkers = 64;

enum class ParseResult { kRun, kHelp, kError };

// Reads the command line into settings (all but program_directory) and path
// (empty unless batch mode). Prints the usage text for kHelp, an option error
// on standard error for kError, and nothing for kRun.
ParseResult ParseOptions(int argc, char** argv, Settings& settings, orv::string& path);

#endif  // APP_OPTIONS_H_
