// The whole run: options, banner, the converters beside the program and whom
// they run as, the work directory, one mode, the final clean-up.
#ifndef APP_PROGRAM_H_
#define APP_PROGRAM_H_

// Exit statuses.
constexpr int kExitSuccess = 0;  // --help, a batch run without failures, filter mode's end
constexpr int kExitFailure = 1;  // a batch run with a failed message or no mailbox to read
constexpr int kExitUsage = 2;    // an option error: nothing was done

// Runs the program with its command line and returns the exit status.
int RunProgram(int argc, char** argv);

#endif  // APP_PROGRAM_H_
