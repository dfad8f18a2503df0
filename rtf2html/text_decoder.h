// Collects the pieces of one run of RTF text, bytes in some code page and
// \uN characters, and hands the run out as UTF-8. Bytes are kept until the
// run ends, because a double-byte character may come as two escapes, and a
// \uN high surrogate is kept until its low surrogate arrives.
#ifndef RTF2HTML_TEXT_DECODER_H_
#define RTF2HTML_TEXT_DECODER_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace rtf2html {

class TextDecoder {
 public:
  // Adds text bytes in code_page.
  void AddBytes(int code_page, std::string_view bytes);
  // Adds the character of \uN; N is a signed 16-bit value, so negative values
  // stand for N + 65536. A surrogate that has no partner becomes U+FFFD.
  void AddUnicode(int32_t value);

  // Bytes waiting to be decoded.
  std::size_t pending() const { return bytes_.size(); }

  // Appends the text so far, as UTF-8, to *out. With run_ends false a cut-off
  // multibyte character or high surrogate at the end stays for what follows.
  void Take(std::string* out, bool run_ends = true);

 private:
  void DecodePending(bool more_follow);
  void EndSurrogate();

  std::string bytes_;
  int code_page_ = 0;
  char32_t high_surrogate_ = 0;
  std::string decoded_;
};

}  // namespace rtf2html

#endif  // RTF2HTML_TEXT_DECODER_H_
