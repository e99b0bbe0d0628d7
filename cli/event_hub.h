// event_hub.h -- server-sent events for the pages of `volneda serve`: what
// the console publishes is kept in a short backlog, and each page's stream
// waits for what comes after the last event it sent.
#ifndef VOLNEDA_CLI_EVENT_HUB_H
#define VOLNEDA_CLI_EVENT_HUB_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <mutex>
#include <string>

namespace cli {

class EventHub {
 public:
  // Keeps the last `backlog` events, and of them no more than `bytes` in
  // all (the latest event always); a stream that falls further behind is
  // told to start over ("reset").
  explicit EventHub(size_t backlog = 1000, size_t bytes = 4 * 1024 * 1024) : backlog_(backlog), bytes_(bytes) {}

  // `data` is one line of JSON.
  void Publish(const std::string &event, const std::string &data);
  // The number of the next event to be published: a new stream starts there.
  uint64_t Next();
  // Waits up to `timeout` for events from `cursor` on and appends them, in
  // the text/event-stream format, to `out`; advances the cursor.  False once
  // the hub is closed or the stream `id` was ended.
  bool Wait(uint64_t id, uint64_t &cursor, std::string &out, std::chrono::milliseconds timeout);
  // Ends every stream.
  void Close();

  // Streams open at once are limited: each holds a thread of the server.
  // A client (an address) at its own limit loses its oldest stream to the
  // new one; beyond the limit in all, Join gives 0.  Otherwise it gives
  // the stream's id, for Wait and Leave.
  uint64_t Join(const std::string &client, size_t perClient, size_t limit);
  void Leave(uint64_t id);

 private:
  struct Stream {
    uint64_t id;
    std::string client;
  };

  std::mutex lock_;
  std::condition_variable arrived_;
  std::deque<std::string> events_;  // events_[0] has the number first_
  uint64_t first_ = 0;
  size_t backlog_, bytes_, held_ = 0;
  std::list<Stream> streams_;  // oldest first
  uint64_t lastId_ = 0;
  bool closed_ = false;
};

}  // namespace cli

#endif
