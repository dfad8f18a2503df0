#include "cgp/ext_filter.h"

#include <cstdlib>
#include <ctime>

#include "orv/file_system.h"
#include "orv/line_stream.h"

namespace cgp {

orv::string EscapeProtocolText(const orv::string& text) {
  orv::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        break;
      case '\n':
        out += "\\e";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      default:
        out += c;
    }
  }
  return out;
}

ExtFilter::ExtFilter() : Helper("REJECTED") {
  srand(static_cast<unsigned>(time(nullptr)));
}

bool ExtFilter::HandlesCommand(const orv::string& command) {
  return command == "file";
}

void ExtFilter::ProcessRequest(unsigned seq, const orv::string&, const orv::string& path) {
  if (!orv::FileExists(path)) {
    orv::outline() << seq << " OK \"Error: File Not Found " << EscapeProtocolText(path) << '"';
    return;
  }
  if (!orv::InputFile(path).is_open()) {
    orv::outline() << seq << " OK \"Error: unable to open file " << EscapeProtocolText(path) << '"';
    return;
  }
  Answer answer = FilterMessage(seq, path);

  orv::string text;
  for (const orv::string& line : answer.lines) {
    if (&line != &answer.lines.front()) text += '\n';
    text += line;
  }
  text = EscapeProtocolText(text);
  Response::ENUM kind = answer.kind;
  if (text.empty() && kind == Response::ADDHEADER) kind = Response::OK;

  static const struct {
    const char* log;
    const char* word;
    bool quoted;
  } kKinds[] = {
      {"Accepting message", " OK", false},
      {"Postponing message", " REJECTED", true},
      {"Rejecting message", " ERROR", true},
      {"Discarding message", " DISCARD", false},
      {"Adding Header(s) to message", " ADDHEADER", true},
  };
  const auto& k = kKinds[kind];
  orv::logline(seq) << k.log;
  if (k.quoted) {
    orv::outline() << seq << k.word << " \"" << text << '"';
  } else {
    orv::outline() << seq << k.word;
  }
}

bool ExtFilter::HasEnvelope(orv::InputFile& in) {
  if (!in.is_open()) return false;
  in.Seek(0);
  orv::string line;
  orv::getline(in, line, 3);
  in.Seek(0);
  return line.size() > 2 && orv::ISOisalpha(line[0]) && orv::ISOisspace(line[1]);
}

bool ExtFilter::SkipEnvelope(orv::InputFile& in) {
  if (!HasEnvelope(in)) return false;
  orv::string line;
  // Only emptiness matters, so a few bytes of each line are enough.
  while (orv::getline(in, line, 16) && !line.empty()) {
  }
  return true;
}

}  // namespace cgp
