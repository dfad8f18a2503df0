#include "app/converters.h"

#include <signal.h>
#include <sys/stat.h>

std::vector<orv::string> TnefArguments(const orv::string& programDirectory, bool ignoreRtfBody) {
  std::vector<orv::string> args = {"-f", programDirectory + "wmd_temp/winmail.dat"};
  if (!ignoreRtfBody) args.push_back("--save-body=saved_body");
  args.push_back("--number-backups");
  args.push_back("--directory=" + programDirectory + "wmd_temp");
  args.push_back("--verbose");
  return args;
}

std::vector<orv::string> Rtf2htmlArguments(const orv::string& rtf, const orv::string& html) {
  return {rtf, html};
}

orv::string ListedPath(const orv::string& line, const orv::string& workDirectory) {
  static const orv::string kSeparator = "\t|\t";
  std::size_t first = line.find(kSeparator);
  if (first == orv::string::npos) return workDirectory + "/" + line;
  std::size_t start = first + kSeparator.size();
  std::size_t next = line.find(kSeparator, start);
  return line.substr(start, next == orv::string::npos ? next : next - start);
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
