#include "app/filter_mode.h"

#include <errno.h>
#include <string.h>

#include <memory>

#include "app/rewrite.h"
#include "cgp/envelope.h"
#include "orv/file_system.h"
#include "orv/line_stream.h"

cgp::Verdict FilterMode::FilterMessage(const orv::string& path) {
  if (!orv::FileExists(setup_.settings.program_directory + "tnef")) {
    orv::logline() << "tnef binary not found, message is left unscanned";
    return cgp::Verdict::kAccept;
  }
  try {
    return Convert(path);
  } catch (const std::exception& e) {
    // Only the standard library throws here, for example when memory runs out.
    orv::logline() << "Unexpected error: " << orv::Printable(e.what())
                   << ", the message passes unchanged";
    return cgp::Verdict::kAccept;
  }
}

cgp::Verdict FilterMode::Convert(const orv::string& path) {
  orv::InputFile in(path);
  if (!in.is_open()) {
    orv::logline() << "Unexpected error, contact Quillmere";
    return cgp::Verdict::kAccept;
  }
  const cgp::Envelope envelope = cgp::ReadEnvelope(in);
  std::unique_ptr<cgp::QueueFile> file;
  auto open = [&](std::size_t parts) -> std::ostream& {
    file = queue_.Create();
    orv::logline() << "Creating a new message with the extracted attachments";
    cgp::WriteEnvelope(file->out(), envelope);
    file->out() << "X-WinmailDat: " << parts
                << " attachments extracted.\nX-ExtScanner: Quillmere's Verrowick\n";
    return file->out();
  };
  if (!ConvertMessage(setup_, in, open)) return cgp::Verdict::kAccept;
  return Submit(*file);
}

cgp::Verdict FilterMode::Submit(cgp::QueueFile& file) {
  if (!file.Finish()) {
    orv::logline() << "Unable to write the queue file " << orv::Printable(file.path()) << ": "
                   << WriteFailure(file.out()) << ", the message passes unchanged";
    return cgp::Verdict::kAccept;
  }
  // Without a channel to the server the answer cannot arrive, and a released
  // copy would be delivered beside the original.
  if (orv::OutputBroken()) return cgp::Verdict::kAccept;
  if (!file.Release()) {
    orv::logline() << "Unable to release the queue file " << orv::Printable(file.path()) << ": "
                   << strerror(errno) << ", the message passes unchanged";
    return cgp::Verdict::kAccept;
  }
  orv::logline() << "Submitting new message and discarding original";
  return cgp::Verdict::kDiscard;
}
