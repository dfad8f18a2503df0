#include "app/unpack.h"

#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <optional>

#include "app/attached_message.h"
#include "app/attachment_name.h"
#include "app/calendar.h"
#include "orv/codec.h"
#include "orv/file_system.h"
#include "orv/line_stream.h"
#include "orv/output_file.h"
#include "orv/utf8.h"

namespace {

// A body that is not Base64 at all would otherwise flood the log.
constexpr unsigned kReportedBadLines = 10;

bool EndsWithRtf(const orv::string& path) {
  return path.size() >= 4 && path.istarts(".rtf", path.size() - 4);
}

orv::string FileNameOf(const orv::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == orv::string::npos ? path : orv::string(path.substr(slash + 1));
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

// Up to max bytes of the file at path from offset on; empty when it cannot be
// read.
std::string ReadFile(const orv::string& path, std::size_t max, int64_t offset = 0) {
  orv::InputFile in(path);
  std::string bytes;
  if (!in.is_open()) return bytes;
  in.Seek(offset);
  char buffer[64 * 1024];
  while (bytes.size() < max) {
    std::size_t n = in.Read(buffer, std::min(sizeof buffer, max - bytes.size()));
    if (n == 0) break;
    bytes.append(buffer, n);
  }
  return in.fail() ? std::string() : bytes;
}

bool IsRegularFile(const orv::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool WriteFile(const orv::string& path, std::string_view bytes) {
  orv::ofstream out(path, std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (out.close()) return true;
  orv::logline() << "Unable to write " << orv::Printable(path) << ": " << strerror(out.error());
  return false;
}

orv::string StemOf(const orv::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == 0 || dot == orv::string::npos ? name : orv::string(name.substr(0, dot));
}

}  // namespace

UnpackResult Unpacker::Unpack(orv::InputFile& in, const WinmailPart& part) {
  orv::logline() << "Found a winmail.dat attachment, unpacking";
  UnpackResult result;
  if (!WriteWorkFile(in, part)) return result;
  TnefMessage message;
  UnpackWorkFile(part, message, result);
  orv::RemoveFile(WorkFile());
  return result;
}

// Unpacks the TNEF stream in the work file into result, and message gets what
// the reader finds in it. Returns whether tnef ran to its end and listed no
// error.
bool Unpacker::UnpackWorkFile(const WinmailPart& part, TnefMessage& message, UnpackResult& result) {
  const orv::string work_file = WorkFile();
  const std::set<orv::string> before = ListNames(scratch_.path());
  const ConverterRun run =
      converters_.Tnef(work_file, scratch_.path(), !settings_.ignore_rtf_body, deadline_);
  if (run.status == ConverterRun::kNotRun) {
    orv::logline() << "Unable to start the tnef binary, unable to extract winmail.dat "
                      "attachments. Message will be left unscanned: "
                   << orv::Printable(run.reason);
    result.not_run = true;
  }
  if (!run.errors.empty() && run.status != ConverterRun::kNotRun) {
    ReportTnefErrors(run.errors);
    result.keep_received = !settings_.always_remove_winmail;
  }
  if (run.status != ConverterRun::kDone) return false;
  std::optional<TnefMessage> read = ReadTnef(ReadFile(work_file, SIZE_MAX));
  if (read) message = std::move(*read);
  if (!ReadListing(run, message.code_page, result)) {
    result.outcome = UnpackResult::kCorrupt;
    result.files.clear();
    return false;
  }
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
  ConvertItem(message, part, result);
  ConvertObjects(result);
  ConvertRtf(part, result);
  return true;
}

// What the message's class asks for besides tnef's files: ytnef's part for a
// calendar item, task or contact; for a class that nothing converts, the
// received part.
void Unpacker::ConvertItem(const TnefMessage& message, const WinmailPart& part,
                           UnpackResult& result) {
  switch (KindOfItem(message.message_class)) {
    case ItemKind::kNote:
      return;
    case ItemKind::kOther:
      Keep(result,
           "its message class \"" + orv::Printable(message.message_class) + "\" is not converted");
      return;
    case ItemKind::kItem:
      break;
  }
  const orv::string why = ConvertWithYtnef(message, part, result);
  if (!why.empty()) Keep(result, why);
}

// Has ytnef convert the item and adds its part to result. Returns why that
// failed; empty when it did not.
orv::string Unpacker::ConvertWithYtnef(const TnefMessage& message, const WinmailPart& part,
                                       UnpackResult& result) {
  const orv::string noun = ItemNoun(message.message_class);
  ScratchDirectory dir;
  if (!dir.Create(scratch_.path(), scratch_.owner()))
    return "the " + noun + " could not be converted";
  const ConverterRun run = converters_.Ytnef(WorkFile(), dir.path(), deadline_);
  if (run.status == ConverterRun::kNotRun) return "ytnef could not be started for the " + noun;
  if (run.status == ConverterRun::kStopped) return "ytnef was stopped on the " + noun;
  std::string organizer = MailAddressOf(part.from);
  if (organizer.empty()) organizer = MailAddressOf(message.sender_address);
  // ytnef names its file after the item and may save attachments beside it:
  // its part is the file that holds a calendar or a card.
  for (const orv::string& name : ListNames(dir.path())) {
    const orv::string path = dir.path() + "/" + name;
    if (!IsRegularFile(path)) continue;
    const std::string text = ReadFile(path, kMaxCalendarSize + 1);
    if (!orv::string(text).istarts("BEGIN:VCALENDAR") && !orv::string(text).istarts("BEGIN:VCARD"))
      continue;
    const CalendarPart made = MakeCalendarPart(text, organizer);
    if (!made.error.empty())
      return "ytnef's file for the " + noun + " is not usable: " + made.error;
    ExtractedFile file;
    file.path = NewFile("item", made.extension);
    if (!WriteFile(file.path, made.text)) return "the " + noun + " could not be converted";
    const orv::string stem = StemOf(name);
    file.name = (orv::IsUtf8(stem) ? stem : noun) + made.extension;
    file.content_type = made.content_type;
    result.files.push_back(file);
    orv::logline() << "Converted the " << noun << " into "
                   << (made.extension == ".ics" ? "an iCalendar part" : "a vCard part");
    return orv::string();
  }
  return "ytnef wrote nothing usable for the " + noun;
}

// Attached messages become messages; an OLE object, which nothing here
// converts, keeps the received part.
void Unpacker::ConvertObjects(UnpackResult& result) {
  for (ExtractedFile& file : result.files) {
    if (file.kind != FileKind::kAttachment || !file.content_type.empty()) continue;
    switch (KindOfAttachedObject(ReadFile(file.path, kIidSize + 4))) {
      case AttachedObject::kNone:
        break;
      case AttachedObject::kStorage:
        Keep(result, "it holds an OLE object");
        break;
      case AttachedObject::kMessage: {
        orv::string why;
        if (level_ >= kTnefMaxDepth) {
          why = "its attached messages are nested too deep";
        } else if (*attached_left_of_conversion_ == 0) {
          why = "it holds too many attached messages";
        } else {
          --*attached_left_of_conversion_;
          why = ConvertAttachedMessage(file);
        }
        if (!why.empty()) Keep(result, why);
        break;
      }
    }
  }
}

// Makes file, an attached message as tnef wrote it, a message of its own
// from the conversion of its stream. Returns why that failed or left
// something out; empty when it did not.
orv::string Unpacker::ConvertAttachedMessage(ExtractedFile& file) {
  const orv::string failed = "an attached message could not be converted";
  ScratchDirectory dir;
  if (!dir.Create(scratch_.path(), scratch_.owner())) return failed;
  // Its stream, after the interface id, is the work file of an unpacking of
  // its own.
  Unpacker nested(*this, dir);
  if (!WriteFile(nested.WorkFile(), ReadFile(file.path, SIZE_MAX, kIidSize))) return failed;
  WinmailPart body;
  body.alternative = true;  // its RTF body becomes its HTML body
  TnefMessage message;
  UnpackResult inner;
  if (!nested.UnpackWorkFile(body, message, inner)) return failed;
  const orv::string path = NewFile("message", ".eml");
  if (!WriteAttachedMessage(message, inner.files, settings_.content_types, level_ + 1,
                            nested.NewFile("skeleton", ".eml"), path))
    return failed;
  used_.erase(FileNameOf(file.path));
  orv::RemoveFile(file.path);
  file.path = path;
  file.name = AttachedMessageName(message);
  file.kind = FileKind::kMessage;
  orv::logline() << "Converted an attached message";
  static const orv::string kInside = "in an attached message, ";
  if (inner.kept_because.istarts(kInside)) return inner.kept_because;
  if (!inner.kept_because.empty()) return kInside + inner.kept_because;
  if (inner.keep_received) return "tnef did not account for all of an attached message";
  return orv::string();
}

// Keeps the received part after the new ones, unless always_remove_winmail,
// for why.
void Unpacker::Keep(UnpackResult& result, const orv::string& why) {
  if (result.kept_because.empty()) result.kept_because = why;
  if (settings_.always_remove_winmail) return;
  result.keep_received = true;
  if (level_ == 1) orv::logline() << "Kept winmail.dat: " << why;
}

// A new file name in the scratch directory, stem-N.extension, held as used.
orv::string Unpacker::NewFile(const orv::string& stem, const orv::string& extension) {
  for (unsigned n = 1;; ++n) {
    const orv::string name = stem + "-" + std::to_string(n) + extension;
    if (!used_.count(name) && !orv::FileExists(scratch_.path() + "/" + name)) {
      used_.insert(name);
      return scratch_.path() + "/" + name;
    }
  }
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
    orv::logline() << "Unable to start the rtf2html binary. RTF attachments will not be decoded: "
                   << orv::Printable(run.reason);
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
    if (level_ == 1) orv::logline() << "This winmail.dat doesn't contain extractable attachments";
    return;
  }
  result.outcome = UnpackResult::kReplaced;
  if (level_ > 1) return;
  orv::logline log;
  log << "Extracted " << n << " file(s) from winmail.dat";
  if (skipped) log << " (" << skipped << " ignored by the -r option)";
}
