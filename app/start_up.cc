// Start-up and the end of a run: options, banner, the work directory and the
// converters beside the program, the choice of mode, the final clean-up.
#include <signal.h>

#include <boost/program_options.hpp>
#include <iostream>

#include "app/content_type.h"
#include "app/winmaildat.h"
#include "orv/file_system.h"
#include "orv/line_stream.h"
#include "orv/process.h"

namespace po = boost::program_options;

WinMailDat::WinMailDat() = default;
WinMailDat::~WinMailDat() = default;

bool WinMailDat::ParseOptions(int argc, char** argv, const orv::string& banner, orv::string& path) {
  po::options_description visible(banner + "\nUsage",
                                  po::options_description::m_default_line_length,
                                  po::options_description::m_default_line_length / 2);
  // clang-format off
  visible.add_options()
      ("help,h", "Help. Shows this screen.")
      ("keep-winmail,k", po::bool_switch(&keepWinmail)->default_value(false),
       "Keep the winmail.dat attachment along with the extracted attachment. The default behavior is to discard winmail.dat.")
      ("no-rtf-alternative,r", po::bool_switch(&noRtfAlternative)->default_value(false),
       "Ignore the rtf body when a text/html part is already present in the text/alternative section of the message. The default behavior is to add a text/rtf alternative.")
      ("ignore-rtf-body", po::bool_switch(&ignoreRtfBody)->default_value(false),
       "Ignore the rtf body in ALL cases")
      ("always-remove-winmail", po::bool_switch(&alwaysRemoveWinmail)->default_value(false),
       "Always remove the winmail.dat attachment, whether or not something was extracted from it. The default behavior is to leave the winmail.dat part alone when nothing relevant can be extracted.")
      ("path,p", po::value<std::string>(&path)->default_value(std::string(), ""),
       "Specify the path of the mdir mailbox containing the emails to convert. This enables the (free) batch mode.")
      ("no-recurse,n", po::bool_switch(&noRecurse)->default_value(false),
       "In batch mode, do not recurse into subdirectories. The default behavior is to recurse into subdirectories.");
  // clang-format on
  po::options_description hidden("all visible and hidden options");
  po::options_description all("all visible and hidden options");
  all.add(visible).add(hidden);

  const char* program = argc > 0 ? argv[0] : "verrowick";
  po::variables_map vm;
  try {
    // An empty positional description makes a stray word an error.
    po::store(po::command_line_parser(argc, argv)
                  .options(all)
                  .positional(po::positional_options_description())
                  .run(),
              vm);

    po::notify(vm);
  } catch (const po::multiple_occurrences&) {
    std::cerr << "\noption should only be specified once\n\n"
              << program << " --help for usage information\n";
    return false;
  } catch (const po::error& e) {
    std::cerr << '\n' << e.what() << "\n\n" << program << " --help for usage information\n";
    return false;
  }
  if (vm.count("help")) {
    std::cout << all << '\n' << std::flush;
    return false;
  }
  orv::outline() << "* Quillmere's Verrowick 2.6";
  orv::outline() << "* This filter will extract winmail.dat attachments from messages and ";
  orv::outline() << "*    reinserts extracted content of winmail.dat into them.           ";
  orv::outline() << "*";
  return true;
}

int WinMailDat::Main(int argc, char** argv) {
  // A peer that closes our standard output, or a full file-size limit, must
  // not kill us in the middle of writing a file: the write fails instead.
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  orv::string path;
  if (!ParseOptions(argc, argv, "* Quillmere's Verrowick 2.6 for Communigate Pro\n", path))
    return 0;
  programDirectory = orv::DirectoryOf(argc > 0 ? argv[0] : "");
  LoadContentTypes();
  orv::MakeDirectory(WorkPath(), false);

  auto report_rtf2html = [this] {
    if (orv::FileExists(programDirectory + "rtf2html")) {
      orv::outline() << "* Found rtf2html binary";
    } else {
      orv::outline()
          << "* ERROR: rtf2html binary not found, rtf bodies will not be decoded as html";
      orv::outline() << "* Please reinstall the filter and follow the INSTALL instructions";
    }
  };
  try {
    if (!path.empty()) {
      if (orv::FileExists(programDirectory + "tnef")) {
        orv::outline() << "* Found tnef binary";
        report_rtf2html();
        BatchConvertDirectory(path);
      } else {
        orv::outline() << "* ERROR: tnef binary not found, unable to contine.";
        orv::outline() << "* Please reinstall the filter and follow the INSTALL instructions.";
      }
    } else {
      if (!orv::IsDirectory("Submitted")) orv::MakeDirectory("Submitted", false);
      if (keepWinmail) {
        orv::outline()
            << "* -k specified, original winmail.dat will be kept with extracted attachments";
      }
      if (orv::FileExists(programDirectory + "tnef")) {
        orv::outline() << "* Found tnef binary";
      } else {
        orv::outline() << "* ERROR: tnef binary not found, messages will be left unscanned";
        orv::outline() << "* Please reinstall the filter and follow the INSTALL instructions";
      }
      if (!ignoreRtfBody) report_rtf2html();
      Run();
    }
  } catch (const std::exception& e) {
    orv::logline() << orv::Printable(e.what()) << ", the filter stops";
  }

  // Taken like any conversion, so another instance's files are not removed;
  // still held when an exception ended a conversion.
  if (WorkDir().Lock()) {
    ClearDirectory(WorkPath());
    orv::RemoveDirectory(WorkPath(), false);
    WorkDir().Unlock();
  }

  return 0;
}
