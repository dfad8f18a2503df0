// Fuzzes the helper protocol: cgp::ParseRequestLine and cgp::SequenceNumber
// on every line of the input, then the whole request loop, Helper::Run, over
// the input held in a file, with a filter that accepts every message (a
// message file exists as /proc/self/fd/1000). Standard output is captured:
// every request line must get exactly one answer, and each answer must begin
// with the request's token, its number or "(null)".
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cgp/ext_filter.h"
#include "cgp/helper.h"
#include "fuzz/fuzz_support.h"
#include "orv/process.h"

namespace {

class AcceptAll : public cgp::ExtFilter {
 protected:
  cgp::Verdict FilterMessage(const orv::string&) override { return cgp::Verdict::kAccept; }
};

FUZZ_UNTRACED bool IsDelimiter(char c) {
  return c == ' ' || c == '\r' || c == '\n';
}

FUZZ_UNTRACED void CheckParse(const orv::string& line) {
  cgp::RequestLine request = cgp::ParseRequestLine(line);
  for (const orv::string* field : {&request.token, &request.command}) {
    for (char c : *field) FUZZ_CHECK(!IsDelimiter(c));
  }
  for (char c : request.command) FUZZ_CHECK(c < 'A' || c > 'Z');
  // Fields come in order: no command without token, no parameters without
  // command, and parameters begin with their first non-delimiter byte.
  if (request.token.empty()) FUZZ_CHECK(request.command.empty());
  if (request.command.empty()) FUZZ_CHECK(request.parameters.empty());
  if (!request.parameters.empty()) {
    FUZZ_CHECK(!IsDelimiter(request.parameters[0]));
    FUZZ_CHECK(line.size() >= request.parameters.size());
    FUZZ_CHECK(line.compare(line.size() - request.parameters.size(), std::string::npos,
                            request.parameters) == 0);
  }
  bool all_delimiters = true;
  for (char c : line) all_delimiters = all_delimiters && IsDelimiter(c);
  FUZZ_CHECK(request.token.empty() == all_delimiters);
  FUZZ_CHECK(line.find(request.token) != std::string::npos);

  // A token of up to nine digits, after white space that stream input skips,
  // reads as their value; one that starts otherwise (but for a sign) as 0.
  const orv::string& token = request.token;
  std::size_t first = token.find_first_not_of("\t\v\f");
  if (first == std::string::npos) first = token.size();
  std::size_t digits = 0;
  while (first + digits < token.size() && token[first + digits] >= '0' &&
         token[first + digits] <= '9') {
    ++digits;
  }
  unsigned number = cgp::SequenceNumber(token);
  if (digits > 0 && digits <= 9) {
    FUZZ_CHECK(number == std::stoul(token.substr(first, digits)));
  }
  if (digits == 0 && (first == token.size() || (token[first] != '+' && token[first] != '-'))) {
    FUZZ_CHECK(number == 0);
  }
}

// What Run must answer: the first word of each answer, in order, for request
// lines up to the first that asks for the crash hook (which ends the run).
FUZZ_UNTRACED std::vector<std::string> ExpectedAnswers(const std::string& content, bool* crash) {
  std::vector<std::string> answers;
  bool quitting = false;
  *crash = false;
  for (const fuzz::ModelLine& model : fuzz::ModelLines(content)) {
    cgp::RequestLine request =
        cgp::ParseRequestLine(orv::string(model.text.substr(0, cgp::kMaxRequestLine)));
    if (!request.token.empty() && !request.command.empty() && !quitting) {
      if (request.command == "crash") {
        *crash = true;
        return answers;
      }
      if (request.command == "quit") quitting = true;
    }
    // A token of "*" makes an answer that reads like a log line; such answers
    // are not told apart from log lines below.
    if (request.token == "*") continue;
    answers.push_back(request.token.empty() ? "(null)" : request.token);
  }
  return answers;
}

fuzz::MemoryFile* file;
int output_fd = -1;
AcceptAll* filter;

// Empties the file that stands in for standard output.
void ResetOutput() {
  if (ftruncate(STDOUT_FILENO, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0) std::abort();
}

std::string ReadOutput() {
  std::string text;
  char block[4096];
  off_t at = 0;
  for (;;) {
    ssize_t n = pread(output_fd, block, sizeof block, at);
    if (n <= 0) return text;
    text.append(block, static_cast<std::size_t>(n));
    at += n;
  }
}

FUZZ_UNTRACED void CheckAnswers(const std::string& output, const std::vector<std::string>& want) {
  std::size_t next = 0;
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t lf = output.find('\n', start);
    FUZZ_CHECK(lf != std::string::npos);  // whole lines only
    std::string line = output.substr(start, lf - start);
    start = lf + 1;
    if (line.compare(0, 2, "* ") == 0) continue;
    FUZZ_CHECK(next < want.size());
    const std::string& token = want[next++];
    std::string number = std::to_string(cgp::SequenceNumber(orv::string(token)));
    bool by_token = line.compare(0, token.size() + 1, token + " ") == 0;
    bool by_number = line.compare(0, number.size() + 1, number + " ") == 0;
    FUZZ_CHECK(by_token || by_number);
  }
  FUZZ_CHECK(next == want.size());
}

}  // namespace

// The message file that FILE requests of the seed corpus name; a fixed
// descriptor gives it a fixed name without touching the disk.
constexpr int kMessageFd = 1000;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  file = new fuzz::MemoryFile();
  int message = memfd_create("verrowick-fuzz-message", 0);
  if (message < 0 || write(message, "Subject: x\n\nbody\n", 17) != 17 ||
      dup2(message, kMessageFd) < 0) {
    std::abort();
  }
  close(message);
  // Standard output is a file of our own, read back after every run; the
  // fuzzer's own messages go to standard error.
  output_fd = memfd_create("verrowick-fuzz-stdout", MFD_CLOEXEC);
  if (output_fd < 0 || dup2(output_fd, STDOUT_FILENO) < 0) std::abort();
  filter = new AcceptAll();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string content(reinterpret_cast<const char*>(data), size);
  for (const fuzz::ModelLine& line : fuzz::ModelLines(content)) {
    CheckParse(orv::string(line.text));
  }
  CheckParse(orv::string(content));

  bool crash;
  std::vector<std::string> want = ExpectedAnswers(content, &crash);
  file->Write(content);
  ResetOutput();
  orv::InputFile in(file->path());
  bool thrown = false;
  try {
    filter->Run(in);
  } catch (const orv::Exception&) {
    thrown = true;
  }
  FUZZ_CHECK(thrown == crash);
  CheckAnswers(ReadOutput(), want);
  return 0;
}
