// orv/sandbox.h: users, scratch directories, and what a confined child can and cannot do.
#include "orv/sandbox.h"

#include <arpa/inet.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "orv/process.h"
#include "orv/testing.h"

namespace orv {
namespace {

TEST(LookUpUserTest, Table) {
  UserIds ids{1, 1};
  string reason;
  ASSERT_TRUE(LookUpUser("root", &ids, &reason));
  EXPECT_EQ(ids.uid, 0u);
  EXPECT_EQ(ids.gid, 0u);
  for (const char* name : {"no-such-user-here", ""}) {
    reason.clear();
    EXPECT_FALSE(LookUpUser(name, &ids, &reason)) << name;
    EXPECT_EQ(reason, "no such user") << name;
  }
}

TEST(HandDirectoryToTest, OwnerAndMode) {
  testing::TempDir dir;
  const std::string scratch = dir.Path("scratch");
  ASSERT_EQ(mkdir(scratch.c_str(), 0755), 0);
  UserIds ids{geteuid(), getegid()};
  string reason;
  if (geteuid() == 0) {
    ASSERT_TRUE(LookUpUser("nobody", &ids, &reason)) << reason;
  }
  ASSERT_TRUE(HandDirectoryTo(scratch, ids));
  struct stat st;
  ASSERT_EQ(stat(scratch.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, ids.uid);
  EXPECT_EQ(st.st_gid, ids.gid);
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  ASSERT_EQ(symlink(scratch.c_str(), dir.Path("link").c_str()), 0);
  EXPECT_FALSE(HandDirectoryTo(dir.Path("link"), ids));
  EXPECT_FALSE(HandDirectoryTo(dir.Write("file", ""), ids));
  EXPECT_FALSE(HandDirectoryTo(dir.Path("missing"), ids));
}

TEST(LandlockAbiTest, TurnedOffForTests) {
  ASSERT_EQ(setenv("VERROWICK_NO_LANDLOCK", "1", 1), 0);
  string reason;
  EXPECT_EQ(LandlockAbi(&reason), 0);
  EXPECT_EQ(reason, "Landlock is turned off by VERROWICK_NO_LANDLOCK");
  unsetenv("VERROWICK_NO_LANDLOCK");
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
    ASSERT_EQ(listen(listener_, 4), 0);
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
    Process child(converter_, {}, ChildOutput::kPipes, ProcessLimits(), Sandbox(abi, user));
    std::string out, err;
    child.Capture(&out, &err, 1 << 16);
    child.Wait();
    return out;
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

// A child that cannot be confined is not run.
TEST_F(ConfinedChildTest, ChildThatCannotBeConfinedIsNotRun) {
  const struct {
    const char* what;
    UserIds user;
    const char* read_write;
    std::string reason;
  } cases[] = {
      {"user root", {0, 0}, nullptr, "cannot change to user ID 0: Operation not permitted"},
      {"group root",
       {nobody_.uid, 0},
       nullptr,
       "cannot change to user ID " + std::to_string(nobody_.uid) + ": Operation not permitted"},
      {"missing scratch directory", nobody_, "/nonexistent/scratch",
       "cannot open /nonexistent/scratch for the sandbox: No such file or directory"},
  };
  for (const auto& c : cases) {
    Confinement confinement = Sandbox(abi_, c.user);
    if (c.read_write) confinement.read_write = {c.read_write};
    try {
      Process child(converter_, {}, ChildOutput::kDiscard, ProcessLimits(), confinement);
      ADD_FAILURE() << c.what << ": started";
    } catch (const StartException& e) {
      EXPECT_EQ(e.what(), c.reason) << c.what;
    }
  }
}

}  // namespace
}  // namespace orv
