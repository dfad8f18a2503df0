// Content types of extracted files, chosen by the file name's extension, its
// letter case ignored: the table built into the program first, then the
// system's list of media types (a mime.types file, read once at start-up),
// then application/octet-stream.
#ifndef APP_CONTENT_TYPE_H_
#define APP_CONTENT_TYPE_H_

#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "orv/string.h"

// Debian's media-types package installs it.
constexpr char kSystemMimeTypes[] = "/etc/mime.types";
// Limits on a mime.types file: the bytes read, the length of a line (a longer
// one is skipped) and the extensions taken from it.
constexpr std::size_t kMaxMimeTypesBytes = 1024 * 1024;
constexpr std::size_t kMaxMimeTypesLine = 1024;
constexpr std::size_t kMaxMimeTypesExtensions = 8192;

class ContentTypes {
 public:
  using Table = std::unordered_map<orv::string, orv::string, orv::StringHash>;

  // What AddMimeTypes took from a text.
  struct MimeTypesCount {
    std::size_t extensions = 0;  // extensions added
    std::size_t skipped = 0;     // malformed or over-long lines
    bool truncated = false;      // the limit of extensions was reached
  };

  // Knows the built-in table only.
  ContentTypes() = default;

  // Adds the extensions of mime.types lines: a media type, then extensions,
  // separated by blanks; a field beginning with "#" ends the line. A line
  // whose type is not "type/subtype" in the characters such names allow, or
  // whose extensions hold other bytes than printable ASCII, is skipped whole.
  // An extension keeps the first type given for it.
  MimeTypesCount AddMimeTypes(std::string_view text);

  // Adds the mime.types file at path, its first kMaxMimeTypesBytes at most,
  // and logs lines skipped and limits reached. Returns false, after logging
  // why, when the file cannot be read; nothing is added then.
  bool ReadMimeTypes(const orv::string& path);

  // The content type for the text after the last "." of path, its ASCII
  // letters folded; "application/octet-stream" when no table lists it.
  orv::string Of(const orv::string& path) const;

 private:
  Table listed_;  // from mime.types, the keys folded to lower case
};

// Once at start-up: the built-in table with $VERROWICK_MIME_TYPES, which
// only tests set, or else kSystemMimeTypes added. A list that cannot be read
// is logged and leaves the built-in table alone.
ContentTypes LoadContentTypes();

#endif  // APP_CONTENT_TYPE_H_
