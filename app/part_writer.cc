// Writing the converted message: the received message copied line by line,
// with one new MIME part per extracted file where a winmail.dat part stood.
#include <string.h>

#include <string_view>

#include "app/content_type.h"
#include "app/winmaildat.h"
#include "orv/codec.h"
#include "orv/file_system.h"
#include "orv/line_stream.h"

namespace {

// Lines longer than this cannot be delimiter lines; they are copied (or
// dropped) piece by piece as they are read.
constexpr std::size_t kLineHead = 4096;

struct CopyLine {
  orv::string text;      // the line, or the head of a long line
  bool handled = false;  // a long line, already copied or dropped
};

// Reads the next line. A long line goes to sink at once, ended by LF, or is
// dropped when sink is null.
void ReadCopyLine(orv::InputFile& in, CopyLine& line, std::ostream* sink) {
  line.handled = false;
  orv::getline(in, line.text, kLineHead, [&](std::string_view piece) {
    line.handled = true;
    if (sink) sink->write(piece.data(), static_cast<std::streamsize>(piece.size()));
  });
  if (line.handled && sink) sink->put('\n');
}

void WriteCopyLine(std::ostream& out, const CopyLine& line) {
  if (line.handled) return;
  out.write(line.text.data(), static_cast<std::streamsize>(line.text.size()));
  out.put('\n');
}

// A file name inside a quoted header parameter.
orv::string QuotedName(const orv::string& name) {
  orv::string quoted;
  for (char c : name) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted;
}

// Writes one new part for entry (an inline HTML body when it begins with "*",
// else an attachment) and deletes the file. An unreadable file fails out.
void WritePart(std::ostream& out, orv::string& entry, const orv::string& delimiter) {
  bool inline_body = !entry.empty() && entry[0] == '*';
  if (inline_body) entry.erase(0, 1);
  const orv::string& path = entry;
  orv::string name = FileNameOf(path);
  orv::string type = ContentTypeOf(path);
  orv::logline() << "Inserting file \"" << orv::Printable(name) << '"';

  out << delimiter << '\n';
  if (inline_body) {
    out << "Content-Type: " << type << "\nContent-Transfer-Encoding: quoted-printable\n";
  } else {
    orv::string quoted = QuotedName(name);
    out << "Content-Type: " << type << "; \n   name=\"" << quoted
        << "\"\nContent-Transfer-Encoding: base64\nContent-Disposition: attachment;\n"
           "   filename=\""
        << quoted << "\"\n";
  }
  out << '\n';
  {
    orv::InputFile file(path);
    if (file.is_open()) {
      if (inline_body) {
        orv::WriteQuotedPrintable(file, out);
      } else {
        orv::WriteBase64Lines(file, out);
      }
    }
    if (!file.is_open() || file.fail()) {
      orv::logline() << "Unable to read the extracted file \"" << orv::Printable(name) << '"';
      out.setstate(std::ios::failbit);
    }
  }
  orv::RemoveFile(path);
  out << '\n';
}

}  // namespace

orv::string WriteFailure(const orv::ofstream& out) {
  // Without a system error, the failure was an extracted file that could not be read.
  return out.error() ? strerror(out.error()) : "an extracted file could not be read";
}

orv::string FileNameOf(const orv::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == orv::string::npos ? path : orv::string(path.substr(slash + 1));
}

void WinMailDat::InsertExtractedFiles(orv::InputFile& in, std::ostream& out,
                                      std::vector<MatchingParts>& parts) {
  CopyLine line;
  std::size_t next = 0;
  ReadCopyLine(in, line, &out);
  for (;;) {
    // A record's part begins right after the delimiter line just read; parts
    // that follow each other directly are matched one after the other.
    while (next < parts.size() && in.Tell() == parts[next].start) {
      MatchingParts& record = parts[next++];
      const bool keep = keepWinmail || record.keepReceived;
      for (orv::string& entry : record.files) {
        if (entry.compare(0, 2, "\\*") != 0) WritePart(out, entry, record.delimiter);
      }
      if (keep) WriteCopyLine(out, line);
      const orv::string closing = record.delimiter + "--";
      for (;;) {
        ReadCopyLine(in, line, keep ? &out : nullptr);
        const bool at_end = in.Tell() == record.end;
        // A delimiter line that ended the body belongs to the next part.
        if (at_end && (line.text == record.delimiter || line.text == closing)) break;
        if (keep) WriteCopyLine(out, line);
        if (at_end) {
          ReadCopyLine(in, line, &out);
          break;
        }
        // The input ended inside the part: nothing more of it is written.
        if (in.eof()) return;
      }
    }
    WriteCopyLine(out, line);
    // The line was the input's last: reading on would add an empty line.
    if (in.eof()) return;
    ReadCopyLine(in, line, &out);
    if (in.eof()) {
      WriteCopyLine(out, line);
      return;
    }
  }
}
