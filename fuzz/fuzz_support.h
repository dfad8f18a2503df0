// Shared pieces of the fuzz targets: the input held in a file the reader can
// open by name (the scanner opens messages by path and seeks in them, so the
// targets must too), a model of how the reader splits lines to check it
// against, a seeded generator for the random choices a target makes, and the
// check that stops the run when a property fails.
#ifndef FUZZ_FUZZ_SUPPORT_H_
#define FUZZ_FUZZ_SUPPORT_H_

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// A failed property is a crash for libFuzzer; the message says which one.
#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)

// For the targets' own checking code: its comparisons would otherwise be
// traced like those of the code under test, slowing every run and steering
// the fuzzer towards the checks instead of the filter.
#define FUZZ_UNTRACED __attribute__((no_sanitize("coverage")))

namespace fuzz {

// A small deterministic generator, so a crash reproduces from its input alone.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed | 1) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t Below(uint32_t n) { return n == 0 ? 0 : Next() % n; }

 private:
  uint32_t state_;
};

// An anonymous in-memory file, reopened by path so that the reader sees a
// regular, seekable file of its own. Nothing is left behind on disk.
class MemoryFile {
 public:
  MemoryFile() {
    fd_ = memfd_create("verrowick-fuzz", MFD_CLOEXEC);
    if (fd_ < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Replaces the file's content.
  void Write(std::string_view data) {
    if (ftruncate(fd_, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < data.size()) {
      ssize_t n = pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(done));
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
  }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// One line as the reader must deliver it: its bytes and the offset just after
// its terminator (or the end of input for a last line without one).
struct ModelLine {
  std::string text;
  std::size_t next = 0;
  bool terminated = false;
};

// Splits data the way orv::InputFile documents it: a line ends at LF, CR,
// CR LF or LF CR, and a last line without a terminator still counts. Stops
// after max_lines lines.
FUZZ_UNTRACED inline std::vector<ModelLine> ModelLines(std::string_view data,
                                                       std::size_t max_lines = SIZE_MAX) {
  std::vector<ModelLine> lines;
  std::size_t start = 0;
  while (start < data.size() && lines.size() < max_lines) {
    std::size_t stop = start;
    while (stop < data.size() && data[stop] != '\r' && data[stop] != '\n') ++stop;
    ModelLine line;
    line.text = std::string(data.substr(start, stop - start));
    if (stop == data.size()) {
      line.next = data.size();
    } else {
      line.terminated = true;
      char second = data[stop] == '\n' ? '\r' : '\n';
      line.next = stop + 1;
      if (line.next < data.size() && data[line.next] == second) ++line.next;
    }
    start = line.next;
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace fuzz

#endif  // FUZZ_FUZZ_SUPPORT_H_
