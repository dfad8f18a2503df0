// Batch mode: every message file of a mailbox directory that holds a
// winmail.dat attachment is converted in place, through P.tmp and P.old.
#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/winmaildat.h"
#include "orv/file_system.h"
#include "orv/line_stream.h"
#include "orv/output_file.h"

void WinMailDat::BatchConvertDirectory(const orv::string& dir) {
  batchCounts = BatchCounts();
  std::set<std::pair<dev_t, ino_t>> seen;
  WalkDirectory(dir, seen);
  const BatchCounts& c = batchCounts;
  orv::logline() << "Batch done: " << c.processed << " processed, " << c.converted << " converted, "
                 << c.unchanged << " unchanged, " << c.failed << " failed, " << c.skipped
                 << " skipped";
}

void WinMailDat::WalkDirectory(const orv::string& dir, std::set<std::pair<dev_t, ino_t>>& seen) {
  struct stat st;
  // Symbolic links may lead back into the tree: no directory is walked twice.
  if (stat(dir.c_str(), &st) != 0 || !seen.insert({st.st_dev, st.st_ino}).second) return;
  orv::DirectoryListing listing(dir);
  while (listing.Next()) {
    orv::string child = dir + "/" + listing.Name();
    if (orv::IsDirectory(child)) {
      if (!noRecurse) WalkDirectory(child, seen);
    } else {
      BatchConvertFile(child);
    }
  }
}

void WinMailDat::BatchConvertFile(const orv::string& path) {
  BatchCounts& counts = batchCounts;
  const orv::string shown = orv::Printable(path, 1000);
  if (FileNameOf(path).find('.') != orv::string::npos) {
    orv::logline() << "Skipping non-mdir file " << shown;
    ++counts.skipped;
    return;
  }
  orv::logline() << "Processing " << shown;
  ++counts.processed;
  orv::InputFile in(path);
  if (!in.is_open()) {
    orv::logline() << "Unable to open file " << shown;
    ++counts.failed;
    return;
  }

  const orv::string tmp = path + ".tmp";
  const orv::string old = path + ".old";
  bool converted = false;
  try {
    SkipEnvelope(in);
    std::vector<MatchingParts> parts;
    if (!FindWinmailParts(in, parts)) {
      ++counts.unchanged;
      ReleaseWorkDirectory();
      return;
    }
    in.clear();
    in.Seek(0);
    SkipEnvelope(in);
    orv::ofstream out(tmp, std::ios::trunc | std::ios::binary);
    InsertExtractedFiles(in, out, parts);
    ReleaseWorkDirectory();
    if (!out.good() || !out.Sync() || !out.close()) {
      orv::logline() << "Unable to write " << orv::Printable(tmp, 1000) << ": " << WriteFailure(out)
                     << ", " << shown << " is left unchanged";
    } else {
      // The converted file keeps the received file's permissions and owner.
      struct stat st;
      if (fstat(in.fd(), &st) == 0) {
        chmod(tmp.c_str(), st.st_mode & 07777);
        int ignored = chown(tmp.c_str(), st.st_uid, st.st_gid);
        static_cast<void>(ignored);
      }
      in.Close();
      if (!orv::RenameFile(path, old)) {
        orv::logline() << "Unable to rename " << shown << ": " << strerror(errno)
                       << ", it is left unchanged";
      } else if (!orv::RenameFile(tmp, path)) {
        int error = errno;
        if (orv::RenameFile(old, path)) {
          orv::logline() << "Unable to replace " << shown << ": " << strerror(error)
                         << ", it is left unchanged";
        } else {
          orv::logline() << "Unable to replace " << shown << ": " << strerror(error)
                         << ", the message is kept as " << orv::Printable(old, 1000);
          ++counts.failed;
          return;
        }
      } else {
        orv::RemoveFile(old);
        converted = true;
      }
    }
  } catch (const std::exception& e) {
    ReleaseWorkDirectory();
    orv::logline() << "Unexpected error on " << shown << ": " << orv::Printable(e.what())
                   << ", it is left unchanged";
  }
  if (converted) {
    ++counts.converted;
  } else {
    orv::RemoveFile(tmp);
    ++counts.failed;
  }
}
