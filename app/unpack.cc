// The scan of a message for winmail.dat parts, and their unpacking: the walk
// along multipart delimiter lines, the decoding of each winmail.dat part into
// the work file, tnef and rtf2html, and the records of what replaces each part.
#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <chrono>
#include <set>
#include <utility>

#include "app/converters.h"
#include "app/winmaildat.h"
#include "orv/codec.h"
#include "orv/file_system.h"
#include "orv/line_stream.h"
#include "orv/output_file.h"
#include "orv/process.h"

struct WinMailDat::Scan {
  explicit Scan(std::vector<MatchingParts>& p) : parts(p) {}
  std::vector<MatchingParts>& parts;
  bool found = false;   // a winmail.dat part was met
  bool failed = false;  // a limit was passed: the message passes unchanged
  // Names of the work directory's files that records of this message hold.
  std::set<orv::string> used;
  // The converters of one message share one wall-clock limit, so a message
  // with many hostile parts cannot hold up the queue for long.
  std::chrono::steady_clock::time_point deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(kConverterLimits.wall_seconds);
};

namespace {

// Limits for the next converter of the message. Throws orv::Exception when
// the message's time is used up.
orv::ProcessLimits LimitsFor(const std::chrono::steady_clock::time_point& deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::seconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() < 1) {
    orv::logline() << "The converters used up the " << kConverterLimits.wall_seconds
                   << " seconds allowed for this message";
    throw orv::Exception("time limit");
  }
  orv::ProcessLimits limits = kConverterLimits;
  limits.wall_seconds = static_cast<int>(left.count());
  return limits;
}

// Reads a line of which only the first bytes matter.
bool ReadLine(orv::InputFile& in, orv::string& line) {
  return orv::getline(in, line, kMaxBoundary + 8);
}

bool EndsWithRtf(const orv::string& path) {
  return path.size() >= 4 && path.istarts(".rtf", path.size() - 4);
}

// tnef's standard error as console lines: line breaks start new lines, and
// control bytes are shown safely.
void ReportTnefErrors(const orv::string& text) {
  orv::string trimmed(text);
  while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r')) trimmed.pop_back();
  orv::string shown;
  for (const orv::string& line : trimmed.split("\n", 0)) {
    if (!shown.empty()) shown += '\n';
    orv::string clean(line);
    clean.replace_all("\r", "");
    shown += orv::Printable(clean, 1000);
  }
  orv::logline() << shown << " Winmail.dat file is probably corrupted, stopping conversion.";
}

std::set<orv::string> ListNames(const orv::string& dir) {
  std::set<orv::string> names;
  orv::DirectoryListing listing(dir);
  while (listing.Next()) names.insert(listing.Name());
  return names;
}

}  // namespace

bool WinMailDat::FindWinmailParts(orv::InputFile& in, std::vector<MatchingParts>& parts) {
  Scan scan(parts);
  ScanMultipart(in, scan, 0);
  if (scan.failed) {
    parts.clear();
    return false;
  }
  return !parts.empty() || (scan.found && alwaysRemoveWinmail);
}

void WinMailDat::ScanMultipart(orv::InputFile& in, Scan& scan, int depth) {
  auto fail = [&scan](const char* why) {
    orv::logline() << why << ", the message is left unchanged";
    scan.failed = true;
  };
  PartHeaders walk;
  if (!ReadHeaderBlock(in, walk)) return fail("A header field is longer than 1 MiB");
  if (walk.alreadyProcessed) {
    orv::logline() << "This file has already been processed, skipping";
    return;
  }
  bool alternative = walk.contentType == "multipart/alternative";
  if (!walk.contentType.istarts("multipart/") || walk.boundary.empty()) return;
  if (walk.boundary.size() > kMaxBoundary) return fail("A boundary is longer than 998 bytes");

  const orv::string delimiter = "--" + walk.boundary;
  const orv::string closing = delimiter + "--";
  orv::string line;
  ReadLine(in, line);
  bool htmlSeen = false;
  while (!in.eof()) {
    if (line != delimiter) {
      if (line == closing) return;
      ReadLine(in, line);
      continue;
    }
    int64_t partStart = in.Tell();
    PartHeaders part;
    if (!ReadHeaderBlock(in, part)) return fail("A header field is longer than 1 MiB");
    if (part.contentType == "application/ms-tnef" || part.name == "winmail.dat") {
      PartOutcome outcome =
          UnpackWinmailPart(in, line, delimiter, partStart, alternative, htmlSeen, scan);
      if (outcome == PartOutcome::kStop) return;
      if (outcome == PartOutcome::kNextPart) continue;
    } else if (part.contentType.istarts("multipart/")) {
      if (depth + 1 >= kMaxNesting) return fail("Multiparts are nested more than 64 deep");
      in.Seek(partStart);
      ScanMultipart(in, scan, depth + 1);
      if (scan.failed) return;
    } else if (part.contentType == "text/html") {
      htmlSeen = alternative;
    }
    ReadLine(in, line);
  }
}

