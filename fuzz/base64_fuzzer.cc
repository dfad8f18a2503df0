// Fuzzes the codecs. Base64 lines are decoded whole by orv::Base64Decode and
// in random pieces, with random flushes, by orv::Base64LineDecoder, the way
// long lines of a winmail.dat body arrive; both must agree with each other and
// with a model of the documented rules, also past the decoder's 64 KiB block
// (the input can be repeated to get there). The encoders must round-trip:
// Base64Encode in both alphabets, and WriteBase64Lines and
// WriteQuotedPrintable over the input held in a file, whose lines must also
// stay within 76 characters and never end in a space.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "orv/codec.h"

namespace {

FUZZ_UNTRACED int ModelValue(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/' || c == ',') return 63;
  if (c == '=') return 64;  // padding
  return -1;
}

// One line decoded group by group; a short last group is padded, the first
// invalid group ends the line, and a group stops at its first padding.
FUZZ_UNTRACED bool ModelDecode(const std::string& line, std::string& out) {
  for (std::size_t i = 0; i < line.size(); i += 4) {
    int v[4];
    for (std::size_t k = 0; k < 4; ++k) {
      v[k] = i + k < line.size() ? ModelValue(static_cast<unsigned char>(line[i + k])) : 64;
      if (v[k] < 0) return false;
    }
    if (v[0] == 64 || v[1] == 64) continue;
    out += static_cast<char>((v[0] << 2) | (v[1] >> 4));
    if (v[2] == 64) continue;
    out += static_cast<char>(((v[1] << 4) | (v[2] >> 2)) & 255);
    if (v[3] == 64) continue;
    out += static_cast<char>(((v[2] << 6) | v[3]) & 255);
  }
  return true;
}

FUZZ_UNTRACED std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    std::size_t lf = text.find('\n', start);
    lines.push_back(text.substr(start, lf == std::string::npos ? lf : lf - start));
    if (lf == std::string::npos) return lines;
    start = lf + 1;
  }
}

// Lines to decode: split at LF, at most 64 of them, the last holding the rest
// LFs and all. Each whole-line decode takes a 64 KiB block, and thousands of
// short lines would make the target slow without finding more.
FUZZ_UNTRACED std::vector<std::string> DecoderLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    std::size_t lf = lines.size() < 63 ? text.find('\n', start) : std::string::npos;
    lines.push_back(text.substr(start, lf == std::string::npos ? lf : lf - start));
    if (lf == std::string::npos) return lines;
    start = lf + 1;
  }
}

FUZZ_UNTRACED void CheckDecoders(const std::string& text, fuzz::Random& random) {
  std::vector<std::string> lines = DecoderLines(text);
  std::vector<bool> whole_ok;
  std::string whole, model;
  for (const std::string& line : lines) {
    std::ostringstream out;
    whole_ok.push_back(orv::Base64Decode(line, out));
    whole += out.str();
    FUZZ_CHECK(ModelDecode(line, model) == whole_ok.back());
  }
  FUZZ_CHECK(whole == model);

  std::ostringstream out;
  {
    orv::Base64LineDecoder decoder(out);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      std::size_t pos = 0;
      while (pos < line.size()) {
        std::size_t n = random.Below(8) == 0 ? random.Below(static_cast<uint32_t>(line.size()) + 1)
                                             : random.Below(9);
        n = std::min(n, line.size() - pos);
        decoder.Feed(std::string_view(line).substr(pos, n));
        pos += n;
        if (random.Below(16) == 0) decoder.Flush();
      }
      if (random.Below(4) == 0) decoder.Feed(std::string_view());
      FUZZ_CHECK(decoder.EndLine() == whole_ok[i]);
    }
    // What is left goes out when the decoder does.
  }
  FUZZ_CHECK(out.str() == whole);
}

