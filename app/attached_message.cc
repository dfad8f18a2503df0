#include "app/attached_message.h"

#include <cstring>
#include <sstream>
#include <string_view>

#include "app/calendar.h"
#include "app/rewrite.h"
#include "orv/codec.h"
#include "orv/file_system.h"
#include "orv/input_file.h"
#include "orv/line_stream.h"
#include "orv/output_file.h"
#include "orv/utf8.h"

namespace {

constexpr std::size_t kMaxLine = 78;
// Bytes per encoded word: a word of 68 characters keeps a line within 78
// after "Subject: " or the one blank of a folded line.
constexpr std::size_t kWordBytes = 42;

bool IsPrintableAscii(std::string_view text) {
  for (char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// text in RFC 2047 encoded words of whole UTF-8 characters, joined by
// "\n " so that each goes on a line of its own.
std::string EncodedWords(std::string_view text) {
  std::ostringstream out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = pos;
    while (end < text.size()) {
      std::size_t length = orv::Utf8SequenceLength(text, end);
      if (length == 0) length = 1;
      if (end + length - pos > kWordBytes) break;
      end += length;
    }
    if (pos != 0) out << "\n ";
    out << "=?UTF-8?B?";
    orv::Base64Encode(text.substr(pos, end - pos), out);
    out << "?=";
    pos = end;
  }
  return out.str();
}

// An unstructured field: the text as it is when it is printable ASCII that
// fits on the line, otherwise in encoded words.
std::string UnstructuredField(std::string_view name, std::string_view text) {
  std::string field(name);
  field += ": ";
  if (IsPrintableAscii(text) && field.size() + text.size() <= kMaxLine) {
    field += text;
  } else {
    field += EncodedWords(text);
  }
  return field + "\n";
}

// A display name as an RFC 5322 phrase: atoms as they are, a quoted string
// for other printable ASCII, encoded words for the rest.
std::string Phrase(std::string_view name) {
  if (!IsPrintableAscii(name) || name.size() > kMaxLine - 10) return EncodedWords(name);
  bool plain = true;
  for (char c : name) plain = plain && !std::strchr("()<>[]:;@\\,.\"", c);
  if (plain) return std::string(name);
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string FromField(const TnefMessage& message) {
  const std::string address = MailAddressOf(message.sender_address);
  const std::string& name = message.sender_name;
  if (address.empty()) {
    // A name alone makes a group without members, which readers show.
    return name.empty() ? std::string() : "From: " + Phrase(name) + ":;\n";
  }
  if (name.empty() || name == address) return "From: " + address + "\n";
  std::string field = "From: " + Phrase(name);
  const std::size_t last_line = field.size() - (field.rfind('\n') + 1);
  field += last_line + address.size() + 3 > kMaxLine ? "\n <" : " <";
  return field + address + ">\n";
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
long DaysFromCivil(long year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<long>(day_of_era) - 719468;
}

std::string DateField(const TnefTime& t) {
  static const char* const kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (t.year < 1900 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 ||
      t.hour > 23 || t.minute > 59 || t.second > 60 || t.hour < 0 || t.minute < 0 || t.second < 0)
    return std::string();
  const long days =
      DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day));
  char field[64];
  std::snprintf(field, sizeof field, "Date: %s, %02d %s %04d %02d:%02d:%02d +0000\n",
                kDays[((days % 7) + 7) % 7], t.day, kMonths[t.month - 1], t.year, t.hour, t.minute,
                t.second);
  return field;
}

std::string MessageIdField(std::string_view id) {
  if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
  if (id.empty() || id.size() > 250) return std::string();
  for (char c : id) {
    if (c <= ' ' || c >= 0x7F || c == '<' || c == '>') return std::string();
  }
  return "Message-ID: <" + std::string(id) + ">\n";
}

}  // namespace

std::string AttachedMessageFields(const TnefMessage& message) {
  std::string fields = FromField(message);
  if (!message.subject.empty()) fields += UnstructuredField("Subject", message.subject);
  if (message.date_sent) fields += DateField(*message.date_sent);
  fields += MessageIdField(message.message_id);
  return fields + "MIME-Version: 1.0\n";
}

std::string AttachedMessageName(const TnefMessage& message) {
  std::string name = message.subject;
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return (name.empty() ? "attached message" : name) + ".eml";
}

bool WriteAttachedMessage(const TnefMessage& message, const std::vector<ExtractedFile>& files,
                          const ContentTypes& types, int level, const orv::string& work,
                          const orv::string& path) {
  const std::string fields = AttachedMessageFields(message);
  bool any = false;
  for (const ExtractedFile& file : files) any = any || file.kind != FileKind::kSkipped;
  orv::ofstream out(path, std::ios::trunc);
  if (!any) {
    out << fields << "Content-Type: text/plain; charset=us-ascii\n\n";
  } else {
    // The message writer puts the files in place of the one part of a
    // skeleton message.
    const std::string boundary = "=_verrowick-attached-" + std::to_string(level);
    Replacement replacement;
    replacement.part.delimiter = "--" + boundary;
    std::string skeleton = fields + "Content-Type: multipart/mixed; boundary=\"" + boundary +
                           "\"\n\n" + replacement.part.delimiter + "\n";
    replacement.part.start = static_cast<int64_t>(skeleton.size());
    skeleton += "Content-Type: application/ms-tnef\n\n\n";
    replacement.part.end = static_cast<int64_t>(skeleton.size());
    skeleton += replacement.part.delimiter + "--\n";
    replacement.result.outcome = UnpackResult::kReplaced;
    // The body first, where readers look for it.
    for (const ExtractedFile& file : files) {
      if (file.kind == FileKind::kInlineHtml) replacement.result.files.push_back(file);
    }
    for (const ExtractedFile& file : files) {
      if (file.kind != FileKind::kInlineHtml) replacement.result.files.push_back(file);
    }
    orv::ofstream skeleton_out(work, std::ios::trunc);
    skeleton_out << skeleton;
    if (!skeleton_out.close()) {
      orv::logline() << "Unable to write the attached message: " << WriteFailure(skeleton_out);
      orv::RemoveFile(work);
      return false;
    }
    orv::InputFile in(work);
    RewriteMessage(in, out, {replacement}, types, false);
    orv::RemoveFile(work);
  }
  if (out.close()) return true;
  orv::logline() << "Unable to write the attached message: " << WriteFailure(out);
  return false;
}