WorkDirectory& WinMailDat::WorkDir() {
  // programDirectory is known only once Main() has begun.
  if (!workDirectory) workDirectory.reset(new WorkDirectory(WorkPath()));
  return *workDirectory;
}

bool WinMailDat::LockWorkDirectory() {
  if (WorkDir().locked()) return true;
  if (!WorkDir().Lock()) {
    orv::logline() << "Unable to use the work directory " << orv::Printable(WorkPath()) << ": "
                   << strerror(WorkDir().error());
    return false;
  }

  ClearDirectory(WorkPath());
  return true;
}

void WinMailDat::ReleaseWorkDirectory() {
  if (!workDirectory || !workDirectory->locked()) return;
  ClearDirectory(WorkPath());
  workDirectory->Unlock();
}

// Decodes the part's body, whatever it declares, into out, up to an empty
// line or a delimiter line; record.end notes where that line ended.
void WinMailDat::DecodeBody(orv::InputFile& in, orv::string& line, const orv::string& delimiter,
                            MatchingParts& record, std::ostream& out) {
  const orv::string closing = delimiter + "--";
  orv::Base64LineDecoder decoder(out);
  bool spilled = false;
  auto spill = [&](std::string_view piece) {
    spilled = true;
    decoder.Feed(piece);
  };
  // A body that is not Base64 at all would otherwise flood the log.
  constexpr unsigned kReportedBadLines = 10;
  unsigned bad_lines = 0;
  for (;;) {
    spilled = false;
    orv::getline(in, line, closing.size() + 1, spill);
    if (in.fail()) break;
    if (!spilled && (line.empty() || line == delimiter || line == closing)) {
      record.end = in.Tell();
      break;
    }
    if (!spilled) decoder.Feed(line);
    if (!decoder.EndLine() && ++bad_lines <= kReportedBadLines) {
      orv::logline() << "unable to decode the attachment, data is corrupted";
    }
    if (in.eof()) break;
  }
  if (bad_lines > kReportedBadLines) {
    orv::logline() << "unable to decode " << bad_lines - kReportedBadLines
                   << " more lines of the attachment";
  }
}

// Decodes the part's body into the work file; without the work directory the
// body is only read through. Returns whether the work file is complete.
bool WinMailDat::WriteWorkFile(orv::InputFile& in, orv::string& line, const orv::string& delimiter,
                               MatchingParts& record) {
  if (!LockWorkDirectory()) {
    std::ostream nowhere(nullptr);
    DecodeBody(in, line, delimiter, record, nowhere);
    return false;
  }
  orv::ofstream work(WorkFile(), std::ios::trunc | std::ios::binary);
  DecodeBody(in, line, delimiter, record, work);
  if (work.close()) return true;
  orv::logline() << "Unable to write the work file " << orv::Printable(WorkFile()) << ": "
                 << strerror(work.error());
  return false;
}

// Runs tnef on the work file; its listing and the start of its standard error
// come back. Throws orv::Exception when tnef cannot be run or was stopped.
void WinMailDat::RunTnef(orv::string* listing, orv::string* errors, const Scan& scan) {
  const orv::ProcessLimits limits = LimitsFor(scan.deadline);
  orv::Process tnef(programDirectory + "tnef", TnefArguments(programDirectory, ignoreRtfBody),
                    orv::ChildOutput::kPipes, limits);
  try {
    tnef.Capture(listing, errors, kMaxListing);
  } catch (const orv::Exception& e) {
    if (e.GetCode() == EFBIG) {
      orv::logline() << "tnef listed more than 4 MiB of files and was stopped";
    } else if (tnef.TimedOut()) {
      orv::logline() << LimitMessage("tnef", tnef, limits);
    }
    throw;
  }
  tnef.Wait();
  orv::string abnormal = LimitMessage("tnef", tnef, limits);
  if (!abnormal.empty()) {
    orv::logline() << abnormal;
    throw orv::Exception(abnormal);
  }
}

