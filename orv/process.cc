#include "orv/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "orv/sanitizer.h"

namespace orv {
namespace {

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Moves fd above the standard descriptors, where the child's binding of its
// streams onto 0, 1 and 2 cannot clobber it (ours may have been closed).
int AboveStdio(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  ::close(fd);
  return moved;
}

// The descriptors a child starts with, all above 2 and close-on-exec.
struct ChildDescriptors {
  int streams[3];  // to become its standard input, output and error
  int status;      // write end of the status pipe
};

// Tells the parent which step failed and ends the child, which the parent
// then collects as one that was never run.
[[noreturn]] void FailChild(int status_fd, ChildFailure failure) {
  if (write(status_fd, &failure, sizeof failure) < 0) {
    // The parent then sees a child that ended at once with status 127.
  }
  _exit(127);
}

void CloseDescriptorsAbove2Except(int keep) {
#ifdef SYS_close_range
  const unsigned k = static_cast<unsigned>(keep);
  if ((k == 3 || syscall(SYS_close_range, 3U, k - 1, 0U) == 0) &&
      syscall(SYS_close_range, k + 1, ~0U, 0U) == 0) {
    return;
  }
#endif
  for (int fd = 3, max = static_cast<int>(sysconf(_SC_OPEN_MAX)); fd < max; ++fd) {
    if (fd != keep) ::close(fd);
  }
}

// Everything the child does between fork and exec uses only async-signal-safe
// calls on data prepared before the fork.
[[noreturn]] void RunChild(const char* program, char* const* argv, const ChildDescriptors& fds,
                           const ProcessLimits& limits, const PreparedConfinement& confinement) {
  setpgid(0, 0);
  for (int target = 0; target < 3; ++target) {
    if (dup2(fds.streams[target], target) < 0) {
      FailChild(fds.status, {ChildFailure::kStreams, errno});
    }
  }
  // Ignored signals stay ignored across exec; the child gets the defaults.
  signal(SIGPIPE, SIG_DFL);
  signal(SIGXFSZ, SIG_DFL);
  auto limit = [](int resource, rlim_t value) {
    rlimit rl{value, value};
    setrlimit(resource, &rl);
  };
  // At the hard CPU limit the kernel sends SIGKILL, not SIGXCPU: the hard
  // limit lies one second past the soft one, so SIGXCPU ends the child.
  rlimit cpu{static_cast<rlim_t>(limits.cpu_seconds), static_cast<rlim_t>(limits.cpu_seconds) + 1};
  setrlimit(RLIMIT_CPU, &cpu);
  limit(RLIMIT_FSIZE, static_cast<rlim_t>(limits.file_size));
  // A build with a sanitizer is for tests, so its converters may take
  // the address space their shadow memory needs.
  if (!kSanitizerShadow) limit(RLIMIT_AS, static_cast<rlim_t>(limits.address_space));
  limit(RLIMIT_CORE, 0);
  // The limits are set while we may still raise them; the user and sandbox
  // come last, as they take that power away.
  ChildFailure failure = confinement.Apply();
  if (failure.step != ChildFailure::kNone) FailChild(fds.status, failure);
  CloseDescriptorsAbove2Except(fds.status);
  execv(program, argv);
  FailChild(fds.status, {ChildFailure::kExec, errno});
}

// Why a child was not run, from the step that failed.
string FailureReason(const ChildFailure& failure, const Confinement& confinement) {
  string error = strerror(failure.error);
  switch (failure.step) {
    case ChildFailure::kStreams:
      return "cannot set up its standard streams: " + error;
    case ChildFailure::kUser:
      return "cannot change to user ID " + std::to_string(confinement.user->uid) + ": " + error;
    case ChildFailure::kSandbox:
      return "cannot enter the sandbox: " + error;
    default:
      return error;
  }
}

}  // namespace

struct Process::Child {
  pid_t pid = 0;
  FILE* in = nullptr;
  FILE* out = nullptr;
  FILE* err = nullptr;
  bool reaped = false;
  int status = 0;
  bool timed_out = false;
  int64_t deadline_ms = 0;

  ~Child() {
    for (FILE* f : {in, out, err}) {
      if (f) fclose(f);
    }
    WaitUntilDeadline();
  }

  // Collects the child if it has ended, and with it whatever it left running
  // in its process group, so nothing of the child is still at work once we
  // read its results. True once it has been collected.
  bool Reap(bool block) {
    if (reaped || pid <= 0) return true;
    siginfo_t info;
    int r;
    do {
      info.si_pid = 0;
      r = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT | (block ? 0 : WNOHANG));
    } while (r < 0 && errno == EINTR);
    if (r == 0 && info.si_pid == 0) return false;
    // Until it is collected the child's id names no other process, nor
    // another group.
    if (r == 0) kill(-pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    reaped = true;
    return true;
  }

  void KillGroup() {
    if (pid > 0 && !reaped) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
    }
  }

  void Expire() {
    timed_out = true;
    KillGroup();
    Reap(true);
  }

  void WaitUntilDeadline() {
    if (Reap(false)) return;
    // A pidfd turns the child's end into a readable descriptor; kernels
    // without it are polled.
    int pidfd = -1;
#ifdef SYS_pidfd_open
    pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#endif
    int nap_ms = 1;
    while (!Reap(false)) {
      int64_t left = deadline_ms - NowMs();
      if (left <= 0) {
        Expire();
        break;
      }
      if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        poll(&p, 1, static_cast<int>(std::min<int64_t>(left, 1000)));
      } else {
        poll(nullptr, 0, static_cast<int>(std::min<int64_t>(left, nap_ms)));
        nap_ms = std::min(nap_ms * 2, 50);
      }
    }
    CloseFd(pidfd);
  }
};

