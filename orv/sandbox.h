// Confinement of the converters, which parse the sender's bytes: when we run
// as root a child takes an unprivileged user, and under Landlock it may read
// and execute only the system's programs and libraries and its own program
// directory, write only in its own scratch directory, and use no TCP port.
// Everything that can be prepared is prepared in the parent; between fork and
// exec the child only applies it, with async-signal-safe calls.
#ifndef ORV_SANDBOX_H_
#define ORV_SANDBOX_H_

#include <sys/types.h>

#include <optional>
#include <vector>

#include "orv/string.h"

namespace orv {

struct UserIds {
  uid_t uid = 0;
  gid_t gid = 0;
};

// Looks up the user called name. False when there is no such user ("no such
// user" in *reason) or the user database cannot be read (why, in *reason).
bool LookUpUser(const string& name, UserIds* ids, string* reason);

// Hands the directory dir (not a link) to ids with mode 0700, so that a child
// running as that user may write in it and nobody else but root may look.
// False, with errno set, when dir cannot be opened as a directory or changed.
bool HandDirectoryTo(const string& dir, const UserIds& ids);

// The highest Landlock ABI version the kernel offers, or 0 when it offers none
// and *reason says why. The environment setting VERROWICK_NO_LANDLOCK=1, for
// tests only, makes it answer 0 as on a kernel without Landlock.
int LandlockAbi(string* reason);

// What every converter reads or executes: the system's program and library
// directories, the loader's cache and the time zone; under AddressSanitizer
// also /proc, whose memory map the sanitizer's runtime reads at start.
std::vector<string> SystemReadPaths();

// How a child is confined; the default confines nothing.
struct Confinement {
  // When set and we run as root, the child clears its supplementary groups
  // and takes this group and user; a child that cannot is not run.
  std::optional<UserIds> user;
  // Above 0, the Landlock ABI version (from LandlockAbi) to confine the child
  // with: it may read and execute beneath read_exec (a path that does not
  // exist is skipped), read and write beneath read_write, nothing else, and
  // from version 4 on bind or connect no TCP port.
  int landlock_abi = 0;
  std::vector<string> read_exec;
  std::vector<string> read_write;
};

// Which step of a child's start failed, with its errno. This is what the
// child sends the parent through the status pipe.
struct ChildFailure {
  enum Step : int { kNone, kStreams, kUser, kSandbox, kExec };
  int step = kNone;
  int error = 0;
};

// A Confinement made ready for one child. The parent prepares it before the
// fork; the child applies it just before exec.
class PreparedConfinement {
 public:
  PreparedConfinement() = default;
  ~PreparedConfinement();
  PreparedConfinement(const PreparedConfinement&) = delete;
  PreparedConfinement& operator=(const PreparedConfinement&) = delete;

  // Builds the Landlock ruleset of c, on a descriptor above 2 that the child
  // keeps until Apply. False, *reason saying why, when that fails (a
  // read_write path that cannot be opened among others).
  bool Prepare(const Confinement& c, string* reason);

  // In the child: takes the user and enters the ruleset. Async-signal-safe.
  // Returns the step that failed, kNone when all went well.
  ChildFailure Apply() const;

 private:
  bool change_user_ = false;
  UserIds user_;
  int ruleset_ = -1;
};

}  // namespace orv

#endif  // ORV_SANDBOX_H_
