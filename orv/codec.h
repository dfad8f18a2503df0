// Base64 and quoted-printable, the two transfer encodings the filter needs:
// Base64 bodies of winmail.dat attachments are decoded into a file, and the
// files extracted from them are written back as Base64 lines or in
// quoted-printable form. Everything streams; nothing holds a whole file.
#ifndef ORV_CODEC_H_
#define ORV_CODEC_H_

#include <cstddef>
#include <memory>
#include <ostream>
#include <string_view>

#include "orv/input_file.h"

namespace orv {

// Writes the Base64 form of input, without line breaks. The modified alphabet
// uses "," for 63 and is never padded.
void Base64Encode(std::string_view input, std::ostream& out, bool modified = false);

// Decodes text (either alphabet, no white space) group by group into out;
// missing characters at the end count as padding. Returns false at the first
// group holding an invalid character; the bytes of earlier groups stay written.
bool Base64Decode(std::string_view text, std::ostream& out);

// Decodes Base64 lines that arrive in pieces, each line exactly as
// Base64Decode decodes it whole. Output is buffered until Flush().
class Base64LineDecoder {
 public:
  explicit Base64LineDecoder(std::ostream& out);
  ~Base64LineDecoder();
  Base64LineDecoder(const Base64LineDecoder&) = delete;
  Base64LineDecoder& operator=(const Base64LineDecoder&) = delete;

  // Decodes the next piece of the current line.
  void Feed(std::string_view piece);
  // Ends the current line; false when it held an invalid character.
  bool EndLine();
  // Hands everything decoded so far to the output stream.
  void Flush();

 private:
  void Group(const unsigned char* q);
  void Reserve(std::size_t n);

  std::ostream& out_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  unsigned char partial_[4];
  int partial_size_ = 0;
  bool invalid_ = false;
};

// Writes the file as Base64 lines of 76 characters (57 bytes) ended by LF; a
// file whose length is a multiple of 57, the empty file included, is followed
// by one empty line.
void WriteBase64Lines(InputFile& in, std::ostream& out);

// Writes the file as quoted-printable lines of at most 76 characters: LF, CR,
// space and the printable bytes other than "=" unchanged, every other byte,
// and a space before a line end or the end of the file, as "=" and two
// uppercase hex digits. A longer line is continued after a soft line break,
// "=" and LF, which decoding removes.
void WriteQuotedPrintable(InputFile& in, std::ostream& out);

}  // namespace orv

#endif  // ORV_CODEC_H_
