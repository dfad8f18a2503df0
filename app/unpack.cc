#include "app/unpack.h"

#include <string.h>
#include <sys/stat.h>

#include "app/attachment_name.h"
#include "app/tnef_reader.h"
#include "orv/codec.h"
#include "orv/file_system.h"
#include "orv/line_stream.h"
#include "orv/output_file.h"

namespace {

// A body that is not Base64 at all would otherwise flood the log.
constexpr unsigned kReportedBadLines = 10;

// The code page of the names stands among the first attributes of a
// winmail.dat; its head is enough to find it.
constexpr std::size_t kTnefHead = 64 * 1024;

bool EndsWithRtf(const orv::string& path) {
  return path.size() >= 4 && path.istarts(".rtf", path.size() - 4);
}

orv::string FileNameOf(const orv::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == orv::string::npos ? path : orv::string(path.substr(slash + 1));
}

// The code page the winmail.dat gives, 0 when it gives none.
int CodePageOf(const orv::string& work_file) {
  orv::InputFile in(work_file);
  std::string head(kTnefHead, '\0');
  std::size_t size = 0;
  while (in.is_open() && size < head.size()) {
    std::size_t n = in.Read(head.data() + size, head.size() - size);
    if (n == 0) break;
    size += n;
  }
  head.resize(size);
  std::optional<TnefMessage> message = ReadTnef(head);
  return message ? message->code_page : 0;
}

// The name a file is shown with, as UTF-8: tnef's name column, which holds the
// name as sent, unless a line break in the name cut the listing line; then
// the name on disk with tnef's escapes undone. --number-backups may have
// added to the name on disk, never to the column.
orv::string DisplayName(const ListingLine& listed, int code_page) {
  const std::string on_disk = UndoTnefEscapes(FileNameOf(listed.path));
  const bool whole =
      !listed.name.empty() && on_disk.compare(0, listed.name.size(), listed.name) == 0;
  return NameToUtf8(whole ? listed.name : on_disk, code_page);
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

UnpackResult Unpacker::Unpack(orv::InputFile& in, const WinmailPart& part) {
  orv::logline() << "Found a winmail.dat attachment, unpacking";
  UnpackResult result;
  const orv::string work_file = scratch_.path() + "/winmail.dat";
  if (!WriteWorkFile(in, part)) return result;
  const std::set<orv::string> before = ListNames(scratch_.path());
  const ConverterRun run =
      converters_.Tnef(work_file, scratch_.path(), !settings_.ignore_rtf_body, deadline_);
  if (run.status == ConverterRun::kNotRun) {
    orv::logline() << "Unable to start the tnef binary, unable to extract winmail.dat "
                      "attachments. Message will be left unscanned";
  }
  if (!run.errors.empty() && run.status != ConverterRun::kNotRun) {
    ReportTnefErrors(run.errors);
    result.keep_received = !settings_.always_remove_winmail;
  }
  if (run.status == ConverterRun::kDone) {
    if (!ReadListing(run, CodePageOf(work_file), result)) {
      result.outcome = UnpackResult::kCorrupt;
      result.files.clear();
    } else {
      // Files that tnef wrote but no usable line names would be lost with the
      // received part, so it stays.
      for (const orv::string& name : ListNames(scratch_.path())) {
        if (before.count(name) || name == "winmail.dat") continue;
        if (used_.count(name)) continue;
        orv::logline() << "tnef wrote files that its listing does not name, "
                          "the winmail.dat attachment is kept";
        result.keep_received = !settings_.always_remove_winmail;
        break;
      }
      ConvertRtf(part, result);
    }
  }
  orv::RemoveFile(work_file);
  return result;
}

// Decodes the part's body into the work file. Returns whether it is complete.
bool Unpacker::WriteWorkFile(orv::InputFile& in, const WinmailPart& part) {
  const orv::string work_file = scratch_.path() + "/winmail.dat";
  orv::ofstream work(work_file, std::ios::trunc | std::ios::binary);
  in.clear();
  in.Seek(part.body_start);
  unsigned bad_lines = 0;
  {
    orv::Base64LineDecoder decoder(work);
    orv::string line;
    ReadPartBody(in, part.delimiter, line, &decoder, &bad_lines);
  }
  for (unsigned n = 0; n < bad_lines && n < kReportedBadLines; ++n) {
    orv::logline() << "unable to decode the attachment, data is corrupted";
  }
  if (bad_lines > kReportedBadLines) {
    orv::logline() << "unable to decode " << bad_lines - kReportedBadLines
                   << " more lines of the attachment";
  }
  if (work.close()) return true;
  orv::logline() << "Unable to write the work file " << orv::Printable(work_file) << ": "
                 << strerror(work.error());
  return false;
}

// Takes the files that tnef's listing names. Returns false for a listing that
// reports an error, which is logged.
bool Unpacker::ReadListing(const ConverterRun& run, int code_page, UnpackResult& result) {
  orv::string listing = run.listing;
  listing.replace_all("\r", "");
  std::vector<orv::string> entries;
  if (listing.size() > 1) entries = listing.split("\n", 0);
  for (const orv::string& entry : entries) {
    if (entry.compare(0, 7, "ERROR: ") == 0) {
      orv::logline() << orv::Printable(entry, 1000)
                     << " Winmail.dat file is probably corrupted, stopping conversion.";
      return false;
    }
    ListingLine listed = ParseListingLine(entry, scratch_.path());
    if (!AcceptListedFile(listed.path)) continue;
    ExtractedFile file;
    file.name = DisplayName(listed, code_page);
    file.path = listed.path;
    file.body =
        !settings_.ignore_rtf_body && FileNameOf(listed.path).compare(0, 11, "saved_body.") == 0;
    file.type = listed.type;
    file.content_id = listed.content_id;
    result.files.push_back(file);
  }
  return true;
}

// Whether a listed path may be used: a regular file directly inside the
// scratch directory, not the work file, and not named before in this message.
bool Unpacker::AcceptListedFile(const orv::string& path) {
  const char* problem = nullptr;
  struct stat st;
  if (!scratch_.Contains(path) || lstat(path.c_str(), &st) != 0) {
    problem = "it is not a file in the work directory";
  } else if (!S_ISREG(st.st_mode)) {
    problem = "it is not a regular file";
  } else if (FileNameOf(path) == "winmail.dat") {
    problem = "it is the work file";
  } else if (!used_.insert(FileNameOf(path)).second) {
    problem = "it is listed twice";
  }
  if (!problem) return true;
  orv::logline() << "Ignoring \"" << orv::Printable(path)
                 << "\" from the tnef listing: " << problem;
  return false;
}

// Turns RTF bodies into HTML, or leaves them out, and concludes the result.
void Unpacker::ConvertRtf(const WinmailPart& part, UnpackResult& result) {
  std::size_t skipped = 0;
  for (ExtractedFile& file : result.files) {
    if (!EndsWithRtf(file.path)) continue;
    if (!part.html_seen) {
      ConvertRtfFile(file, part.alternative);
    } else if (settings_.no_rtf_alternative) {
      ++skipped;
      file.kind = FileKind::kSkipped;
    }
  }
  Conclude(result, skipped);
}

void Unpacker::ConvertRtfFile(ExtractedFile& file, bool alternative) {
  const orv::string html = HtmlPathFor(file.path);
  const ConverterRun run = converters_.Rtf2html(file.path, html, deadline_);
  if (run.status == ConverterRun::kNotRun) {
    orv::logline() << "Unable to start the rtf2html binary. RTF attachments will not be decoded.";
  }
  struct stat st;
  if (run.status != ConverterRun::kDone || lstat(html.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    orv::RemoveFile(html);
    return;
  }
  // The RTF file's name is free again: tnef may reuse it for a later part.
  used_.erase(file.name);
  orv::RemoveFile(file.path);
  file.path = html;
  file.name = FileNameOf(html);
  used_.insert(file.name);
  if (alternative) file.kind = FileKind::kInlineHtml;
}

void Unpacker::Conclude(UnpackResult& result, std::size_t skipped) {
  const std::size_t n = result.files.size();
  if (n == 0) {
    if (settings_.always_remove_winmail) result.outcome = UnpackResult::kReplaced;
    orv::logline() << "This winmail.dat doesn't contain extractable attachments";
    return;
  }
  result.outcome = UnpackResult::kReplaced;
  orv::logline log;
  log << "Extracted " << n << " file(s) from winmail.dat";
  if (skipped) log << " (" << skipped << " ignored by the -r option)";
}
