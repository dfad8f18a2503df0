#include "app/program.h"

#include <signal.h>
#include <unistd.h>

#include "app/batch_mode.h"
#include "app/content_type.h"
#include "app/filter_mode.h"
#include "app/options.h"
#include "app/scratch_directory.h"
#include "cgp/queue_writer.h"
#include "orv/file_system.h"
#include "orv/line_stream.h"
#include "orv/sandbox.h"

namespace {

void PrintBanner() {
  orv::outline() << "* Quillmere's Verrowick 2.6";
  orv::outline() << "* This filter will extract winmail.dat attachments from messages and ";
  orv::outline() << "*    reinserts extracted content of winmail.dat into them.           ";
  orv::outline() << "*";
}

// Who runs the converters and what they may touch, decided once at start-up.
struct ConverterSandbox {
  orv::Confinement confinement;
  orv::string user;     // the converter user's name; empty when we do not run as root
  orv::string refusal;  // when not empty, no converter may run, and this says why
};

// Looks up the converter user: the one named, else verrowick, else nobody.
bool FindConverterUser(const Settings& settings, orv::string& name, orv::UserIds& ids,
                       orv::string& reason) {
  name = settings.converter_user.empty() ? "verrowick" : settings.converter_user;
  if (orv::LookUpUser(name, &ids, &reason)) return true;
  if (!settings.converter_user.empty() || reason != "no such user") return false;
  name = "nobody";
  return orv::LookUpUser(name, &ids, &reason);
}

// Decides the converters' user (when we run as root) and Landlock sandbox,
// and says what it decided.
ConverterSandbox DecideSandbox(const Settings& settings) {
  ConverterSandbox sandbox;
  orv::string reason;
  if (geteuid() == 0) {
    orv::string name;
    orv::UserIds ids;
    const bool found = FindConverterUser(settings, name, ids, reason);
    const orv::string shown = orv::Printable(name);
    if (!found) {
      orv::outline() << "* The converter user " << shown << " does not exist: " << reason
                     << "; messages with winmail.dat attachments pass unchanged";
      sandbox.refusal = "the converter user " + shown + " does not exist";
      return sandbox;
    }
    orv::outline() << "* The converters run as user " << shown << " (uid " << ids.uid << ", gid "
                   << ids.gid << ")";
    sandbox.user = shown;
    sandbox.confinement.user = ids;
  }
  sandbox.confinement.landlock_abi = orv::LandlockAbi(&reason);
  if (sandbox.confinement.landlock_abi == 0) {
    orv::outline() << "* The converters run without a file-system sandbox: " << reason;
  }
  // Rules on the converters' files rather than on the program directory,
  // which holds wmd_temp with the other conversions' scratch directories.
  sandbox.confinement.read_exec = orv::SystemReadPaths();
  for (const char* name : kConverterNames) {
    sandbox.confinement.read_exec.push_back(settings.program_directory + name);
  }
  return sandbox;
}

// The converters and what the start-up lines need to know of them.
struct ConverterCheck {
  const ProgramConverters& converters;
  const ConverterSandbox& sandbox;
};

// Follows a "Found" line: whether the converter user can run the converter.
void ReportRunnable(const ConverterCheck& check, const char* name) {
  if (check.sandbox.user.empty()) return;
  orv::string reason;
  if (!check.converters.Probe(name, &reason)) {
    orv::outline() << "* The " << name << " binary cannot be run by user " << check.sandbox.user
                   << ": " << orv::Printable(reason);
  }
}

void ReportTnef(const ConverterCheck& check) {
  orv::outline() << "* Found tnef binary";
  ReportRunnable(check, "tnef");
}

void ReportRtf2html(const Settings& settings, const ConverterCheck& check) {
  if (orv::FileExists(settings.program_directory + "rtf2html")) {
    orv::outline() << "* Found rtf2html binary";
    ReportRunnable(check, "rtf2html");
  } else {
    orv::outline() << "* ERROR: rtf2html binary not found, rtf bodies will not be decoded as html";
    orv::outline() << "* Please reinstall the filter and follow the INSTALL instructions";
  }
}

// ytnef converts calendar items, tasks and contacts; without it their
// winmail.dat is kept.
void ReportYtnef(const Settings& settings, const ConverterCheck& check) {
  if (orv::FileExists(settings.program_directory + "ytnef")) {
    orv::outline() << "* Found ytnef binary";
    ReportRunnable(check, "ytnef");
  } else {
    orv::outline() << "* ytnef binary not found, calendar items, tasks and contacts will keep "
                      "their winmail.dat";
  }
}

int RunBatchMode(const ConversionSetup& setup, const ConverterCheck& check,
                 const orv::string& path) {
  if (!orv::FileExists(setup.settings.program_directory + "tnef")) {
    orv::outline() << "* ERROR: tnef binary not found, unable to contine.";
    orv::outline() << "* Please reinstall the filter and follow the INSTALL instructions.";
    return kExitFailure;
  }
  ReportTnef(check);
  ReportYtnef(setup.settings, check);
  ReportRtf2html(setup.settings, check);
  return BatchMode(setup).Run(path) ? kExitSuccess : kExitFailure;
}

int RunFilterMode(const ConversionSetup& setup, const ConverterCheck& check) {
  const Settings& settings = setup.settings;
  // The mail server starts the filter in its base directory.
  cgp::QueueWriter queue("");
  if (!orv::IsDirectory(queue.directory())) orv::MakeDirectory(queue.directory(), false);
  if (settings.keep_winmail) {
    orv::outline()
        << "* -k specified, original winmail.dat will be kept with extracted attachments";
  }
  if (orv::FileExists(settings.program_directory + "tnef")) {
    ReportTnef(check);
  } else {
    orv::outline() << "* ERROR: tnef binary not found, messages will be left unscanned";
    orv::outline() << "* Please reinstall the filter and follow the INSTALL instructions";
  }
  ReportYtnef(settings, check);
  if (!settings.ignore_rtf_body) ReportRtf2html(settings, check);
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
  settings.content_types = LoadContentTypes();
  const ConverterSandbox sandbox = DecideSandbox(settings);
  ProgramConverters converters(settings.program_directory, sandbox.confinement, sandbox.refusal);
  const ConversionSetup setup{settings, converters, settings.program_directory + "wmd_temp",
                              sandbox.confinement.user};
  const ConverterCheck check{converters, sandbox};
  PrepareWorkRoot(setup.work_root);
  int status = kExitFailure;
  try {
    status = path.empty() ? RunFilterMode(setup, check) : RunBatchMode(setup, check, path);
  } catch (const std::exception& e) {
    orv::logline() << orv::Printable(e.what()) << ", the filter stops";
  }
  RemoveWorkRoot(setup.work_root);
  return status;
}
