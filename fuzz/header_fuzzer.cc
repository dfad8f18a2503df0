// Fuzzes the header reading of the message scan: ReadHeaderBlock over the
// input held in a file, which must stop right after the first empty line (or
// at the end of input), and GetHeaderParameter on the input split into a
// header field and a parameter name.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "app/mime_scan.h"
#include "fuzz/fuzz_support.h"
#include "orv/string.h"

namespace {

fuzz::MemoryFile* file;

FUZZ_UNTRACED void CheckHeaderBlock(const std::string& content) {
  file->Write(content);
  orv::InputFile in(file->path());
  FUZZ_CHECK(in.is_open());
  PartHeaders headers;
  headers.content_type = "stale";
  bool ok = ReadHeaderBlock(in, headers);
  // Inputs here stay far below the 1 MiB limit on a field.
  FUZZ_CHECK(ok);
  // The block ends with the first line that is empty: blank continuation
  // lines do not end it.
  std::size_t end = content.size();
  for (const fuzz::ModelLine& line : fuzz::ModelLines(content)) {
    if (line.text.empty()) {
      end = line.next;
      break;
    }
  }
  FUZZ_CHECK(static_cast<std::size_t>(in.Tell()) == end);
  // A media type holds no separator; ASCII capitals are folded.
  for (char c : headers.content_type) {
    FUZZ_CHECK(c != ' ' && c != '\t' && c != '"' && c != ';');
    FUZZ_CHECK(c < 'A' || c > 'Z');
  }
}

FUZZ_UNTRACED void CheckParameter(const orv::string& header, const orv::string& key) {
  orv::string value = "unchanged";
  bool found = GetHeaderParameter(header, key, value);
  // The match ignores case: look for key= with folded bytes.
  std::string folded_header = header.ToLower();
  std::string needle = orv::string(key + "=").ToLower();
  std::size_t at = folded_header.find(needle);
  FUZZ_CHECK(found == (at != std::string::npos));
  if (!found) {
    FUZZ_CHECK(value == "unchanged");
    return;
  }
  // The value is taken from right after the first match.
  std::size_t p = at + needle.size();
  if (p < header.size() && header[p] == '"') {
    FUZZ_CHECK(header.compare(p + 1, value.size(), value) == 0);
    FUZZ_CHECK(value.find('"') == std::string::npos);
  } else {
    FUZZ_CHECK(header.compare(p, value.size(), value) == 0);
    FUZZ_CHECK(value.find_first_of(" \t;\"") == std::string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  file = new fuzz::MemoryFile();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string content(reinterpret_cast<const char*>(data), size);
  CheckHeaderBlock(content);

  // The same bytes as a parameter name and a field: the name is what
  // precedes the first NUL (short, like the real ones), the field the rest.
  std::size_t nul = content.find('\0');
  if (nul != std::string::npos) {
    CheckParameter(orv::string(content.substr(nul + 1)), orv::string(content.substr(0, nul)));
  } else {
    CheckParameter(orv::string(content), "boundary");
    CheckParameter(orv::string(content), "name");
  }
  return 0;
}
