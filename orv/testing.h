// Helpers shared by the unit tests: temporary directories, whole-file reads
// and writes, and capture of what the code writes to descriptor 1.
#ifndef ORV_TESTING_H_
#define ORV_TESTING_H_

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace orv::testing {

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out.flush())
    throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvtest.XXXXXX").string();
    if (!mkdtemp(&pattern[0]))
      throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  // Writes a file inside the directory and returns its path.
  std::string Write(const std::string& name, const std::string& content) const {
    WriteFile(Path(name), content);
    return Path(name);
  }

 private:
  std::string path_;
};

// Sends descriptor 1 to a temporary file from construction until Finish().
class CaptureStdout {
 public:
  CaptureStdout() {
    std::fflush(stdout);
    file_ = std::tmpfile();
    saved_ = dup(STDOUT_FILENO);
    if (!file_ || saved_ < 0 || dup2(fileno(file_), STDOUT_FILENO) < 0)
      throw std::runtime_error("cannot capture standard output");
  }
  ~CaptureStdout() { Finish(); }
  CaptureStdout(const CaptureStdout&) = delete;
  CaptureStdout& operator=(const CaptureStdout&) = delete;

  // Puts descriptor 1 back and returns everything written to it meanwhile.
  std::string Finish() {
    if (saved_ < 0)
      return text_;
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
    std::rewind(file_);
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, file_)) > 0;)
      text_.append(block, n);
    std::fclose(file_);
    return text_;
  }

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
  std::string text_;
};

}  // namespace orv::testing

#endif  // ORV_TESTING_H_
