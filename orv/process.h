// Child processes for the external converters. A child is started without a
// shell, in a process group of its own, under resource limits and a wall-clock
// limit, optionally confined (orv/sandbox.h), with pipes on its standard
// streams (or /dev/null when nobody reads them) and no other descriptor of
// ours. A child that could not be run is reported when it is started, so it
// never passes for one that ran and said nothing. The process runner is the
// only part of the library that throws.
#ifndef ORV_PROCESS_H_
#define ORV_PROCESS_H_

#include <string.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "orv/sandbox.h"
#include "orv/string.h"

namespace orv {

class Exception : public std::exception {
 public:
  Exception() = default;
  explicit Exception(int code) : code_(code) {}
  explicit Exception(const string& message, int code = 0) : message_(message), code_(code) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const string& GetMessage() const { return message_; }
  int GetCode() const { return code_; }

 private:
  string message_;
  int code_ = 0;
};

// The child was not run: nothing reached the program. what() says why, in a
// few words ("Permission denied", "cannot enter the sandbox: ..."); GetCode()
// is the errno value behind it, 0 when there is none.
class StartException : public Exception {
 public:
  StartException(const string& reason, int error) : Exception(reason, error) {}
};

// The program to start is missing or is a directory.
class FileNotFoundException : public StartException {
 public:
  explicit FileNotFoundException(int error) : StartException(strerror(error), error) {}
};

// What a child may use. A child past its CPU or file-size limit is killed by
// the kernel; one past its wall-clock limit is killed with its whole group.
struct ProcessLimits {
  int cpu_seconds = 60;
  int wall_seconds = 120;
  uint64_t file_size = uint64_t{2} << 30;
  uint64_t address_space = uint64_t{2} << 30;
};

enum class ChildOutput {
  kPipes,    // standard streams are pipes to the parent
  kDiscard,  // standard streams are /dev/null
};

// A shared handle to one child: copies refer to the same child, and when the
// last copy goes its streams are closed and the child is waited for (and
// killed with its group once its wall-clock limit has passed).
class Process {
 public:
  // Starts program with args (argv[0] is the program path; arguments are
  // passed verbatim), confined as confinement says. Throws
  // FileNotFoundException when program is missing or a directory, and
  // StartException when the child cannot be created, confined, or exec the
  // program (no execute permission, a missing interpreter, not an executable).
  // A missing shared library shows only once the child has ended: the loader
  // exits with status 127.
  Process(const string& program, const std::vector<string>& args,
          ChildOutput output = ChildOutput::kPipes, const ProcessLimits& limits = ProcessLimits(),
          const Confinement& confinement = Confinement());

  // The parent's ends of the child's standard streams; null with kDiscard.
  FILE* Stdin() const;
  FILE* Stdout() const;
  FILE* Stderr() const;

  // Waits for the child to end, then kills what it left running in its
  // process group; past the wall-clock limit kills the whole group at once.
  void Wait();

  // Reads standard output to its end into *out while draining standard error,
  // of which the first err_max bytes are kept in *err_head. Throws Exception
  // (after killing the group) when the wall-clock limit passes or standard
  // output grows beyond out_max bytes.
  void Capture(std::string* out, std::string* err_head, std::size_t out_max,
               std::size_t err_max = 4096);

  // After the child has been collected: the signal that ended it, 0 if it
  // exited; its exit status, -1 if a signal ended it; and whether it was
  // killed for passing its wall-clock limit.
  int TermSignal() const;
  int ExitStatus() const;
  bool TimedOut() const;

  struct Child;

 private:
  std::shared_ptr<Child> child_;
};

}  // namespace orv

#endif  // ORV_PROCESS_H_
