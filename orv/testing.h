// Helpers shared by the unit tests: a temporary directory and whole-file reads.
// Descriptor 1 is captured with GoogleTest's ::testing::internal::CaptureStdout.
#ifndef ORV_TESTING_H_
#define ORV_TESTING_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace orv::testing {

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

  const std::string& path() const { return path_; }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  // Writes a file inside the directory and returns its path.
  std::string Write(const std::string& name, const std::string& content) const {
    if (!(std::ofstream(Path(name), std::ios::binary) << content))
      throw std::runtime_error("cannot write " + Path(name));
    return Path(name);
  }

 private:
  std::string path_;
};

}  // namespace orv::testing

#endif  // ORV_TESTING_H_
