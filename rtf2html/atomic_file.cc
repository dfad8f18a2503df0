#include "rtf2html/atomic_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace rtf2html {

namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error) {
  std::size_t slash = path.rfind('/');
  if (path.empty() || slash == path.size() - 1) {
    *error = "no file name in \"" + path + "\"";
    return false;
  }
  std::string name =
      (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "rtf2html.XXXXXX";
  std::vector<char> temporary(name.begin(), name.end());
  temporary.push_back('\0');
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot create a file beside " + path + ": " + std::strerror(errno);
    return false;
  }
  // The file gets the mode a newly created file would get, not mkostemp's 0600.
  mode_t mask = umask(0);
  umask(mask);
  const char* failed = nullptr;
  if (fchmod(fd, 0666 & ~mask) != 0) {
    failed = "set the mode of";
  } else if (!WriteAll(fd, data)) {
    failed = "write";
  }
  int saved = errno;
  if (close(fd) != 0 && !failed) {
    failed = "write";
    saved = errno;
  }
  if (!failed && rename(temporary.data(), path.c_str()) != 0) {
    failed = "create";
    saved = errno;
  }
  if (!failed) return true;
  unlink(temporary.data());
  *error = std::string("cannot ") + failed + " " + path + ": " + std::strerror(saved);
  return false;
}

}  // namespace rtf2html
