#include "app/content_type.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "orv/input_file.h"
#include "orv/line_stream.h"

namespace {

const char kDefault[] = "application/octet-stream";

// The built-in table: extension, content type.
constexpr const char* kBuiltInTypes[][2] = {
    {"ai", "application/postscript"},
    {"aif", "audio/x-aiff"},
    {"aifc", "audio/x-aiff"},
    {"aiff", "audio/x-aiff"},
    {"asc", "text/plain"},
    {"au", "audio/basic"},
    {"avi", "video/x-msvideo"},
    {"bcpio", "application/x-bcpio"},
    {"bin", "application/octet-stream"},
    {"c", "text/plain"},
    {"cc", "text/plain"},
    {"ccad", "application/clariscad"},
    {"cdf", "application/x-netcdf"},
    {"class", "application/octet-stream"},
    {"cpio", "application/x-cpio"},
    {"cpt", "application/mac-compactpro"},
    {"csh", "application/x-csh"},
    {"css", "text/css"},
    {"dcr", "application/x-director"},
    {"dir", "application/x-director"},
    {"dms", "application/octet-stream"},
    {"doc", "application/msword"},
    {"drw", "application/drafting"},
    {"dvi", "application/x-dvi"},
    {"dwg", "application/acad"},
    {"dxf", "application/dxf"},
    {"dxr", "application/x-director"},
    {"eps", "application/postscript"},
    {"etx", "text/x-setext"},
    {"exe", "application/octet-stream"},
    {"ez", "application/andrew-inset"},
    {"f", "text/plain"},
    {"f90", "text/plain"},
    {"fli", "video/x-fli"},
    {"gif", "image/gif"},
    {"gtar", "application/x-gtar"},
    {"gz", "application/x-gzip"},
    {"h", "text/plain"},
    {"hdf", "application/x-hdf"},
    {"hh", "text/plain"},
    {"hqx", "application/mac-binhex40"},
    {"htm", "text/html"},
    {"html", "text/html"},
    {"ice", "x-conference/x-cooltalk"},
    {"ief", "image/ief"},
    {"iges", "model/iges"},
    {"igs", "model/iges"},
    {"ips", "application/x-ipscript"},
    {"ipx", "application/x-ipix"},
    {"jpe", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"jpg", "image/jpeg"},
    {"js", "application/x-javascript"},
    {"kar", "audio/midi"},
    {"latex", "application/x-latex"},
    {"lha", "application/octet-stream"},
    {"lsp", "application/x-lisp"},
    {"lzh", "application/octet-stream"},
    {"m", "text/plain"},
    {"man", "application/x-troff-man"},
    {"me", "application/x-troff-me"},
    {"mesh", "model/mesh"},
    {"mid", "audio/midi"},
    {"midi", "audio/midi"},
    {"mif", "application/vnd.mif"},
    {"mime", "www/mime"},
    {"mov", "video/quicktime"},
    {"movie", "video/x-sgi-movie"},
    {"mp2", "audio/mpeg"},
    {"mp3", "audio/mpeg"},
    {"mpe", "video/mpeg"},
    {"mpeg", "video/mpeg"},
    {"mpg", "video/mpeg"},
    {"mpga", "audio/mpeg"},
    {"ms", "application/x-troff-ms"},
    {"msh", "model/mesh"},
    {"nc", "application/x-netcdf"},
    {"oda", "application/oda"},
    {"pbm", "image/x-portable-bitmap"},
    {"pdb", "chemical/x-pdb"},
    {"pdf", "application/pdf"},
    {"pgm", "image/x-portable-graymap"},
    {"pgn", "application/x-chess-pgn"},
    {"png", "image/png"},
    {"pnm", "image/x-portable-anymap"},
    {"pot", "application/mspowerpoint"},
    {"ppm", "image/x-portable-pixmap"},
    {"pps", "application/mspowerpoint"},
    {"ppt", "application/mspowerpoint"},
    {"ppz", "application/mspowerpoint"},
    {"pre", "application/x-freelance"},
    {"prt", "application/pro_eng"},
    {"ps", "application/postscript"},
    {"qt", "video/quicktime"},
    {"ra", "audio/x-realaudio"},
    {"ram", "audio/x-pn-realaudio"},
    {"ras", "image/cmu-raster"},
    {"rgb", "image/x-rgb"},
    {"rm", "audio/x-pn-realaudio"},
    {"roff", "application/x-troff"},
    {"rpm", "audio/x-pn-realaudio-plugin"},
    {"rtf", "text/rtf"},
    {"rtx", "text/richtext"},
    {"scm", "application/x-lotusscreencam"},
    {"set", "application/set"},
    {"sgm", "text/sgml"},
    {"sgml", "text/sgml"},
    {"sh", "application/x-sh"},
    {"shar", "application/x-shar"},
    {"silo", "model/mesh"},
    {"sit", "application/x-stuffit"},
    {"skd", "application/x-koan"},
    {"skm", "application/x-koan"},
    {"skp", "application/x-koan"},
    {"skt", "application/x-koan"},
    {"smi", "application/smil"},
    {"smil", "application/smil"},
    {"snd", "audio/basic"},
    {"sol", "application/solids"},
    {"spl", "application/x-futuresplash"},
    {"src", "application/x-wais-source"},
    {"step", "application/STEP"},
    {"stl", "application/SLA"},
    {"stp", "application/STEP"},
    {"sv4cpio", "application/x-sv4cpio"},
    {"sv4crc", "application/x-sv4crc"},
    {"swf", "application/x-shockwave-flash"},
    {"t", "application/x-troff"},
    {"tar", "application/x-tar"},
    {"tcl", "application/x-tcl"},
    {"tex", "application/x-tex"},
    {"texi", "application/x-texinfo"},
    {"texinfo", "application/x-texinfo"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"tr", "application/x-troff"},
    {"tsi", "audio/TSP-audio"},
    {"tsp", "application/dsptype"},
    {"tsv", "text/tab-separated-values"},
    {"txt", "text/plain"},
    {"unv", "application/i-deas"},
    {"ustar", "application/x-ustar"},
    {"vcd", "application/x-cdlink"},
    {"vda", "application/vda"},
    {"viv", "video/vnd.vivo"},
    {"vivo", "video/vnd.vivo"},
    {"vrml", "model/vrml"},
    {"wav", "audio/x-wav"},
    {"wrl", "model/vrml"},
    {"xbm", "image/x-xbitmap"},
    {"xlc", "application/vnd.ms-excel"},
    {"xll", "application/vnd.ms-excel"},
    {"xlm", "application/vnd.ms-excel"},
    {"xls", "application/vnd.ms-excel"},
    {"xlw", "application/vnd.ms-excel"},
    {"xml", "text/xml"},
    {"xpm", "image/x-xpixmap"},
    {"xwd", "image/x-xwindowdump"},
    {"xyz", "chemical/x-pdb"},
    {"zip", "application/zip"},
};

const ContentTypes::Table& BuiltInTypes() {
  static const ContentTypes::Table table = [] {
    ContentTypes::Table built_in;
    for (const auto& entry : kBuiltInTypes) built_in.emplace(entry[0], entry[1]);
    return built_in;
  }();
  return table;
}

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A type or subtype name: a letter or digit, then up to 126 of the name
// characters media type registrations allow.
bool IsTypeName(std::string_view name) {
  if (name.empty() || name.size() > 127 || !IsAsciiAlnum(name[0])) return false;
  return std::all_of(name.begin(), name.end(), [](unsigned char c) {
    return IsAsciiAlnum(c) || std::string_view("!#$&-^_.+").find(c) != std::string_view::npos;
  });
}

// "type/subtype", nothing else: the text goes into a header field as it is.
bool IsMediaType(std::string_view field) {
  std::size_t slash = field.find('/');
  return slash != std::string_view::npos && IsTypeName(field.substr(0, slash)) &&
         IsTypeName(field.substr(slash + 1));
}

// Printable ASCII without "/", which no extension of a file name holds.
bool IsExtension(std::string_view field) {
  return std::all_of(field.begin(), field.end(),
                     [](unsigned char c) { return c > ' ' && c < 0x7F && c != '/'; });
}

// The blank-separated fields of a line up to the first one that opens a comment.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  while ((pos = line.find_first_not_of(" \t", pos)) != std::string_view::npos) {
    if (line[pos] == '#') break;
    std::size_t end = std::min(line.find_first_of(" \t", pos), line.size());
    fields.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return fields;
}

}  // namespace