// Whether a listed path may be used: a regular file directly inside the work
// directory, not the work file, and not named before in this message.
bool WinMailDat::AcceptListedFile(const orv::string& path, Scan& scan) {
  const char* problem = nullptr;
  struct stat st;
  if (!WorkDir().Contains(path) || lstat(path.c_str(), &st) != 0) {
    problem = "it is not a file in the work directory";
  } else if (!S_ISREG(st.st_mode)) {
    problem = "it is not a regular file";
  } else if (FileNameOf(path) == "winmail.dat") {
    problem = "it is the work file";
  } else if (!scan.used.insert(FileNameOf(path)).second) {
    problem = "it is listed twice";
  }
  if (!problem) return true;
  orv::logline() << "Ignoring \"" << orv::Printable(path)
                 << "\" from the tnef listing: " << problem;
  return false;
}

void WinMailDat::ConvertRtf(orv::string& entry, bool alternative, Scan& scan) {
  orv::string html = HtmlPathFor(entry);
  try {
    const orv::ProcessLimits limits = LimitsFor(scan.deadline);
    orv::Process rtf2html(programDirectory + "rtf2html", Rtf2htmlArguments(entry, html),
                          orv::ChildOutput::kDiscard, limits);
    rtf2html.Wait();
    orv::string abnormal = LimitMessage("rtf2html", rtf2html, limits);
    if (!abnormal.empty()) {
      orv::logline() << abnormal;
      orv::RemoveFile(html);
      return;
    }
  } catch (const orv::Exception&) {
    orv::logline() << "Unable to start the rtf2html binary. RTF attachments will not be decoded.";
    return;
  }
  struct stat st;
  if (lstat(html.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  // The RTF file's name is free again: tnef may reuse it for a later part.
  scan.used.erase(FileNameOf(entry));
  scan.used.insert(FileNameOf(html));
  orv::RemoveFile(entry);
  entry = (alternative ? "*" : "") + html;
}

WinMailDat::PartOutcome WinMailDat::UnpackWinmailPart(orv::InputFile& in, orv::string& line,
                                                      const orv::string& delimiter,
                                                      int64_t partStart, bool alternative,
                                                      bool htmlSeen, Scan& scan) {
  orv::logline() << "Found a winmail.dat attachment, unpacking";
  scan.found = true;
  MatchingParts record;
  record.start = partStart;
  record.delimiter = delimiter;

  if (WriteWorkFile(in, line, delimiter, record)) {
    try {
      std::set<orv::string> before = ListNames(WorkPath());
      orv::string listing, errors;
      RunTnef(&listing, &errors, scan);
      if (!errors.empty()) {
        ReportTnefErrors(errors);
        record.keepReceived = !alwaysRemoveWinmail;
      }
      listing.replace_all("\r", "");
      std::vector<orv::string> entries;
      if (listing.size() > 1) entries = listing.split("\n", 0);

      std::set<orv::string> named;
      for (const orv::string& entry : entries) {
        if (entry.compare(0, 7, "ERROR: ") == 0) {
          orv::logline() << orv::Printable(entry, 1000)
                         << " Winmail.dat file is probably corrupted, stopping conversion.";
          if (!alwaysRemoveWinmail) scan.parts.clear();
          orv::RemoveFile(WorkFile());
          return PartOutcome::kStop;
        }
        orv::string path = ListedPath(entry, WorkPath());
        if (!AcceptListedFile(path, scan)) continue;
        named.insert(FileNameOf(path));
        record.files.push_back(path);
      }
      // Files that tnef wrote but no usable line names would be lost with
      // the received part, so it stays.
      for (const orv::string& name : ListNames(WorkPath())) {
        if (!before.count(name) && !named.count(name) && name != "winmail.dat") {
          orv::logline() << "tnef wrote files that its listing does not name, "
                            "the winmail.dat attachment is kept";
          record.keepReceived = !alwaysRemoveWinmail;
          break;
        }
      }

      std::size_t skipped = 0;
      for (orv::string& entry : record.files) {
        if (!EndsWithRtf(entry)) continue;
        if (!htmlSeen) {
          ConvertRtf(entry, alternative, scan);
        } else if (noRtfAlternative) {
          ++skipped;
          entry = "\\*" + entry;
        }
      }

      std::size_t n = record.files.size();
      if (n == 0) {
        if (alwaysRemoveWinmail) scan.parts.push_back(record);
        orv::logline() << "This winmail.dat doesn't contain extractable attachments";
      } else {
        scan.parts.push_back(record);
        orv::logline log;
        log << "Extracted " << n << " file(s) from winmail.dat";
        if (skipped) log << " (" << skipped << " ignored by the -r option)";
      }
    } catch (const std::exception&) {
      orv::logline() << "Unable to start the tnef binary, unable to extract winmail.dat "
                        "attachments. Message will be left unscanned";
    }
  }
  orv::RemoveFile(WorkFile());
  return line == delimiter ? PartOutcome::kNextPart : PartOutcome::kGoOn;
}
