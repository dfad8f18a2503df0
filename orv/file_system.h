// Path and directory operations on top of POSIX. Every operation reports
// failure by its result (false, or an empty name) and never throws; the
// operations that build paths accept backslashes as separators.
#ifndef ORV_FILE_SYSTEM_H_
#define ORV_FILE_SYSTEM_H_

#include <dirent.h>

#include "orv/string.h"

namespace orv {

// Something exists at path (links followed) and it is not a directory.
bool FileExists(const string& path);
// path (links followed) is a directory.
bool IsDirectory(const string& path);
bool RemoveFile(const string& path);
// rename(2): same file system only; an existing target is replaced.
bool RenameFile(const string& from, const string& to);
// Creates path with mode 0755 (and its parents when recursive) and hands it to
// the real user and group. True when it was created or already is a directory.
bool MakeDirectory(string path, bool recursive);
// Removes the directory (and, when recursive, everything listed in it). False
// when it could not be removed, for example because hidden names remain.
bool RemoveDirectory(const string& path, bool recursive);
// Everything up to and including the last "/", or "./" when there is none.
string DirectoryOf(const string& path);

// The entries of one directory in the order the system yields them, without
// any name that begins with ".". A directory that cannot be opened yields
// nothing.
class DirectoryListing {
 public:
  explicit DirectoryListing(const string& path);
  ~DirectoryListing();
  DirectoryListing(const DirectoryListing&) = delete;
  DirectoryListing& operator=(const DirectoryListing&) = delete;

  // Advances to the next accepted entry; false at the end.
  bool Next();
  // The current entry's bare name; empty when there is none.
  string Name() const;

 private:
  DIR* dir_;
  dirent* current_ = nullptr;
};

}  // namespace orv

#endif  // ORV_FILE_SYSTEM_H_
