// The HTML that a \fromhtml1 document carries, taken back out as Microsoft's
// MS-OXRTFEX ("Rich Text Format (RTF) Extensions Algorithm") describes it:
// the content of {\*\htmltag} groups and the text outside them are copied,
// except where \htmlrtf marks RTF that the HTML did not have.
#ifndef RTF2HTML_HTML_EXTRACTOR_H_
#define RTF2HTML_HTML_EXTRACTOR_H_

#include <vector>

#include "rtf2html/rtf_reader.h"

namespace rtf2html {

// After Read() the output holds the original HTML in UTF-8, with a meta
// charset declaration that says so.
class HtmlExtractor : public RtfReader {
 public:
  HtmlExtractor() : suppressed_(1, false) {}

 protected:
  bool ClaimDestination(std::string_view word, Destination* destination) override;
  bool OnControl(const Token& token) override;
  void OnText(std::string_view text) override;
  void OnGroupStart() override { suppressed_.push_back(suppressed_.back()); }
  void OnGroupEnd(Destination) override { suppressed_.pop_back(); }
  void OnDocumentEnd() override;
  int TextCodePage() const override;

 private:
  // Whether \htmlrtf is on, one entry per open group: the state is inherited
  // by nested groups and restored when they end.
  std::vector<bool> suppressed_;
};

}  // namespace rtf2html

#endif  // RTF2HTML_HTML_EXTRACTOR_H_
