#include "rtf2html/html_extractor.h"

#include "rtf2html/meta_charset.h"

namespace rtf2html {

bool HtmlExtractor::ClaimDestination(std::string_view word, Destination* destination) {
  // {\*\mhtmltag} repeats the tag of the {\*\htmltag} beside it with its URLs
  // rewritten for an MHTML message; as an unclaimed \* destination it is
  // skipped, and with it the \htmlbase marks inside it.
  if (word != "htmltag") return false;
  *destination = Destination::kHtmlTag;
  return true;
}

bool HtmlExtractor::OnControl(const Token& token) {
  if (token.Is("htmlrtf")) {
    suppressed_.back() = !(token.has_param && token.param == 0);
    return true;
  }
  if (token.Is("par")) {
    // MS-OXRTFEX gives CR LF; the filter keeps messages with LF line ends.
    OnText("\n");
  } else if (token.Is("tab")) {
    OnText("\t");
  } else if (token.Is("line")) {
    // Only text outside the tags stands for itself; inside a tag \line is not
    // one of the escapes the algorithm lists.
    if (state().destination != Destination::kHtmlTag) OnText("\n");
  } else if (token.kind == Token::kSymbol && token.text == "_") {
    OnText("\xC2\xAD");  // U+00AD, as MS-OXRTFEX maps \_
  } else if (token.Is("lquote") || token.Is("rquote") || token.Is("ldblquote") ||
             token.Is("rdblquote") || token.Is("bullet") || token.Is("endash") ||
             token.Is("emdash") || (token.kind == Token::kSymbol && token.text == "~")) {
    return false;  // the reader's characters are the ones the algorithm lists
  }
  return true;
}

void HtmlExtractor::OnText(std::string_view text) {
  if (!suppressed_.back()) Write(text);
}

void HtmlExtractor::OnDocumentEnd() {
  output() = DeclareUtf8(output());
}

int HtmlExtractor::TextCodePage() const {
  if (state().destination == Destination::kHtmlTag) return document_code_page();
  return RtfReader::TextCodePage();
}

}  // namespace rtf2html
