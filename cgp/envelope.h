// The envelope block that opens a queued message file: lines of a letter, a
// blank and text ("P I 01-01-2010 <from@x>", "R W <to@y>"), then an empty
// line. The mail server writes it; the filter reads its addresses and writes
// them back, as header lines, at the top of the message it submits.
#ifndef CGP_ENVELOPE_H_
#define CGP_ENVELOPE_H_

#include <ostream>
#include <set>

#include "orv/input_file.h"
#include "orv/string.h"

namespace cgp {

struct Envelope {
  orv::string return_path;           // lower case
  std::set<orv::string> recipients;  // lower case
};

// Whether the file opens with an envelope block: its first line is longer
// than two bytes, a letter followed by white space. Leaves in at offset 0.
bool HasEnvelope(orv::InputFile& in);

// When HasEnvelope, moves in past the empty line that ends the block (or to
// the end of the file) and returns true; otherwise leaves it at offset 0.
bool SkipEnvelope(orv::InputFile& in);

// Reads the block from in's offset 0 and leaves in just after it, or at 0 when
// there is none. "P" lines give the return path, "R" lines the recipients,
// each as the text between the first "<" from byte 4 on and the next ">".
Envelope ReadEnvelope(orv::InputFile& in);

// "Return-Path: " with the return path, then one "Envelope-To: " line per
// recipient.
void WriteEnvelope(std::ostream& out, const Envelope& envelope);

}  // namespace cgp

#endif  // CGP_ENVELOPE_H_