ContentTypes::MimeTypesCount ContentTypes::AddMimeTypes(std::string_view text) {
  MimeTypesCount count;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = std::min(text.find('\n', pos), text.size());
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kMaxMimeTypesLine) {
      ++count.skipped;
      continue;
    }
    std::vector<std::string_view> fields = Fields(line);
    if (fields.empty()) continue;
    if (!IsMediaType(fields[0]) || !std::all_of(fields.begin() + 1, fields.end(), IsExtension)) {
      ++count.skipped;
      continue;
    }
    for (std::size_t i = 1; i < fields.size(); ++i) {
      // The text after a file name's last "." never holds one.
      if (fields[i].find('.') != std::string_view::npos) continue;
      if (listed_.size() >= kMaxMimeTypesExtensions) {
        count.truncated = true;
        return count;
      }
      orv::string extension(fields[i]);
      if (listed_.emplace(extension.lowerize(), orv::string(fields[0])).second) ++count.extensions;
    }
  }
  return count;
}

bool ContentTypes::ReadMimeTypes(const orv::string& path) {
  std::string text(kMaxMimeTypesBytes + 1, '\0');
  orv::InputFile in(path);
  std::size_t n = in.is_open() ? in.Read(&text[0], text.size()) : 0;
  if (in.fail()) {
    orv::logline() << "Unable to read " << orv::Printable(path) << ": " << strerror(errno)
                   << ", only the built-in content types are known";
    return false;
  }
  text.resize(n);
  bool tooLarge = n > kMaxMimeTypesBytes;
  // A line cut at the limit is not read at all (npos + 1 leaves nothing).
  if (tooLarge) text.resize(text.rfind('\n', kMaxMimeTypesBytes - 1) + 1);
  MimeTypesCount count = AddMimeTypes(text);
  if (count.skipped) {
    orv::logline() << orv::Printable(path) << ": " << count.skipped << " malformed lines skipped";
  }
  if (tooLarge) {
    orv::logline() << orv::Printable(path) << ": larger than " << kMaxMimeTypesBytes
                   << " bytes, the rest is ignored";
  }
  if (count.truncated) {
    orv::logline() << orv::Printable(path) << ": more than " << kMaxMimeTypesExtensions
                   << " extensions, the rest are ignored";
  }
  return true;
}

orv::string ContentTypes::Of(const orv::string& path) const {
  std::size_t dot = path.rfind('.');
  if (dot == orv::string::npos) return kDefault;
  orv::string extension = path.substr(dot + 1);
  extension.lowerize();
  for (const Table* table : {&BuiltInTypes(), &listed_}) {
    auto it = table->find(extension);
    if (it != table->end()) return it->second;
  }
  return kDefault;
}

ContentTypes LoadContentTypes() {
  const char* path = getenv("VERROWICK_MIME_TYPES");
  ContentTypes types;
  types.ReadMimeTypes(path && *path ? path : kSystemMimeTypes);
  return types;
}
