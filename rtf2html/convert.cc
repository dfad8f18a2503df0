#include "rtf2html/convert.h"

#include <memory>
#include <vector>

#include "rtf2html/html_extractor.h"
#include "rtf2html/html_renderer.h"
#include "rtf2html/text_extractor.h"
#include "rtf2html/tokenizer.h"

namespace rtf2html {

namespace {

// MS-OXRTFEX has readers look for \fromhtml1 and \fromtext among the first
// ten tokens, counting group starts and control words. Other tokens do not
// count, but no more than kMaxHeader are kept, so that a document of text
// without control words is not held in memory here.
constexpr int kHeaderTokens = 10;
constexpr std::size_t kMaxHeader = 64;

// Reads the header into *header and tells which kind of document it starts.
RtfKind ReadHeader(Tokenizer* tokenizer, std::vector<Token>* header) {
  Token token;
  int counted = 0;
  while (counted < kHeaderTokens && header->size() < kMaxHeader && tokenizer->Next(&token)) {
    header->push_back(token);
    if (header->size() == 1 && token.kind != Token::kGroupStart) return RtfKind::kNotRtf;
    if (header->size() == 2 && !token.Is("rtf")) return RtfKind::kNotRtf;
    if (token.Is("fromhtml") && (!token.has_param || token.param >= 1))
      return RtfKind::kEncapsulatedHtml;
    if (token.Is("fromtext")) return RtfKind::kEncapsulatedText;
    if (token.kind == Token::kGroupStart || token.kind == Token::kWord) ++counted;
  }
  return header->size() < 2 ? RtfKind::kNotRtf : RtfKind::kNative;
}

}  // namespace

Conversion ConvertRtf(std::streambuf* in) {
  Conversion conversion;
  Tokenizer tokenizer(in);
  std::vector<Token> header;
  conversion.kind = ReadHeader(&tokenizer, &header);
  std::unique_ptr<RtfReader> reader;
  switch (conversion.kind) {
    case RtfKind::kNotRtf:
      conversion.error = "the input is not RTF";
      return conversion;
    case RtfKind::kEncapsulatedHtml:
      reader = std::make_unique<HtmlExtractor>();
      break;
    case RtfKind::kEncapsulatedText:
      reader = std::make_unique<TextExtractor>();
      break;
    case RtfKind::kNative:
      reader = std::make_unique<HtmlRenderer>();
      break;
  }
  conversion.ok = reader->Read(header, &tokenizer);
  if (conversion.ok) {
    conversion.html = std::move(reader->output());
  } else {
    conversion.error = reader->error();
  }
  return conversion;
}

}  // namespace rtf2html
