#include "app/mime_scan.h"

#include "orv/line_stream.h"

namespace {

// Applies one unfolded field to headers.
void ExamineField(const orv::string& field, PartHeaders& headers) {
  if (field.istarts("Content-Type:")) {
    std::size_t start = field.find_first_not_of(" \t\"", 13);
    if (start == orv::string::npos) return;
    std::size_t end = field.find_first_of(" \t\";", start);
    headers.content_type = field.substr(start, end == orv::string::npos ? end : end - start);
    headers.content_type.lowerize();
    GetHeaderParameter(field, "boundary", headers.boundary);
    GetHeaderParameter(field, "name", headers.name);
  } else if (field.istarts("Content-Disposition:")) {
    GetHeaderParameter(field, "name", headers.name);
    std::size_t start = field.find_first_not_of(" \t", 20);
    headers.attachment = start != orv::string::npos && field.istarts("attachment", start);
  } else if (field.istarts("X-WinmailDat:")) {
    headers.already_processed = true;
  } else if (field.istarts("From:")) {
    headers.from = field.substr(5);
  }
}

}  // namespace

bool ReadHeaderBlock(orv::InputFile& in, PartHeaders& headers) {
  headers = PartHeaders();
  orv::string field, line;
  bool too_long = false;
  auto over = [&too_long](std::string_view) { too_long = true; };
  for (;;) {
    orv::getline(in, line, kMaxHeaderField, over);
    if (too_long) return false;
    bool continuation = !line.empty() && (line[0] == ' ' || line[0] == '\t');
    if (continuation) {
      if (field.size() + 1 + line.size() > kMaxHeaderField) return false;
      field += ' ';
      field += line;
    } else {
      ExamineField(field, headers);
      field.swap(line);
    }
    if ((continuation ? line : field).empty()) return true;
    if (in.eof()) {
      ExamineField(field, headers);
      return true;
    }
  }
}

bool GetHeaderParameter(const orv::string& header, const orv::string& key, orv::string& value) {
  orv::istring_view haystack(header.data(), header.size());
  std::string needle = key + "=";
  std::size_t found = haystack.find(orv::istring_view(needle.data(), needle.size()));
  if (found == orv::istring_view::npos) return false;
  std::size_t p = found + needle.size();
  if (p < header.size() && header[p] == '"') {
    std::size_t close = header.find('"', p + 1);
    value = header.substr(p + 1, close == orv::string::npos ? close : close - p - 1);
  } else {
    std::size_t end = header.find_first_of(" \t;\"", p);
    value = header.substr(p, end == orv::string::npos ? end : end - p);
  }
  return true;
}

namespace {

// Reads a line of which only the first bytes matter.
bool ReadLine(orv::InputFile& in, orv::string& line) {
  return orv::getline(in, line, kMaxBoundary + 8);
}

// The walk along one message's multiparts.
class Scanner {
 public:
  Scanner(orv::InputFile& in, std::vector<WinmailPart>& parts) : in_(in), parts_(parts) {}
  // Scans the header block at the input's position and, for a multipart, its
  // parts. Returns false when a limit was passed.
  bool ScanMultipart(int depth);

 private:
  bool Fail(const char* why) {
    orv::logline() << why << ", the message is left unchanged";
    return false;
  }
  // Scans the part whose header block begins at part.start; line then holds
  // the line to examine next, already read when next_read. plain tells
  // whether the part is text/plain.
  bool ScanPart(WinmailPart& part, int depth, orv::string& line, bool& next_read, bool& plain);

  orv::InputFile& in_;
  std::vector<WinmailPart>& parts_;
  orv::string from_;  // the message's From: field
};

bool Scanner::ScanMultipart(int depth) {
  PartHeaders walk;
  if (!ReadHeaderBlock(in_, walk)) return Fail("A header field is longer than 1 MiB");
  if (walk.already_processed) {
    orv::logline() << "This file has already been processed, skipping";
    return true;
  }
  if (depth == 0) from_ = walk.from;
  if (!walk.content_type.istarts("multipart/") || walk.boundary.empty()) return true;
  if (walk.boundary.size() > kMaxBoundary) return Fail("A boundary is longer than 998 bytes");

  WinmailPart part;
  part.delimiter = "--" + walk.boundary;
  part.alternative = walk.content_type == "multipart/alternative";
  part.from = from_;
  const orv::string closing = part.delimiter + "--";
  const std::size_t first = parts_.size();
  orv::string line;
  ReadLine(in_, line);
  const bool mixed = walk.content_type == "multipart/mixed";
  bool first_part = true;
  while (!in_.eof() && line != closing) {
    bool next_read = false;
    if (line == part.delimiter) {
      part.start = in_.Tell();
      bool plain = false;
      if (!ScanPart(part, depth, line, next_read, plain)) return false;
      if (first_part && mixed && plain) part.first_plain = part.start;
      first_part = false;
    }
    if (!next_read) ReadLine(in_, line);
  }
  for (std::size_t i = first; i < parts_.size(); ++i) {
    if (parts_[i].multipart_end == 0) parts_[i].multipart_end = in_.Tell();
  }
  return true;
}

bool Scanner::ScanPart(WinmailPart& part, int depth, orv::string& line, bool& next_read,
                       bool& plain) {
  PartHeaders headers;
  if (!ReadHeaderBlock(in_, headers)) return Fail("A header field is longer than 1 MiB");
  plain = false;
  if (headers.content_type == "application/ms-tnef" || headers.name == "winmail.dat") {
    part.body_start = in_.Tell();
    part.end = ReadPartBody(in_, part.delimiter, line);
    parts_.push_back(part);
    next_read = line == part.delimiter;
  } else if (headers.content_type.istarts("multipart/")) {
    if (depth + 1 >= kMaxNesting) return Fail("Multiparts are nested more than 64 deep");
    in_.Seek(part.start);
    return ScanMultipart(depth + 1);
  } else if (headers.content_type == "text/html") {
    part.html_seen = part.alternative;
  } else {
    plain = (headers.content_type.empty() || headers.content_type == "text/plain") &&
            !headers.attachment;
  }
  return true;
}

}  // namespace

bool ScanMessage(orv::InputFile& in, std::vector<WinmailPart>& parts) {
  if (Scanner(in, parts).ScanMultipart(0)) return true;
  parts.clear();
  return false;
}

int64_t ReadPartBody(orv::InputFile& in, const orv::string& delimiter, orv::string& line,
                     orv::Base64LineDecoder* decoder, unsigned* bad_lines) {
  const orv::string closing = delimiter + "--";
  bool spilled = false;
  auto spill = [&](std::string_view piece) {
    spilled = true;
    if (decoder) decoder->Feed(piece);
  };
  for (;;) {
    spilled = false;
    orv::getline(in, line, closing.size() + 1, spill);
    if (in.fail()) return 0;
    if (!spilled && (line.empty() || line == delimiter || line == closing)) return in.Tell();
    if (decoder) {
      if (!spilled) decoder->Feed(line);
      if (!decoder->EndLine()) ++*bad_lines;
    }
    if (in.eof()) return 0;
  }
}
