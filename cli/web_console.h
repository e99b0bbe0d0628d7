// web_console.h -- what `volneda serve` does over the library, apart from
// HTTP: one reader session, a watch that runs read rounds at an interval
// and keeps the tags' table (by the presence rules of
// volneda_presence.hpp) and a short history, and the
// operations of the page, each answering in JSON.  Every library call runs
// under one lock; the status messages an operation causes are published
// as events and returned with its answer.
#ifndef VOLNEDA_CLI_WEB_CONSOLE_H
#define VOLNEDA_CLI_WEB_CONSOLE_H

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "event_hub.h"
#include "session.h"
#include "tag_table.h"
#include "write_request.h"

namespace cli {

using Json = nlohmann::ordered_json;

// A request the console cannot take (HTTP 400); the library is not called.
struct BadRequest : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The characters of a UTF-8 text that the library's 8-bit code page
// (Windows-1252 on POSIX) cannot hold, each once: "Ł (U+0141), 日 (U+65E5)";
// empty when it holds them all.
std::string CodePageMisses(const std::string &utf8);

class WebConsole {
 public:
  // configPath: the reader list as the user named it (shown) and as it goes
  // to the library.
  WebConsole(const std::string &configPath, const std::string &libraryPath, EventHub &hub);
  ~WebConsole();
  WebConsole(const WebConsole &) = delete;
  WebConsole &operator=(const WebConsole &) = delete;

  Json State();
  Json Readers();
  // Opens this reader in place of the one that is open, if any; the watch
  // starts.  A reader that fails to open leaves the one that was open as
  // it was.
  Json Open(const std::string &reader);
  Json Close();
  // Reads change nothing in the console's state.
  Json GetAttribute(const std::string &name);
  Json SetAttribute(const std::string &name, const std::string &value);
  Json Command(const std::string &command);
  // A tag's template fields and `length` bytes of its memory from `start`.
  Json Tag(const std::string &id, long start, long length);
  Json Write(const std::string &id, const std::vector<WriteItem> &items);
  // Pauses or resumes the watch, and takes the presence rules given (their
  // JSON names; "interval" among them) over the current ones.  Rules other
  // than the interval start the table afresh.  Unknown rules, and rules
  // that cannot work, are a BadRequest naming them.
  Json Watch(std::optional<bool> running, const Json &rules);

  // Stops the watch and ends the session in the library's order.
  void Shutdown();

 private:
  struct Arrived {
    StatusMessage message;
    Clock::time_point at;
  };

  // Runs f (which returns the answer) under the library lock, then adds the
  // status messages it caused, published as they go.
  template <class F>
  Json Run(const char *origin, F &&f);
  Json Result(int32_t code);
  void KeepAttribute(const Json &a);
  void Arrive(const StatusMessage &m);
  Json WatchJson();
  Json StateLocked();
  void WatchLoop();
  void Round();

  std::string config_, libraryPath_;
  EventHub &hub_;
  std::mutex lib_;  // every library call, and the watch's table
  std::unique_ptr<ReaderSession> session_;

  std::mutex arrivedLock_;
  std::vector<Arrived> arrived_;

  TagTable table_;
  std::deque<Json> history_, changes_;
  Json attributes_ = Json::array();  // what was set since the open (the latest few)

  std::mutex watchLock_;  // taken after lib_, never before it
  std::condition_variable wake_;
  bool running_ = false, stop_ = false;
  volneda::PresenceRules rules_;  // under watchLock_; the table's tracker has a copy
  std::thread watcher_;
};

}  // namespace cli

#endif
