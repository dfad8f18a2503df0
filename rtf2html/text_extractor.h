// The plain text that a \fromtext document carries, taken out as Microsoft's
// MS-OXRTFEX describes it (\par and \line are line ends, \tab a tab, all else
// that is not text is left out) and shown as an HTML page that keeps its line
// breaks and runs of spaces.
#ifndef RTF2HTML_TEXT_EXTRACTOR_H_
#define RTF2HTML_TEXT_EXTRACTOR_H_

#include <string>

#include "rtf2html/rtf_reader.h"

namespace rtf2html {

// After Read() the output holds a UTF-8 HTML page with the text in one
// preformatted block.
class TextExtractor : public RtfReader {
 public:
  TextExtractor();

 protected:
  bool OnControl(const Token& token) override;
  void OnText(std::string_view text) override;
  void OnDocumentEnd() override;

 private:
  std::string escaped_;
};

}  // namespace rtf2html

#endif  // RTF2HTML_TEXT_EXTRACTOR_H_
