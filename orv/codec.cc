#include "orv/codec.h"

#include <array>
#include <cstring>

namespace orv {
namespace {

constexpr char kStandard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kModified[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
constexpr unsigned char kPad = 127;
constexpr unsigned char kInvalid = 0x80;
constexpr std::size_t kBlock = 64 * 1024;

constexpr std::array<unsigned char, 256> MakeDecodeTable() {
  std::array<unsigned char, 256> t{};
  for (auto& v : t) v = kInvalid;
  for (int i = 0; i < 64; ++i)
    t[static_cast<unsigned char>(kStandard[i])] = static_cast<unsigned char>(i);
  t[','] = 63;
  t['='] = kPad;
  return t;
}
constexpr auto kDecode = MakeDecodeTable();

// How quoted-printable writes a byte; a space depends on the byte after it.
enum : unsigned char { kEncoded, kLiteral, kLineEnd, kSpace };

constexpr std::array<unsigned char, 256> MakeQuotedClassTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 33; i <= 126; ++i) t[i] = kLiteral;
  t['='] = kEncoded;
  t['\n'] = t['\r'] = kLineEnd;
  t[' '] = kSpace;
  return t;
}
constexpr auto kQuotedClass = MakeQuotedClassTable();

// Encodes n bytes into out, returning the number of characters written.
std::size_t EncodeBlock(const unsigned char* in, std::size_t n, char* out, bool modified) {
  const char* alphabet = modified ? kModified : kStandard;
  char* o = out;
  std::size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    unsigned v = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
    o[0] = alphabet[v >> 18];
    o[1] = alphabet[(v >> 12) & 63];
    o[2] = alphabet[(v >> 6) & 63];
    o[3] = alphabet[v & 63];
    o += 4;
  }
  if (n - i == 2) {
    *o++ = alphabet[in[i] >> 2];
    *o++ = alphabet[((in[i] << 4) & 63) | (in[i + 1] >> 4)];
    *o++ = alphabet[(in[i + 1] << 2) & 63];
    if (!modified) *o++ = '=';
  } else if (n - i == 1) {
    *o++ = alphabet[in[i] >> 2];
    *o++ = alphabet[(in[i] << 4) & 63];
    if (!modified) {
      *o++ = '=';
      *o++ = '=';
    }
  }
  return static_cast<std::size_t>(o - out);
}

}  // namespace

void Base64Encode(std::string_view input, std::ostream& out, bool modified) {
  constexpr std::size_t kChunk = 3 * 4096;
  char encoded[4 * 4096];
  for (std::size_t pos = 0; pos < input.size(); pos += kChunk) {
    std::size_t n = std::min(kChunk, input.size() - pos);
    out.write(encoded, static_cast<std::streamsize>(
                           EncodeBlock(reinterpret_cast<const unsigned char*>(input.data()) + pos,
                                       n, encoded, modified)));
  }
}

bool Base64Decode(std::string_view text, std::ostream& out) {
  Base64LineDecoder decoder(out);
  decoder.Feed(text);
  return decoder.EndLine();
}

Base64LineDecoder::Base64LineDecoder(std::ostream& out) : out_(out), buffer_(new char[kBlock]) {}

Base64LineDecoder::~Base64LineDecoder() {
  Flush();
}

void Base64LineDecoder::Flush() {
  if (used_) out_.write(buffer_.get(), static_cast<std::streamsize>(used_));
  used_ = 0;
}

void Base64LineDecoder::Reserve(std::size_t n) {
  if (kBlock - used_ < n) Flush();
}

// One group of four characters, some of which may be padding.
void Base64LineDecoder::Group(const unsigned char* q) {
  unsigned char v[4];
  for (int i = 0; i < 4; ++i) {
    v[i] = kDecode[q[i]];
    if (v[i] == kInvalid) {
      invalid_ = true;
      return;
    }
  }
  // A group whose first or second character is padding yields nothing.
  if (v[0] == kPad || v[1] == kPad) return;
  Reserve(3);
  char* o = buffer_.get() + used_;
  o[0] = static_cast<char>((v[0] << 2) | (v[1] >> 4));
  ++used_;
  if (v[2] == kPad) return;
  o[1] = static_cast<char>(((v[1] << 4) | (v[2] >> 2)) & 255);
  ++used_;
  if (v[3] == kPad) return;
  o[2] = static_cast<char>(((v[2] << 6) | v[3]) & 255);
  ++used_;
}

