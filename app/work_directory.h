// The work directory beside the program, where winmail.dat parts are decoded
// and unpacked. Every instance started from the same program directory shares
// it (the mail server's filter and a batch run, say), so a conversion holds an
// exclusive lock on it from the first unpacking to the last inserted file.
#ifndef APP_WORK_DIRECTORY_H_
#define APP_WORK_DIRECTORY_H_

#include <sys/types.h>

#include "orv/string.h"

// Removes every entry of dir whose name does not begin with "."; failures and
// subdirectories are left alone.
void ClearDirectory(const orv::string& dir);

class WorkDirectory {
 public:
  explicit WorkDirectory(const orv::string& path) : path_(path) {}
  ~WorkDirectory();
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;

  // Waits for the exclusive lock, creating the directory if another instance
  // removed it. Returns false when the directory cannot be created or opened;
  // error() then tells why.
  bool Lock();
  int error() const { return error_; }
  void Unlock();
  bool locked() const { return fd_ >= 0; }

  // Whether path names an entry directly inside the directory.
  bool Contains(const orv::string& path) const;

  const orv::string& path() const { return path_; }

 private:
  orv::string path_;
  int fd_ = -1;
  int error_ = 0;

  dev_t device_ = 0;
  ino_t inode_ = 0;
};

#endif  // APP_WORK_DIRECTORY_H_
