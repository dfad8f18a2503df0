#include "orv/output_file.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace orv {

FdOutBuf::FdOutBuf(int fd, int open_error) : fd_(fd), buffer_(new char[kBufferSize]) {
  setp(buffer_.get(), buffer_.get() + kBufferSize);
  if (fd < 0) error_ = open_error ? open_error : EBADF;
}

FdOutBuf::~FdOutBuf() = default;

bool FdOutBuf::WriteAll(const char* p, std::size_t n) {
  while (n > 0 && !error_) {
    ssize_t done = ::write(fd_, p, n);
    if (done < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
    } else if (done == 0) {
      error_ = EIO;
    } else {
      p += done;
      n -= static_cast<std::size_t>(done);
    }
  }
  return !error_;
}

bool FdOutBuf::Flush() {
  std::size_t n = static_cast<std::size_t>(pptr() - pbase());
  setp(buffer_.get(), buffer_.get() + kBufferSize);
  return WriteAll(buffer_.get(), n);
}

FdOutBuf::int_type FdOutBuf::overflow(int_type c) {
  if (!Flush()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

std::streamsize FdOutBuf::xsputn(const char* s, std::streamsize n) {
  std::size_t count = static_cast<std::size_t>(n);
  std::size_t room = static_cast<std::size_t>(epptr() - pptr());
  if (count <= room) {
    std::memcpy(pptr(), s, count);
    pbump(static_cast<int>(count));
    return n;
  }
  if (!Flush()) return 0;
  if (count >= kBufferSize) return WriteAll(s, count) ? n : 0;
  std::memcpy(pptr(), s, count);
  pbump(static_cast<int>(count));
  return n;
}

namespace {

int OpenForWriting(const string& path, std::ios::openmode mode) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
  if (mode & std::ios::app) {
    flags |= O_APPEND;
  } else if (mode & std::ios::trunc) {
    flags |= O_TRUNC;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0644);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

ofstream::ofstream(const string& path, std::ios::openmode mode)
    : std::ostream(nullptr), fd_(OpenForWriting(path, mode)), buf_(fd_, fd_ < 0 ? errno : 0) {
  rdbuf(&buf_);
  if (fd_ < 0) setstate(std::ios::failbit);
}

ofstream::~ofstream() {
  close();
}

bool ofstream::Sync() {
  if (fd_ < 0) return false;
  if (!buf_.Flush()) return false;
  if (::fsync(fd_) != 0) buf_.set_error(errno);
  return !buf_.error();
}

bool ofstream::close() {
  if (fd_ < 0) return false;
  buf_.Flush();
  if (::close(fd_) != 0) buf_.set_error(errno);
  fd_ = -1;
  if (buf_.error()) setstate(std::ios::badbit);
  return !buf_.error();
}

}  // namespace orv
