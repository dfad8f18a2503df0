// orv::Process: starting, arguments, captured output, descriptors, signals and limits.
#include "orv/process.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "orv/testing.h"

namespace orv {
namespace {

// Starts /bin/sh -c script, captures both output streams and waits.
struct ShellRun {
  explicit ShellRun(const string& script, std::size_t out_max = 1 << 20,
                    const ProcessLimits& limits = ProcessLimits(), std::vector<string> args = {})
      : child("/bin/sh", (args.insert(args.begin(), {"-c", script, "sh"}), args),
              ChildOutput::kPipes, limits) {
    child.Capture(&out, &err, out_max);
    child.Wait();
  }
  Process child;
  std::string out, err;
};

// Whether the process has ended (a zombie nobody collects counts as ended).
bool Gone(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pidField, name, state;
  return !(stat >> pidField >> name >> state) || state == "Z";
}

TEST(ProcessTest, MissingProgramOrDirectoryThrows) {
  for (const char* program : {"/nonexistent/program", "/tmp"}) {
    try {
      Process child(program, {});
      ADD_FAILURE() << program;
    } catch (const FileNotFoundException& e) {
      EXPECT_STREQ(e.what(), "FileNotFoundException");
    }
  }
}

TEST(ProcessTest, ArgumentsArriveVerbatim) {
  ShellRun run("printf '[%s]' \"$@\"", 1000, ProcessLimits(),
               {"--directory=/a dir/with \"quotes\"", "--verbose", "", "back\\slash"});
  EXPECT_EQ(run.out, "[--directory=/a dir/with \"quotes\"][--verbose][][back\\slash]");
}

TEST(ProcessTest, CapturesLargeOutputOnBothStreamsWithoutDeadlock) {
  ShellRun run("head -c 10000000 /dev/zero >&2 & head -c 10000000 /dev/zero; wait", 20000000);
  EXPECT_EQ(run.out.size(), 10000000u);
  EXPECT_EQ(run.err, std::string(4096, '\0'));
  EXPECT_EQ(run.child.TermSignal(), 0);
  ShellRun both("echo out; echo err >&2");
  EXPECT_EQ(both.out + both.err, "out\nerr\n");
}

TEST(ProcessTest, OutputBeyondTheLimitThrows) {
  Process child("/bin/sh", {"-c", "head -c 100000 /dev/zero; sleep 100"});
  std::string out, err;
  try {
    child.Capture(&out, &err, 1000);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.GetCode(), EFBIG);
  }
  EXPECT_FALSE(child.IsRunning());
  EXPECT_EQ(child.TermSignal(), SIGKILL);
}

TEST(ProcessTest, ChildEndingAtOnceOrNotExecutable) {
  ShellRun quick("exit 3");
  EXPECT_EQ(quick.out, "");
  EXPECT_EQ(quick.child.TermSignal(), 0);

  testing::TempDir dir;
  const std::string script = dir.Write("script", "#!/bin/sh\necho hello\necho err >&2\n");
  ASSERT_EQ(chmod(script.c_str(), 0644), 0);
  Process child(script, {});
  std::string out, err;
  child.Capture(&out, &err, 1000);
  child.Wait();
  EXPECT_EQ(out + err, "");
  EXPECT_EQ(child.TermSignal(), 0);
}

TEST(ProcessTest, NoDescriptorLeaksIntoTheChild) {
  int leaky = open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(dup2(leaky, 40), 0);
  ShellRun run("exec /bin/ls /proc/self/fd");
  close(leaky);
  close(40);
  EXPECT_EQ(run.out, "0\n1\n2\n3\n");  // 3 is the one ls reads the listing with
}

TEST(ProcessTest, DiscardedOutput) {
  testing::CaptureStdout capture;
  Process child("/bin/sh", {"-c", "echo visible; echo also >&2; cat"}, ChildOutput::kDiscard);
  EXPECT_EQ(child.Stdout(), nullptr);
  std::string out, err;
  child.Capture(&out, &err, 10);
  child.Wait();
  EXPECT_EQ(capture.Finish() + out + err, "");
  EXPECT_EQ(child.TermSignal(), 0);
}

TEST(ProcessTest, IsRunningKillAndSignals) {
  Process child("/bin/sh", {"-c", "sleep 100"});
  Process copy = child;
  EXPECT_TRUE(child.IsRunning());
  child.Kill();
  copy.Wait();
  EXPECT_FALSE(child.IsRunning());
  EXPECT_EQ(child.TermSignal(), SIGKILL);
  EXPECT_FALSE(child.TimedOut());
  EXPECT_EQ(ShellRun("kill -s ABRT $$").child.TermSignal(), SIGABRT);
}

TEST(ProcessTest, WallClockLimitKillsTheGroupSlow) {
  ProcessLimits limits;
  limits.wall_seconds = 1;
  auto start = std::chrono::steady_clock::now();
  Process child("/bin/sh", {"-c", "sleep 100 & echo $!; sleep 100"}, ChildOutput::kPipes, limits);
  std::string out, err;
  try {
    child.Capture(&out, &err, 1000);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.GetCode(), ETIMEDOUT);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(child.TimedOut());
  EXPECT_EQ(child.TermSignal(), SIGKILL);
  const pid_t grandchild = std::stoi(out);
  for (int i = 0; i < 100 && !Gone(grandchild); ++i) usleep(10000);
  EXPECT_TRUE(Gone(grandchild));
}

TEST(ProcessTest, CpuLimitSlow) {
  ProcessLimits limits;
  limits.cpu_seconds = 1;
  ShellRun run("while :; do :; done", 1000, limits);
  EXPECT_EQ(run.child.TermSignal(), SIGXCPU);
}

}  // namespace
}  // namespace orv
