#include "app/scratch_directory.h"

#include <errno.h>
#include <ftw.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "orv/file_system.h"
#include "orv/line_stream.h"

namespace {

const char kPrefix[] = "conversion-";

// The process that made a scratch directory of this name; 0 for another name.
pid_t OwnerOf(const orv::string& name) {
  if (name.compare(0, sizeof kPrefix - 1, kPrefix) != 0) return 0;
  char* end = nullptr;
  long pid = strtol(name.c_str() + sizeof kPrefix - 1, &end, 10);
  return pid > 0 && *end == '-' ? static_cast<pid_t>(pid) : 0;
}

bool Gone(pid_t pid) {
  return kill(pid, 0) != 0 && errno == ESRCH;
}

int RemoveEntry(const char* path, const struct stat*, int type, struct FTW*) {
  if (type == FTW_DP) {
    rmdir(path);
  } else {
    unlink(path);
  }
  return 0;
}

// Removes path and everything below it, hidden names included; symbolic links
// are removed, never followed.
void RemoveTree(const orv::string& path) {
  nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

void PrepareWorkRoot(const orv::string& root) {
  orv::MakeDirectory(root, false);
  chmod(root.c_str(), 0711);
  orv::DirectoryListing listing(root);
  while (listing.Next()) {
    const orv::string entry = root + "/" + listing.Name();
    const pid_t owner = OwnerOf(listing.Name());
    if (!orv::IsDirectory(entry)) {
      orv::RemoveFile(entry);
    } else if (owner != 0 && Gone(owner)) {
      RemoveTree(entry);
    }
  }
}

void RemoveWorkRoot(const orv::string& root) {
  orv::DirectoryListing listing(root);
  while (listing.Next()) {
    if (OwnerOf(listing.Name()) == getpid()) RemoveTree(root + "/" + listing.Name());
  }
  rmdir(root.c_str());
}

ScratchDirectory::~ScratchDirectory() {
  if (!path_.empty()) RemoveTree(path_);
}

bool ScratchDirectory::Create(const orv::string& root, const std::optional<orv::UserIds>& owner) {
  orv::string pattern = root + "/" + kPrefix + std::to_string(getpid()) + "-XXXXXX";
  struct stat st;
  if (!mkdtemp(&pattern[0]) || stat(pattern.c_str(), &st) != 0) {
    orv::logline() << "Unable to use the work directory " << orv::Printable(root) << ": "
                   << strerror(errno);
    return false;
  }
  path_ = pattern;
  if (owner && !orv::HandDirectoryTo(path_, *owner)) {
    orv::logline() << "Unable to hand the work directory " << orv::Printable(path_)
                   << " to the converter user: " << strerror(errno);
    return false;
  }
  owner_ = owner;
  device_ = st.st_dev;
  inode_ = st.st_ino;
  return true;
}

bool ScratchDirectory::Contains(const orv::string& path) const {
  // The directory part ends at the last "/"; a backslash belongs to the name.
  // stat resolves ".." and symbolic links in it.
  std::size_t slash = path.rfind('/');
  orv::string dir = slash == orv::string::npos ? orv::string("./") : path.substr(0, slash + 1);
  struct stat st;
  return stat(dir.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
}
