// Fuzzes orv::InputFile and orv::getline, which every line of a message and of
// the helper protocol passes through. The input, optionally pushed so that it
// straddles the reader's 64 KiB buffer, is read line by line with a random
// head size and compared with a model of the documented line rules; then the
// reader is sent to recorded and arbitrary offsets with Seek(), mixed with raw
// Read() calls, and must behave exactly like a fresh reader opened there.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "orv/input_file.h"

namespace {

// Reads one line and checks it, and the offset after it, against the model.
FUZZ_UNTRACED void ExpectLine(orv::InputFile& in, const fuzz::ModelLine& want, std::size_t base,
                              std::size_t keep) {
  orv::string head;
  std::string spilled;
  bool ok = orv::getline(in, head, keep, [&](std::string_view piece) { spilled.append(piece); });
  FUZZ_CHECK(ok);
  FUZZ_CHECK(!in.fail());
  FUZZ_CHECK(head == want.text.substr(0, keep));
  if (want.text.size() > keep) {
    FUZZ_CHECK(spilled == want.text);
  } else {
    FUZZ_CHECK(spilled.empty());
  }
  // Only a last line without terminator is returned together with eof().
  FUZZ_CHECK(in.eof() == !want.terminated);
  FUZZ_CHECK(static_cast<std::size_t>(in.Tell()) == base + want.next);
}

FUZZ_UNTRACED void ExpectEnd(orv::InputFile& in, std::size_t keep) {
  orv::string head = "stale";
  bool ok = orv::getline(in, head, keep, [](std::string_view) {});
  FUZZ_CHECK(!ok);
  FUZZ_CHECK(head.empty());
  FUZZ_CHECK(in.eof() && in.fail());
}

// Reads at most max_lines lines from the reader's position, which must be
// offset, and checks them against the model of the content from there on.
FUZZ_UNTRACED void ExpectLinesFrom(orv::InputFile& in, const std::string& content,
                                   std::size_t offset, std::size_t keep, std::size_t max_lines) {
  FUZZ_CHECK(static_cast<std::size_t>(in.Tell()) == offset);
  std::string_view rest;
  if (offset < content.size()) rest = std::string_view(content).substr(offset);
  // One line more than is read tells whether the end must follow.
  std::vector<fuzz::ModelLine> lines = fuzz::ModelLines(rest, max_lines + 1);
  std::size_t n = std::min(lines.size(), max_lines);
  for (std::size_t i = 0; i < n; ++i) ExpectLine(in, lines[i], offset, keep);
  if (n == lines.size()) ExpectEnd(in, keep);
}

fuzz::MemoryFile* file;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  file = new fuzz::MemoryFile();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const uint8_t placement = provider.ConsumeIntegral<uint8_t>();
  const uint8_t keep_choice = provider.ConsumeIntegral<uint8_t>();
  const uint32_t seed = provider.ConsumeIntegral<uint32_t>();
  std::string content = provider.ConsumeRemainingBytesAsString();

  // Filler lines that end just before, or a few bytes into, the buffer's end.
  if (placement & 0x80) {
    std::size_t prefix = orv::InputFile::kBufferSize - 64 + (placement & 0x7F);
    std::string filler;
    // Long lines: the model and the checks cost per line.
    const std::string line = std::string(1000, 'f') + "\n";
    while (filler.size() < prefix) filler += line;
    filler.resize(prefix);
    content.insert(0, filler);
  }
  // Small heads make most lines spill; large ones keep them whole.
  std::size_t keep = keep_choice < 128   ? keep_choice % 16
                     : keep_choice < 192 ? keep_choice
                     : keep_choice < 255 ? orv::InputFile::kBufferSize
                                         : orv::kMaxLineLength;
  file->Write(content);

  orv::InputFile in(file->path());
  FUZZ_CHECK(in.is_open());
  // One pass over everything, keeping where each line began.
  std::vector<fuzz::ModelLine> lines = fuzz::ModelLines(content);
  std::vector<std::size_t> starts;
  std::size_t offset = 0;
  for (const fuzz::ModelLine& line : lines) {
    FUZZ_CHECK(static_cast<std::size_t>(in.Tell()) == offset);
    starts.push_back(offset);
    ExpectLine(in, line, 0, keep);
    offset = line.next;
  }
  ExpectEnd(in, keep);

  // Back to recorded and to arbitrary offsets, in random order.
  fuzz::Random random(seed);
  const unsigned operations = 1 + random.Below(12);
  for (unsigned op = 0; op < operations; ++op) {
    std::size_t to;
    if (!starts.empty() && random.Below(2) == 0) {
      to = starts[random.Below(static_cast<uint32_t>(starts.size()))];
    } else {
      to = random.Below(static_cast<uint32_t>(content.size() + 3));
    }
    in.Seek(static_cast<int64_t>(to));
    FUZZ_CHECK(in.good());
    FUZZ_CHECK(static_cast<std::size_t>(in.Tell()) == to);
    if (random.Below(3) == 0) {
      // Raw bytes, sometimes more than the buffer holds, then lines again.
      std::size_t n =
          random.Below(4) == 0 ? random.Below(3 * orv::InputFile::kBufferSize) : random.Below(200);
      std::string raw(n, '\0');
      std::size_t got = in.Read(raw.data(), n);
      std::size_t available = to < content.size() ? content.size() - to : 0;
      FUZZ_CHECK(got == std::min(n, available));
      FUZZ_CHECK(raw.compare(0, got, content, std::min(to, content.size()), got) == 0);
      FUZZ_CHECK(in.eof() == (got < n));
      if (got < n) continue;
      to += got;
    }
    ExpectLinesFrom(in, content, to, keep, 1 + random.Below(4));
  }
  return 0;
}
