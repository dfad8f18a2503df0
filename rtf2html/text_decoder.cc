#include "rtf2html/text_decoder.h"

#include "rtf2html/code_page.h"

namespace rtf2html {

void TextDecoder::AddBytes(int code_page, std::string_view bytes) {
  if (bytes.empty()) return;
  EndSurrogate();
  if (code_page != code_page_) DecodePending(false);
  code_page_ = code_page;
  bytes_.append(bytes);
}

void TextDecoder::AddUnicode(int32_t value) {
  DecodePending(false);
  int64_t signed_value = value < 0 ? int64_t{value} + 65536 : value;
  char32_t c = signed_value < 0 ? 0xFFFD : static_cast<char32_t>(signed_value);
  if (c >= 0xDC00 && c <= 0xDFFF && high_surrogate_) {
    AppendCodePoint(0x10000 + ((high_surrogate_ - 0xD800) << 10) + (c - 0xDC00), &decoded_);
    high_surrogate_ = 0;
    return;
  }
  EndSurrogate();
  if (c >= 0xD800 && c <= 0xDBFF) {
    high_surrogate_ = c;
  } else {
    AppendCodePoint(c, &decoded_);
  }
}

void TextDecoder::Take(std::string* out, bool run_ends) {
  DecodePending(!run_ends);
  if (run_ends) EndSurrogate();
  out->append(decoded_);
  decoded_.clear();
}

void TextDecoder::DecodePending(bool more_follow) {
  if (bytes_.empty()) return;
  std::size_t used = DecodeBytes(code_page_, bytes_, more_follow, &decoded_);
  bytes_.erase(0, used);
}

void TextDecoder::EndSurrogate() {
  if (high_surrogate_) {
    AppendCodePoint(0xFFFD, &decoded_);
    high_surrogate_ = 0;
  }
}

}  // namespace rtf2html
