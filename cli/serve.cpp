// volneda serve: the reader console in the browser.  An HTTP server
// (cpp-httplib) that serves the page built into the tool and the JSON API of
// web_console.h, with the status messages and the watch's rounds pushed to
// the page as server-sent events.  The limits on requests, connections
// and time are the guard's (http_guard.h).
#include <atomic>
#include <cstdlib>
#include <limits>
#include <random>
#include <thread>

#include "console.h"
#include "format.h"
#include "http_guard.h"
#include "text.h"
#include "tool.h"
#include "web_console.h"

namespace cli {
namespace {

struct WebFile {
  const char *path, *type, *data;
  size_t size;
};
// kWebFiles: the files of cli/web, turned into C++ at build time.
#include "web_files.inc"

constexpr int kDefaultPort = 8080;
// Event streams at once, in all and per client address (a browser opens
// at most six connections to one server).
constexpr size_t kMaxStreams = 32, kStreamsPerClient = 6;
constexpr auto kStreamPing = std::chrono::seconds(15), kStreamCheck = std::chrono::seconds(1);

// The page may load its own files and talk to its own server, nothing else.
constexpr const char *kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

struct Endpoint {
  std::string host;
  int port = kDefaultPort;
};

// PORT, ADDR:PORT or [IPV6]:PORT.
bool ParseListen(const std::string &text, Endpoint &e) {
  std::string port = text;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find("]:");
    if (close == std::string::npos) return false;
    e.host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else if (size_t colon = text.rfind(':'); colon != std::string::npos) {
    e.host = text.substr(0, colon);
    port = text.substr(colon + 1);
  } else {
    e.host = "127.0.0.1";
  }
  if (e.host.empty() || port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
    return false;
  e.port = std::atoi(port.c_str());
  return e.port <= 65535;
}

// The default address needs no token: only this machine reaches it.  Any
// other one, 127.0.0.2 included, does.
bool NeedsToken(const std::string &host) { return host != "127.0.0.1" && host != "localhost" && host != "::1"; }

bool EndsWith(const std::string &s, const std::string &end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// HOST:PORT, an IPv6 address in brackets.
std::string HostPort(const std::string &host, int port) {
  return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// The path as a pattern that matches it alone (the routes are regular
// expressions: "/app.js" would match "/appXjs").
std::string Exactly(const std::string &path) {
  std::string out;
  for (char c : path) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

std::string NewToken() {
  std::random_device random;
  std::string token;
  for (int i = 0; i < 8; ++i) {
    char b[9];
    std::snprintf(b, sizeof b, "%08x", static_cast<unsigned>(random()));
    token += b;
  }
  return token;
}

// Compares without stopping at the first difference.
bool SameToken(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::string CookieValue(const httplib::Request &req, const std::string &name) {
  std::string cookies = req.get_header_value("Cookie");
  size_t at = 0;
  while (at < cookies.size()) {
    size_t end = cookies.find(';', at);
    if (end == std::string::npos) end = cookies.size();
    std::string pair = Trim(cookies.substr(at, end - at));
    if (pair.rfind(name + "=", 0) == 0) return pair.substr(name.size() + 1);
    at = end + 1;
  }
  return std::string();
}

void Reply(httplib::Response &res, int status, const Json &j) {
  res.status = status;
  res.set_content(Dump(j), "application/json");
}

Json Body(const httplib::Request &req) {
  Json j = req.body.empty() ? Json::object() : Json::parse(req.body);
  if (!j.is_object()) throw BadRequest("the request body is a JSON object");
  return j;
}

long NumberParam(const httplib::Request &req, const char *name, long fallback) {
  if (!req.has_param(name)) return fallback;
  long n = 0;
  if (!ParseCount(req.get_param_value(name), n)) throw BadRequest(std::string(name) + ": a number");
  return n;
}

// A JSON number that is a whole number from lo to hi: nothing is cut,
// rounded or wrapped into range.
long WholeNumber(const Json &j, const std::string &name, long lo, long hi) {
  bool good = false;
  long n = 0;
  if (j.is_number_unsigned()) {
    uint64_t u = j.get<uint64_t>();
    good = u <= static_cast<uint64_t>(hi);
    n = good ? static_cast<long>(u) : 0;
  } else if (j.is_number_integer()) {
    int64_t i = j.get<int64_t>();
    good = i <= hi;
    n = good ? static_cast<long>(i) : 0;
  }
  if (!good || n < lo)
    throw BadRequest(name + ": a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
  return n;
}

// A value the library would store with '?' in place of some characters is
// refused unless the request allows the loss.
std::string CheckedValue(const Json &item, const std::string &name, bool lossy) {
  std::string value = item.at("value").get<std::string>();
  std::string misses = lossy ? std::string() : CodePageMisses(value);
  if (!misses.empty())
    throw BadRequest(name + ": the reader's code page (Windows-1252) cannot hold " + misses +
                     "; send \"lossy\": true to write them as '?'");
  return value;
}

std::vector<WriteItem> WriteItems(const Json &body, bool lossy) {
  std::vector<WriteItem> items;
  for (const Json &f : body.value("fields", Json::array())) {
    std::string name = "fields[" + std::to_string(items.size()) + "]";
    WriteItem w;
    w.entryNr = WholeNumber(f.at("entryNr"), name + ".entryNr", 0, 15);
    w.value = CheckedValue(f, name + ".value", lossy);
    items.push_back(w);
  }
  size_t fields = items.size();
  for (const Json &m : body.value("memory", Json::array())) {
    std::string name = "memory[" + std::to_string(items.size() - fields) + "]";
    WriteItem w;
    w.kind = WriteItem::kMemory;
    w.start = WholeNumber(m.at("start"), name + ".start", 0, 65535);
    w.length = WholeNumber(m.at("length"), name + ".length", 1, 256);
    std::string type = m.value("type", std::string("s"));
    w.type = type.empty() ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(type[0])));
    if (w.type != 'h' && w.type != 'i' && w.type != 's') throw BadRequest(name + ".type: h, i or s");
    w.value = CheckedValue(m, name + ".value", lossy);
    items.push_back(w);
  }
  return items;
}

class ConsoleServer {
 public:
  ConsoleServer(const Endpoint &at, WebConsole &console, EventHub &hub)
      : at_(at),
        console_(console),
        hub_(hub),
        token_(NeedsToken(at.host) ? NewToken() : std::string()),
        cookieValue_(token_.empty() ? std::string() : NewToken()),
        server_(HttpLimits()) {
    server_.set_default_headers({{"Cache-Control", "no-store"},
                                 {"X-Content-Type-Options", "nosniff"},
                                 {"Referrer-Policy", "no-referrer"},
                                 {"X-Frame-Options", "DENY"}});
    server_.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
      return Admit(req, res) ? httplib::Server::HandlerResponse::Unhandled : httplib::Server::HandlerResponse::Handled;
    });
    server_.OnError([](const httplib::Request &, httplib::Response &res) {
      if (!res.body.empty()) return;
      Reply(res, res.status, {{"error", res.status == 404 ? "no such page or API here (see docs/console.md)"
                                        : res.status == 413 ? "the request is too large"
                                        : res.status == 408 ? "the request did not arrive in time"
                                                            : "HTTP status " + std::to_string(res.status)}});
    });
    Routes();
  }

  // Binds the address (port 0: any free one); false when it cannot.
  bool Bind() {
    int port = server_.Bind(at_.host, at_.port);
    if (port < 0) return false;
    at_.port = port;
    return true;
  }
  void Listen() { server_.listen_after_bind(); }
  void Stop() { server_.stop(); }

  const Endpoint &At() const { return at_; }
  const std::string &Token() const { return token_; }

 private:
  bool Admit(const httplib::Request &req, httplib::Response &res) {
    std::string host = req.get_header_value("Host");
    std::string port = ":" + std::to_string(at_.port);
    // On port 80 a browser sends the Host, and the Origin, without the port.
    std::string authority = at_.port == 80 && EndsWith(host, port) ? host.substr(0, host.size() - 3) : host;
    if (token_.empty()) {
      // On the loopback address the Host must be the loopback too: a page
      // elsewhere whose name resolves here gets nothing.
      std::string name = EndsWith(host, port) ? host.substr(0, host.size() - port.size())
                         : at_.port == 80     ? host
                                              : std::string();
      if (name != "127.0.0.1" && name != "localhost" && name != "[::1]") {
        Reply(res, 403, {{"error", "this console answers to 127.0.0.1" + port + " only"}});
        return false;
      }
    } else if (!HasToken(req)) {
      res.set_header("WWW-Authenticate", "Bearer");
      Reply(res, 401, {{"error", "the access token that volneda serve printed at start is needed"}});
      return false;
    }
    // The API reads with GET and changes with POST; any other method is
    // refused before it reaches a route (and before it reads a body).
    if (req.method != "GET" && req.method != "HEAD" && req.method != "POST") {
      res.set_header("Allow", "GET, HEAD, POST");
      Reply(res, 405, {{"error", "this console answers GET, HEAD and POST only"}});
      return false;
    }
    // A browser says when another site's page makes the request (a page
    // can send a GET anywhere, and open event streams): the API answers
    // this console's own page and programs only.
    std::string site = req.get_header_value("Sec-Fetch-Site");
    if (req.path.rfind("/api/", 0) == 0 && (site == "cross-site" || site == "same-site")) {
      Reply(res, 403, {{"error", "the API answers this console's own page and programs, not other sites' pages"}});
      return false;
    }
    if (req.method == "POST") {
      std::string origin = req.get_header_value("Origin");
      if (!origin.empty() && origin != "http://" + authority) {
        Reply(res, 403, {{"error", "requests that change something come from this console's own page only"}});
        return false;
      }
      if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
        Reply(res, 415, {{"error", "the request body is JSON (Content-Type: application/json)"}});
        return false;
      }
    }
    return true;
  }

  // The page's cookie is named after the port, and holds a value of its
  // own rather than the token: a browser sends a host's cookies to every
  // port of it, and the other ports neither learn the token nor find a
  // cookie they would take.
  std::string Cookie() const { return "volneda_token_" + std::to_string(at_.port); }

  bool HasToken(const httplib::Request &req) const {
    // "Bearer" in any case, as HTTP's scheme names are.
    std::string auth = req.get_header_value("Authorization");
    size_t space = auth.find(' ');
    if (space != std::string::npos && Lower(auth.substr(0, space)) == "bearer" &&
        SameToken(Trim(auth.substr(space + 1)), token_))
      return true;
    if (SameToken(req.get_header_value("X-Volneda-Token"), token_)) return true;
    if (SameToken(CookieValue(req, Cookie()), cookieValue_)) return true;
    return req.has_param("token") && SameToken(req.get_param_value("token"), token_);
  }

  template <class F>
  httplib::Server::Handler Api(F f) {
    return [f](const httplib::Request &req, httplib::Response &res) {
      try {
        Reply(res, 200, f(req));
      } catch (const BadRequest &e) {
        Reply(res, 400, {{"error", e.what()}});
      } catch (const nlohmann::json::exception &e) {
        Reply(res, 400, {{"error", std::string("request: ") + e.what()}});
      }
    };
  }

  void Routes() {
    for (const WebFile &f : kWebFiles) {
      server_.Get(Exactly(f.path), [this, &f](const httplib::Request &req, httplib::Response &res) {
        res.set_content(f.data, f.size, f.type);
        if (std::string(f.path) != "/") return;
        res.set_header("Content-Security-Policy", kPagePolicy);
        // A token given in the address becomes a cookie of this page, so
        // that its own requests carry it.
        if (!token_.empty() && req.has_param("token"))
          res.set_header("Set-Cookie", Cookie() + "=" + cookieValue_ + "; HttpOnly; SameSite=Strict; Path=/");
      });
    }
    WebConsole &c = console_;
    server_.Get("/api/state", Api([&c](const httplib::Request &) { return c.State(); }));
    server_.Get("/api/readers", Api([&c](const httplib::Request &) { return c.Readers(); }));
    server_.Post("/api/open", Api([&c](const httplib::Request &req) {
                   return c.Open(Body(req).at("reader").get<std::string>());
                 }));
    server_.Post("/api/close", Api([&c](const httplib::Request &) { return c.Close(); }));
    server_.Get("/api/attribute", Api([&c](const httplib::Request &req) {
                  return c.GetAttribute(req.get_param_value("name"));
                }));
    server_.Post("/api/attribute", Api([&c](const httplib::Request &req) {
                   Json b = Body(req);
                   return c.SetAttribute(b.at("name").get<std::string>(), b.at("value").get<std::string>());
                 }));
    server_.Post("/api/command", Api([&c](const httplib::Request &req) {
                   return c.Command(Body(req).at("command").get<std::string>());
                 }));
    server_.Get("/api/tag", Api([&c](const httplib::Request &req) {
                  return c.Tag(req.get_param_value("id"), NumberParam(req, "start", 0), NumberParam(req, "length", 64));
                }));
    server_.Post("/api/write", Api([&c](const httplib::Request &req) {
                   Json b = Body(req);
                   return c.Write(b.at("id").get<std::string>(), WriteItems(b, b.value("lossy", false)));
                 }));
    server_.Post("/api/watch", Api([&c](const httplib::Request &req) {
                   // {"running": BOOL} and any presence rules, by their JSON names.
                   Json b = Body(req);
                   std::optional<bool> running;
                   if (b.contains("running")) {
                     if (!b["running"].is_boolean()) throw BadRequest("running: true or false");
                     running = b["running"].get<bool>();
                     b.erase("running");
                   }
                   return c.Watch(running, b);
                 }));
    server_.Get("/api/events", [this](const httplib::Request &req, httplib::Response &res) { Stream(req, res); });
  }

  // The event stream starts with the console's whole state ("hello"); what
  // happens from then on follows as it happens.
  void Stream(const httplib::Request &req, httplib::Response &res) {
    uint64_t id = hub_.Join(req.remote_addr, kStreamsPerClient, kMaxStreams);
    if (!id) {
      GuardedServer::CloseAfterAnswer();
      Reply(res, 503, {{"error", "too many pages are open on this console"}});
      return;
    }
    auto cursor = std::make_shared<uint64_t>(hub_.Next());
    auto hello = std::make_shared<std::string>("retry: 2000\nevent: hello\ndata: " +
                                               Dump(console_.State()) +
                                               "\n\n");
    EventHub &hub = hub_;
    res.set_chunked_content_provider(
        "text/event-stream",
        [&hub, id, cursor, hello](size_t, httplib::DataSink &sink) {
          std::string out;
          out.swap(*hello);
          // Waits in short steps, so that a page that went away frees its
          // place at once; a ping after a quiet while.
          for (auto quiet = std::chrono::seconds(0); out.empty(); quiet += kStreamCheck) {
            if (!hub.Wait(id, *cursor, out, kStreamCheck) || GuardedServer::ClientGone()) {
              // A stream that ended (another took its place, or the server
              // stops) ends its connection too.
              GuardedServer::CloseAfterAnswer();
              sink.done();
              return true;
            }
            if (out.empty() && quiet >= kStreamPing) out = ": ping\n\n";
          }
          return sink.write(out.data(), out.size());
        },
        [&hub, id](bool) { hub.Leave(id); });
  }

  Endpoint at_;
  WebConsole &console_;
  EventHub &hub_;
  std::string token_, cookieValue_;
  GuardedServer server_;
};

std::string UrlHost(const std::string &host) {
  if (host == "0.0.0.0") return "127.0.0.1";
  if (host == "::") return "[::1]";
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

}  // namespace

int Serve(const Options &opt, const std::vector<std::string> &args) {
  if (!args.empty()) {
    Emit(stderr, "volneda: serve takes no arguments (volneda serve --help)\n");
    return kExitUsage;
  }
  Endpoint at;
  at.host = "127.0.0.1";
  if (!opt.listen.empty() && !ParseListen(opt.listen, at)) {
    Emit(stderr, "volneda: --listen takes ADDR:PORT or PORT, not '" + opt.listen + "'\n");
    return kExitUsage;
  }
  EventHub hub;
  std::string config = ConfigPath(opt);
  WebConsole console(config, ConfigForLibrary(config), hub);
  ConsoleServer server(at, console, hub);
  if (!server.Bind()) {
    Emit(stderr, "volneda: cannot listen on " + opt.listen + (opt.listen.empty() ? "127.0.0.1:8080" : "") +
                     " (in use, or not an address of this machine); choose another with --listen ADDR:PORT\n");
    return kExitFailed;
  }
  CatchInterrupt();
  std::atomic<bool> ended{false};
  std::thread listener([&] {
    server.Listen();
    ended = true;
  });
  std::string url = "http://" + UrlHost(server.At().host) + ":" + std::to_string(server.At().port) + "/";
  if (server.Token().empty()) {
    Emit(stdout, "volneda serve: the reader console is at " + url + "\n");
  } else {
    Emit(stdout, "volneda serve: listening on " + HostPort(server.At().host, server.At().port) +
                     "; every request needs the access token " + server.Token() + "\n" +
                     "volneda serve: the reader console is at " + url + "?token=" + server.Token() + "\n");
  }
  Emit(stdout, "volneda serve: reader list " + config + "; Ctrl-C stops\n");
  while (!ended && SleepUnlessInterrupted(100)) {
  }
  // Streams first (each holds a server thread), then the server, then the
  // reader: Close, StopDispatcher, StopAll.
  hub.Close();
  server.Stop();
  listener.join();
  console.Shutdown();
  Emit(stdout, "volneda serve: stopped\n");
  return Interrupted() ? kExitOk : kExitFailed;
}

}  // namespace cli
