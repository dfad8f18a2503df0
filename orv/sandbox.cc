#include "orv/sandbox.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/landlock.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

#include "orv/sanitizer.h"

// Rights and fields of Landlock versions newer than the oldest headers we
// build with; the kernel tells at run time which of them it knows.
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif
#ifndef LANDLOCK_ACCESS_FS_IOCTL_DEV
#define LANDLOCK_ACCESS_FS_IOCTL_DEV (1ULL << 15)
#endif
#ifndef LANDLOCK_ACCESS_NET_BIND_TCP
#define LANDLOCK_ACCESS_NET_BIND_TCP (1ULL << 0)
#define LANDLOCK_ACCESS_NET_CONNECT_TCP (1ULL << 1)
#endif
#ifndef LANDLOCK_SCOPE_ABSTRACT_UNIX_SOCKET
#define LANDLOCK_SCOPE_ABSTRACT_UNIX_SOCKET (1ULL << 0)
#define LANDLOCK_SCOPE_SIGNAL (1ULL << 1)
#endif

namespace orv {
namespace {

// The ruleset attribute as of version 6; older kernels are given only the
// fields they know.
struct RulesetAttr {
  uint64_t handled_access_fs;
  uint64_t handled_access_net;
  uint64_t scoped;
};

constexpr uint64_t kReadExecute =
    LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
// Files and directories may be made, changed and removed; links, devices,
// pipes and sockets may not be made, and nothing may be executed.
constexpr uint64_t kReadWrite = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR |
                                LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_TRUNCATE |
                                LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                                LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_DIR;
// The rights that mean something on a file that is not a directory.
constexpr uint64_t kFileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE |
                                 LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_TRUNCATE |
                                 LANDLOCK_ACCESS_FS_IOCTL_DEV;

// Every file-system right that version abi knows: all of them are denied
// unless a rule allows them.
uint64_t HandledFs(int abi) {
  uint64_t rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;  // version 1
  if (abi >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
  if (abi >= 3) rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
  if (abi >= 5) rights |= LANDLOCK_ACCESS_FS_IOCTL_DEV;
  return rights;
}

// Raw calls, so that the child neither enters the C library's machinery that
// changes the ids of all threads nor meets the 16-bit ids of older ABIs.
#ifdef SYS_setuid32
constexpr long kSetGroups = SYS_setgroups32, kSetGid = SYS_setgid32, kSetUid = SYS_setuid32;
#else
constexpr long kSetGroups = SYS_setgroups, kSetGid = SYS_setgid, kSetUid = SYS_setuid;
#endif

// Changes to user and checks that no way back to root is left.
bool TakeUser(const UserIds& user) {
  if (syscall(kSetGroups, 0, nullptr) != 0 || syscall(kSetGid, user.gid) != 0 ||
      syscall(kSetUid, user.uid) != 0) {
    return false;
  }
  uid_t ruid, euid, suid;
  gid_t rgid, egid, sgid;
  if (getresuid(&ruid, &euid, &suid) != 0 || getresgid(&rgid, &egid, &sgid) != 0) return false;
  if (ruid == 0 || euid == 0 || suid == 0 || rgid == 0 || egid == 0 || sgid == 0 ||
      getgroups(0, nullptr) != 0 || syscall(kSetUid, 0) == 0) {
    errno = EPERM;
    return false;
  }
  return true;
}

}  // namespace

bool LookUpUser(const string& name, UserIds* ids, string* reason) {
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 4096);
  passwd entry;
  passwd* found = nullptr;
  int error;
  while ((error = getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found)) ==
             ERANGE &&
         buffer.size() < (1u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (found) {
    ids->uid = found->pw_uid;
    ids->gid = found->pw_gid;
    return true;
  }
  // Not finding the name is no error, though some systems report one for it.
  *reason = error == 0 || error == ENOENT || error == ESRCH ? "no such user" : strerror(error);
  return false;
}

bool HandDirectoryTo(const string& dir, const UserIds& ids) {
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  bool done = fchown(fd, ids.uid, ids.gid) == 0 && fchmod(fd, 0700) == 0;
  int error = errno;
  close(fd);
  errno = error;
  return done;
}

int LandlockAbi(string* reason) {
  const char* off = getenv("VERROWICK_NO_LANDLOCK");
  if (off && strcmp(off, "1") == 0) {
    *reason = "Landlock is turned off by VERROWICK_NO_LANDLOCK";
    return 0;
  }
  long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  if (abi > 0) return static_cast<int>(abi);
  if (errno == ENOSYS) {
    *reason = "the kernel does not offer Landlock (Linux 5.13 or later is needed)";
  } else if (errno == EOPNOTSUPP) {
    *reason = "Landlock is not enabled in this kernel (see the lsm= boot parameter)";
  } else {
    *reason = string("Landlock cannot be used: ") + strerror(errno);
  }
  return 0;
}

std::vector<string> SystemReadPaths() {
  std::vector<string> paths = {"/usr",          "/lib", "/lib64", "/bin", "/etc/ld.so.cache",
                               "/etc/localtime"};
  if (kSanitizerShadow) paths.push_back("/proc");
  return paths;
}

PreparedConfinement::~PreparedConfinement() {
  if (ruleset_ >= 0) close(ruleset_);
}

bool PreparedConfinement::Prepare(const Confinement& c, string* reason) {
  change_user_ = c.user.has_value() && geteuid() == 0;
  if (change_user_) user_ = *c.user;
  if (c.landlock_abi <= 0) return true;

  const int abi = c.landlock_abi;
  RulesetAttr attr{HandledFs(abi), 0, 0};
  std::size_t size = sizeof attr.handled_access_fs;
  if (abi >= 4) {
    // No rule for any port: every bind and connect is denied.
    attr.handled_access_net = LANDLOCK_ACCESS_NET_BIND_TCP | LANDLOCK_ACCESS_NET_CONNECT_TCP;
    size += sizeof attr.handled_access_net;
  }
  if (abi >= 6) {
    attr.scoped = LANDLOCK_SCOPE_ABSTRACT_UNIX_SOCKET | LANDLOCK_SCOPE_SIGNAL;
    size += sizeof attr.scoped;
  }
  int fd = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attr, size, 0));
  // The child binds its standard streams onto 0, 1 and 2 before it enters
  // the ruleset, so the ruleset must not sit there.
  if (fd >= 0 && fd < 3) {
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    fd = moved;
  }
  if (fd < 0) {
    *reason = string("cannot create the Landlock ruleset: ") + strerror(errno);
    return false;
  }
  ruleset_ = fd;

