#include "rtf2html/text_extractor.h"

#include "rtf2html/html_text.h"

namespace rtf2html {

TextExtractor::TextExtractor() {
  Write(kPageStart);
  Write(">\n<pre style=\"white-space: pre-wrap\">");
}

bool TextExtractor::OnControl(const Token& token) {
  if (token.Is("par") || token.Is("line")) {
    OnText("\n");
  } else if (token.Is("tab")) {
    OnText("\t");
  } else {
    return false;
  }
  return true;
}

void TextExtractor::OnText(std::string_view text) {
  escaped_.clear();
  AppendEscaped(text, &escaped_);
  Write(escaped_);
}

void TextExtractor::OnDocumentEnd() {
  Write("</pre>\n");
  Write(kPageEnd);
}

}  // namespace rtf2html
