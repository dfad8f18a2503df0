// An output file stream that reports every failure. Files that take a
// message's place (the rewritten mailbox file, the queue file) are written
// through it: a failed write, flush, fsync or close is remembered, so the
// caller can refuse to use a file that is not complete.
#ifndef ORV_OUTPUT_FILE_H_
#define ORV_OUTPUT_FILE_H_

#include <ios>
#include <memory>
#include <ostream>
#include <streambuf>

#include "orv/string.h"

namespace orv {

class FdOutBuf : public std::streambuf {
 public:
  static constexpr std::size_t kBufferSize = 64 * 1024;
  // open_error is the errno of a failed open (fd < 0); EBADF when not given.
  explicit FdOutBuf(int fd, int open_error = 0);
  ~FdOutBuf() override;
  // Writes out what is buffered; false when any write so far has failed.
  bool Flush();
  // The errno of the first failure, 0 when none.
  int error() const { return error_; }
  void set_error(int e) {
    if (!error_) error_ = e;
  }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override { return Flush() ? 0 : -1; }

 private:
  bool WriteAll(const char* p, std::size_t n);

  int fd_;
  std::unique_ptr<char[]> buffer_;
  int error_ = 0;
};

class ofstream : public std::ostream {
 public:
  // Opens (creates with mode 0644) path for writing; mode may hold
  // std::ios::trunc or std::ios::app. On failure is_open() is false and the
  // stream is in a failed state; no exception is raised.
  ofstream(const string& path, std::ios::openmode mode);
  ~ofstream() override;
  ofstream(const ofstream&) = delete;
  ofstream& operator=(const ofstream&) = delete;

  bool is_open() const { return fd_ >= 0; }
  // Flushes and fsyncs the file; false if that or any earlier write failed.
  bool Sync();
  // Flushes and closes; false if that or any earlier write failed.
  bool close();
  // The errno of the first failure, 0 when none.
  int error() const { return buf_.error(); }

 private:
  int fd_;
  FdOutBuf buf_;
};

}  // namespace orv

#endif  // ORV_OUTPUT_FILE_H_
