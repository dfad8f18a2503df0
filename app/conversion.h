// One message, one conversion: scan, unpack, rewrite. Filter mode and batch
// mode differ only in where a message comes from and where its converted form
// goes; both call ConvertMessage. A conversion keeps all its state in its own
// frame and its own scratch directory, so conversions of different messages
// may run on several threads at once.
#ifndef APP_CONVERSION_H_
#define APP_CONVERSION_H_

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>

#include "app/converters.h"
#include "app/options.h"
#include "orv/input_file.h"
#include "orv/sandbox.h"
#include "orv/string.h"

// What a conversion needs besides its message; shared read-only.
struct ConversionSetup {
  const Settings& settings;
  Converters& converters;
  orv::string work_root;  // wmd_temp, where scratch directories are made
  // When set, each scratch directory is handed to this user, who runs the
  // converters.
  std::optional<orv::UserIds> converter_user = std::nullopt;
};

// Gives the stream for the converted message, which replaces `parts`
// winmail.dat parts.
using OpenOutput = std::function<std::ostream&(std::size_t parts)>;

// Converts the message that begins at in's position. When it is to be
// rewritten, calls open once and writes the converted message into that
// stream (its errors are left in its state) and returns true; otherwise
// returns false without calling open. Logs what it does.
bool ConvertMessage(const ConversionSetup& setup, orv::InputFile& in, const OpenOutput& open);

#endif  // APP_CONVERSION_H_
