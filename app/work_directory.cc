#include "app/work_directory.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "orv/file_system.h"

void ClearDirectory(const orv::string& dir) {
  orv::DirectoryListing listing(dir);
  while (listing.Next()) orv::RemoveFile(dir + "/" + listing.Name());
}

WorkDirectory::~WorkDirectory() {
  Unlock();
}

bool WorkDirectory::Lock() {
  if (locked()) return true;
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (::mkdir(path_.c_str(), 0755) != 0 && errno != EEXIST) {
      error_ = errno;
      return false;
    }
    int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
      error_ = errno;
      return false;
    }
    struct stat locked_dir, current;
    if (flock(fd, LOCK_EX) == 0 && fstat(fd, &locked_dir) == 0 &&
        stat(path_.c_str(), &current) == 0 && locked_dir.st_dev == current.st_dev &&
        locked_dir.st_ino == current.st_ino) {
      fd_ = fd;
      device_ = current.st_dev;
      inode_ = current.st_ino;
      return true;
    }
    // The directory was removed (and maybe made again) while we waited.
    ::close(fd);
  }
  error_ = EAGAIN;
  return false;
}

void WorkDirectory::Unlock() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool WorkDirectory::Contains(const orv::string& path) const {
  // The directory part ends at the last "/"; a backslash belongs to the name.
  // stat resolves ".." and symbolic links in it.
  std::size_t slash = path.rfind('/');
  orv::string dir = slash == orv::string::npos ? orv::string("./") : path.substr(0, slash + 1);
  struct stat st;
  return stat(dir.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
}
