// Where conversions unpack: each conversion gets a directory of its own inside
// wmd_temp, so that instances and conversions running at once never share a
// file. The directories are named "conversion-<pid>-XXXXXX"; one whose process
// is gone was left by a crash and is removed when the next instance starts.
#ifndef APP_SCRATCH_DIRECTORY_H_
#define APP_SCRATCH_DIRECTORY_H_

#include <sys/types.h>

#include <optional>

#include "orv/sandbox.h"
#include "orv/string.h"

// Creates root when it is missing, then removes what earlier instances left
// in it: plain files, and the directories of processes that no longer run.
// Others may pass through root (mode 0711), so that a converter running as
// another user reaches its scratch directory, but not list it.
void PrepareWorkRoot(const orv::string& root);

// Removes this process's directories in root, and root itself when it is then
// empty.
void RemoveWorkRoot(const orv::string& root);

// One conversion's directory, removed with everything in it when the object
// goes.
class ScratchDirectory {
 public:
  ScratchDirectory() = default;
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Makes a new directory inside root, handed to owner when one is given,
  // for converters that run as that user. Returns false, with the reason
  // logged, when it cannot be made or handed over.
  bool Create(const orv::string& root, const std::optional<orv::UserIds>& owner = std::nullopt);

  const orv::string& path() const { return path_; }
  // The user the directory was handed to, for directories made inside it.
  const std::optional<orv::UserIds>& owner() const { return owner_; }

  // Whether path names an entry directly inside the directory.
  bool Contains(const orv::string& path) const;

 private:
  orv::string path_;
  std::optional<orv::UserIds> owner_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

#endif  // APP_SCRATCH_DIRECTORY_H_
