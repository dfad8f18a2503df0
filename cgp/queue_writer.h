// Handing a new message to the mail server: a file in its "Submitted" queue
// directory, reserved under a unique ".tmp" name while it is written and
// released by renaming it to that name followed by ".sub", so the server only
// ever sees complete files.
#ifndef CGP_QUEUE_WRITER_H_
#define CGP_QUEUE_WRITER_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <random>

#include "orv/output_file.h"
#include "orv/string.h"

namespace cgp {

// One reserved queue file, open for writing; removed when the object goes
// unless it was released.
class QueueFile {
 public:
  explicit QueueFile(const orv::string& path);
  ~QueueFile();
  QueueFile(const QueueFile&) = delete;
  QueueFile& operator=(const QueueFile&) = delete;

  const orv::string& path() const { return path_; }
  orv::ofstream& out() { return out_; }

  // Writes the file out to disk and closes it; false, with the reason in
  // out().error(), when any write failed.
  bool Finish();
  // Renames the file to its name followed by ".sub", never replacing an
  // existing file, and makes the rename durable. False, with errno set, when
  // the rename failed.
  bool Release();

 private:
  orv::string path_;
  orv::ofstream out_;
  bool released_ = false;
};

class QueueWriter {
 public:
  // base is the mail server's base directory with a trailing "/", or empty
  // for the working directory. Seeds its own random source.
  explicit QueueWriter(const orv::string& base);

  // The queue directory, base followed by "Submitted".
  const orv::string& directory() const { return directory_; }

  // Reserves "<directory>/quillmeremailer_<time>_<number>.tmp", a name that
  // neither exists nor has been released yet. If the file cannot be created
  // the name is still reserved; writes to it then fail. Safe to call from
  // several threads.
  std::unique_ptr<QueueFile> Create();

 private:
  orv::string directory_;
  std::mutex mutex_;
  std::mt19937 random_;
  uint32_t sequence_ = 0;
};

}  // namespace cgp

#endif  // CGP_QUEUE_WRITER_H_
