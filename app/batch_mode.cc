#include "app/batch_mode.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "app/rewrite.h"
#include "cgp/envelope.h"
#include "orv/file_system.h"
#include "orv/line_stream.h"
#include "orv/output_file.h"

bool BatchMode::Run(const orv::string& dir) {
  counts_ = Counts();
  seen_.clear();
  const unsigned workers = setup_.settings.workers;
  if (workers > 1) workers_ = std::make_unique<orv::WorkQueue>(workers, workers);
  const bool readable = Walk(dir);
  const int walk_error = errno;
  if (workers_) {
    workers_->WaitIdle();
    workers_.reset();
  }
  if (!readable) {
    errno = walk_error;
    orv::logline() << "Unable to read the mailbox " << orv::Printable(dir, 1000) << ": "
                   << strerror(errno);
  }
  const Counts& c = counts_;
  orv::logline() << "Batch done: " << c.processed << " processed, " << c.converted << " converted, "
                 << c.unchanged << " unchanged, " << c.failed << " failed, " << c.skipped
                 << " skipped";
  return readable && c.failed == 0;
}

// Returns false, with errno set, when dir cannot be listed.
bool BatchMode::Walk(const orv::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  if (access(dir.c_str(), R_OK | X_OK) != 0) return false;
  // Symbolic links may lead back into the tree: no directory is walked twice.
  if (!seen_.insert({st.st_dev, st.st_ino}).second) return true;
  // The names are read first: the files made and renamed while converting
  // must not show up in the listing.
  std::vector<orv::string> names;
  orv::DirectoryListing listing(dir);
  while (listing.Next()) names.push_back(listing.Name());
  for (const orv::string& name : names) {
    orv::string child = dir + "/" + name;
    if (orv::IsDirectory(child)) {
      if (!setup_.settings.no_recurse) Walk(child);
    } else if (workers_) {
      workers_->Submit([this, child] {
        orv::LineBlock block;
        ConvertFile(child);
      });
    } else {
      ConvertFile(child);
    }
  }
  return true;
}

void BatchMode::Count(unsigned long Counts::*field) {
  std::lock_guard<std::mutex> lock(counts_mutex_);
  ++(counts_.*field);
}

void BatchMode::ConvertFile(const orv::string& path) {
  const orv::string shown = orv::Printable(path, 1000);
  std::size_t slash = path.rfind('/');
  if (path.find('.', slash == orv::string::npos ? 0 : slash + 1) != orv::string::npos) {
    orv::logline() << "Skipping non-mdir file " << shown;
    Count(&Counts::skipped);
    return;
  }
  orv::logline() << "Processing " << shown;
  Count(&Counts::processed);
  orv::InputFile in(path);
  Outcome outcome = Outcome::kFailed;
  if (!in.is_open()) {
    orv::logline() << "Unable to open file " << shown;
  } else {
    try {
      outcome = Convert(path, in);
    } catch (const std::exception& e) {
      // Only the standard library throws here, for example when memory runs out.
      orv::logline() << "Unexpected error on " << shown << ": " << orv::Printable(e.what())
                     << ", it is left unchanged";
    }
  }
  if (outcome == Outcome::kConverted) Count(&Counts::converted);
  if (outcome == Outcome::kUnchanged) Count(&Counts::unchanged);
  if (outcome == Outcome::kFailed) Count(&Counts::failed);
}

BatchMode::Outcome BatchMode::Convert(const orv::string& path, orv::InputFile& in) {
  const orv::string tmp = path + ".tmp";
  cgp::SkipEnvelope(in);
  std::unique_ptr<orv::ofstream> out;
  auto open = [&](std::size_t parts) -> std::ostream& {
    out = std::make_unique<orv::ofstream>(tmp, std::ios::trunc | std::ios::binary);
    *out << "X-WinmailDat: " << parts << " attachments extracted.\n";
    return *out;
  };
  if (!ConvertMessage(setup_, in, open)) return Outcome::kUnchanged;
  if (!out->good() || !out->Sync() || !out->close()) {
    orv::logline() << "Unable to write " << orv::Printable(tmp, 1000) << ": " << WriteFailure(*out)
                   << ", " << orv::Printable(path, 1000) << " is left unchanged";
    orv::RemoveFile(tmp);
    return Outcome::kFailed;
  }
  Outcome outcome = Replace(path, in);
  if (outcome != Outcome::kConverted) orv::RemoveFile(tmp);
  return outcome;
}

// Puts path + ".tmp" in path's place, keeping path's permissions and owner.
BatchMode::Outcome BatchMode::Replace(const orv::string& path, orv::InputFile& in) {
  const orv::string shown = orv::Printable(path, 1000);
  const orv::string tmp = path + ".tmp", old = path + ".old";
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
    return Outcome::kFailed;
  }
  if (orv::RenameFile(tmp, path)) {
    orv::RemoveFile(old);
    return Outcome::kConverted;
  }
  int error = errno;
  if (orv::RenameFile(old, path)) {
    orv::logline() << "Unable to replace " << shown << ": " << strerror(error)
                   << ", it is left unchanged";
  } else {
    orv::logline() << "Unable to replace " << shown << ": " << strerror(error)
                   << ", the message is kept as " << orv::Printable(old, 1000);
  }
  return Outcome::kFailed;
}
