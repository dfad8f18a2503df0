#include "cgp/ext_filter.h"

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
  if (FilterMessage(path) == Verdict::kDiscard) {
    orv::logline(seq) << "Discarding message";
    orv::outline() << seq << " DISCARD";
  } else {
    orv::logline(seq) << "Accepting message";
    orv::outline() << seq << " OK";
  }
}

}  // namespace cgp
