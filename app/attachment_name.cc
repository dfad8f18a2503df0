#include "app/attachment_name.h"

#include <cstring>

#include "orv/utf8.h"

namespace {

// A name never holds NUL, so "%00" stays as it is.
bool TnefEscapes(unsigned char c) {
  return c != 0 && (c < 0x20 || c == 0x7F || std::strchr("\"%*/:<>?\\|", c));
}

int UpperHexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string NameToUtf8(std::string_view raw, int code_page) {
  if (orv::IsUtf8(raw)) return std::string(raw);
  return orv::CodePageToUtf8(raw, code_page);
}

std::string UndoTnefEscapes(std::string_view on_disk) {
  std::string name;
  for (std::size_t i = 0; i < on_disk.size(); ++i) {
    if (on_disk[i] == '%' && i + 2 < on_disk.size()) {
      int high = UpperHexValue(on_disk[i + 1]), low = UpperHexValue(on_disk[i + 2]);
      if (high >= 0 && low >= 0 && TnefEscapes(static_cast<unsigned char>(high * 16 + low))) {
        name += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    name += on_disk[i];
  }
  return name;
}
