#include "event_hub.h"

namespace cli {

void EventHub::Publish(const std::string &event, const std::string &data) {
  {
    std::lock_guard<std::mutex> g(lock_);
    events_.push_back("event: " + event + "\ndata: " + data + "\n\n");
    while (events_.size() > backlog_) {
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

bool EventHub::Wait(uint64_t &cursor, std::string &out, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> g(lock_);
  arrived_.wait_for(g, timeout, [&] { return closed_ || cursor < first_ + events_.size(); });
  if (closed_) return false;
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

bool EventHub::Join(size_t limit) {
  std::lock_guard<std::mutex> g(lock_);
  if (streams_ >= limit) return false;
  ++streams_;
  return true;
}

void EventHub::Leave() {
  std::lock_guard<std::mutex> g(lock_);
  --streams_;
}

}  // namespace cli
