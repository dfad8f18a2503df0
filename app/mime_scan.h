// The first step of a conversion: the scan of a message for its winmail.dat
// parts. It reads header blocks with their folded lines, the few header fields
// and parameters that matter, and the multipart structure, line by line from a
// file; nothing holds the message whole, and no file is written.
#ifndef APP_MIME_SCAN_H_
#define APP_MIME_SCAN_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "orv/codec.h"
#include "orv/input_file.h"
#include "orv/string.h"

// Limits far above real mail; a message beyond any of them passes unchanged.
constexpr std::size_t kMaxHeaderField = 1024 * 1024;  // one unfolded header field
constexpr std::size_t kMaxBoundary = 998;             // a boundary parameter
constexpr int kMaxNesting = 64;                       // multiparts inside multiparts

// What one header block says.
struct PartHeaders {
  orv::string content_type;        // media type, lower case; empty if none usable
  orv::string boundary;            // the boundary parameter, case kept
  orv::string name;                // name= of Content-Type or (file)name= of Content-Disposition
  bool already_processed = false;  // the block holds an X-WinmailDat field
  bool attachment = false;         // Content-Disposition: attachment
  orv::string from;                // the value of the From: field
};

// Reads one header block from in's position through the empty line that ends
// it (or the end of input) and fills headers. Returns false, with in at an
// unspecified position, when an unfolded field is longer than kMaxHeaderField.
bool ReadHeaderBlock(orv::InputFile& in, PartHeaders& headers);

// Looks, case-insensitively, for key followed by "=" anywhere in one unfolded
// header field; stores the value (quoted, or up to a blank, ";" or quote) and
// returns true, or returns false and leaves value alone.
bool GetHeaderParameter(const orv::string& header, const orv::string& key, orv::string& value);

// One winmail.dat part of a message, as the scan found it.
struct WinmailPart {
  int64_t start = 0;          // offset of the part's first header line
  int64_t body_start = 0;     // offset of the first line of its body
  int64_t end = 0;            // just after the line that ended the body; 0: the input ended
  int64_t multipart_end = 0;  // where the scan of the enclosing multipart stopped
  orv::string delimiter;      // the delimiter line of the enclosing multipart
  bool alternative = false;   // the enclosing multipart is multipart/alternative
  bool html_seen = false;     // ... and a text/html part came before this one
  // Where the first part of the enclosing multipart/mixed begins, when that
  // part is text/plain (no Content-Type counts), no attachment, and not this
  // one; else 0.
  int64_t first_plain = 0;
  orv::string from;  // the value of the message's From: field
};

// Scans the message that begins at in's position and appends its winmail.dat
// parts to parts in message order. Returns false, with parts emptied and the
// reason logged, when the message passes a limit and is to be left unchanged.
bool ScanMessage(orv::InputFile& in, std::vector<WinmailPart>& parts);

// Reads a winmail.dat part's body from in's position to the empty line or
// delimiter line that ends it, or to the end of input. Returns the offset just
// after the ending line, 0 when the input ended first; line holds the last
// line read. Unless decoder is null, each body line is fed to it and the lines
// it cannot decode are counted in *bad_lines.
int64_t ReadPartBody(orv::InputFile& in, const orv::string& delimiter, orv::string& line,
                     orv::Base64LineDecoder* decoder = nullptr, unsigned* bad_lines = nullptr);

#endif  // APP_MIME_SCAN_H_
