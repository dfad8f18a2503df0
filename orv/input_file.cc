#include "orv/input_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace orv {

InputFile::InputFile(const string& path) {
  // Without O_NONBLOCK a FIFO in place of a message would block the open.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) {
    fail_ = true;
    return;
  }
  owns_fd_ = true;
  struct stat st;
  seekable_ = fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
}

InputFile::InputFile(int fd) : fd_(fd) {}

InputFile::~InputFile() {
  Close();
}

void InputFile::Close() {
  if (owns_fd_ && fd_ >= 0) ::close(fd_);
  fd_ = -1;
  owns_fd_ = false;
}

bool InputFile::Fill() {
  begin_ = end_ = 0;
  if (fd_ < 0) return false;
  if (!buffer_) buffer_.reset(new char[kBufferSize]);
  for (;;) {
    ssize_t n = seekable_ ? ::pread(fd_, buffer_.get(), kBufferSize, next_offset_)
                          : ::read(fd_, buffer_.get(), kBufferSize);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail_ = true;
    if (n <= 0) return false;
    end_ = static_cast<std::size_t>(n);
    next_offset_ += n;
    return true;
  }
}

// The second byte of a CR LF or LF CR pair may not have arrived when its line
// was returned; it is taken here, before the next line or offset is looked at,
// so an interactive reader never waits for it.
void InputFile::ResolvePendingTerminator() {
  if (!pending_) return;
  char expected = pending_;
  pending_ = 0;
  if (begin_ == end_ && !Fill()) return;
  if (buffer_[begin_] == expected) ++begin_;
}

bool InputFile::NextPiece(std::string_view* piece, bool* line_end) {
  ResolvePendingTerminator();
  if (begin_ == end_ && !Fill()) {
    eof_ = true;
    if (!in_line_) fail_ = true;
    in_line_ = false;
    return false;
  }
  const char* start = buffer_.get() + begin_;
  std::size_t avail = end_ - begin_;
  const char* lf = static_cast<const char*>(std::memchr(start, '\n', avail));
  std::size_t scan = lf ? static_cast<std::size_t>(lf - start) : avail;
  const char* cr = static_cast<const char*>(std::memchr(start, '\r', scan));
  const char* stop = cr ? cr : lf;
  if (!stop) {
    *piece = std::string_view(start, avail);
    *line_end = false;
    begin_ = end_;
    in_line_ = true;
    return true;
  }
  *piece = std::string_view(start, static_cast<std::size_t>(stop - start));
  *line_end = true;
  in_line_ = false;
  char second = *stop == '\n' ? '\r' : '\n';
  begin_ += piece->size() + 1;
  if (begin_ < end_) {
    if (buffer_[begin_] == second) ++begin_;
  } else {
    pending_ = second;
  }
  return true;
}

std::size_t InputFile::Read(char* out, std::size_t n) {
  ResolvePendingTerminator();
  std::size_t done = 0;
  while (done < n) {
    if (begin_ == end_) {
      // Large reads bypass the buffer, which then no longer matches the
      // offsets around next_offset_ and must not be seeked into.
      if (n - done >= kBufferSize && fd_ >= 0) {
        begin_ = end_ = 0;
        ssize_t got = seekable_ ? ::pread(fd_, out + done, n - done, next_offset_)
                                : ::read(fd_, out + done, n - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail_ = true;
        if (got <= 0) break;
        next_offset_ += got;
        done += static_cast<std::size_t>(got);
        continue;
      }
      if (!Fill()) break;
    }
    std::size_t take = std::min(n - done, end_ - begin_);
    std::memcpy(out + done, buffer_.get() + begin_, take);
    begin_ += take;
    done += take;
  }
  if (done < n) eof_ = true;
  return done;
}

int64_t InputFile::Tell() {
  ResolvePendingTerminator();
  return next_offset_ - static_cast<int64_t>(end_ - begin_);
}

void InputFile::Seek(int64_t offset) {
  pending_ = 0;
  in_line_ = false;
  clear();
  int64_t buffer_start = next_offset_ - static_cast<int64_t>(end_);
  if (offset >= buffer_start && offset <= next_offset_) {
    begin_ = static_cast<std::size_t>(offset - buffer_start);
  } else {
    begin_ = end_ = 0;
    next_offset_ = offset;
  }
}

}  // namespace orv