Process::Process(const string& program, const std::vector<string>& args, ChildOutput output,
                 const ProcessLimits& limits, const Confinement& confinement) {
  struct stat st;
  if (stat(program.c_str(), &st) != 0) throw FileNotFoundException(errno);
  if (S_ISDIR(st.st_mode)) throw FileNotFoundException(EISDIR);

  std::vector<string> argv_strings;
  argv_strings.reserve(args.size() + 1);
  argv_strings.push_back(program);
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (string& s : argv_strings) argv.push_back(&s[0]);
  argv.push_back(nullptr);

  PreparedConfinement prepared;
  string reason;
  if (!prepared.Prepare(confinement, &reason)) throw StartException(reason, 0);

  // fds.streams are the child's standard streams, parent_fds our ends of
  // them; the child reports a failed start through the status pipe, whose
  // write end closes as the exec succeeds.
  ChildDescriptors fds = {{-1, -1, -1}, -1};
  int parent_fds[3] = {-1, -1, -1};
  int status_read = -1;
  auto close_all = [&] {
    for (int i = 0; i < 3; ++i) {
      CloseFd(fds.streams[i]);
      CloseFd(parent_fds[i]);
    }
    CloseFd(fds.status);
    CloseFd(status_read);
  };
  auto fail = [&](const char* what) {
    int error = errno;
    close_all();
    throw StartException(string(what) + ": " + strerror(error), error);
  };
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0) fail("cannot create a pipe");
  status_read = p[0];
  fds.status = AboveStdio(p[1]);
  if (output == ChildOutput::kDiscard) {
    fds.streams[0] = AboveStdio(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (fds.streams[0] < 0) fail("cannot open /dev/null");
    for (int i = 1; i < 3; ++i) fds.streams[i] = fcntl(fds.streams[0], F_DUPFD_CLOEXEC, 3);
  } else {
    for (int i = 0; i < 3; ++i) {
      if (pipe2(p, O_CLOEXEC) != 0) fail("cannot create a pipe");
      // Standard input is read by the child; the other two are written by it.
      fds.streams[i] = AboveStdio(i == 0 ? p[0] : p[1]);
      parent_fds[i] = i == 0 ? p[1] : p[0];
    }
  }
  if (fds.status < 0 || fds.streams[0] < 0 || fds.streams[1] < 0 || fds.streams[2] < 0) {
    fail("cannot set up descriptors");
  }

  auto child = std::make_shared<Child>();
  child->deadline_ms = NowMs() + int64_t{limits.wall_seconds} * 1000;
  pid_t pid = fork();
  if (pid == 0) RunChild(program.c_str(), argv.data(), fds, limits, prepared);
  if (pid < 0) fail("cannot create a process");
  for (int i = 0; i < 3; ++i) CloseFd(fds.streams[i]);
  CloseFd(fds.status);
  // Set the group here as well, so it exists before we might kill it.
  setpgid(pid, pid);
  child->pid = pid;
  if (output == ChildOutput::kPipes) {
    child->in = fdopen(parent_fds[0], "wb");
    child->out = fdopen(parent_fds[1], "rb");
    child->err = fdopen(parent_fds[2], "rb");
  }
  child_ = std::move(child);

  // Nothing to read means the exec succeeded.
  ChildFailure failure;
  ssize_t n;
  while ((n = ::read(status_read, &failure, sizeof failure)) < 0 && errno == EINTR) {
  }
  CloseFd(status_read);
  if (n == sizeof failure) {
    child_->Reap(true);
    throw StartException(FailureReason(failure, confinement), failure.error);
  }
}

FILE* Process::Stdin() const {
  return child_->in;
}
FILE* Process::Stdout() const {
  return child_->out;
}
FILE* Process::Stderr() const {
  return child_->err;
}

void Process::Wait() {
  child_->WaitUntilDeadline();
}

int Process::TermSignal() const {
  return child_->reaped && WIFSIGNALED(child_->status) ? WTERMSIG(child_->status) : 0;
}

int Process::ExitStatus() const {
  return child_->reaped && WIFEXITED(child_->status) ? WEXITSTATUS(child_->status) : -1;
}

bool Process::TimedOut() const {
  return child_->timed_out;
}

void Process::Capture(std::string* out, std::string* err_head, std::size_t out_max,
                      std::size_t err_max) {
  Child& c = *child_;
  pollfd fds[2] = {{c.out ? fileno(c.out) : -1, POLLIN, 0},
                   {c.err ? fileno(c.err) : -1, POLLIN, 0}};
  char block[16 * 1024];
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    int64_t left = c.deadline_ms - NowMs();
    if (left <= 0) {
      c.Expire();
      throw Exception("time limit", ETIMEDOUT);
    }
    int ready = poll(fds, 2, static_cast<int>(std::min<int64_t>(left, 1000)));
    if (ready < 0) {
      // After an interrupted poll the ready flags mean nothing.
      if (errno == EINTR) continue;
      throw Exception("poll failed", errno);
    }

    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = ::read(fds[i].fd, block, sizeof block);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) {
        fds[i].fd = -1;
        continue;
      }
      std::size_t got = static_cast<std::size_t>(n);
      if (i == 0) {
        if (out->size() + got > out_max) {
          c.KillGroup();
          c.Reap(true);
          throw Exception("output limit", EFBIG);
        }
        out->append(block, got);
      } else if (err_head->size() < err_max) {
        err_head->append(block, std::min(got, err_max - err_head->size()));
      }
    }
  }
}

}  // namespace orv
