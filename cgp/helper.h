// The mail server's helper protocol: request lines arrive on standard input,
// each beginning with a sequence token, and every request is answered with one
// line on standard output that begins with that token (or its number). This
// class is the request loop; it answers the protocol's own requests and every
// malformed one, and hands work requests to ProcessRequest: on its own thread,
// one after the other, or on worker threads, several at once. The server
// matches answers to requests by their numbers, so they may come in any order.
#ifndef CGP_HELPER_H_
#define CGP_HELPER_H_

#include "orv/input_file.h"
#include "orv/string.h"
#include "orv/work_queue.h"

namespace cgp {

// One request line split into its three fields: the sequence token, the
// command word (folded to lower case) and the parameters (the rest of the
// line, unchanged). A missing field is empty.
struct RequestLine {
  orv::string token;
  orv::string command;
  orv::string parameters;
};

// Splits a line at runs of space, CR and LF, taking at most three fields.
RequestLine ParseRequestLine(const orv::string& line);

// The token read as an unsigned number the way stream input reads one; 0 when
// nothing can be read.
unsigned SequenceNumber(const orv::string& token);

// Requests longer than this are cut; no real request comes near it.
constexpr std::size_t kMaxRequestLine = 64 * 1024;

class Helper {
 public:
  // error_word answers protocol errors, for example "REJECTED". With more
  // than one worker, work requests are served on that many threads, and
  // ProcessRequest must be safe to call on several at once.
  explicit Helper(const orv::string& error_word, unsigned workers = 1);
  virtual ~Helper();

  // Serves requests from standard input until it ends or fails, or standard
  // output can no longer be written, and returns once every request read has
  // been answered. With workers, at most as many requests as there are
  // workers wait beside those being served; reading stops while they do.
  // QUIT is answered once every request before it has been. Throws
  // orv::Exception for the request word "crash", a test hook, and rethrows
  // what a worker's ProcessRequest let out, after the other requests.
  void Run();
  // The same, reading requests from in.
  void Run(orv::InputFile& in);

 protected:
  // The protocol version answered to INTF.
  virtual unsigned Interface(unsigned requested);
  // Called when QUIT arrives, before it is answered.
  virtual void Shutdown();
  // Serves one work request and writes its answer. Called only for a command
  // that HandlesCommand accepted, with non-empty parameters.
  virtual void ProcessRequest(unsigned seq, const orv::string& command,
                              const orv::string& parameters) = 0;
  virtual bool HandlesCommand(const orv::string& command) = 0;

  const orv::string error_word_;

 private:
  // Answers a work request that is malformed, or serves it: here when
  // workers is null, otherwise on a worker.
  void Dispatch(const RequestLine& request, orv::WorkQueue* workers);

  const unsigned workers_;
};

}  // namespace cgp

#endif  // CGP_HELPER_H_
