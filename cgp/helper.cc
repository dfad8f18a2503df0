#include "cgp/helper.h"

#include <unistd.h>

#include <memory>
#include <sstream>

#include "orv/line_stream.h"
#include "orv/process.h"
#include "orv/work_queue.h"

namespace cgp {

RequestLine ParseRequestLine(const orv::string& line) {
  static const char kDelimiters[] = " \r\n";
  RequestLine request;
  orv::string* fields[] = {&request.token, &request.command};
  std::size_t pos = line.find_first_not_of(kDelimiters);
  for (orv::string* field : fields) {
    if (pos == orv::string::npos) return request;
    std::size_t end = line.find_first_of(kDelimiters, pos);
    *field = line.substr(pos, end == orv::string::npos ? orv::string::npos : end - pos);
    pos = end == orv::string::npos ? end : line.find_first_not_of(kDelimiters, end);
  }
  if (pos != orv::string::npos) request.parameters = line.substr(pos);
  request.command.lowerize();
  return request;
}

unsigned SequenceNumber(const orv::string& token) {
  std::istringstream in(token);
  unsigned number = 0;
  in >> number;
  return number;
}

Helper::Helper(const orv::string& error_word, unsigned workers)
    : error_word_(" " + error_word + " "), workers_(workers) {}

Helper::~Helper() = default;

unsigned Helper::Interface(unsigned) {
  return 3;
}

void Helper::Shutdown() {}

void Helper::Run() {
  orv::InputFile in(STDIN_FILENO);
  Run(in);
}

void Helper::Run(orv::InputFile& in) {
  // Submit holds the reader while the queue is full, so a flood of requests
  // stays in the pipe instead of in memory.
  std::unique_ptr<orv::WorkQueue> workers;
  if (workers_ > 1) workers = std::make_unique<orv::WorkQueue>(workers_, workers_);
  orv::logline() << "Ready to receive INTF command.";
  bool quitting = false;
  orv::string line;
  while (in.good() && !orv::OutputBroken() && !(workers && workers->Failed())) {
    orv::getline(in, line, kMaxRequestLine);
    if (line.empty() && in.eof()) break;
    RequestLine request = ParseRequestLine(line);
    const orv::string& token = request.token;
    if (token.empty()) {
      orv::outline() << "(null) FAILURE";
    } else if (request.command.empty() && !quitting) {
      orv::outline() << token << " FAILURE";
    } else if (quitting) {
      orv::outline()
          << token << error_word_
          << "\"QUIT command received, filter is shut down. Please restart the filter.\"";
    } else if (request.command == "intf") {
      unsigned requested = request.parameters.empty() ? 1 : SequenceNumber(request.parameters);
      orv::outline() << token << " INTF " << Interface(requested);
    } else if (request.command == "key") {
      orv::outline() << token << " OK";
    } else if (request.command == "quit") {
      if (workers) workers->WaitIdle();
      orv::logline(orv::Printable(token)) << "Filter is shutting down...";
      Shutdown();
      orv::outline() << token
                     << " OK \"Filter is shut down and waiting for standard output to be closed\"";
      quitting = true;
    } else if (request.command == "crash") {
      throw orv::Exception("unhandled exception request");
    } else {
      Dispatch(request, workers.get());
    }
  }
  if (workers) workers->WaitIdle();
}

void Helper::Dispatch(const RequestLine& request, orv::WorkQueue* workers) {
  const orv::string& token = request.token;
  unsigned seq = SequenceNumber(token);
  if (seq == 0 && token != "0") {
    orv::outline() << token << error_word_ << "\"Error: seqID should be a number\"";
  } else if (request.parameters.empty()) {
    orv::outline() << token << " FAILURE \"Missing parameter(s)\"";
  } else if (!HandlesCommand(request.command)) {
    orv::outline() << token << " FAILURE";
  } else if (!workers) {
    ProcessRequest(seq, request.command, request.parameters);
  } else {
    // Each request's log lines and answer leave as one block.
    workers->Submit([this, seq, request] {
      orv::LineBlock block;
      ProcessRequest(seq, request.command, request.parameters);
    });
  }
}

}  // namespace cgp
