#include "app/conversion.h"

#include <vector>

#include "app/mime_scan.h"
#include "app/rewrite.h"
#include "app/scratch_directory.h"
#include "app/unpack.h"

namespace {

// Unpacks every part in order. A part that tnef reports corrupt ends its
// multipart: the parts after it there stay, and unless always_remove the
// replacements found before it are dropped. *started tells whether tnef could
// be started for any part.
std::vector<Replacement> UnpackParts(orv::InputFile& in, const std::vector<WinmailPart>& parts,
                                     Unpacker& unpacker, bool always_remove, bool* started) {
  std::vector<Replacement> replacements;
  int64_t skip_below = 0;
  *started = false;
  for (const WinmailPart& part : parts) {
    if (part.start < skip_below) continue;
    UnpackResult result = unpacker.Unpack(in, part);
    if (!result.not_run) *started = true;
    if (result.outcome == UnpackResult::kCorrupt) {
      if (!always_remove) replacements.clear();
      skip_below = part.multipart_end;
    } else if (result.outcome == UnpackResult::kReplaced) {
      replacements.push_back({part, std::move(result)});
    }
  }
  return replacements;
}

}  // namespace

bool ConvertMessage(const ConversionSetup& setup, orv::InputFile& in, const OpenOutput& open) {
  const int64_t start = in.Tell();
  std::vector<WinmailPart> parts;
  if (!ScanMessage(in, parts) || parts.empty()) return false;

  ScratchDirectory scratch;
  if (!scratch.Create(setup.work_root, setup.converter_user)) return false;
  const Deadline deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(kConverterLimits.wall_seconds);
  Unpacker unpacker(setup.settings, setup.converters, scratch, deadline);
  bool started;
  const std::vector<Replacement> replacements =
      UnpackParts(in, parts, unpacker, setup.settings.always_remove_winmail, &started);
  // A message whose converters could not run at all passes as it came, even
  // with always_remove: nothing was looked at.
  if (replacements.empty() && !(setup.settings.always_remove_winmail && started)) return false;

  in.clear();
  in.Seek(start);
  std::ostream& out = open(replacements.size());
  RewriteMessage(in, out, replacements, setup.settings.content_types, setup.settings.keep_winmail,
                 setup.settings.inline_body);
  return true;
}
