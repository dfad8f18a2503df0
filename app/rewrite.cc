#include "app/rewrite.h"

#include <string.h>

#include <string_view>

#include "app/content_type.h"
#include "orv/codec.h"
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

// Writes one new part for file. An unreadable file fails out.
void WritePart(std::ostream& out, const ExtractedFile& file, const orv::string& delimiter) {
  const bool inline_body = file.kind == FileKind::kInlineHtml;
  const orv::string type = file.content_type.empty() ? ContentTypeOf(file.path) : file.content_type;
  orv::logline() << "Inserting file \"" << orv::Printable(file.name) << '"';

  out << delimiter << '\n';
  if (inline_body) {
    out << "Content-Type: " << type << "\nContent-Transfer-Encoding: quoted-printable\n";
  } else {
    orv::string quoted = QuotedName(file.name);
    out << "Content-Type: " << type << "; \n   name=\"" << quoted
        << "\"\nContent-Transfer-Encoding: base64\nContent-Disposition: attachment;\n"
           "   filename=\""
        << quoted << "\"\n";
  }
  out << '\n';
  orv::InputFile in(file.path);
  if (in.is_open()) {
    if (inline_body) {
      orv::WriteQuotedPrintable(in, out);
    } else {
      orv::WriteBase64Lines(in, out);
    }
  }
  if (!in.is_open() || in.fail()) {
    orv::logline() << "Unable to read the extracted file \"" << orv::Printable(file.name) << '"';
    out.setstate(std::ios::failbit);
  }
  out << '\n';
}

// Whether the file in holds only ASCII; reads it to its end.
bool AllAscii(orv::InputFile& in) {
  char buffer[16 * 1024];
  bool ascii = true;
  while (std::size_t n = in.Read(buffer, sizeof buffer)) {
    for (std::size_t i = 0; i < n; ++i) ascii = ascii && (buffer[i] & 0x80) == 0;
  }
  return ascii;
}

// Copies in to out with CR LF line ends made LF, ending with a line end.
void CopyMessageLines(orv::InputFile& in, std::ostream& out) {
  char buffer[16 * 1024];
  bool cr = false;
  char last = '\n';
  while (std::size_t n = in.Read(buffer, sizeof buffer)) {
    for (std::size_t i = 0; i < n; ++i) {
      if (cr && buffer[i] != '\n') out.put('\r');
      cr = buffer[i] == '\r';
      if (!cr) out.put(buffer[i]);
    }
    last = buffer[n - 1];
  }
  if (last != '\n') out.put('\n');
}

// Writes a message/rfc822 part for file, which holds a whole message. An
// unreadable file fails out.
void WriteMessagePart(std::ostream& out, const ExtractedFile& file, const orv::string& delimiter) {
  orv::logline() << "Inserting file \"" << orv::Printable(file.name) << '"';
  orv::InputFile in(file.path);
  const bool ascii = AllAscii(in);
  const orv::string quoted = QuotedName(file.name);
  out << delimiter
      << "\nContent-Type: message/rfc822\nContent-Transfer-Encoding: " << (ascii ? "7bit" : "8bit")
      << "\nContent-Disposition: attachment;\n   filename=\"" << quoted << "\"\n\n";
  if (in.is_open() && !in.fail()) {
    in.Seek(0);
    CopyMessageLines(in, out);
  }
  if (!in.is_open() || in.fail()) {
    orv::logline() << "Unable to read the extracted file \"" << orv::Printable(file.name) << '"';
    out.setstate(std::ios::failbit);
  }
  out << '\n';
}

// Writes the replacement's files, then copies or drops the received part up to
// the line that ended it; line then holds the next line to copy. Returns false
// when the input ended inside the part.
bool ReplacePart(orv::InputFile& in, std::ostream& out, const Replacement& r, bool keep,
                 CopyLine& line) {
  for (const ExtractedFile& file : r.result.files) {
    if (file.kind == FileKind::kMessage) {
      WriteMessagePart(out, file, r.part.delimiter);
    } else if (file.kind != FileKind::kSkipped) {
      WritePart(out, file, r.part.delimiter);
    }
  }
  if (keep) WriteCopyLine(out, line);
  const orv::string closing = r.part.delimiter + "--";
  for (;;) {
    ReadCopyLine(in, line, keep ? &out : nullptr);
    const bool at_end = in.Tell() == r.part.end;
    // A delimiter line that ended the body belongs to the next part.
    if (at_end && (line.text == r.part.delimiter || line.text == closing)) return true;
    if (keep) WriteCopyLine(out, line);
    if (at_end) {
      ReadCopyLine(in, line, &out);
      return true;
    }
    // The input ended inside the part: nothing more of it is written.
    if (in.eof()) return false;
  }
}

}  // namespace

orv::string WriteFailure(const orv::ofstream& out) {
  // Without a system error, the failure was an extracted file that could not be read.
  return out.error() ? strerror(out.error()) : "an extracted file could not be read";
}

void RewriteMessage(orv::InputFile& in, std::ostream& out,
                    const std::vector<Replacement>& replacements, bool keep_winmail) {
  CopyLine line;
  std::size_t next = 0;
  ReadCopyLine(in, line, &out);
  for (;;) {
    // A part begins right after the delimiter line just read; parts that
    // follow each other directly are replaced one after the other.
    while (next < replacements.size() && in.Tell() == replacements[next].part.start) {
      const Replacement& r = replacements[next++];
      if (!ReplacePart(in, out, r, keep_winmail || r.result.keep_received, line)) return;
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
