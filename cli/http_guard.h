// http_guard.h -- the HTTP server of `volneda serve`, with the limits a
// server open to a network needs.  The cpp-httplib of Debian 12 (0.11)
// reads a request's whole head before any handler runs, with no bound on
// the number of header lines and none on the length of a line until it has
// been stored; it applies its body limit to Content-Length bodies only
// (neither to chunked ones nor to bodies that run to the end of the
// connection); and it serves a fixed pool of threads in which a slow
// client keeps one as long as it sends a byte every few seconds.  Newer
// versions offer some of this (a header count, a payload limit for every
// body); this one has no setting for any of it.  So the server takes over
// each connection itself (it overrides process_and_close_socket, which the
// library lets a derived server do): it reads the head with its own
// bounds and deadlines, answers what it refuses at once, hands the request
// to the library's process_request through a stream that applies the body
// limit and deadline to the bytes as they arrive, runs each connection on
// a thread of its own, and counts connections, in all and per client
// address.
#ifndef VOLNEDA_CLI_HTTP_GUARD_H
#define VOLNEDA_CLI_HTTP_GUARD_H

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace cli {

struct HttpLimits {
  size_t requestLine = 8 * 1024;  // bytes with its CR LF; longer: 414
  size_t headerLine = 8 * 1024;   // one header line; longer: 431
  size_t headerLines = 100;       // more: 431
  size_t head = 32 * 1024;        // request line and headers together; more: 431
  size_t body = 64 * 1024;        // bytes of a body as sent; more: 413
  size_t chunkFraming = 4 * 1024; // what a chunked body may add for its framing
  size_t connections = 128;       // at once, in all; more: 503
  size_t connectionsPerClient = 32;
  size_t requestsPerConnection = 100;
  std::chrono::milliseconds firstRequest{5000};  // silence after connecting: closed
  std::chrono::milliseconds idle{2000};          // silence between requests: closed
  std::chrono::milliseconds headTime{5000};      // from a head's first byte to its end: else 408
  std::chrono::milliseconds bodyTime{10000};     // from the head's end to the body's end: else 408
  std::chrono::milliseconds writeTime{5000};     // one write to the client: else the connection ends
};

class GuardedServer : public httplib::Server {
 public:
  explicit GuardedServer(const HttpLimits &limits);
  const HttpLimits &Limits() const { return limits_; }
  // Binds host:port (port 0: any free one) and gives the port, or -1.
  // The library listens with a backlog of 5 (CPPHTTPLIB_LISTEN_BACKLOG, set
  // when it was built), so that a burst of connections waits a second for
  // the client to try again; the bound socket listens afresh with a longer
  // one.
  int Bind(const std::string &host, int port);
  // The error handler: it sees the statuses of the body checks (413, 408)
  // that the library itself reports as 400.
  void OnError(Handler handler);
  // Called by a handler: the connection ends after this answer.
  static void CloseAfterAnswer();
  // Called by a handler that streams: whether the client has closed its
  // end of the connection.
  static bool ClientGone();

 private:
  bool process_and_close_socket(socket_t sock) override;
  bool Admit(const std::string &client);
  void Leave(const std::string &client);

  HttpLimits limits_;
  Handler onError_;
  std::mutex clientsLock_;
  std::map<std::string, size_t> clients_;  // open connections per address
  size_t connections_ = 0;
};

}  // namespace cli

#endif
