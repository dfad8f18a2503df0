#include "orv/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "orv/file_system.h"

namespace orv {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

int64_t NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Everything the child does between fork and exec uses only async-signal-safe
// calls on data prepared before the fork.
[[noreturn]] void RunChild(const char* program, char* const* argv, const int* fds,
                           const ProcessLimits& limits) {
  setpgid(0, 0);
  // Our own standard descriptors may have been closed, so a pipe end can sit
  // on 0, 1 or 2: move all three out of the way before binding them.
  int moved[3];
  for (int i = 0; i < 3; ++i) {
    moved[i] = fds[i] < 0 ? -1 : fcntl(fds[i], F_DUPFD_CLOEXEC, 3);
    if (moved[i] < 0) _exit(0);
  }
  for (int target = 0; target < 3; ++target) {
    if (dup2(moved[target], target) < 0) _exit(0);
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
  // In a build with AddressSanitizer the converters of the same build reserve
  // terabytes of shadow memory as they start, which no address-space limit
  // allows; such a build is for tests, so the limit is left out there.
  if (!kAddressSanitizer) limit(RLIMIT_AS, static_cast<rlim_t>(limits.address_space));
  limit(RLIMIT_CORE, 0);
#ifdef SYS_close_range
  if (syscall(SYS_close_range, 3U, ~0U, 0U) != 0)
#endif
  {
    for (int fd = 3, max = static_cast<int>(sysconf(_SC_OPEN_MAX)); fd < max; ++fd) ::close(fd);
  }
  execv(program, argv);
  _exit(0);
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

  // Collects the child if it has ended; true once it has been collected.
  bool Reap(bool block) {
    if (reaped || pid <= 0) return true;
    for (;;) {
      pid_t r = waitpid(pid, &status, block ? 0 : WNOHANG);
      if (r < 0 && errno == EINTR) continue;
      if (r == 0) return false;
      reaped = true;
      return true;
    }
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
                 const ProcessLimits& limits) {
  if (!FileExists(program)) throw FileNotFoundException();

  std::vector<string> argv_strings;
  argv_strings.reserve(args.size() + 1);
  argv_strings.push_back(program);
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (string& s : argv_strings) argv.push_back(&s[0]);
  argv.push_back(nullptr);

  // child_fds are the child's standard streams; parent_fds our ends of them.
  int child_fds[3] = {-1, -1, -1};
  int parent_fds[3] = {-1, -1, -1};
  auto close_all = [&] {
    for (int i = 0; i < 3; ++i) {
      CloseFd(child_fds[i]);
      CloseFd(parent_fds[i]);
    }
  };
  if (output == ChildOutput::kDiscard) {
    int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int i = 0; i < 3; ++i) child_fds[i] = i == 0 ? null_fd : dup(null_fd);
  } else {
    for (int i = 0; i < 3; ++i) {
      int p[2];
      if (pipe2(p, O_CLOEXEC) != 0) {
        close_all();
        throw Exception("Unknown Error", 0);
      }
      // Standard input is read by the child; the other two are written by it.
      child_fds[i] = i == 0 ? p[0] : p[1];
      parent_fds[i] = i == 0 ? p[1] : p[0];
    }
  }

  auto child = std::make_shared<Child>();
  child->deadline_ms = NowMs() + int64_t{limits.wall_seconds} * 1000;
  pid_t pid = fork();
  if (pid == 0) RunChild(program.c_str(), argv.data(), child_fds, limits);
  for (int i = 0; i < 3; ++i) CloseFd(child_fds[i]);
  if (pid < 0) {
    close_all();
    throw Exception("Unknown Error", 0);
  }
  // Set the group here as well, so it exists before we might kill it.
  setpgid(pid, pid);
  child->pid = pid;
  if (output == ChildOutput::kPipes) {
    child->in = fdopen(parent_fds[0], "wb");
    child->out = fdopen(parent_fds[1], "rb");
    child->err = fdopen(parent_fds[2], "rb");
  }
  child_ = std::move(child);
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

bool Process::IsRunning() {
  if (!child_ || child_->pid <= 0 || child_->reaped) return false;
  child_->Reap(false);
  return true;
}

void Process::Wait() {
  child_->WaitUntilDeadline();
}

void Process::Kill() {
  child_->KillGroup();
}

int Process::TermSignal() const {
  return child_->reaped && WIFSIGNALED(child_->status) ? WTERMSIG(child_->status) : 0;
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
