// The external converters beside the program: tnef unpacks a winmail.dat file
// into a directory and lists what it wrote; ytnef writes what it makes of a
// calendar item, task or contact into a directory; rtf2html turns an RTF file
// into HTML. The unpack step reaches them only through the Converters
// interface, so that it can be tested with a fake; ProgramConverters runs the
// real ones, confined to the conversion's scratch directory.
#ifndef APP_CONVERTERS_H_
#define APP_CONVERTERS_H_

#include <chrono>
#include <vector>

#include "orv/process.h"
#include "orv/string.h"

// Limits for both converters; a child past them is stopped.
inline const orv::ProcessLimits kConverterLimits{};
// More listing than this from tnef is taken as hostile.
constexpr std::size_t kMaxListing = 4 * 1024 * 1024;

// The converters of one message share one wall-clock limit, so a message
// with many hostile parts cannot hold up the queue for long.
using Deadline = std::chrono::steady_clock::time_point;

// How one converter run ended.
struct ConverterRun {
  enum Status {
    kDone,     // it ended by itself
    kNotRun,   // it could not be started
    kStopped,  // it was stopped or ended by a signal; the reason is logged
  };
  Status status = kNotRun;
  orv::string listing;  // tnef: its standard output
  orv::string errors;   // tnef: the start of its standard error
  orv::string reason;   // kNotRun: why, for the console
};

class Converters {
 public:
  virtual ~Converters() = default;
  // Runs tnef on work_file, writing into dir; the RTF body is saved as
  // "saved_body" when save_body.
  virtual ConverterRun Tnef(const orv::string& work_file, const orv::string& dir, bool save_body,
                            Deadline deadline) = 0;
  // Runs ytnef on work_file, writing into dir.
  virtual ConverterRun Ytnef(const orv::string& work_file, const orv::string& dir,
                             Deadline deadline) = 0;
  // Runs rtf2html, which writes html from rtf.
  virtual ConverterRun Rtf2html(const orv::string& rtf, const orv::string& html,
                                Deadline deadline) = 0;
};

// The programs "tnef", "ytnef" and "rtf2html" in a directory, each run under
// confinement with read and write access to the directory it writes in (the
// conversion's scratch directory) added. Keeps no state of its own between
// runs, so conversions on several threads may share one.
class ProgramConverters : public Converters {
 public:
  // When refusal is not empty no converter is started at all, and every run
  // is kNotRun with refusal as its reason.
  ProgramConverters(const orv::string& directory, const orv::Confinement& confinement,
                    const orv::string& refusal = orv::string())
      : directory_(directory), confinement_(confinement), refusal_(refusal) {}
  ConverterRun Tnef(const orv::string& work_file, const orv::string& dir, bool save_body,
                    Deadline deadline) override;
  ConverterRun Ytnef(const orv::string& work_file, const orv::string& dir,
                     Deadline deadline) override;
  ConverterRun Rtf2html(const orv::string& rtf, const orv::string& html,
                        Deadline deadline) override;

  // Runs the converter called name with "--version" as conversions run it, to
  // learn whether it can be run at all. False, *reason saying why, when not.
  bool Probe(const char* name, orv::string* reason) const;

 private:
  // Runs the converter called name to its end within deadline, as Start
  // starts it; its output is kept (kPipes) or discarded.
  ConverterRun Run(const char* name, const std::vector<orv::string>& args, orv::ChildOutput output,
                   Deadline deadline, const orv::string& scratch,
                   const orv::string& input = orv::string()) const;
  // Starts the converter called name, allowed to write beneath scratch when
  // that is not empty and to read input when that is not empty. Throws
  // orv::StartException when it cannot be started.
  orv::Process Start(const char* name, const std::vector<orv::string>& args,
                     orv::ChildOutput output, const orv::ProcessLimits& limits,
                     const orv::string& scratch, const orv::string& input = orv::string()) const;

  orv::string directory_;
  orv::Confinement confinement_;
  orv::string refusal_;
};

// The file names of the converters in the program directory.
inline const char* const kConverterNames[] = {"tnef", "ytnef", "rtf2html"};

// The exit status of a program that was started but whose loader or
// interpreter could not run it (a missing shared library): it counts as not
// run.
constexpr int kExitNotRun = 127;

// tnef's arguments: the work file, the body saved as "saved_body" when
// save_body, numbered backups, the directory, and the listing.
std::vector<orv::string> TnefArguments(const orv::string& work_file, const orv::string& dir,
                                       bool save_body);

// The columns of one line of tnef's listing, separated by TAB "|" TAB: "name",
// "path", "type", "content id" (older versions print the first two only). A
// line without separator is a bare name in dir, and has no name column.
struct ListingLine {
  orv::string name, path, type, content_id;
};
ListingLine ParseListingLine(const orv::string& line, const orv::string& dir);

// Where the HTML for an RTF file goes: the RTF path without ".rtf" followed by
// ".html", or, when that exists, by ".1.html", ".2.html" and so on.
orv::string HtmlPathFor(const orv::string& rtf);

// A description of how a converter that ended abnormally ended, for the
// console; empty when it ended by itself. limits are those it ran under.
orv::string LimitMessage(const orv::string& program, orv::Process& child,
                         const orv::ProcessLimits& limits);

#endif  // APP_CONVERTERS_H_
