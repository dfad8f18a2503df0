// Filter mode, one queued message: when it holds winmail.dat attachments, the
// converted message goes into the Submitted queue and the received one is
// discarded; in every other case the message passes unchanged.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <set>
#include <string>

#include "app/winmaildat.h"
#include "cgp/pipe.h"
#include "orv/file_system.h"
#include "orv/line_stream.h"
#include "orv/output_file.h"

namespace {

// Envelope lines of a queued file are short; longer ones are cut.
constexpr std::size_t kMaxEnvelopeLine = 64 * 1024;

// Reads the envelope block: "P" lines give the return path, "R" lines the
// recipients, each as the text between the first "<" from byte 4 on and the
// next ">", in lower case.
void ReadEnvelope(orv::InputFile& in, std::string& returnPath, std::set<orv::string>& recipients) {
  orv::string line;
  while (orv::getline(in, line, kMaxEnvelopeLine) && !line.empty()) {
    if (line[0] != 'P' && line[0] != 'R') continue;
    std::size_t open = line.find('<', 4);
    if (open == orv::string::npos) continue;
    std::size_t close = line.find('>', open + 1);
    if (close == orv::string::npos) continue;
    orv::string address = line.substr(open + 1, close - open - 1);
    address.lowerize();
    if (line[0] == 'P') {
      returnPath = address;
    } else {
      recipients.insert(address);
    }
  }
}

// Makes a rename in dir survive a crash.
void SyncDirectory(const char* dir) {
  int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    ::close(fd);
  }
}

}  // namespace

cgp::Answer WinMailDat::FilterMessage(unsigned, const orv::string& path) {
  const cgp::Answer pass(cgp::Response::OK);
  if (!orv::FileExists(programDirectory + "tnef")) {
    orv::logline() << "tnef binary not found, message is left unscanned";
    return pass;
  }
  orv::string queueFile;
  try {
    orv::InputFile in(path);
    if (!in.is_open()) {
      orv::logline() << "Unexpected error, contact Quillmere";
      return pass;
    }
    std::string returnPath;
    std::set<orv::string> recipients;
    if (HasEnvelope(in)) {
      ReadEnvelope(in, returnPath, recipients);
    } else {
      in.Seek(0);
    }
    std::vector<MatchingParts> parts;
    if (!FindWinmailParts(in, parts)) {
      ReleaseWorkDirectory();
      return pass;
    }
    in.clear();
    in.Seek(0);
    SkipEnvelope(in);

    queueFile = cgp::Pipe::CreateQueueFile();
    orv::logline() << "Creating a new message with the extracted attachments";
    orv::ofstream out(queueFile, std::ios::trunc | std::ios::binary);
    out << cgp::Pipe::Envelope(returnPath, recipients) << "X-WinmailDat: " << parts.size()
        << " attachments extracted.\nX-ExtScanner: Quillmere's Verrowick\n";
    InsertExtractedFiles(in, out, parts);
    ReleaseWorkDirectory();
    if (!out.good() || !out.Sync() || !out.close()) {
      orv::logline() << "Unable to write the queue file " << orv::Printable(queueFile) << ": "
                     << WriteFailure(out) << ", the message passes unchanged";
      orv::RemoveFile(queueFile);
      return pass;
    }
    // Without a channel to the server the answer cannot arrive, and a released
    // copy would be delivered beside the original.
    if (orv::OutputBroken()) {
      orv::RemoveFile(queueFile);
      return pass;
    }
    if (!cgp::Pipe::ReleaseQueueFile(queueFile)) {
      orv::logline() << "Unable to release the queue file " << orv::Printable(queueFile) << ": "
                     << strerror(errno) << ", the message passes unchanged";
      orv::RemoveFile(queueFile);
      return pass;
    }
    SyncDirectory("Submitted");
    orv::logline() << "Submitting new message and discarding original";
    return cgp::Answer(cgp::Response::DISCARD);
  } catch (const std::exception& e) {
    ReleaseWorkDirectory();
    if (!queueFile.empty()) orv::RemoveFile(queueFile);
    orv::logline() << "Unexpected error: " << orv::Printable(e.what())
                   << ", the message passes unchanged";
    return pass;
  }
}
