#include "http_guard.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <system_error>
#include <thread>

namespace cli {
namespace {

using Steady = std::chrono::steady_clock;

// Waits are cut into slices so that a connection notices the server stop.
constexpr auto kSlice = std::chrono::milliseconds(100);
// After a refusal the connection reads (and drops) what the client still
// sends, briefly, so that the answer is not lost to a reset.
constexpr size_t kDrainBytes = 256 * 1024;
constexpr auto kDrainTime = std::chrono::milliseconds(500);

std::string Address(socket_t sock, bool peer, int &port) {
  sockaddr_storage a{};
  socklen_t n = sizeof a;
  port = 0;
  if ((peer ? getpeername(sock, reinterpret_cast<sockaddr *>(&a), &n)
            : getsockname(sock, reinterpret_cast<sockaddr *>(&a), &n)) != 0)
    return std::string();
  char host[NI_MAXHOST] = {}, serv[NI_MAXSERV] = {};
  if (getnameinfo(reinterpret_cast<sockaddr *>(&a), n, host, sizeof host, serv, sizeof serv,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return std::string();
  port = std::atoi(serv);
  return host;
}

const char *Reason(int status) {
  switch (status) {
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Bad Request";
  }
}

std::string RefusalText(int status) {
  switch (status) {
    case 408: return "the request did not arrive in time";
    case 413: return "the request is too large";
    case 414: return "the request line is too long";
    case 431: return "the request's header is too large (too many lines, or a line too long)";
    case 503: return "too many connections are open to this console; try again shortly";
    default: return "the request is not HTTP";
  }
}

// How process_and_close_socket is called: on the listening thread first,
// to admit the connection or refuse it (kAdmit, with the answer in
// tl_admitted), then on the connection's own thread to serve it (kServe),
// or on the listening thread to refuse one admitted that found no thread
// (kRefuse).  And, on a connection's thread, the connection that the
// library is processing.
enum class Mode { kServe, kAdmit, kRefuse };
thread_local Mode tl_mode = Mode::kServe;
thread_local bool tl_admitted = false;
class Connection;
thread_local Connection *tl_current = nullptr;

// A thread for each connection admitted.  The counting is the server's,
// on the listening thread, so that a client over its limit takes neither
// a thread nor a place among the connections of the others.
class ConnectionThreads : public httplib::TaskQueue {
 public:
  void enqueue(std::function<void()> fn) override {
    tl_mode = Mode::kAdmit;
    fn();
    tl_mode = Mode::kServe;
    if (!tl_admitted) return;
    std::lock_guard<std::mutex> g(lock_);
    try {
      std::thread([this, fn] {
        fn();
        std::lock_guard<std::mutex> g(lock_);
        --running_;
        done_.notify_all();
      }).detach();
      ++running_;
    } catch (const std::system_error &) {
      tl_mode = Mode::kRefuse;
      fn();
      tl_mode = Mode::kServe;
    }
  }

  void shutdown() override {
    std::unique_lock<std::mutex> g(lock_);
    done_.wait(g, [&] { return running_ == 0; });
  }

 private:
  size_t running_ = 0;
  std::mutex lock_;
  std::condition_variable done_;
};

// A connection as the library's Stream: the head read ahead by the guard,
// then the socket, with the body's limit and deadline.
class Connection : public httplib::Stream {
 public:
  enum { kHead = 0, kGone = -1 };

  Connection(socket_t sock, const HttpLimits &limits, const std::atomic<socket_t> &listening)
      : sock_(sock), limits_(limits), listening_(listening) {}

  bool is_readable() const override { return pos_ < in_.size() || Wait(POLLIN, Steady::now()); }
  bool is_writable() const override { return Wait(POLLOUT, Steady::now() + limits_.writeTime); }

  ssize_t read(char *ptr, size_t size) override {
    if (served_ >= allowed_) {
      refusal_ = 413;
      return -1;
    }
    size = std::min(size, allowed_ - served_);
    if (pos_ < in_.size()) {
      size_t n = std::min(size, in_.size() - pos_);
      std::memcpy(ptr, in_.data() + pos_, n);
      pos_ += n;
      served_ += n;
      return static_cast<ssize_t>(n);
    }
    if (!Wait(POLLIN, bodyDeadline_)) {
      if (Steady::now() >= bodyDeadline_) refusal_ = 408;
      return -1;
    }
    ssize_t n = recv(sock_, ptr, size, 0);
    if (n > 0) served_ += static_cast<size_t>(n);
    return n;
  }

  ssize_t write(const char *ptr, size_t size) override {
    auto deadline = Steady::now() + limits_.writeTime;
    for (;;) {
      if (!Wait(POLLOUT, deadline)) return -1;
      ssize_t n = send(sock_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return n;
    }
  }

  void get_remote_ip_and_port(std::string &ip, int &port) const override { ip = Address(sock_, true, port); }
  void get_local_ip_and_port(std::string &ip, int &port) const override { ip = Address(sock_, false, port); }
  socket_t socket() const override { return sock_; }

  // Reads the next request's head, waiting up to `silence` for its first
  // byte: kHead once it is complete, kGone when the client closed or said
  // nothing, else the status that refuses it.
  int ReadHead(std::chrono::milliseconds silence) {
    in_.erase(0, pos_);
    pos_ = served_ = 0;
    auto deadline = Steady::now() + silence;
    bool started = !in_.empty();
    if (started) deadline = Steady::now() + limits_.headTime;
    size_t lineStart = 0, lines = 0, scanned = 0;
    for (;;) {
      for (size_t nl; (nl = in_.find('\n', scanned)) != std::string::npos; scanned = lineStart) {
        size_t length = nl + 1 - lineStart;
        if (lines == 0 && (length == 1 || (length == 2 && in_[lineStart] == '\r'))) {
          // Blank lines before a request are allowed.
          in_.erase(0, nl + 1);
          lineStart = 0;
          continue;
        }
        if (lines == 0 && length > limits_.requestLine) return 414;
        if (lines > 0 && length == 2 && in_[lineStart] == '\r') {
          allowed_ = nl + 1 + limits_.body + limits_.chunkFraming;
          bodyDeadline_ = Steady::now() + limits_.bodyTime;
          return kHead;
        }
        if (lines > 0 && length > limits_.headerLine) return 431;
        if (++lines > limits_.headerLines + 1) return 431;
        lineStart = nl + 1;
      }
      scanned = in_.size();
      size_t open = in_.size() - lineStart;
      if (lines == 0 && open > limits_.requestLine) return 414;
      if (lines > 0 && open > limits_.headerLine) return 431;
      if (in_.size() > limits_.head) return 431;
      if (!Wait(POLLIN, deadline)) return started && Steady::now() >= deadline ? 408 : kGone;
      char buffer[4096];
      ssize_t n = recv(sock_, buffer, sizeof buffer, 0);
      if (n <= 0) return kGone;
      if (!started) deadline = Steady::now() + limits_.headTime;
      started = true;
      in_.append(buffer, static_cast<size_t>(n));
    }
  }

  // Answers a refused request; the caller closes the connection.  Without
  // `linger` (on the listening thread) nothing waits.
  void Refuse(int status, bool linger) {
    std::string body = "{\"error\":\"" + RefusalText(status) + "\"}";
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
                      "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                      "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
    if (linger)
      write(out.data(), out.size());
    else
      send(sock_, out.data(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    shutdown(sock_, SHUT_WR);
    // What the client still sends is read and dropped for a moment (on the
    // listening thread only what has arrived), so that the close does not
    // reset the connection before the client has read the answer.
    auto deadline = Steady::now() + (linger ? kDrainTime : std::chrono::milliseconds(0));
    char buffer[4096];
    for (size_t drained = 0; drained < kDrainBytes && Wait(POLLIN, deadline);) {
      ssize_t n = recv(sock_, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n <= 0) break;
      drained += static_cast<size_t>(n);
    }
  }

  int Refusal() const { return refusal_; }
  bool Hungup() const {
    pollfd p{sock_, POLLIN | POLLRDHUP, 0};
    if (poll(&p, 1, 0) <= 0) return false;
    if (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) return true;
    char byte;
    return recv(sock_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
  }
  bool Closing() const { return closing_; }
  void CloseAfterAnswer() { closing_ = true; }

 private:
  // Waits until the socket is ready, the deadline passes or the server stops.
  bool Wait(short what, Steady::time_point deadline) const {
    for (;;) {
      if (listening_ == INVALID_SOCKET) return false;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
      pollfd p{sock_, what, 0};
      int r = poll(&p, 1, static_cast<int>(std::clamp(left, std::chrono::milliseconds(0), kSlice).count()));
      if (r > 0) return true;
      if ((r < 0 && errno != EINTR) || Steady::now() >= deadline) return false;
    }
  }

  socket_t sock_;
  const HttpLimits &limits_;
  const std::atomic<socket_t> &listening_;
  std::string in_;
  size_t pos_ = 0, served_ = 0, allowed_ = 0;
  Steady::time_point bodyDeadline_;
  int refusal_ = 0;
  bool closing_ = false;
};

}  // namespace

GuardedServer::GuardedServer(const HttpLimits &limits) : limits_(limits) {
  new_task_queue = [] { return new ConnectionThreads(); };
  set_payload_max_length(limits_.body);
  // What the library writes in its Keep-Alive header.
  set_keep_alive_timeout(std::chrono::duration_cast<std::chrono::seconds>(limits_.idle).count());
  set_keep_alive_max_count(limits_.requestsPerConnection);
  Server::set_error_handler([this](const httplib::Request &req, httplib::Response &res) {
    if (tl_current && tl_current->Refusal()) {
      res.status = tl_current->Refusal();
      res.set_header("Connection", "close");
    }
    if (onError_) onError_(req, res);
  });
}

int GuardedServer::Bind(const std::string &host, int port) {
  int bound = port == 0 ? bind_to_any_port(host) : bind_to_port(host, port) ? port : -1;
  if (bound >= 0) ::listen(svr_sock_, static_cast<int>(limits_.connections));
  return bound;
}

void GuardedServer::CloseAfterAnswer() {
  if (tl_current) tl_current->CloseAfterAnswer();
}

bool GuardedServer::ClientGone() { return tl_current && tl_current->Hungup(); }

void GuardedServer::OnError(Handler handler) { onError_ = std::move(handler); }

bool GuardedServer::Admit(const std::string &client) {
  std::lock_guard<std::mutex> g(clientsLock_);
  size_t &mine = clients_[client];
  if (connections_ >= limits_.connections || mine >= limits_.connectionsPerClient) {
    if (mine == 0) clients_.erase(client);
    return false;
  }
  ++mine;
  ++connections_;
  return true;
}

void GuardedServer::Leave(const std::string &client) {
  std::lock_guard<std::mutex> g(clientsLock_);
  --connections_;
  if (--clients_[client] == 0) clients_.erase(client);
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
  Connection c(sock, limits_, svr_sock_);
  int port = 0;
  std::string client = Address(sock, true, port);
  bool ok = false;
  if (tl_mode == Mode::kAdmit) {
    tl_admitted = Admit(client);
    if (tl_admitted) return true;
    c.Refuse(503, false);
  } else if (tl_mode == Mode::kRefuse) {
    c.Refuse(503, false);
    Leave(client);
  } else {
    for (size_t n = 1; n <= limits_.requestsPerConnection; ++n) {
      int head = c.ReadHead(n == 1 ? limits_.firstRequest : limits_.idle);
      if (head == Connection::kGone) break;
      if (head != Connection::kHead) {
        c.Refuse(head, true);
        break;
      }
      bool closed = false;
      tl_current = &c;
      ok = process_request(c, n == limits_.requestsPerConnection, closed, nullptr);
      tl_current = nullptr;
      if (!ok || closed || c.Refusal() || c.Closing()) break;
    }
    Leave(client);
  }
  shutdown(sock, SHUT_RDWR);
  close(sock);
  return ok;
}

}  // namespace cli
