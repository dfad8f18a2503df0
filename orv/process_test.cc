// orv::Process: starting, arguments, captured output, descriptors, signals and limits.
#include "orv/process.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "orv/testing.h"

namespace orv {
namespace {

// Starts program, captures both output streams and waits; code is the code of
// the Exception that Capture threw, 0 when none.
struct Outcome {
  Outcome(const string& program, const std::vector<string>& args, std::size_t out_max = 1 << 20,
          const ProcessLimits& limits = ProcessLimits(), ChildOutput output = ChildOutput::kPipes)
      : child(program, args, output, limits) {
    try {
      child.Capture(&out, &err, out_max);
    } catch (const Exception& e) {
      code = e.GetCode();
    }
    child.Wait();
  }
  Process child;
  std::string out, err;
  int code = 0;
};

// Whether the process has ended (a zombie nobody collects counts as ended).
bool Gone(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pidField, name, state;
  return !(stat >> pidField >> name >> state) || state == "Z";
}

// A program that cannot be run is reported as the child starts, with the
// reason the exec gave, and the child is collected.
TEST(ProcessTest, ProgramsThatCannotRunAreNotStarted) {
  testing::TempDir dir;
  auto executable = [&](const std::string& name, const std::string& content) {
    std::string path = dir.Write(name, content);
    chmod(path.c_str(), 0755);
    return path;
  };
  const struct {
    const char* what;
    std::string program;
    int error;
    const char* reason;
  } cases[] = {
      {"missing", dir.Path("missing"), ENOENT, "No such file or directory"},
      {"directory", dir.path(), EISDIR, "Is a directory"},
      {"no execute bit", dir.Write("plain", "#!/bin/sh\necho hello\n"), EACCES,
       "Permission denied"},
      {"missing interpreter", executable("orphan", "#!/nonexistent/interp\necho hello\n"), ENOENT,
       "No such file or directory"},
      {"not an executable file", executable("text", "echo hello\n"), ENOEXEC, "Exec format error"},
  };
  for (const auto& c : cases) {
    try {
      Process child(c.program, {});
      ADD_FAILURE() << c.what << ": started";
    } catch (const StartException& e) {
      EXPECT_EQ(e.GetCode(), c.error) << c.what;
      EXPECT_STREQ(e.what(), c.reason) << c.what;
    }
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << c.what << ": a child is left";
  }
  EXPECT_THROW(Process(dir.path(), {}), FileNotFoundException);
}

TEST(ProcessTest, ArgumentsArriveVerbatim) {
  Outcome run("/bin/sh",
              {"-c", "printf '[%s]' \"$@\"", "sh", "--dir=/a b/\"q\"", "", "back\\slash"});
  EXPECT_EQ(run.out, "[--dir=/a b/\"q\"][][back\\slash]");
}

TEST(ProcessTest, CapturesLargeOutputOnBothStreamsWithoutDeadlock) {
  Outcome run("/bin/sh",
              {"-c", "head -c 10000000 /dev/zero >&2 & head -c 10000000 /dev/zero; wait"},
              20000000);
  EXPECT_EQ(run.out.size(), 10000000u);
  EXPECT_EQ(run.err, std::string(4096, '\0'));  // the head of standard error
  EXPECT_EQ(run.child.TermSignal(), 0);
}

TEST(ProcessTest, NoDescriptorLeaksIntoTheChild) {
  int leaky = open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(dup2(leaky, 40), 0);
  Outcome run("/bin/ls", {"/proc/self/fd"});
  close(leaky);
  close(40);
  EXPECT_EQ(run.out, "0\n1\n2\n3\n");  // 3 is the one ls reads the listing with
}

TEST(ProcessTest, DiscardedOutput) {
  ::testing::internal::CaptureStdout();
  Outcome run("/bin/sh", {"-c", "echo visible; echo also >&2; cat"}, 10, ProcessLimits(),
              ChildOutput::kDiscard);
  EXPECT_EQ(run.child.Stdout(), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStdout() + run.out + run.err, "");
  EXPECT_EQ(run.child.TermSignal(), 0);
}

// How the child ended: the code of what Capture threw, the signal, the exit
// status, and whether the wall-clock limit passed.
TEST(ProcessTest, HowTheChildEnded) {
  ProcessLimits cpu, wall;
  cpu.cpu_seconds = 1;
  wall.wall_seconds = 1;
  const struct {
    const char* script;
    ProcessLimits limits;
    int code, signal, status;
  } cases[] = {
      {"exit 3", {}, 0, 0, 3},
      {"kill -s ABRT $$", {}, 0, SIGABRT, -1},
      {"head -c 100000 /dev/zero; sleep 100", {}, EFBIG, SIGKILL, -1},  // output past 1000 bytes
      {"while :; do :; done", cpu, 0, SIGXCPU, -1},
      {"sleep 100", wall, ETIMEDOUT, SIGKILL, -1},
  };
  for (const auto& c : cases) {
    Outcome run("/bin/sh", {"-c", c.script}, 1000, c.limits);
    EXPECT_EQ(run.code, c.code) << c.script;
    EXPECT_EQ(run.child.TermSignal(), c.signal) << c.script;
    EXPECT_EQ(run.child.ExitStatus(), c.status) << c.script;
    EXPECT_EQ(run.child.TimedOut(), c.code == ETIMEDOUT) << c.script;
  }
}

// What the child left running in its group ends with it, and with it when its time is up.
TEST(ProcessTest, TheGroupEndsWithTheChild) {
  ProcessLimits limits;
  limits.wall_seconds = 1;
  for (const char* script :
       {"sleep 100 >/dev/null 2>&1 & echo $!", "sleep 100 & echo $!; sleep 100"}) {
    const auto start = std::chrono::steady_clock::now();
    Outcome run("/bin/sh", {"-c", script}, 1000, limits);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << script;
    const pid_t grandchild = std::stoi(run.out);
    for (int i = 0; i < 100 && !Gone(grandchild); ++i) usleep(10000);
    EXPECT_TRUE(Gone(grandchild)) << script;
  }
}

}  // namespace
}  // namespace orv
