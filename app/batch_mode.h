// Batch mode: every message file of a mailbox directory that holds a
// winmail.dat attachment is converted in place, through P.tmp and P.old. A
// converted file begins with an X-WinmailDat line, so a later run leaves it
// alone. With several workers, message files are converted several at once,
// each one's log lines kept together.
#ifndef APP_BATCH_MODE_H_
#define APP_BATCH_MODE_H_

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "app/conversion.h"
#include "orv/input_file.h"
#include "orv/work_queue.h"

class BatchMode {
 public:
  explicit BatchMode(const ConversionSetup& setup) : setup_(setup) {}

  // Converts every message file below dir and logs a summary. Returns false
  // when dir could not be read or a message failed.
  bool Run(const orv::string& dir);

 private:
  // What the run did, for its summary line.
  struct Counts {
    unsigned long processed = 0, converted = 0, unchanged = 0, failed = 0, skipped = 0;
  };
  enum class Outcome { kConverted, kUnchanged, kFailed };

  bool Walk(const orv::string& dir);
  void ConvertFile(const orv::string& path);
  void Count(unsigned long Counts::*field);
  Outcome Convert(const orv::string& path, orv::InputFile& in);
  Outcome Replace(const orv::string& path, orv::InputFile& in);

  const ConversionSetup& setup_;
  std::set<std::pair<dev_t, ino_t>> seen_;
  std::unique_ptr<orv::WorkQueue> workers_;  // none with one worker
  std::mutex counts_mutex_;
  Counts counts_;
};

#endif  // APP_BATCH_MODE_H_
