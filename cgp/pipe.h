// Handing a new message to the mail server: a file in its "Submitted" queue
// directory that begins with envelope lines, reserved under a unique ".tmp"
// name while it is written and released by renaming it to that name followed
// by ".sub", so the server only ever sees complete files.
#ifndef CGP_PIPE_H_
#define CGP_PIPE_H_

#include <set>
#include <string>

#include "orv/line_stream.h"
#include "orv/mutex.h"
#include "orv/string.h"

namespace cgp {

class Pipe {
 public:
  // Reserves "Submitted/quillmeremailer_<time>_<sequence>.tmp", a name that
  // neither exists nor has been released yet, by creating the file empty, and
  // returns it. If the file cannot be created the name is still returned; the
  // caller's writes then fail.
  static orv::string CreateQueueFile();

  // Renames path to path + ".sub", never replacing an existing file; true iff
  // that succeeded.
  static bool ReleaseQueueFile(const orv::string& path);

  // Serialises reservations.
  static orv::SimpleMutex& UniqueIDMutex();

  // The envelope lines: "Return-Path: " with the return path, then one
  // "Envelope-To: " line per recipient. Keeps references to both.
  class Envelope : public orv::ostream_func {
   public:
    Envelope(const std::string& return_path, const std::set<orv::string>& recipients)
        : returnPath_(return_path), recipients_(recipients) {}
    void operator()(std::ostream& out) const override;

   private:
    const std::string& returnPath_;
    const std::set<orv::string>& recipients_;
  };
};

}  // namespace cgp

#endif  // CGP_PIPE_H_
