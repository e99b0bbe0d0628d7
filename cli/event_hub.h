// event_hub.h -- server-sent events for the pages of `volneda serve`: what
// the console publishes is kept in a short backlog, and each page's stream
// waits for what comes after the last event it sent.
#ifndef VOLNEDA_CLI_EVENT_HUB_H
#define VOLNEDA_CLI_EVENT_HUB_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace cli {

class EventHub {
 public:
  // Keeps the last `backlog` events; a stream that falls further behind is
  // told to start over ("reset").
  explicit EventHub(size_t backlog = 1000) : backlog_(backlog) {}

  // `data` is one line of JSON.
  void Publish(const std::string &event, const std::string &data);
  // The number of the next event to be published: a new stream starts there.
  uint64_t Next();
  // Waits up to `timeout` for events from `cursor` on and appends them, in
  // the text/event-stream format, to `out`; advances the cursor.  False once
  // the hub is closed.
  bool Wait(uint64_t &cursor, std::string &out, std::chrono::milliseconds timeout);
  // Ends every stream.
  void Close();

  // Streams open at once are limited: each holds one of the server's
  // threads.  Join is false when the limit is reached.
  bool Join(size_t limit);
  void Leave();

 private:
  std::mutex lock_;
  std::condition_variable arrived_;
  std::deque<std::string> events_;  // events_[0] has the number first_
  uint64_t first_ = 0;
  size_t backlog_;
  size_t streams_ = 0;
  bool closed_ = false;
};

}  // namespace cli

#endif
