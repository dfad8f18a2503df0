#include "orv/file_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace orv {

namespace {

// Backslashes are separators too.
void ToSlashes(string& path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
}

}  // namespace

bool FileExists(const string& path) {
  return access(path.c_str(), F_OK) == 0 && !IsDirectory(path);
}

bool IsDirectory(const string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(const string& path) {
  return unlink(path.c_str()) == 0;
}

bool RenameFile(const string& from, const string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool MakeDirectory(string path, bool recursive) {
  ToSlashes(path);
  if (!path.empty() && path.back() == '/') path.pop_back();
  if (IsDirectory(path)) return true;
  if (recursive) {
    string::size_type slash = path.rfind('/');
    if (slash != string::npos && slash != 0 && !MakeDirectory(path.substr(0, slash), true)) {
      return false;
    }
  }
  bool made = mkdir(path.c_str(), 0755) == 0;
  // Handing the directory to the real user is a courtesy; mkdir decides.
  int ignored = chown(path.c_str(), getuid(), getgid());
  static_cast<void>(ignored);
  return made;
}

bool RemoveDirectory(const string& path, bool recursive) {
  if (!recursive) return rmdir(path.c_str()) == 0;
  DirectoryListing listing(path);
  while (listing.Next()) {
    string child = path + "/" + listing.Name();
    // A link is removed itself, never followed into what it points to.
    struct stat st;
    if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      RemoveDirectory(child, true);
    } else {
      RemoveFile(child);
    }
  }
  return rmdir(path.c_str()) == 0;
}

string DirectoryOf(const string& path) {
  string copy(path);
  ToSlashes(copy);
  string::size_type slash = copy.rfind('/');
  if (slash == string::npos) return "./";
  return copy.substr(0, slash + 1);
}

DirectoryListing::DirectoryListing(const string& path) : dir_(opendir(path.c_str())) {}

DirectoryListing::~DirectoryListing() {
  if (dir_) closedir(dir_);
}

bool DirectoryListing::Next() {
  if (!dir_) return false;
  while ((current_ = readdir(dir_)) != nullptr) {
    if (current_->d_name[0] != '.') return true;
  }
  return false;
}

string DirectoryListing::Name() const {
  return current_ ? string(current_->d_name) : string();
}

}  // namespace orv
