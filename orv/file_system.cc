#include "orv/file_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace orv {

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

void ToSlashes(string& path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
}

bool WildcardMatch(const string& pattern, const string& name) {
  std::size_t p = 0, n = 0;
  while (n < name.size() && (p >= pattern.size() || pattern[p] != '*')) {
    if (p >= pattern.size() || (pattern[p] != name[n] && pattern[p] != '?')) return false;
    ++p;
    ++n;
  }
  std::size_t star = 0, retry = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      if (++p == pattern.size()) return true;
      star = p;
      retry = n + 1;
    } else if (p < pattern.size() && (pattern[p] == name[n] || pattern[p] == '?')) {
      ++p;
      ++n;
    } else {
      p = star;
      n = retry++;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

DirectoryListing::DirectoryListing(const string& path, const string& pattern)
    : dir_(opendir(path.c_str())), pattern_(pattern) {}

DirectoryListing::~DirectoryListing() {
  Close();
}

bool DirectoryListing::Next() {
  if (!dir_) return false;
  while ((current_ = readdir(dir_)) != nullptr) {
    if (current_->d_name[0] == '.') continue;
    if (pattern_.empty() || WildcardMatch(pattern_, current_->d_name)) return true;
  }
  return false;
}

string DirectoryListing::Name() const {
  return current_ ? string(current_->d_name) : string();
}

void DirectoryListing::Rewind() {
  current_ = nullptr;
  if (dir_) rewinddir(dir_);
}

void DirectoryListing::Close() {
  if (dir_) closedir(dir_);
  dir_ = nullptr;
  current_ = nullptr;
}

}  // namespace orv