void Base64LineDecoder::Feed(std::string_view piece) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(piece.data());
  const unsigned char* end = p + piece.size();
  while (!invalid_ && partial_size_ > 0 && p < end) {
    partial_[partial_size_++] = *p++;
    if (partial_size_ == 4) {
      partial_size_ = 0;
      Group(partial_);
    }
  }
  while (!invalid_ && end - p >= 4) {
    Reserve(3 * 1024);
    char* o = buffer_.get() + used_;
    // Whole groups without padding or bad characters take the short way.
    while (end - p >= 4 && o + 3 <= buffer_.get() + kBlock) {
      unsigned a = kDecode[p[0]], b = kDecode[p[1]], c = kDecode[p[2]], d = kDecode[p[3]];
      if ((a | b | c | d) >= 64) break;
      unsigned v = (a << 18) | (b << 12) | (c << 6) | d;
      o[0] = static_cast<char>(v >> 16);
      o[1] = static_cast<char>(v >> 8);
      o[2] = static_cast<char>(v);
      o += 3;
      p += 4;
    }
    used_ = static_cast<std::size_t>(o - buffer_.get());
    if (end - p >= 4 && used_ + 3 <= kBlock) {
      Group(p);
      p += 4;
    }
  }
  while (!invalid_ && p < end) partial_[partial_size_++] = *p++;
}

bool Base64LineDecoder::EndLine() {
  if (!invalid_ && partial_size_ > 0) {
    while (partial_size_ < 4) partial_[partial_size_++] = '=';
    Group(partial_);
  }
  bool ok = !invalid_;
  partial_size_ = 0;
  invalid_ = false;
  return ok;
}

void WriteBase64Lines(InputFile& in, std::ostream& out) {
  constexpr std::size_t kLine = 57;
  constexpr std::size_t kLinesPerBlock = 1024;
  std::unique_ptr<char[]> raw(new char[kLine * kLinesPerBlock]);
  std::unique_ptr<char[]> encoded(new char[77 * kLinesPerBlock]);
  std::size_t last = 0;
  for (;;) {
    std::size_t n = in.Read(raw.get(), kLine * kLinesPerBlock);
    char* o = encoded.get();
    for (std::size_t pos = 0; pos < n; pos += kLine) {
      last = std::min(kLine, n - pos);
      o += EncodeBlock(reinterpret_cast<unsigned char*>(raw.get()) + pos, last, o, false);
      *o++ = '\n';
    }
    out.write(encoded.get(), o - encoded.get());
    if (in.eof()) break;
  }
  if (last == 0 || last == kLine) out.put('\n');
  out.flush();
}

void WriteQuotedPrintable(InputFile& in, std::ostream& out) {
  static const char kHex[] = "0123456789ABCDEF";
  constexpr std::size_t kChunk = 16 * 1024;
  // Characters a line holds before the "=" of a soft line break.
  constexpr std::size_t kRoom = 75;
  std::unique_ptr<char[]> raw(new char[kChunk]);
  // Every byte may take three characters, and every 25 of them a soft line break.
  std::unique_ptr<char[]> encoded(new char[4 * kChunk + 8]);
  std::size_t column = 0;
  // A space read last, written once the next byte tells whether it ends a line.
  bool space = false;
  char* o = nullptr;
  auto encode = [&](unsigned char c) {
    if (column > kRoom - 3) {
      *o++ = '=';
      *o++ = '\n';
      column = 0;
    }
    o[0] = '=';
    o[1] = kHex[c >> 4];
    o[2] = kHex[c & 15];
    o += 3;
    column += 3;
  };
  auto literal = [&](char c) {
    if (column == kRoom) {
      *o++ = '=';
      *o++ = '\n';
      column = 0;
    }
    *o++ = c;
    ++column;
  };
  for (;;) {
    std::size_t n = in.Read(raw.get(), kChunk);
    o = encoded.get();
    if (space && n > 0) {
      space = false;
      if (kQuotedClass[static_cast<unsigned char>(raw[0])] == kLineEnd) {
        encode(' ');
      } else {
        literal(' ');
      }
    }
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char c = static_cast<unsigned char>(raw[i]);
      unsigned char k = kQuotedClass[c];
      if (k == kSpace) {
        if (i + 1 == n) {
          space = true;
          break;
        }
        k = kQuotedClass[static_cast<unsigned char>(raw[i + 1])] == kLineEnd ? kEncoded : kLiteral;
      }
      if (k == kLiteral) {
        literal(static_cast<char>(c));
      } else if (k == kEncoded) {
        encode(c);
      } else {
        *o++ = static_cast<char>(c);
        column = 0;
      }
    }
    if (in.eof() && space) encode(' ');
    out.write(encoded.get(), o - encoded.get());
    if (in.eof()) break;
  }
  out.flush();
}

}  // namespace orv
