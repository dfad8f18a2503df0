// The application object: one WinMailDat lives for the whole run. It holds the
// settings taken from the command line and does the work of both modes: the
// scan of a message for winmail.dat attachments, their unpacking by the tnef
// and rtf2html programs beside the filter, and the rewriting of the message
// with one ordinary MIME part per extracted file, either into the mail
// server's Submitted queue (filter mode) or in place (batch mode).
#ifndef APP_WINMAILDAT_H_
#define APP_WINMAILDAT_H_

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <set>
#include <vector>

#include "app/mime_scan.h"
#include "app/work_directory.h"
#include "cgp/ext_filter.h"
#include "orv/input_file.h"
#include "orv/output_file.h"
#include "orv/string.h"

// One winmail.dat part to replace, and what replaces it.
struct MatchingParts {
  // Offset of the part's first header line (just after its delimiter line).
  int64_t start = 0;
  // Offset just after the line that ended the part's encoded body; 0 when the
  // input ended inside the part.
  int64_t end = 0;
  // Paths of the files that replace the part, in order. "*" in front marks an
  // HTML body for a multipart/alternative; "\*" marks a file left out.
  std::vector<orv::string> files;
  // The delimiter line of the multipart that directly encloses the part.
  orv::string delimiter;
  // The received part is written back after the new parts, because tnef could
  // not account for all of its content.
  bool keepReceived = false;
};

// The text after the last "/" of path, or all of it.
orv::string FileNameOf(const orv::string& path);

// Why a file that InsertExtractedFiles wrote is incomplete, for the console.
orv::string WriteFailure(const orv::ofstream& out);

class WinMailDat : public cgp::ExtFilter {
 public:
  WinMailDat();
  ~WinMailDat() override;

  // The whole run: options, banner, work directory, one mode, clean-up.
  // Returns the exit status, 0.
  int Main(int argc, char** argv);

  // Parses the command line into the settings and path. Returns false after
  // printing the usage text or an option error, true otherwise (after the
  // banner).
  bool ParseOptions(int argc, char** argv, const orv::string& banner, orv::string& path);

  // Scans the message that begins at in's position and unpacks its winmail.dat
  // parts into the work directory, filling parts (empty on entry) in message
  // order. Returns whether the message is to be rewritten. Holds the work
  // directory until ReleaseWorkDirectory().
  bool FindWinmailParts(orv::InputFile& in, std::vector<MatchingParts>& parts);

  // Copies the message from in (where FindWinmailParts began) to out, putting
  // the files of each record in place of its winmail.dat part and deleting
  // every file it inserts. Errors of out are left in out's state.
  void InsertExtractedFiles(orv::InputFile& in, std::ostream& out,
                            std::vector<MatchingParts>& parts);

  // Empties and unlocks the work directory after a conversion.
  void ReleaseWorkDirectory();

  // Batch mode: converts every message file below dir in place.
  void BatchConvertDirectory(const orv::string& dir);
  void BatchConvertFile(const orv::string& path);

  // Filter mode: one queued message. Answers DISCARD only when the converted
  // message has been released into Submitted, otherwise OK.
  cgp::Answer FilterMessage(unsigned seq, const orv::string& path) override;

  orv::string programDirectory;
  bool noRecurse = false;
  bool keepWinmail = false;
  bool noRtfAlternative = false;
  bool ignoreRtfBody = false;
  bool alwaysRemoveWinmail = false;

 private:
  enum class PartOutcome { kStop, kNextPart, kGoOn };
  struct Scan;
  // What a batch run did, for its summary line.
  struct BatchCounts {
    unsigned long processed = 0, converted = 0, unchanged = 0, failed = 0, skipped = 0;
  };

  void ScanMultipart(orv::InputFile& in, Scan& scan, int depth);
  PartOutcome UnpackWinmailPart(orv::InputFile& in, orv::string& line, const orv::string& delimiter,
                                int64_t partStart, bool alternative, bool htmlSeen, Scan& scan);
  void DecodeBody(orv::InputFile& in, orv::string& line, const orv::string& delimiter,
                  MatchingParts& record, std::ostream& out);
  bool WriteWorkFile(orv::InputFile& in, orv::string& line, const orv::string& delimiter,
                     MatchingParts& record);

  void RunTnef(orv::string* listing, orv::string* errors, const Scan& scan);
  bool AcceptListedFile(const orv::string& path, Scan& scan);
  void ConvertRtf(orv::string& entry, bool alternative, Scan& scan);
  WorkDirectory& WorkDir();
  bool LockWorkDirectory();

  void WalkDirectory(const orv::string& dir, std::set<std::pair<dev_t, ino_t>>& seen);

  orv::string WorkPath() const { return programDirectory + "wmd_temp"; }
  orv::string WorkFile() const { return programDirectory + "wmd_temp/winmail.dat"; }

  std::unique_ptr<WorkDirectory> workDirectory;
  BatchCounts batchCounts;
};

#endif  // APP_WINMAILDAT_H_
