#include "app/options.h"

#include <boost/program_options.hpp>
#include <iostream>

namespace po = boost::program_options;

namespace {

void CheckWorkers(unsigned workers) {
  if (workers < kMinWorkers || workers > kMaxWorkers) {
    po::invalid_option_value error(std::to_string(workers));
    error.set_option_name("--workers");
    throw error;
  }
}

void Describe(po::options_description& visible, Settings& s, orv::string& path) {
  // clang-format off
  visible.add_options()
      ("help,h", "Help. Shows this screen.")
      ("keep-winmail,k", po::bool_switch(&s.keep_winmail)->default_value(false),
       "Keep the winmail.dat attachment along with the extracted attachment. The default behavior is to discard winmail.dat.")
      ("no-rtf-alternative,r", po::bool_switch(&s.no_rtf_alternative)->default_value(false),
       "Ignore the rtf body when a text/html part is already present in the text/alternative section of the message. The default behavior is to add a text/rtf alternative.")
      ("ignore-rtf-body", po::bool_switch(&s.ignore_rtf_body)->default_value(false),
       "Ignore the rtf body in ALL cases")
      ("always-remove-winmail", po::bool_switch(&s.always_remove_winmail)->default_value(false),
       "Always remove the winmail.dat attachment, whether or not something was extracted from it. The default behavior is to leave the winmail.dat part alone when nothing relevant can be extracted.")
      ("inline-body", po::bool_switch(&s.inline_body)->default_value(false),
       "Show the HTML body of a winmail.dat as the message body, with the images it shows, instead of as an attachment.")
      ("path,p", po::value<std::string>(&path)->default_value(std::string(), ""),
       "Specify the path of the mdir mailbox containing the emails to convert. This enables the (free) batch mode.")
      ("no-recurse,n", po::bool_switch(&s.no_recurse)->default_value(false),
       "In batch mode, do not recurse into subdirectories. The default behavior is to recurse into subdirectories.")
      ("converter-user", po::value<std::string>(&s.converter_user)->default_value(std::string(), ""),
       "When run as root, run tnef and rtf2html as this user. The default is verrowick, or nobody where there is no such user.")
      ("workers,w", po::value<unsigned>(&s.workers)->default_value(1)->notifier(CheckWorkers),
       "Convert up to this many messages at once, from 1 to 64. A busy server gains from more than 1; about one per processor core is a fair start.");
  // clang-format on
}

}  // namespace

ParseResult ParseOptions(int argc, char** argv, Settings& settings, orv::string& path) {
  po::options_description visible("* Quillmere's Verrowick 2.6 for Communigate Pro\n\nUsage",
                                  po::options_description::m_default_line_length,
                                  po::options_description::m_default_line_length / 2);
  Describe(visible, settings, path);
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
  } catch (const po::error& e) {
    const bool twice = dynamic_cast<const po::multiple_occurrences*>(&e) != nullptr;
    std::cerr << '\n'
              << (twice ? "option should only be specified once" : e.what()) << "\n\n"
              << program << " --help for usage information\n";
    return ParseResult::kError;
  }
  if (vm.count("help")) {
    std::cout << all << '\n' << std::flush;
    return ParseResult::kHelp;
  }
  return ParseResult::kRun;
}