  auto allow = [&](const string& path, uint64_t rights, bool optional) {
    int target = open(path.c_str(), O_PATH | O_CLOEXEC);
    if (target < 0) {
      if (optional && (errno == ENOENT || errno == ENOTDIR)) return true;
      *reason = "cannot open " + path + " for the sandbox: " + strerror(errno);
      return false;
    }
    struct stat st;
    landlock_path_beneath_attr rule{};
    rule.allowed_access = rights & attr.handled_access_fs;
    rule.parent_fd = target;
    if (fstat(target, &st) == 0 && !S_ISDIR(st.st_mode)) rule.allowed_access &= kFileRights;
    bool added =
        syscall(SYS_landlock_add_rule, ruleset_, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
    if (!added) *reason = "cannot allow " + path + " in the sandbox: " + strerror(errno);
    close(target);
    return added;
  };
  for (const string& path : c.read_exec) {
    if (!allow(path, kReadExecute, true)) return false;
  }
  for (const string& path : c.read_write) {
    if (!allow(path, kReadWrite, false)) return false;
  }
  return true;
}

ChildFailure PreparedConfinement::Apply() const {
  ChildFailure failure;
  if (change_user_ && !TakeUser(user_)) {
    failure = {ChildFailure::kUser, errno};
  } else if ((change_user_ || ruleset_ >= 0) && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
    failure = {ChildFailure::kSandbox, errno};
  } else if (ruleset_ >= 0 && syscall(SYS_landlock_restrict_self, ruleset_, 0) != 0) {
    failure = {ChildFailure::kSandbox, errno};
  }
  return failure;
}

}  // namespace orv
