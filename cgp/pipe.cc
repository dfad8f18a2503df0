#include "cgp/pipe.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "orv/file_system.h"

namespace cgp {
namespace {

uint32_t sequenceValue = 0;

}  // namespace

orv::SimpleMutex& Pipe::UniqueIDMutex() {
  static orv::SimpleMutex mutex;
  return mutex;
}

orv::string Pipe::CreateQueueFile() {
  orv::MutexLock lock(UniqueIDMutex());
  for (;;) {
    unsigned long now = static_cast<unsigned long>(time(nullptr));
    sequenceValue += static_cast<uint32_t>(rand());
    orv::string name = "Submitted/quillmeremailer_" + std::to_string(now) + "_" +
                       std::to_string(static_cast<int32_t>(sequenceValue)) + ".tmp";
    // A released file of the same name would be replaced by our release.
    if (orv::FileExists(name) || orv::FileExists(name + ".sub")) continue;
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd >= 0) ::close(fd);
    return name;
  }
}

bool Pipe::ReleaseQueueFile(const orv::string& path) {
  orv::string released = path + ".sub";
  if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, released.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  // File systems without the no-replace rename get a test and a plain rename.
  if ((errno == EINVAL || errno == ENOSYS) && !orv::FileExists(released)) {
    return orv::RenameFile(path, released);
  }
  return false;
}

void Pipe::Envelope::operator()(std::ostream& out) const {
  out << "Return-Path: " << returnPath_ << '\n';
  for (const orv::string& recipient : recipients_) out << "Envelope-To: " << recipient << '\n';
}

}  // namespace cgp
