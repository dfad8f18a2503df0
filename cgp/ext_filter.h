// The content-filter layer of the helper protocol. The mail server hands a
// queued message to the filter with "seq FILE path"; this layer checks that the
// file can be read, asks FilterMessage what to do with it, and answers with one
// log line and one protocol line.
#ifndef CGP_EXT_FILTER_H_
#define CGP_EXT_FILTER_H_

#include "cgp/helper.h"
#include "orv/string.h"

namespace cgp {

// What to do with one message.
enum class Verdict {
  kAccept,   // deliver it as received
  kDiscard,  // drop it: a converted copy has been submitted
};

// Escapes a text for a quoted protocol answer: backslash doubled, CR removed,
// LF as \e, TAB as \t, double quote as \".
orv::string EscapeProtocolText(const orv::string& text);

class ExtFilter : public Helper {
 public:
  // workers as for Helper: FilterMessage is then called on several threads.
  explicit ExtFilter(unsigned workers = 1) : Helper("REJECTED", workers) {}

 protected:
  void ProcessRequest(unsigned seq, const orv::string& command,
                      const orv::string& parameters) override;
  bool HandlesCommand(const orv::string& command) override;

  // Decides on one message. Called only for an existing file that could be
  // opened; writes no protocol answer of its own.
  virtual Verdict FilterMessage(const orv::string& path) = 0;
};

}  // namespace cgp

#endif  // CGP_EXT_FILTER_H_
