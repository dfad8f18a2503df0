#include "cgp/envelope.h"

#include "orv/line_stream.h"

namespace cgp {

namespace {

// Envelope lines of a queued file are short; longer ones are cut.
constexpr std::size_t kMaxEnvelopeLine = 64 * 1024;

}  // namespace

bool HasEnvelope(orv::InputFile& in) {
  if (!in.is_open()) return false;
  in.Seek(0);
  orv::string line;
  orv::getline(in, line, 3);
  in.Seek(0);
  return line.size() > 2 && orv::ISOisalpha(line[0]) && orv::ISOisspace(line[1]);
}

bool SkipEnvelope(orv::InputFile& in) {
  if (!HasEnvelope(in)) return false;
  orv::string line;
  // Only emptiness matters, so a few bytes of each line are enough.
  while (orv::getline(in, line, 16) && !line.empty()) {
  }
  return true;
}

Envelope ReadEnvelope(orv::InputFile& in) {
  Envelope envelope;
  if (!HasEnvelope(in)) return envelope;
  orv::string line;
  while (orv::getline(in, line, kMaxEnvelopeLine) && !line.empty()) {
    if (line[0] != 'P' && line[0] != 'R') continue;
    std::size_t open = line.find('<', 4);
    if (open == orv::string::npos) continue;
    std::size_t close = line.find('>', open + 1);
    if (close == orv::string::npos) continue;
    orv::string address = line.substr(open + 1, close - open - 1);
    address.lowerize();
    if (line[0] == 'P') {
      envelope.return_path = address;
    } else {
      envelope.recipients.insert(address);
    }
  }
  return envelope;
}

void WriteEnvelope(std::ostream& out, const Envelope& envelope) {
  out << "Return-Path: " << envelope.return_path << '\n';
  for (const orv::string& recipient : envelope.recipients) {
    out << "Envelope-To: " << recipient << '\n';
  }
}

}  // namespace cgp
