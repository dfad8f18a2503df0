#include "cgp/queue_writer.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <ctime>

#include "orv/file_system.h"

namespace cgp {

namespace {

// Renames from to to unless to exists.
bool RenameNoReplace(const orv::string& from, const orv::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  // File systems without the no-replace rename get a test and a plain rename.
  if ((errno == EINVAL || errno == ENOSYS) && !orv::FileExists(to)) {
    return orv::RenameFile(from, to);
  }
  return false;
}

// Makes a rename in dir survive a crash.
void SyncDirectory(const orv::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    ::close(fd);
  }
}

}  // namespace

QueueFile::QueueFile(const orv::string& path)
    : path_(path), out_(path, std::ios::trunc | std::ios::binary) {}

QueueFile::~QueueFile() {
  if (!released_) orv::RemoveFile(path_);
}

bool QueueFile::Finish() {
  return out_.good() && out_.Sync() && out_.close();
}

bool QueueFile::Release() {
  if (!RenameNoReplace(path_, path_ + ".sub")) return false;
  released_ = true;
  SyncDirectory(orv::DirectoryOf(path_));
  return true;
}

QueueWriter::QueueWriter(const orv::string& base)
    : directory_(base + "Submitted"), random_(std::random_device()()) {}

std::unique_ptr<QueueFile> QueueWriter::Create() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (;;) {
    unsigned long now = static_cast<unsigned long>(time(nullptr));
    sequence_ += static_cast<uint32_t>(random_());
    orv::string name = directory_ + "/quillmeremailer_" + std::to_string(now) + "_" +
                       std::to_string(static_cast<int32_t>(sequence_)) + ".tmp";
    // A released file of the same name would be replaced by our release.
    if (orv::FileExists(name) || orv::FileExists(name + ".sub")) continue;
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd >= 0) ::close(fd);
    return std::make_unique<QueueFile>(name);
  }
}

}  // namespace cgp
