#include "app/mime_scan.h"

namespace {

// Applies one unfolded field to headers.
void ExamineField(const orv::string& field, PartHeaders& headers) {
  if (field.istarts("Content-Type:")) {
    std::size_t start = field.find_first_not_of(" \t\"", 13);
    if (start == orv::string::npos) return;
    std::size_t end = field.find_first_of(" \t\";", start);
    headers.contentType = field.substr(start, end == orv::string::npos ? end : end - start);
    headers.contentType.lowerize();
    GetHeaderParameter(field, "boundary", headers.boundary);
    GetHeaderParameter(field, "name", headers.name);
  } else if (field.istarts("Content-Disposition:")) {
    GetHeaderParameter(field, "name", headers.name);
  } else if (field.istarts("X-WinmailDat:")) {
    headers.alreadyProcessed = true;
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
