// Fuzzes the reading of a mime.types list, ContentTypes::AddMimeTypes: every
// content type it hands out for an extension found in the input must be safe
// to write into a header field as it is, the built-in table must keep its
// extensions, and the limits must hold.
#include <cstdint>
#include <string>
#include <string_view>

#include "app/content_type.h"
#include "fuzz/fuzz_support.h"

namespace {

// "type/subtype" of letters, digits and the few marks type names allow.
FUZZ_UNTRACED bool HeaderSafe(const std::string& type) {
  std::size_t slashes = 0;
  for (char c : type) {
    if (c == '/') {
      ++slashes;
    } else if (std::string_view("!#$&-^_.+").find(c) == std::string_view::npos &&
               !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
      return false;
    }
  }
  return slashes == 1 && type.size() <= 255;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ContentTypes types;
  ContentTypes::MimeTypesCount count = types.AddMimeTypes(text);
  FUZZ_CHECK(count.extensions <= kMaxMimeTypesExtensions);
  FUZZ_CHECK(count.skipped <= size);
  FUZZ_CHECK(types.Of("a.pdf") == "application/pdf");
  FUZZ_CHECK(types.Of("a.PDF") == "application/pdf");
  // Every blank-separated word of the input, tried as an extension.
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of(" \t\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    if (end > pos) {
      const std::string type = types.Of("file." + std::string(text.substr(pos, end - pos)));
      FUZZ_CHECK(HeaderSafe(type));
    }
    pos = end + 1;
  }
  return 0;
}
