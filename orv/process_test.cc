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

const string kSh = "/bin/sh";

// Runs a shell command line and captures both of its output streams.
struct ShellRun {
  explicit ShellRun(const std::string& script, std::size_t out_max = 1 << 20,
                    const ProcessLimits& limits = ProcessLimits(), std::vector<string> more = {})
      : child(
            kSh,
            [&] {
              std::vector<string> args = {"-c", script, "sh"};
              args.insert(args.end(), more.begin(), more.end());
              return args;
            }(),
            ChildOutput::kPipes, limits) {
    child.Capture(&out, &err, out_max);
    child.Wait();
  }
  Process child;
  std::string out, err;
};

bool Gone(pid_t pid) {
  if (kill(pid, 0) != 0)
    return true;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pidField, name, state;
  stat >> pidField >> name >> state;
  return state == "Z";
}

TEST(ProcessTest, MissingProgramOrDirectoryThrows) {
  for (const char* program : {"/nonexistent/program", "/tmp"}) {
    try {
      Process child(program, {});
      ADD_FAILURE() << program;
    } catch (const FileNotFoundException& e) {
      EXPECT_STREQ(e.what(), "FileNotFoundException");
      EXPECT_EQ(e.GetCode(), 0);
    }
  }
}

TEST(ProcessTest, ArgumentsArriveVerbatim) {
  ShellRun run("printf '[%s]' \"$@\"", 1000, ProcessLimits(),
               {"--directory=/a dir/with \"quotes\"", "--verbose", "", "back\\slash"});
  EXPECT_EQ(run.out, "[--directory=/a dir/with \"quotes\"][--verbose][][back\\slash]");
  EXPECT_EQ(run.err, "");
}

TEST(ProcessTest, CapturesLargeOutputOnBothStreamsWithoutDeadlock) {
  ShellRun run("head -c 10000000 /dev/zero >&2 & head -c 10000000 /dev/zero; wait", 20000000);
  EXPECT_EQ(run.out.size(), 10000000u);
  EXPECT_EQ(run.err, std::string(4096, '\0'));
  EXPECT_EQ(run.child.TermSignal(), 0);
  EXPECT_FALSE(run.child.TimedOut());
}

TEST(ProcessTest, KeepsTheStartOfStandardError) {
  ShellRun run("echo out; printf 'line 1\\nline 2\\n' >&2");
  EXPECT_EQ(run.out, "out\n");
  EXPECT_EQ(run.err, "line 1\nline 2\n");
}

TEST(ProcessTest, OutputBeyondTheLimitThrows) {
  Process child(kSh, {"-c", "head -c 100000 /dev/zero; sleep 100"});
  std::string out, err;
  try {
    child.Capture(&out, &err, 1000);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.GetCode(), EFBIG);
  }
  EXPECT_LE(out.size(), 1000u);
  EXPECT_FALSE(child.IsRunning());
  EXPECT_EQ(child.TermSignal(), SIGKILL);
}

TEST(ProcessTest, ChildEndingAtOnceOrNotExecutable) {
  ShellRun quick("exit 3");
  EXPECT_EQ(quick.out, "");
  EXPECT_EQ(quick.child.TermSignal(), 0);

  testing::TempDir dir;
  const std::string script = dir.Write("script", "#!/bin/sh\necho hello\n");
  ASSERT_EQ(chmod(script.c_str(), 0644), 0);
  Process child(script, {});
  std::string out, err;
  child.Capture(&out, &err, 1000);
  child.Wait();
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  EXPECT_EQ(child.TermSignal(), 0);
}

TEST(ProcessTest, NoDescriptorLeaksIntoTheChild) {
  int leaky = open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(leaky, 0);
  ASSERT_GE(dup2(leaky, 40), 0);
  Process child("/bin/ls", {"/proc/self/fd"});
  std::string out, err;
  child.Capture(&out, &err, 1000);
  child.Wait();
  close(leaky);
  close(40);
  // 3 is the descriptor ls reads the listing with.
  EXPECT_EQ(out, "0\n1\n2\n3\n");
}

TEST(ProcessTest, DiscardedOutput) {
  testing::CaptureStdout capture;
  Process child(kSh, {"-c", "echo visible; echo also >&2; cat"}, ChildOutput::kDiscard);
  EXPECT_EQ(child.Stdin(), nullptr);
  EXPECT_EQ(child.Stdout(), nullptr);
  EXPECT_EQ(child.Stderr(), nullptr);
  std::string out, err;
  child.Capture(&out, &err, 10);
  child.Wait();
  EXPECT_EQ(capture.Finish(), "");
  EXPECT_EQ(out + err, "");
  EXPECT_EQ(child.TermSignal(), 0);
}

TEST(ProcessTest, StreamsAreThePipes) {
  Process child(kSh, {"-c", "read line; echo \"got $line\"; echo err >&2"});
  ASSERT_NE(child.Stdin(), nullptr);
  fputs("input\n", child.Stdin());
  fflush(child.Stdin());
  char buf[64] = {};
  ASSERT_NE(fgets(buf, sizeof buf, child.Stdout()), nullptr);
  EXPECT_STREQ(buf, "got input\n");
  ASSERT_NE(fgets(buf, sizeof buf, child.Stderr()), nullptr);
  EXPECT_STREQ(buf, "err\n");
  child.Wait();
  EXPECT_EQ(fgetc(child.Stdout()), EOF);
}

TEST(ProcessTest, IsRunningKillAndSignals) {
  Process child(kSh, {"-c", "sleep 100"});
  Process copy = child;
  EXPECT_TRUE(child.IsRunning());
  child.Kill();
  copy.Wait();
  EXPECT_FALSE(child.IsRunning());
  EXPECT_EQ(child.TermSignal(), SIGKILL);
  EXPECT_FALSE(child.TimedOut());

  ShellRun aborted("kill -s ABRT $$");
  EXPECT_EQ(aborted.child.TermSignal(), SIGABRT);
}

TEST(ProcessTest, WallClockLimitKillsTheGroupSlow) {
  ProcessLimits limits;
  limits.wall_seconds = 1;
  auto start = std::chrono::steady_clock::now();
  Process child(kSh, {"-c", "sleep 100 & echo $!; sleep 100"}, ChildOutput::kPipes, limits);
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
  ASSERT_FALSE(out.empty());
  const pid_t grandchild = std::stoi(out);
  for (int i = 0; i < 100 && !Gone(grandchild); ++i)
    usleep(10000);
  EXPECT_TRUE(Gone(grandchild));
}

TEST(ProcessTest, WaitPastTheWallClockLimitSlow) {
  ProcessLimits limits;
  limits.wall_seconds = 1;
  Process child(kSh, {"-c", "sleep 100"}, ChildOutput::kDiscard, limits);
  auto start = std::chrono::steady_clock::now();
  child.Wait();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(child.TimedOut());
  EXPECT_EQ(child.TermSignal(), SIGKILL);
}

TEST(ProcessTest, CpuLimitSlow) {
  ProcessLimits limits;
  limits.cpu_seconds = 1;
  ShellRun run("while :; do :; done", 1000, limits);
  EXPECT_EQ(run.child.TermSignal(), SIGXCPU);
  EXPECT_FALSE(run.child.TimedOut());
}

}  // namespace
}  // namespace orv
