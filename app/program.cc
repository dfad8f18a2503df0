#include "app/program.h"

#include <signal.h>

#include "app/batch_mode.h"
#include "app/content_type.h"
#include "app/filter_mode.h"
#include "app/options.h"
#include "app/scratch_directory.h"
#include "cgp/queue_writer.h"
#include "orv/file_system.h"
#include "orv/line_stream.h"

namespace {

void PrintBanner() {
  orv::outline() << "* Quillmere's Verrowick 2.6";
  orv::outline() << "* This filter will extract winmail.dat attachments from messages and ";
  orv::outline() << "*    reinserts extracted content of winmail.dat into them.           ";
  orv::outline() << "*";
}

void ReportRtf2html(const Settings& settings) {
  if (orv::FileExists(settings.program_directory + "rtf2html")) {
    orv::outline() << "* Found rtf2html binary";
  } else {
    orv::outline() << "* ERROR: rtf2html binary not found, rtf bodies will not be decoded as html";
    orv::outline() << "* Please reinstall the filter and follow the INSTALL instructions";
  }
}

// ytnef converts calendar items, tasks and contacts; without it their
// winmail.dat is kept.
void ReportYtnef(const Settings& settings) {
  if (orv::FileExists(settings.program_directory + "ytnef")) {
    orv::outline() << "* Found ytnef binary";
  } else {
    orv::outline() << "* ytnef binary not found, calendar items, tasks and contacts will keep "
                      "their winmail.dat";
  }
}

int RunBatchMode(const ConversionSetup& setup, const orv::string& path) {
  if (!orv::FileExists(setup.settings.program_directory + "tnef")) {
    orv::outline() << "* ERROR: tnef binary not found, unable to contine.";
    orv::outline() << "* Please reinstall the filter and follow the INSTALL instructions.";
    return kExitFailure;
  }
  orv::outline() << "* Found tnef binary";
  ReportYtnef(setup.settings);
  ReportRtf2html(setup.settings);
  return BatchMode(setup).Run(path) ? kExitSuccess : kExitFailure;
}

int RunFilterMode(const ConversionSetup& setup) {
  const Settings& settings = setup.settings;
  // The mail server starts the filter in its base directory.
  cgp::QueueWriter queue("");
  if (!orv::IsDirectory(queue.directory())) orv::MakeDirectory(queue.directory(), false);
  if (settings.keep_winmail) {
    orv::outline()
        << "* -k specified, original winmail.dat will be kept with extracted attachments";
  }
  if (orv::FileExists(settings.program_directory + "tnef")) {
    orv::outline() << "* Found tnef binary";
  } else {
    orv::outline() << "* ERROR: tnef binary not found, messages will be left unscanned";
    orv::outline() << "* Please reinstall the filter and follow the INSTALL instructions";
  }
  ReportYtnef(settings);
  if (!settings.ignore_rtf_body) ReportRtf2html(settings);
  FilterMode(setup, queue).Run();
  return kExitSuccess;
}

}  // namespace

int RunProgram(int argc, char** argv) {
  // A peer that closes our standard output, or a full file-size limit, must
  // not kill us in the middle of writing a file: the write fails instead.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  Settings settings;
  orv::string path;
  switch (ParseOptions(argc, argv, settings, path)) {
    case ParseResult::kHelp:
      return kExitSuccess;
    case ParseResult::kError:
      return kExitUsage;
    case ParseResult::kRun:
      break;
  }
  PrintBanner();
  settings.program_directory = orv::DirectoryOf(argc > 0 ? argv[0] : "");
  LoadContentTypes();
  ProgramConverters converters(settings.program_directory);
  const ConversionSetup setup{settings, converters, settings.program_directory + "wmd_temp"};
  PrepareWorkRoot(setup.work_root);
  int status = kExitFailure;
  try {
    status = path.empty() ? RunFilterMode(setup) : RunBatchMode(setup, path);
  } catch (const std::exception& e) {
    orv::logline() << orv::Printable(e.what()) << ", the filter stops";
  }
  RemoveWorkRoot(setup.work_root);
  return status;
}
