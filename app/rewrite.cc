#include "app/rewrite.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <string_view>

#include "app/content_type.h"
#include "app/mime_words.h"
#include "orv/codec.h"
#include "orv/line_stream.h"

namespace {

// Lines longer than this cannot be delimiter lines; they are copied (or
// dropped) piece by piece as they are read.
constexpr std::size_t kLineHead = 4096;
// Names are shown whole on the console, up to this many bytes.
constexpr std::size_t kShownName = 1000;
// The longest line of a message/rfc822 part (RFC 5322).
constexpr std::size_t kMaxMessageLine = 998;
// An HTML body is searched for cid: references in its first bytes only.
constexpr std::size_t kMaxHtmlScan = 16 * 1024 * 1024;
// A media type tnef lists is used up to this length.
constexpr std::size_t kMaxMediaType = 127;
constexpr char kOctetStream[] = "application/octet-stream";

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

// Whether type is a type/subtype pair of RFC 2045 tokens.
bool IsMediaType(std::string_view type) {
  const std::size_t slash = type.find('/');
  if (slash == 0 || slash == std::string_view::npos || slash + 1 == type.size() ||
      type.size() > kMaxMediaType) {
    return false;
  }
  for (std::size_t i = 0; i < type.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(type[i]);
    if (i != slash && (c <= ' ' || c >= 0x7F || strchr("()<>@,;:\\\"/[]?=", c))) return false;
  }
  return true;
}

// The Content-Type for file: the value the unpacking chose, else the type of
// its extension, else the type tnef listed for it.
orv::string TypeOf(const ExtractedFile& file, const ContentTypes& types) {
  if (!file.content_type.empty()) return file.content_type;
  orv::string type = types.Of(file.path);
  if (type == kOctetStream && IsMediaType(file.type)) return file.type;
  return type;
}

// Whether the file may be the body of a message/rfc822 part as it is (RFC
// 2046 forbids encoding one): no NUL, no CR but before LF, no line over 998
// bytes.
bool FitsMessagePart(const orv::string& path) {
  orv::InputFile in(path);
  char buffer[16 * 1024];
  std::size_t length = 0;
  bool cr = false;
  while (std::size_t n = in.Read(buffer, sizeof buffer)) {
    for (std::size_t i = 0; i < n; ++i) {
      const char c = buffer[i];
      if (c == '\0' || (cr && c != '\n')) return false;
      cr = c == '\r';
      length = c == '\n' ? 0 : length + 1;
      if (length > kMaxMessageLine + (cr ? 1 : 0)) return false;
    }
  }
  return in.is_open() && !in.fail() && !cr;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// text with the %XX escapes of a URL undone.
std::string UndoUrlEscapes(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The content ids that the HTML file at path references by cid: URLs (RFC
// 2392), from its first kMaxHtmlScan bytes.
std::set<std::string> CidReferences(const orv::string& path) {
  orv::InputFile in(path);
  std::string html;
  char buffer[16 * 1024];
  while (html.size() < kMaxHtmlScan) {
    const std::size_t n = in.Read(buffer, std::min(sizeof buffer, kMaxHtmlScan - html.size()));
    if (n == 0) break;
    html.append(buffer, n);
  }
  std::set<std::string> ids;
  for (std::size_t at = html.find(':'); at != std::string::npos; at = html.find(':', at + 1)) {
    if (at < 3 || strncasecmp(html.data() + at - 3, "cid", 3) != 0) continue;
    const std::size_t end = html.find_first_of("\"'<> \t\r\n)", at + 1);
    ids.insert(UndoUrlEscapes(
        std::string_view(html).substr(at + 1, end == std::string::npos ? end : end - at - 1)));
  }
  return ids;
}

bool EndsWithHtml(const orv::string& path) {
  return path.size() >= 5 && path.istarts(".html", path.size() - 5);
}

// Whether text occurs in the input from start on; in is left anywhere.
bool Occurs(orv::InputFile& in, int64_t start, std::string_view text) {
  in.clear();
  in.Seek(start);
  std::string window;
  char buffer[16 * 1024];
  while (std::size_t n = in.Read(buffer, sizeof buffer)) {
    window.append(buffer, n);
    if (window.find(text) != std::string::npos) return true;
    window.erase(0, window.size() - std::min(window.size(), text.size() - 1));
  }
  return false;
}

// The stem of the boundaries a message gets: random, and found nowhere in the
// message from start on. No Base64 or quoted-printable line of a new part can
// hold "=_" either.
orv::string BoundaryStem(orv::InputFile& in, int64_t start) {
  std::random_device device;
  for (;;) {
    char stem[40];
    snprintf(stem, sizeof stem, "=_verrowick_%08x%08x%08x", device(), device(), device());
    if (!Occurs(in, start, stem)) return stem;
  }
}

// How the files of one replacement are laid out with --inline-body.
struct Shape {
  const ExtractedFile* html = nullptr;       // the HTML body, shown as the message
  std::vector<const ExtractedFile*> images;  // the parts it references by cid:
  int64_t wrap = 0;  // the text/plain part it joins in a multipart/alternative; 0: none
};

std::vector<Shape> ShapesOf(const std::vector<Replacement>& replacements, bool inline_body) {
  std::vector<Shape> shapes(replacements.size());
  if (!inline_body) return shapes;
  std::set<int64_t> wrapped;
  for (std::size_t i = 0; i < replacements.size(); ++i) {
    const Replacement& r = replacements[i];
    Shape& shape = shapes[i];
    for (const ExtractedFile& file : r.result.files) {
      if (file.body && file.kind != FileKind::kSkipped && EndsWithHtml(file.path)) {
        shape.html = &file;
        break;
      }
    }
    if (!shape.html) continue;
    const std::set<std::string> referenced = CidReferences(shape.html->path);
    std::set<std::string> taken;
    for (const ExtractedFile& file : r.result.files) {
      if (&file != shape.html && file.kind == FileKind::kAttachment &&
          IsValidContentId(file.content_id) && referenced.count(file.content_id) &&
          taken.insert(file.content_id).second) {
        shape.images.push_back(&file);
      }
    }
    // One HTML body per text/plain part.
    if (!r.part.alternative && r.part.first_plain && wrapped.insert(r.part.first_plain).second) {
      shape.wrap = r.part.first_plain;
    }
  }
  return shapes;
}

// Whether the file was written with the HTML body.
bool InShape(const Shape& shape, const ExtractedFile& file) {
  return &file == shape.html ||
         std::find(shape.images.begin(), shape.images.end(), &file) != shape.images.end();
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

// Writes the new parts of one message. Each content id is given once, and
// each new multipart gets a boundary of its own.
class PartWriter {
 public:
  PartWriter(std::ostream& out, const ContentTypes& types, orv::string boundary_stem)
      : out_(out), types_(types), stem_(std::move(boundary_stem)) {}

  enum class Placement {
    kAttachment,  // a file of its own
    kInline,      // a part the HTML body shows
    kBody,        // the HTML body itself, quoted-printable
  };
  // Writes one new part for file, opened by delimiter. An unreadable file
  // fails out.
  void Write(const ExtractedFile& file, const orv::string& delimiter,
             Placement placement = Placement::kAttachment);
  // Writes the HTML body of shape, with the images it references as a
  // multipart/related, opened by delimiter.
  void WriteBody(const Shape& shape, const orv::string& delimiter);
  // Opens a multipart of subtype with parameters after delimiter; returns the
  // delimiter of its parts.
  orv::string OpenMultipart(const orv::string& delimiter, const char* subtype,
                            const char* parameters = "");
  void CloseMultipart(const orv::string& inner) { out_ << inner << "--\n"; }

 private:
  void WriteMessagePart(const ExtractedFile& file, const orv::string& delimiter);
  void WriteContentId(const ExtractedFile& file);
  void CopyFile(const ExtractedFile& file, void (*copy)(orv::InputFile&, std::ostream&));

  std::ostream& out_;
  const ContentTypes& types_;
  const orv::string stem_;
  unsigned boundaries_ = 0;
  std::set<orv::string> ids_;
};

void PartWriter::Write(const ExtractedFile& file, const orv::string& delimiter,
                       Placement placement) {
  orv::string type = TypeOf(file, types_);
  if (file.kind == FileKind::kMessage ||
      (file.kind == FileKind::kAttachment && type == "message/rfc822" &&
       file.content_type.empty() && FitsMessagePart(file.path))) {
    WriteMessagePart(file, delimiter);
    return;
  }
  // A message/rfc822 part may not be encoded.
  if (type == "message/rfc822") type = kOctetStream;
  orv::logline() << "Inserting file \"" << orv::Printable(file.name, kShownName) << '"';
  out_ << delimiter << '\n';
  if (file.kind == FileKind::kInlineHtml || placement == Placement::kBody) {
    out_ << "Content-Type: " << type << "\nContent-Transfer-Encoding: quoted-printable\n";
    if (placement == Placement::kBody) out_ << "Content-Disposition: inline\n";
    out_ << '\n';
    CopyFile(file, orv::WriteQuotedPrintable);
  } else {
    out_ << "Content-Type: " << type << "; \n   " << NameParameter(file.name)
         << "\nContent-Transfer-Encoding: base64\n";
    WriteContentId(file);
    out_ << "Content-Disposition: "
         << (placement == Placement::kAttachment ? "attachment" : "inline") << ";\n   "
         << FilenameParameter(file.name) << "\n\n";
    CopyFile(file, orv::WriteBase64Lines);
  }
  out_ << '\n';
}

// Writes a message/rfc822 part for file, which holds a whole message. An
// unreadable file fails out.
void PartWriter::WriteMessagePart(const ExtractedFile& file, const orv::string& delimiter) {
  orv::logline() << "Inserting file \"" << orv::Printable(file.name, kShownName) << '"';
  orv::InputFile in(file.path);
  const bool ascii = AllAscii(in);
  out_ << delimiter
       << "\nContent-Type: message/rfc822\nContent-Transfer-Encoding: " << (ascii ? "7bit" : "8bit")
       << '\n';
  WriteContentId(file);
  out_ << "Content-Disposition: attachment;\n   " << FilenameParameter(file.name) << "\n\n";
  if (in.is_open() && !in.fail()) {
    in.Seek(0);
    CopyMessageLines(in, out_);
  }
  if (!in.is_open() || in.fail()) {
    orv::logline() << "Unable to read the extracted file \""
                   << orv::Printable(file.name, kShownName) << '"';
    out_.setstate(std::ios::failbit);
  }
  out_ << '\n';
}

void PartWriter::WriteBody(const Shape& shape, const orv::string& delimiter) {
  if (shape.images.empty()) {
    Write(*shape.html, delimiter, Placement::kBody);
    return;
  }
  const orv::string inner = OpenMultipart(delimiter, "related", " type=\"text/html\";");
  Write(*shape.html, inner, Placement::kBody);
  for (const ExtractedFile* image : shape.images) Write(*image, inner, Placement::kInline);
  CloseMultipart(inner);
}

orv::string PartWriter::OpenMultipart(const orv::string& delimiter, const char* subtype,
                                      const char* parameters) {
  char number[16];
  snprintf(number, sizeof number, ".%03u", ++boundaries_);
  const orv::string boundary = stem_ + number;
  out_ << delimiter << "\nContent-Type: multipart/" << subtype << ';' << parameters
       << "\n   boundary=\"" << boundary << "\"\n\n";
  return "--" + boundary;
}

void PartWriter::WriteContentId(const ExtractedFile& file) {
  if (IsValidContentId(file.content_id) && ids_.insert(file.content_id).second) {
    out_ << "Content-ID: <" << file.content_id << ">\n";
  }
}

void PartWriter::CopyFile(const ExtractedFile& file, void (*copy)(orv::InputFile&, std::ostream&)) {
  orv::InputFile in(file.path);
  if (in.is_open()) copy(in, out_);
  if (!in.is_open() || in.fail()) {
    orv::logline() << "Unable to read the extracted file \""
                   << orv::Printable(file.name, kShownName) << '"';
    out_.setstate(std::ios::failbit);
  }
}

// Wraps the text/plain part that begins here, whose delimiter line is in
// line, in a multipart/alternative with the HTML body of shape after it; line
// then holds the line that ended the part. Returns false when the input ended
// inside the part.
bool WrapPlainPart(orv::InputFile& in, std::ostream& out, PartWriter& writer, const Shape& shape,
                   const orv::string& delimiter, CopyLine& line) {
  const orv::string inner = writer.OpenMultipart(line.text, "alternative");
  out << inner << '\n';
  const orv::string closing = delimiter + "--";
  for (;;) {
    ReadCopyLine(in, line, &out);
    if (!line.handled && (line.text == delimiter || line.text == closing)) break;
    WriteCopyLine(out, line);
    if (in.eof()) return false;
  }
  writer.WriteBody(shape, inner);
  writer.CloseMultipart(inner);
  return true;
}

// Writes the replacement's files, then copies or drops the received part up to
// the line that ended it; line then holds the next line to copy. Returns false
// when the input ended inside the part.
bool ReplacePart(orv::InputFile& in, std::ostream& out, PartWriter& writer, const Replacement& r,
                 const Shape& shape, bool keep, CopyLine& line) {
  // In a multipart/alternative the body keeps its place among the files;
  // elsewhere it comes first.
  if (shape.html && !shape.wrap && !r.part.alternative) writer.WriteBody(shape, r.part.delimiter);
  for (const ExtractedFile& file : r.result.files) {
    if (&file == shape.html && r.part.alternative) writer.WriteBody(shape, r.part.delimiter);
    if (file.kind != FileKind::kSkipped && !InShape(shape, file)) {
      writer.Write(file, r.part.delimiter);
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
                    const std::vector<Replacement>& replacements, const ContentTypes& types,
                    bool keep_winmail, bool inline_body) {
  const std::vector<Shape> shapes = ShapesOf(replacements, inline_body);
  // The text/plain parts to wrap, in message order.
  std::vector<std::size_t> wraps;
  orv::string stem;
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    if (shapes[i].wrap) wraps.push_back(i);
    if (shapes[i].html && stem.empty()) {
      const int64_t start = in.Tell();
      stem = BoundaryStem(in, start);
      in.clear();
      in.Seek(start);
    }
  }
  std::sort(wraps.begin(), wraps.end(),
            [&](std::size_t a, std::size_t b) { return shapes[a].wrap < shapes[b].wrap; });
  PartWriter writer(out, types, stem);

  CopyLine line;
  std::size_t next = 0, next_wrap = 0;
  ReadCopyLine(in, line, &out);
  for (;;) {
    if (next_wrap < wraps.size() && in.Tell() == shapes[wraps[next_wrap]].wrap) {
      const std::size_t w = wraps[next_wrap++];
      if (!WrapPlainPart(in, out, writer, shapes[w], replacements[w].part.delimiter, line)) {
        return;
      }
    }
    // A part begins right after the delimiter line just read; parts that
    // follow each other directly are replaced one after the other.
    while (next < replacements.size() && in.Tell() == replacements[next].part.start) {
      const Replacement& r = replacements[next];
      const bool keep = keep_winmail || r.result.keep_received;
      if (!ReplacePart(in, out, writer, r, shapes[next++], keep, line)) return;
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
