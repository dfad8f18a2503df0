// The content-filter layer of the helper protocol. The mail server hands a
// queued message to the filter with "seq FILE path"; this layer checks that the
// file can be read, asks FilterMessage what to do with it, and answers with one
// log line and one protocol line. It also knows the envelope block that opens a
// queued message file.
#ifndef CGP_EXT_FILTER_H_
#define CGP_EXT_FILTER_H_

#include <vector>

#include "cgp/helper.h"
#include "orv/input_file.h"
#include "orv/string.h"

namespace cgp {

struct Response {
  enum ENUM { OK = 0, REJECTED = 1, ERROR = 2, DISCARD = 3, ADDHEADER = 4 };
};

template <typename Kind>
struct HelperAnswer {
  Kind kind;
  std::vector<orv::string> lines;
};

// What to do with one message: the answer kind and its text lines (for
// ADDHEADER, one header field a line).
class Answer : public HelperAnswer<Response::ENUM> {
 public:
  explicit Answer(Response::ENUM k) : HelperAnswer<Response::ENUM>{k, {}} {}
};

// Escapes a text for a quoted protocol answer: backslash doubled, CR removed,
// LF as \e, TAB as \t, double quote as \".
orv::string EscapeProtocolText(const orv::string& text);

class ExtFilter : public Helper {
 public:
  // Seeds rand() with the current time for queue-file names.
  ExtFilter();

  // Whether the file opens with an envelope block: its first line is longer
  // than two bytes, a letter followed by white space. Leaves in at offset 0.
  static bool HasEnvelope(orv::InputFile& in);
  // When HasEnvelope, moves in past the empty line that ends the block (or to
  // the end of the file) and returns true; otherwise leaves it at offset 0.
  static bool SkipEnvelope(orv::InputFile& in);

 protected:
  void ProcessRequest(unsigned seq, const orv::string& command,
                      const orv::string& parameters) override;
  bool HandlesCommand(const orv::string& command) override;

  // Decides on one message. Called only for an existing file that could be
  // opened; must not throw and writes no protocol answer of its own.
  virtual Answer FilterMessage(unsigned seq, const orv::string& path) = 0;
};

}  // namespace cgp

#endif  // CGP_EXT_FILTER_H_
