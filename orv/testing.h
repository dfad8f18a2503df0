// Helpers shared by the unit tests: temporary directories, whole-file reads
// and writes, and capture of what the code writes to descriptor 1.
#ifndef ORV_TESTING_H_
#define ORV_TESTING_H_

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
  if (!(std::ofstream(path, std::ios::binary | std::ios::trunc) << content))
    throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir() : path_((std::filesystem::temp_directory_path() / "orvtest.XXXXXX").string()) {
    if (!mkdtemp(&path_[0])) throw std::runtime_error("mkdtemp failed");
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
  CaptureStdout() : file_(std::tmpfile()), saved_((std::fflush(stdout), dup(STDOUT_FILENO))) {
    if (!file_ || saved_ < 0 || dup2(fileno(file_), STDOUT_FILENO) < 0)
      throw std::runtime_error("cannot capture standard output");
  }
  ~CaptureStdout() { Finish(); }
  CaptureStdout(const CaptureStdout&) = delete;
  CaptureStdout& operator=(const CaptureStdout&) = delete;

  // Puts descriptor 1 back and returns everything written to it meanwhile.
  std::string Finish() {
    if (saved_ >= 0) {
      std::fflush(stdout);
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
      saved_ = -1;
      std::rewind(file_);
      for (int c; (c = std::fgetc(file_)) != EOF;) text_ += static_cast<char>(c);
      std::fclose(file_);
    }
    return text_;
  }

 private:
  std::FILE* file_;
  int saved_;
  std::string text_;
};

}  // namespace orv::testing

#endif  // ORV_TESTING_H_