FUZZ_UNTRACED void CheckEncoders(const std::string& text) {
  for (bool modified : {false, true}) {
    std::ostringstream encoded;
    orv::Base64Encode(text, encoded, modified);
    const std::string e = encoded.str();
    std::size_t expected = modified ? (text.size() * 4 + 2) / 3 : (text.size() + 2) / 3 * 4;
    FUZZ_CHECK(e.size() == expected);
    FUZZ_CHECK(e.find(modified ? '/' : ',') == std::string::npos);
    std::ostringstream decoded;
    FUZZ_CHECK(orv::Base64Decode(e, decoded));
    FUZZ_CHECK(decoded.str() == text);
  }
}

// Uppercase hex digits only, as the encoder writes them.
FUZZ_UNTRACED int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

fuzz::MemoryFile* file;

FUZZ_UNTRACED void CheckFileEncoders(const std::string& text) {
  file->Write(text);
  {
    orv::InputFile in(file->path());
    std::ostringstream out;
    orv::WriteBase64Lines(in, out);
    std::vector<std::string> lines = SplitLines(out.str());
    // The output ends with LF, so the split ends with an empty string.
    FUZZ_CHECK(!lines.empty() && lines.back().empty());
    lines.pop_back();
    std::ostringstream decoded;
    {
      orv::Base64LineDecoder decoder(decoded);
      for (const std::string& line : lines) {
        FUZZ_CHECK(line.size() <= 76);
        decoder.Feed(line);
        FUZZ_CHECK(decoder.EndLine());
      }
    }
    FUZZ_CHECK(decoded.str() == text);
    bool trailing_empty = text.size() % 57 == 0;
    FUZZ_CHECK(lines.size() == (text.size() + 56) / 57 + (trailing_empty ? 1 : 0));
    if (trailing_empty) FUZZ_CHECK(lines.back().empty());
  }
  {
    orv::InputFile in(file->path());
    std::ostringstream out;
    orv::WriteQuotedPrintable(in, out);
    const std::string q = out.str();
    std::string decoded;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < q.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(q[i]);
      FUZZ_CHECK(c == '\n' || c == '\r' || (c >= 32 && c <= 126));
      if (c == '\n' || c == '\r') {
        // Lines of at most 76 characters, none ending in white space.
        FUZZ_CHECK(i - line_start <= 76);
        FUZZ_CHECK(i == line_start || q[i - 1] != ' ');
        line_start = i + 1;
      }
      if (c != '=') {
        decoded += q[i];
        continue;
      }
      if (i + 1 < q.size() && q[i + 1] == '\n') {  // a soft line break
        FUZZ_CHECK(i + 1 - line_start <= 76);
        line_start = i + 2;
        ++i;
        continue;
      }
      FUZZ_CHECK(i + 2 < q.size());
      int high = HexValue(q[i + 1]), low = HexValue(q[i + 2]);
      FUZZ_CHECK(high >= 0 && low >= 0);
      decoded += static_cast<char>(high * 16 + low);
      i += 2;
    }
    FUZZ_CHECK(q.size() - line_start <= 76);
    FUZZ_CHECK(q.empty() || q.back() != ' ');
    FUZZ_CHECK(decoded == text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  file = new fuzz::MemoryFile();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  fuzz::Random random(provider.ConsumeIntegral<uint32_t>());
  const uint8_t repeat = provider.ConsumeIntegral<uint8_t>();
  std::string text = provider.ConsumeRemainingBytesAsString();
  // Now and then the first line is repeated past the decoder's and the
  // reader's 64 KiB blocks. Only one line grows: Base64Decode takes a block
  // of its own for every line, and many lines would make the target slow.
  std::size_t first_end = std::min(text.find('\n'), text.size());
  if ((repeat & 0xF8) == 0xF8 && first_end > 0) {
    std::size_t target = 88 * 1024 + (repeat & 0x07) * 997;
    std::string unit = text.substr(0, first_end);
    std::string first = unit;
    while (first.size() < target) first += unit;
    text.replace(0, first_end, first);
    // The encoders have no block edge of their own worth that much time.
    CheckDecoders(text, random);
    return 0;
  }
  CheckDecoders(text, random);
  CheckEncoders(text);
  CheckFileEncoders(text);
  return 0;
}
