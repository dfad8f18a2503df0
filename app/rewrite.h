// The last step of a conversion: the received message copied line by line to
// the output, with one new MIME part per extracted file where a winmail.dat
// part stood. Streams: nothing holds the message whole.
#ifndef APP_REWRITE_H_
#define APP_REWRITE_H_

#include <ostream>
#include <vector>

#include "app/content_type.h"
#include "app/mime_scan.h"
#include "app/unpack.h"
#include "orv/input_file.h"
#include "orv/output_file.h"

// One winmail.dat part and what takes its place.
struct Replacement {
  WinmailPart part;
  UnpackResult result;
};

// Copies the message from in's position (where the scan began) to out,
// writing the files of each replacement, in message order, in place of its
// part; the received part follows them when keep_winmail or the result keeps
// it. With inline_body, an HTML body and the parts it references by cid: form
// a multipart/related shown as the message body: beside the first text/plain
// part of a multipart/mixed, in a new multipart/alternative, or else first in
// the part's place. Errors of out, and an extracted file that cannot be read,
// leave out failed.
void RewriteMessage(orv::InputFile& in, std::ostream& out,
                    const std::vector<Replacement>& replacements, const ContentTypes& types,
                    bool keep_winmail, bool inline_body = false);

// Why a file that RewriteMessage wrote is incomplete, for the console.
orv::string WriteFailure(const orv::ofstream& out);

#endif  // APP_REWRITE_H_
