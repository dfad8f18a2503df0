// Fuzzes the multipart walk of the message scan and the rewriting of the
// message. WinMailDat::FindWinmailParts runs over the input held in a file:
// header blocks, nested multiparts, delimiter lines and winmail.dat bodies
// decoded into the work directory of a private program directory.
//
// Built as multipart_fuzzer, that directory holds no tnef, so no child is ever
// started: every winmail.dat part ends with "unable to start tnef", nothing is
// to be rewritten, and the work file must be gone afterwards.
//
// Built as multipart_tnef_fuzzer (VERROWICK_FAKE_TNEF set), tnef and rtf2html
// there are fake_tnef, which reads the decoded winmail.dat as a script of
// files to create and list. Records come back, and InsertExtractedFiles writes
// the message anew; every file it inserts must be gone afterwards, and the
// work directory empty once released. The low four bits of the input's last
// byte choose the options -k, -r, --ignore-rtf-body, --always-remove-winmail.
// A child per part makes this variant far slower.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/winmaildat.h"
#include "fuzz/fuzz_support.h"
#include "orv/file_system.h"

namespace {

fuzz::MemoryFile* file;
WinMailDat* filter;
std::string program_directory;
std::string work_directory;

void RemoveProgramDirectory() {
  filter->ReleaseWorkDirectory();
  orv::RemoveDirectory(work_directory, true);
  orv::RemoveDirectory(program_directory, true);
}

// The work directory's entries, without those beginning with ".".
std::vector<orv::string> WorkFiles() {
  std::vector<orv::string> names;
  orv::DirectoryListing listing(work_directory);
  while (listing.Next()) names.push_back(listing.Name());
  return names;
}

// A record's entry without its marks: "*" for an HTML body, "\*" left out.
orv::string EntryPath(const orv::string& entry) {
  if (entry.compare(0, 2, "\\*") == 0) return entry.substr(2);
  if (entry.compare(0, 1, "*") == 0) return entry.substr(1);
  return entry;
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
#ifdef VERROWICK_FAKE_TNEF
  for (const char* name : {"tnef", "rtf2html"}) {
    if (symlink(VERROWICK_FAKE_TNEF, (program_directory + name).c_str()) != 0) std::abort();
  }
#endif
  file = new fuzz::MemoryFile();
  filter = new WinMailDat();
  filter->programDirectory = program_directory;
  atexit(RemoveProgramDirectory);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#ifdef VERROWICK_FAKE_TNEF
  const unsigned options = size > 0 ? data[size - 1] : 0;
  filter->keepWinmail = options & 1;
  filter->noRtfAlternative = options & 2;
  filter->ignoreRtfBody = options & 4;
  filter->alwaysRemoveWinmail = options & 8;
#endif
  file->Write(std::string_view(reinterpret_cast<const char*>(data), size));
  orv::InputFile in(file->path());
  FUZZ_CHECK(in.is_open());
  std::vector<MatchingParts> parts;
  bool rewrite = filter->FindWinmailParts(in, parts);
  FUZZ_CHECK(!orv::FileExists(work_directory + "/winmail.dat"));
#ifndef VERROWICK_FAKE_TNEF
  // Without tnef nothing can be extracted.
  FUZZ_CHECK(!rewrite && parts.empty());
#endif
  FUZZ_CHECK(rewrite || parts.empty());
  for (const MatchingParts& record : parts) {
    FUZZ_CHECK(record.start > 0);
    FUZZ_CHECK(record.end == 0 || record.end > record.start);
    for (const orv::string& entry : record.files) {
      struct stat st;
      orv::string path = EntryPath(entry);
      // A backslash is part of a file name here, no separator.
      FUZZ_CHECK(path.compare(0, path.rfind('/') + 1, work_directory + "/") == 0);
      FUZZ_CHECK(lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode));
    }
  }
  if (rewrite) {
    std::vector<MatchingParts> copy = parts;
    in.clear();
    in.Seek(0);
    std::ostringstream out;
    filter->InsertExtractedFiles(in, out, parts);
    FUZZ_CHECK(out.good());
    // Every file put into the message has been deleted.
    for (const MatchingParts& record : copy) {
      for (const orv::string& entry : record.files) {
        if (entry.compare(0, 2, "\\*") == 0) continue;
        FUZZ_CHECK(!orv::FileExists(EntryPath(entry)));
      }
    }
  }
  filter->ReleaseWorkDirectory();
  FUZZ_CHECK(WorkFiles().empty());
  return 0;
}
