// orv::Process and the confinement of its children (orv/sandbox.h): starting,
// arguments, captured output, descriptors, signals, limits, users, scratch
// directories, and what a confined child can and cannot do.
#include "orv/process.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <utility>

#include "orv/testing.h"

namespace orv {
namespace {

// Starts program, captures both output streams and waits; code is the code of
// the Exception that Capture threw, 0 when none.
struct Outcome {
  Outcome(const string& program, const std::vector<string>& args, std::size_t out_max = 1 << 20,
          const ProcessLimits& limits = ProcessLimits(), ChildOutput output = ChildOutput::kPipes,
          const Confinement& confinement = Confinement())
      : child(program, args, output, limits, confinement) {
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

// Why program was not started: the errno value and the reason; {0, "started"} when it was.
std::pair<int, std::string> NotStarted(const string& program,
                                       const Confinement& confinement = Confinement()) {
  try {
    Process child(program, {}, ChildOutput::kDiscard, ProcessLimits(), confinement);
    return {0, "started"};
  } catch (const StartException& e) {
    return {e.GetCode(), e.what()};
  }
}

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
      {"not an executable file", executable("text", "echo hello\n"), ENOEXEC, "Exec format error"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NotStarted(c.program), std::make_pair(c.error, std::string(c.reason))) << c.what;
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

TEST(LookUpUserTest, Table) {
  UserIds ids{1, 1};
  string reason;
  ASSERT_TRUE(LookUpUser("root", &ids, &reason));
  EXPECT_EQ(ids.uid + ids.gid, 0u);
  EXPECT_FALSE(LookUpUser("no-such-user-here", &ids, &reason));
  EXPECT_EQ(reason, "no such user");
}

// A fake converter in its program directory, beside the base directory's
// other entries, with a scratch directory of its own and another one's; it
// tries to get out, names each attempt that got through, and ends with its
// user ID.
class ConfinedChildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "the converters change user only when we run as root";
    string reason;
    abi_ = LandlockAbi(&reason);
    if (abi_ == 0) GTEST_SKIP() << "no Landlock here: " << reason;
    ASSERT_TRUE(LookUpUser("nobody", &nobody_, &reason)) << reason;

    ASSERT_EQ(chmod(base_.path().c_str(), 0711), 0);  // nobody may pass through
    for (const char* name : {"program", "scratch", "other"}) {
      ASSERT_EQ(mkdir(base_.Path(name).c_str(), 0755), 0);
    }
    ASSERT_TRUE(HandDirectoryTo(base_.Path("scratch"), nobody_));
    ASSERT_TRUE(HandDirectoryTo(base_.Path("other"), nobody_));

    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(listen(listener_, 64), 0);  // room for the connection of every run
    ASSERT_EQ(getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size), 0);

    planted_ = "/tmp/verrowick-sandbox-test." + std::to_string(getpid());
    const std::pair<std::string, std::string> attempts[] = {
        {"write in its scratch directory", "echo x > " + base_.Path("scratch/made")},
        {"write in its program directory", "echo x > " + base_.Path("program/planted")},
        {"write in the base directory", "echo x > " + base_.Path("planted")},
        {"write in /tmp", "echo x > " + planted_},
        {"write in another scratch directory", "echo x > " + base_.Path("other/planted")},
        {"read /etc/shadow", "read -r line < /etc/shadow"},
        {"connect to 127.0.0.1",
         "exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(ntohs(address.sin_port))},
    };
    std::string script = "#!/bin/bash\n";
    for (const auto& [what, command] : attempts)
      script += "(" + command + ") && echo " + what + "\n";
    converter_ = base_.Write("program/converter", script + "echo \"user $(id -u)\"\n");
    ASSERT_EQ(chmod(converter_.c_str(), 0755), 0);
  }

  void TearDown() override {
    if (listener_ >= 0) close(listener_);
    if (!planted_.empty()) unlink(planted_.c_str());
  }

  Confinement Sandbox(int abi, std::optional<UserIds> user) const {
    Confinement c;
    c.user = user;
    c.landlock_abi = abi;
    c.read_exec = SystemReadPaths();
    c.read_exec.push_back("/nonexistent/directory");  // skipped
    c.read_exec.push_back(base_.Path("program"));
    c.read_write = {base_.Path("scratch")};
    return c;
  }

  // What the converter says, run under Landlock version abi (0: none) as user.
  std::string Run(int abi, std::optional<UserIds> user) {
    return Outcome(converter_, {}, 1000, ProcessLimits(), ChildOutput::kPipes, Sandbox(abi, user))
        .out;
  }

  testing::TempDir base_;
  UserIds nobody_;
  int abi_ = 0;
  int listener_ = -1;
  std::string planted_;
  std::string converter_;
};

TEST_F(ConfinedChildTest, OnlyItsScratchDirectoryIsOpen) {
  const std::string nobody = "user " + std::to_string(nobody_.uid) + "\n";
  const std::string own = "write in its scratch directory\n", connect = "connect to 127.0.0.1\n";
  // Landlock holds at every version, for root too; connecting fails from version 4 on.
  for (int abi = 1; abi <= abi_; ++abi) {
    EXPECT_EQ(Run(abi, nobody_), own + (abi < 4 ? connect : "") + nobody) << "version " << abi;
  }
  EXPECT_EQ(Run(abi_, std::nullopt), own + (abi_ < 4 ? connect : "") + "user 0\n");
  // The user alone keeps the child out of root's files, not out of /tmp, the
  // network or the other scratch directories of that user.
  EXPECT_EQ(Run(0, nobody_),
            own + "write in /tmp\nwrite in another scratch directory\n" + connect + nobody);
}

// The scratch directory was handed to nobody as the test was set up.
TEST_F(ConfinedChildTest, HandDirectoryTo) {
  struct stat st;
  ASSERT_EQ(stat(base_.Path("scratch").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, nobody_.uid);
  EXPECT_EQ(st.st_gid, nobody_.gid);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  ASSERT_EQ(symlink(base_.Path("scratch").c_str(), base_.Path("link").c_str()), 0);
  for (const char* name : {"link", "program/converter", "missing"})
    EXPECT_FALSE(HandDirectoryTo(base_.Path(name), nobody_)) << name;
}

// A child that cannot be confined is not run.
TEST_F(ConfinedChildTest, ChildThatCannotBeConfinedIsNotRun) {
  const std::string denied = ": Operation not permitted", nobody = std::to_string(nobody_.uid);
  EXPECT_EQ(NotStarted(converter_, Sandbox(abi_, UserIds{0, 0})).second,
            "cannot change to user ID 0" + denied);
  EXPECT_EQ(NotStarted(converter_, Sandbox(abi_, UserIds{nobody_.uid, 0})).second,
            "cannot change to user ID " + nobody + denied);  // group root
  Confinement missing = Sandbox(abi_, nobody_);
  missing.read_write = {"/nonexistent/scratch"};
  EXPECT_EQ(NotStarted(converter_, missing).second,
            "cannot open /nonexistent/scratch for the sandbox: No such file or directory");
}

}  // namespace
}  // namespace orv
