#include "event_hub.h"

#include <algorithm>

namespace cli {

void EventHub::Publish(const std::string &event, const std::string &data) {
  {
    std::lock_guard<std::mutex> g(lock_);
    events_.push_back("event: " + event + "\ndata: " + data + "\n\n");
    held_ += events_.back().size();
    while (events_.size() > 1 && (events_.size() > backlog_ || held_ > bytes_)) {
      held_ -= events_.front().size();
      events_.pop_front();
      ++first_;
    }
  }
  arrived_.notify_all();
}

uint64_t EventHub::Next() {
  std::lock_guard<std::mutex> g(lock_);
  return first_ + events_.size();
}

bool EventHub::Wait(uint64_t id, uint64_t &cursor, std::string &out, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> g(lock_);
  auto ended = [&] {
    return closed_ || std::none_of(streams_.begin(), streams_.end(), [&](const Stream &s) { return s.id == id; });
  };
  arrived_.wait_for(g, timeout, [&] { return ended() || cursor < first_ + events_.size(); });
  if (ended()) return false;
  if (cursor < first_) {
    out += "event: reset\ndata: {}\n\n";
    cursor = first_;
  }
  for (; cursor < first_ + events_.size(); ++cursor) out += events_[cursor - first_];
  return true;
}

void EventHub::Close() {
  {
    std::lock_guard<std::mutex> g(lock_);
    closed_ = true;
  }
  arrived_.notify_all();
}

uint64_t EventHub::Join(const std::string &client, size_t perClient, size_t limit) {
  uint64_t id;
  {
    std::lock_guard<std::mutex> g(lock_);
    size_t own = std::count_if(streams_.begin(), streams_.end(), [&](const Stream &s) { return s.client == client; });
    if (own >= perClient) {
      streams_.erase(std::find_if(streams_.begin(), streams_.end(), [&](const Stream &s) { return s.client == client; }));
    } else if (streams_.size() >= limit) {
      return 0;
    }
    id = ++lastId_;
    streams_.push_back({id, client});
  }
  arrived_.notify_all();  // the stream that lost its place ends
  return id;
}

void EventHub::Leave(uint64_t id) {
  std::lock_guard<std::mutex> g(lock_);
  streams_.remove_if([&](const Stream &s) { return s.id == id; });
}

}  // namespace cli
