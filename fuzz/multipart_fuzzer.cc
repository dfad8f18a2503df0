// Fuzzes a whole conversion, ConvertMessage: the multipart walk of the scan
// (header blocks, nested multiparts, delimiter lines), the decoding of
// winmail.dat bodies into a scratch directory, and the rewriting of the
// message, over the input held in a file, with a private program directory.
//
// Built as multipart_fuzzer, that directory holds no tnef, so no child is ever
// started: every winmail.dat part is left as it is and nothing is rewritten.
//
// Built as multipart_tnef_fuzzer (VERROWICK_FAKE_TNEF set), tnef and rtf2html
// there are fake_tnef, which reads the decoded winmail.dat as a script of
// files to create and list; the message is rewritten, and no extracted file
// may be unreadable. Either way the work directory must be empty afterwards.
// The low four bits of the input's last byte choose the options -k, -r,
// --ignore-rtf-body, --always-remove-winmail. A child per part makes this
// variant far slower.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "app/conversion.h"
#include "fuzz/fuzz_support.h"
#include "orv/file_system.h"

namespace {

fuzz::MemoryFile* file;
Settings* settings;
ProgramConverters* converters;
std::string program_directory;
std::string work_directory;

void RemoveProgramDirectory() {
  orv::RemoveDirectory(work_directory, true);
  orv::RemoveDirectory(program_directory, true);
}

bool WorkDirectoryEmpty() {
  orv::DirectoryListing listing(work_directory);
  return !listing.Next();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Console lines would drown the fuzzer's own output on standard error.
  int null_fd = open("/dev/null", O_WRONLY);
  if (null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) std::abort();
  close(null_fd);
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/verrowick-fuzz.XXXXXX";
  if (!mkdtemp(pattern.data())) std::abort();
  program_directory = pattern + "/";
  work_directory = program_directory + "wmd_temp";
  if (!orv::MakeDirectory(work_directory, false)) std::abort();
#ifdef VERROWICK_FAKE_TNEF
  for (const char* name : {"tnef", "rtf2html"}) {
    if (symlink(VERROWICK_FAKE_TNEF, (program_directory + name).c_str()) != 0) std::abort();
  }
#endif
  file = new fuzz::MemoryFile();
  settings = new Settings();
  settings->program_directory = program_directory;
  converters = new ProgramConverters(program_directory, orv::Confinement());
  atexit(RemoveProgramDirectory);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#ifdef VERROWICK_FAKE_TNEF
  const unsigned options = size > 0 ? data[size - 1] : 0;
  settings->keep_winmail = options & 1;
  settings->no_rtf_alternative = options & 2;
  settings->ignore_rtf_body = options & 4;
  settings->always_remove_winmail = options & 8;
#endif
  file->Write(std::string_view(reinterpret_cast<const char*>(data), size));
  orv::InputFile in(file->path());
  FUZZ_CHECK(in.is_open());
  std::ostringstream out;
  const ConversionSetup setup{*settings, *converters, work_directory};
  bool opened = false;
  const bool rewritten = ConvertMessage(setup, in, [&](std::size_t) -> std::ostream& {
    FUZZ_CHECK(!opened);
    opened = true;
    return out;
  });
  FUZZ_CHECK(rewritten == opened);
#ifndef VERROWICK_FAKE_TNEF
  // Without tnef nothing can be extracted.
  FUZZ_CHECK(!rewritten);
#endif
  // Every file inserted could be read.
  FUZZ_CHECK(out.good());
  FUZZ_CHECK(WorkDirectoryEmpty());
  return 0;
}
