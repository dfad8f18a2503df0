// The second step of a conversion: one winmail.dat part, found by the scan,
// decoded into the conversion's scratch directory and unpacked by the
// converters, giving the files that replace it.
#ifndef APP_UNPACK_H_
#define APP_UNPACK_H_

#include <set>
#include <vector>

#include "app/converters.h"
#include "app/mime_scan.h"
#include "app/options.h"
#include "app/scratch_directory.h"
#include "app/tnef_reader.h"
#include "orv/input_file.h"
#include "orv/string.h"

enum class FileKind {
  kAttachment,  // an attachment of its own
  kInlineHtml,  // the HTML body of a multipart/alternative
  kSkipped,     // an RTF body left out by -r
  kMessage,     // a whole RFC 5322 message (lines of at most 998 bytes), a message/rfc822 part
};

// One file that tnef (or rtf2html after it) wrote.
struct ExtractedFile {
  orv::string path;        // inside the scratch directory
  orv::string name;        // the name the new part shows, UTF-8
  orv::string type;        // the MIME type of its listing line; empty when none
  orv::string content_id;  // the content id of its listing line; empty when none
  // The whole Content-Type value chosen while unpacking (e.g. "text/calendar;
  // charset=utf-8; method=REQUEST"); empty: the type found by the name.
  orv::string content_type;
  FileKind kind = FileKind::kAttachment;
  bool body = false;  // the message body tnef saved, or the HTML made of it
};

// What becomes of one winmail.dat part.
struct UnpackResult {
  enum Outcome {
    kKept,      // the part stays as received
    kReplaced,  // files (possibly none) take the part's place
    kCorrupt,   // tnef reported an error: the rest of its multipart stays as it is
  };
  Outcome outcome = kKept;
  std::vector<ExtractedFile> files;
  bool keep_received = false;  // written back after the files: tnef did not account for all of it
  bool not_run = false;        // kKept because tnef could not be started
  orv::string kept_because;    // what the conversion could not turn into a part; empty if nothing
};

// More attached messages than this in one conversion, at all levels together,
// are not converted: each costs a tnef run.
constexpr unsigned kMaxAttachedMessages = 100;

// One conversion's unpacking: its settings, converters, scratch directory and
// the names its files hold there. An attached message is unpacked by an
// Unpacker of its own, one level deeper, in a scratch directory inside this one.
class Unpacker {
 public:
  Unpacker(const Settings& settings, Converters& converters, const ScratchDirectory& scratch,
           Deadline deadline)
      : settings_(settings), converters_(converters), scratch_(scratch), deadline_(deadline) {}
  Unpacker(const Unpacker&) = delete;
  Unpacker& operator=(const Unpacker&) = delete;

  // Decodes part's body from in into the work file and unpacks it. Logs what
  // it does; a converter that could not run leaves the part as it is.
  UnpackResult Unpack(orv::InputFile& in, const WinmailPart& part);

 private:
  // The Unpacker of an attached message found by parent.
  Unpacker(const Unpacker& parent, const ScratchDirectory& scratch)
      : Unpacker(parent.settings_, parent.converters_, scratch, parent.deadline_) {
    level_ = parent.level_ + 1;
    attached_left_of_conversion_ = parent.attached_left_of_conversion_;
  }

  orv::string WorkFile() const { return scratch_.path() + "/winmail.dat"; }
  bool WriteWorkFile(orv::InputFile& in, const WinmailPart& part);
  bool UnpackWorkFile(const WinmailPart& part, TnefMessage& message, UnpackResult& result);
  void ConvertItem(const TnefMessage& message, const WinmailPart& part, UnpackResult& result);
  orv::string ConvertWithYtnef(const TnefMessage& message, const WinmailPart& part,
                               UnpackResult& result);
  void ConvertObjects(UnpackResult& result);
  orv::string ConvertAttachedMessage(ExtractedFile& file);
  void Keep(UnpackResult& result, const orv::string& why);
  orv::string NewFile(const orv::string& stem, const orv::string& extension);
  bool ReadListing(const ConverterRun& run, int code_page, UnpackResult& result);
  bool AcceptListedFile(const orv::string& path);
  void ConvertRtf(const WinmailPart& part, UnpackResult& result);
  void ConvertRtfFile(ExtractedFile& file, bool alternative);
  void Conclude(UnpackResult& result, std::size_t skipped);

  const Settings& settings_;
  Converters& converters_;
  const ScratchDirectory& scratch_;
  const Deadline deadline_;
  int level_ = 1;  // 1 for a winmail.dat part, one more for each attached message
  unsigned attached_left_ = kMaxAttachedMessages;
  unsigned* attached_left_of_conversion_ = &attached_left_;  // the outermost Unpacker's
  std::set<orv::string> used_;  // names of the scratch files that results hold
};

#endif  // APP_UNPACK_H_
