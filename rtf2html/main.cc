// rtf2html IN.rtf OUT.html: writes an HTML rendering of an RTF message body.
// OUT.html exists afterwards exactly when the conversion succeeded: on
// failure an older file of that name is removed too. The exit status is 0 on
// success, 1 when the conversion failed and 2 for wrong usage.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "rtf2html/atomic_file.h"
#include "rtf2html/convert.h"

namespace {

// Reports why the conversion failed and removes what is at out, unless that
// is no regular file or is the input itself.
int Fail(const char* in, const char* out, const std::string& why) {
  std::fprintf(stderr, "rtf2html: %s\n", why.c_str());
  struct stat in_st, out_st;
  if (lstat(out, &out_st) == 0 && S_ISREG(out_st.st_mode) &&
      !(stat(in, &in_st) == 0 && in_st.st_dev == out_st.st_dev && in_st.st_ino == out_st.st_ino)) {
    unlink(out);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: rtf2html IN.rtf OUT.html\n");
    return 2;
  }
  const char* in_path = argv[1];
  const char* out_path = argv[2];
  std::filebuf in;
  if (!in.open(in_path, std::ios::in | std::ios::binary))
    return Fail(in_path, out_path,
                std::string("cannot open ") + in_path + ": " + std::strerror(errno));
  rtf2html::Conversion conversion = rtf2html::ConvertRtf(&in);
  if (!conversion.ok)
    return Fail(in_path, out_path, std::string(in_path) + ": " + conversion.error);
  std::string error;
  if (!rtf2html::WriteFileAtomically(out_path, conversion.html, &error))
    return Fail(in_path, out_path, error);
  return 0;
}
