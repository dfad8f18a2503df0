#include "rtf2html/code_page.h"

#include <errno.h>
#include <iconv.h>

#include <map>

#include "orv/code_page_tables.h"
#include "orv/utf8.h"

namespace rtf2html {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The converter to UTF-8 for a code page without a built-in table, opened on
// first use and kept; null when the C library does not know the code page.
iconv_t ConverterFor(int code_page) {
  static struct Converters : std::map<int, iconv_t> {
    ~Converters() {
      for (auto& entry : *this) {
        if (entry.second) iconv_close(entry.second);
      }
    }
  } converters;
  auto it = converters.find(code_page);
  if (it != converters.end()) return it->second;
  std::string name = code_page == kUtf8CodePage ? "UTF-8" : "CP" + std::to_string(code_page);
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = nullptr;
  converters.emplace(code_page, cd);
  return cd;
}

// Drops the control characters that AppendCodePoint drops. Such bytes never
// occur inside a multibyte UTF-8 sequence, so this works on bytes.
void AppendFiltered(const char* p, std::size_t n, std::string* out) {
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c >= 0x20 ? c != 0x7F : (c == '\t' || c == '\n' || c == '\r')) out->push_back(p[i]);
  }
}

std::size_t DecodeWithIconv(iconv_t cd, std::string_view bytes, bool more_follow,
                            std::string* out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  char buffer[4096];
  while (in_left > 0) {
    char* put = buffer;
    std::size_t room = sizeof buffer;
    std::size_t rc = iconv(cd, &in, &in_left, &put, &room);
    int error = rc == static_cast<std::size_t>(-1) ? errno : 0;
    AppendFiltered(buffer, sizeof buffer - room, out);
    if (error == E2BIG || error == 0) continue;
    if (error == EINVAL && more_follow) break;
    // An invalid sequence, or a character cut off by the end of the text.
    AppendCodePoint(kReplacement, out);
    ++in;
    --in_left;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return bytes.size() - in_left;
}

char32_t SymbolCharacter(unsigned char c, const char16_t* western) {
  switch (c) {
    case 0xA7:
      return 0x25AA;  // the square bullet of Wingdings
    case 0xB7:
      return 0x2022;  // the round bullet of Symbol
    default:
      return c < 0x80 ? c : western[c - 0x80];
  }
}

}  // namespace

int CodePageOfCharset(int charset, int document_code_page) {
  switch (charset) {
    case 0:
      return 1252;
    case 2:
      return kSymbolCodePage;
    case 77:
      return 10000;
    case 128:
      return 932;
    case 129:
      return 949;
    case 130:
      return 1361;
    case 134:
      return 936;
    case 136:
      return 950;
    case 161:
      return 1253;
    case 162:
      return 1254;
    case 163:
      return 1258;
    case 177:
    case 181:
      return 1255;
    case 178:
    case 179:
    case 180:
      return 1256;
    case 186:
      return 1257;
    case 204:
      return 1251;
    case 222:
      return 874;
    case 238:
      return 1250;
    case 254:
      return 437;
    case 255:
      return 850;
    default:
      return document_code_page;
  }
}

void AppendCodePoint(char32_t c, std::string* out) {
  if (c < 0x20 ? (c != '\t' && c != '\n' && c != '\r') : c == 0x7F) return;
  orv::AppendUtf8(c, out);
}

std::size_t DecodeBytes(int code_page, std::string_view bytes, bool more_follow, std::string* out) {
  const char16_t* upper = orv::UpperHalf(code_page == kSymbolCodePage ? 1252 : code_page);
  if (!upper) {
    if (iconv_t cd = ConverterFor(code_page)) return DecodeWithIconv(cd, bytes, more_follow, out);
  }
  for (char byte : bytes) {
    unsigned char c = static_cast<unsigned char>(byte);
    char32_t decoded = kReplacement;
    if (code_page == kSymbolCodePage) {
      decoded = SymbolCharacter(c, upper);
    } else if (c < 0x80) {
      decoded = c;
    } else if (upper) {
      decoded = upper[c - 0x80];
    }
    AppendCodePoint(decoded, out);
  }
  return bytes.size();
}

}  // namespace rtf2html
