#include "app/converters.h"

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>

#include "orv/line_stream.h"

namespace {

// Limits for the next converter of the message; false, logged, when the
// message's time is used up.
bool LimitsFor(Deadline deadline, orv::ProcessLimits& limits) {
  auto left =
      std::chrono::duration_cast<std::chrono::seconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() < 1) {
    orv::logline() << "The converters used up the " << kConverterLimits.wall_seconds
                   << " seconds allowed for this message";
    return false;
  }
  limits = kConverterLimits;
  limits.wall_seconds = static_cast<int>(left.count());
  return true;
}

// Waits for child and tells in run how it ended, logging an abnormal end.
void Finish(const char* program, orv::Process& child, const orv::ProcessLimits& limits,
            ConverterRun& run) {
  child.Wait();
  orv::string abnormal = LimitMessage(program, child, limits);
  if (!abnormal.empty()) {
    orv::logline() << abnormal;
    run.status = ConverterRun::kStopped;
  } else if (child.ExitStatus() == kExitNotRun) {
    run.status = ConverterRun::kNotRun;
    run.reason = "it exited with status 127, as when a shared library is missing";
  } else {
    run.status = ConverterRun::kDone;
  }
}

// Reads the output of tnef or ytnef (name) to its end and tells in run how it
// ended.
void CaptureUnpacker(const char* name, orv::Process& child, const orv::ProcessLimits& limits,
                     ConverterRun& run) {
  try {
    child.Capture(&run.listing, &run.errors, kMaxListing);
  } catch (const orv::Exception& e) {
    if (e.GetCode() == EFBIG) {
      orv::logline() << name << " listed more than 4 MiB of files and was stopped";
    } else if (child.TimedOut()) {
      orv::logline() << LimitMessage(name, child, limits);
    } else {
      orv::logline() << "Unable to read the output of tnef: " << strerror(e.GetCode())
                     << ", it was stopped";
    }
    run.status = ConverterRun::kStopped;
    return;
  }
  Finish(name, child, limits, run);
}

orv::string DirectoryOfFile(const orv::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == orv::string::npos ? orv::string(".") : orv::string(path.substr(0, slash));
}

}  // namespace

orv::Process ProgramConverters::Start(const char* name, const std::vector<orv::string>& args,
                                      orv::ChildOutput output, const orv::ProcessLimits& limits,
                                      const orv::string& scratch, const orv::string& input) const {
  if (!refusal_.empty()) throw orv::StartException(refusal_, 0);
  orv::Confinement confinement = confinement_;
  if (!scratch.empty()) confinement.read_write = {scratch};
  if (!input.empty()) confinement.read_exec.push_back(input);
  return orv::Process(directory_ + name, args, output, limits, confinement);
}

bool ProgramConverters::Probe(const char* name, orv::string* reason) const {
  orv::ProcessLimits limits;
  limits.wall_seconds = 10;
  ConverterRun run;
  try {
    orv::Process child = Start(name, {"--version"}, orv::ChildOutput::kDiscard, limits, "");
    Finish(name, child, limits, run);
  } catch (const orv::StartException& e) {
    run.reason = e.GetMessage();
  }
  *reason = run.reason;
  return run.status != ConverterRun::kNotRun;
}

ConverterRun ProgramConverters::Run(const char* name, const std::vector<orv::string>& args,
                                    orv::ChildOutput output, Deadline deadline,
                                    const orv::string& scratch, const orv::string& input) const {
  ConverterRun run;
  orv::ProcessLimits limits;
  if (!LimitsFor(deadline, limits)) {
    run.status = ConverterRun::kStopped;
    return run;
  }
  try {
    orv::Process child = Start(name, args, output, limits, scratch, input);
    if (output == orv::ChildOutput::kPipes) {
      CaptureUnpacker(name, child, limits, run);
    } else {
      Finish(name, child, limits, run);
    }
  } catch (const orv::StartException& e) {
    run.status = ConverterRun::kNotRun;
    run.reason = e.GetMessage();
  }
  return run;
}

ConverterRun ProgramConverters::Tnef(const orv::string& work_file, const orv::string& dir,
                                     bool save_body, Deadline deadline) {
  return Run("tnef", TnefArguments(work_file, dir, save_body), orv::ChildOutput::kPipes, deadline,
             dir);
}

ConverterRun ProgramConverters::Ytnef(const orv::string& work_file, const orv::string& dir,
                                      Deadline deadline) {
  // ytnef reads the work file from the directory above its own.
  return Run("ytnef", {"-f", dir, work_file}, orv::ChildOutput::kPipes, deadline, dir, work_file);
}

ConverterRun ProgramConverters::Rtf2html(const orv::string& rtf, const orv::string& html,
                                         Deadline deadline) {
  return Run("rtf2html", {rtf, html}, orv::ChildOutput::kDiscard, deadline, DirectoryOfFile(html));
}

std::vector<orv::string> TnefArguments(const orv::string& work_file, const orv::string& dir,
                                       bool save_body) {
  std::vector<orv::string> args = {"-f", work_file};
  if (save_body) args.push_back("--save-body=saved_body");
  args.push_back("--number-backups");
  args.push_back("--directory=" + dir);
  args.push_back("--verbose");
  return args;
}

ListingLine ParseListingLine(const orv::string& line, const orv::string& dir) {
  static const orv::string kSeparator = "\t|\t";
  ListingLine listed;
  std::size_t start = line.find(kSeparator);
  if (start == orv::string::npos) {
    listed.path = dir + "/" + line;
    return listed;
  }
  listed.name = line.substr(0, start);
  orv::string* columns[] = {&listed.path, &listed.type, &listed.content_id};
  for (orv::string* column : columns) {
    start += kSeparator.size();
    std::size_t next = line.find(kSeparator, start);
    *column = line.substr(start, next == orv::string::npos ? next : next - start);
    if (next == orv::string::npos) break;
    start = next;
  }
  return listed;
}

orv::string HtmlPathFor(const orv::string& rtf) {
  orv::string stem = rtf.substr(0, rtf.size() - 4);
  orv::string html = stem + ".html";
  struct stat st;
  for (unsigned n = 1; lstat(html.c_str(), &st) == 0; ++n) {
    html = stem + "." + std::to_string(n) + ".html";
  }
  return html;
}

orv::string LimitMessage(const orv::string& program, orv::Process& child,
                         const orv::ProcessLimits& limits) {
  if (child.TimedOut()) {
    return program + " ran longer than " + std::to_string(limits.wall_seconds) +
           " seconds and was stopped";
  }
  switch (int sig = child.TermSignal()) {
    case 0:
      return orv::string();
    case SIGXCPU:
      return program + " used more than " + std::to_string(limits.cpu_seconds) +
             " seconds of CPU time and was stopped";
    case SIGXFSZ:
      return program + " tried to write a file larger than " +
             std::to_string(limits.file_size >> 20) + " MiB and was stopped";
    default:
      return program + " ended with signal " + std::to_string(sig);
  }
}
