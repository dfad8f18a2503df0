// Reading a message the way the conversion needs it: header blocks with their
// folded lines, and the few header fields and parameters that matter. The
// message is read line by line from a file; nothing holds it whole.
#ifndef APP_MIME_SCAN_H_
#define APP_MIME_SCAN_H_

#include <cstddef>

#include "orv/input_file.h"
#include "orv/string.h"

// Limits far above real mail; a message beyond any of them passes unchanged.
constexpr std::size_t kMaxHeaderField = 1024 * 1024;  // one unfolded header field
constexpr std::size_t kMaxBoundary = 998;             // a boundary parameter
constexpr int kMaxNesting = 64;                       // multiparts inside multiparts

// What one header block says.
struct PartHeaders {
  orv::string contentType;        // media type, lower case; empty if none usable
  orv::string boundary;           // the boundary parameter, case kept
  orv::string name;               // name= of Content-Type or (file)name= of Content-Disposition
  bool alreadyProcessed = false;  // the block holds an X-WinmailDat field
};

// Reads one header block from in's position through the empty line that ends
// it (or the end of input) and fills headers. Returns false, with in at an
// unspecified position, when an unfolded field is longer than kMaxHeaderField.
bool ReadHeaderBlock(orv::InputFile& in, PartHeaders& headers);

// Looks, case-insensitively, for key followed by "=" anywhere in one unfolded
// header field; stores the value (quoted, or up to a blank, ";" or quote) and
// returns true, or returns false and leaves value alone.
bool GetHeaderParameter(const orv::string& header, const orv::string& key, orv::string& value);

#endif  // APP_MIME_SCAN_H_
