// A buffered reader over a file descriptor that keeps track of its own offset.
// The message scanner notes positions after every line and seeks back to them,
// so the offset is known without asking the kernel, and a line of any length
// can be handled piece by piece straight from the buffer.
#ifndef ORV_INPUT_FILE_H_
#define ORV_INPUT_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "orv/string.h"

namespace orv {

class InputFile {
 public:
  static constexpr std::size_t kBufferSize = 64 * 1024;

  InputFile() = default;
  // Opens path for reading; on failure is_open() is false and fail() true.
  explicit InputFile(const string& path);
  // Reads from an inherited descriptor (standard input), which is not closed.
  explicit InputFile(int fd);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Close();

  // The next piece of the current line, valid until the next call on this
  // reader. *line_end tells whether the line's terminator (LF, CR, CR LF or
  // LF CR) followed the piece; it is consumed and never part of a piece.
  // Returns false at end of input or on a read error, setting eof(), and also
  // fail() when no byte of a line had been read.
  bool NextPiece(std::string_view* piece, bool* line_end);

  // Reads up to n raw bytes; returns how many, 0 at end of input (eof() set).
  std::size_t Read(char* out, std::size_t n);

  // The offset of the next byte to be read.
  int64_t Tell();
  // Moves to offset and clears eof() and fail(). Only for regular files.
  void Seek(int64_t offset);

  bool eof() const { return eof_; }
  bool fail() const { return fail_; }
  bool good() const { return !eof_ && !fail_; }
  void clear() { eof_ = fail_ = false; }

 private:
  bool Fill();
  void ResolvePendingTerminator();

  int fd_ = -1;
  bool owns_fd_ = false;
  bool seekable_ = false;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  int64_t next_offset_ = 0;  // file offset of buffer_[end_]
  char pending_ = 0;         // second byte of a two-byte terminator not seen yet
  bool in_line_ = false;     // bytes of the current line have been returned
  bool eof_ = false;
  bool fail_ = false;
};

// Longest line that getline() keeps by default; the rest of a longer line is
// read and dropped.
constexpr std::size_t kMaxLineLength = 1024 * 1024;

// Reads one line, without its terminator, keeping its first `keep` bytes in
// head. When the line is longer, all of its bytes, from the first, are handed
// in order to spill(std::string_view) as well. A last line without a
// terminator is returned with eof() set; at end of input with nothing read,
// head is empty and eof() and fail() are set. Returns !in.fail().
template <typename Spill>
bool getline(InputFile& in, string& head, std::size_t keep, Spill&& spill) {
  head.clear();
  bool spilling = false;
  std::string_view piece;
  bool line_end = false;
  while (in.NextPiece(&piece, &line_end)) {
    if (spilling) {
      spill(piece);
    } else if (piece.size() <= keep - head.size()) {
      head.append(piece);
    } else {
      std::size_t room = keep - head.size();
      head.append(piece.substr(0, room));
      spilling = true;
      spill(std::string_view(head));
      spill(piece.substr(room));
    }
    if (line_end) break;
  }
  return !in.fail();
}

// getline() that drops whatever lies beyond max bytes.
inline bool getline(InputFile& in, string& line, std::size_t max = kMaxLineLength) {
  return getline(in, line, max, [](std::string_view) {});
}

}  // namespace orv

#endif  // ORV_INPUT_FILE_H_
