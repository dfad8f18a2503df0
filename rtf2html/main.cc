// rtf2html IN.rtf OUT.html: writes an HTML rendering of an RTF message body.
// OUT.html exists afterwards exactly when the conversion succeeded; the exit
// status is 0 then, 1 when the conversion failed and 2 for wrong usage.
#include <errno.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "rtf2html/atomic_file.h"
#include "rtf2html/convert.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: rtf2html IN.rtf OUT.html\n");
    return 2;
  }
  std::filebuf in;
  if (!in.open(argv[1], std::ios::in | std::ios::binary)) {
    std::fprintf(stderr, "rtf2html: cannot open %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  rtf2html::Conversion conversion = rtf2html::ConvertRtf(&in);
  if (!conversion.ok) {
    std::fprintf(stderr, "rtf2html: %s: %s\n", argv[1], conversion.error.c_str());
    return 1;
  }
  std::string error;
  if (!rtf2html::WriteFileAtomically(argv[2], conversion.html, &error)) {
    std::fprintf(stderr, "rtf2html: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
