// orv::Process: starting, arguments, captured output, descriptors, signals and limits.
#include "orv/process.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
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

TEST(ProcessTest, ProgramsThatCannotRun) {
  EXPECT_THROW(Process("/nonexistent/program", {}), FileNotFoundException);
  EXPECT_THROW(Process("/tmp", {}), FileNotFoundException);
  testing::TempDir dir;  // a program that is not executable ends at once, silently
  Outcome run(dir.Write("script", "#!/bin/sh\necho hello\necho err >&2\n"), {});
  EXPECT_EQ(run.out + run.err, "");
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.child.TermSignal(), 0);
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

TEST(ProcessTest, OutputBeyondTheLimitKillsTheChild) {
  Outcome run("/bin/sh", {"-c", "head -c 100000 /dev/zero; sleep 100"}, 1000);
  EXPECT_EQ(run.code, EFBIG);
  EXPECT_EQ(run.child.TermSignal(), SIGKILL);
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

TEST(ProcessTest, TermSignal) {
  EXPECT_EQ(Outcome("/bin/sh", {"-c", "exit 3"}).child.TermSignal(), 0);
  EXPECT_EQ(Outcome("/bin/sh", {"-c", "kill -s ABRT $$"}).child.TermSignal(), SIGABRT);
}

TEST(ProcessTest, WallClockLimitKillsTheGroupSlow) {
  ProcessLimits limits;
  limits.wall_seconds = 1;
  auto start = std::chrono::steady_clock::now();
  Outcome run("/bin/sh", {"-c", "sleep 100 & echo $!; sleep 100"}, 1000, limits);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(run.code, ETIMEDOUT);
  EXPECT_TRUE(run.child.TimedOut());
  EXPECT_EQ(run.child.TermSignal(), SIGKILL);
  const pid_t grandchild = std::stoi(run.out);
  for (int i = 0; i < 100 && !Gone(grandchild); ++i) usleep(10000);
  EXPECT_TRUE(Gone(grandchild));
}

TEST(ProcessTest, CpuLimitSlow) {
  ProcessLimits limits;
  limits.cpu_seconds = 1;
  EXPECT_EQ(Outcome("/bin/sh", {"-c", "while :; do :; done"}, 1000, limits).child.TermSignal(),
            SIGXCPU);
}

}  // namespace
}  // namespace orv
