#include "tag_table.h"

#include <cstdio>
#include <ctime>
#include <unordered_map>

#include "console.h"

namespace cli {

std::vector<TagEvent> TagTable::Update(const ResultDoc &doc, Clock::time_point now) {
  ++round_;
  std::unordered_map<std::string, size_t> index;
  for (size_t i = 0; i < tags_.size(); ++i) index[tags_[i].tag.id] = i;
  std::vector<bool> seenNow(tags_.size(), false);
  std::vector<TagEvent> events;
  for (const DocTag &t : doc.tags) {
    auto it = index.find(t.id);
    size_t i;
    if (it == index.end()) {
      i = tags_.size();
      index[t.id] = i;
      tags_.push_back(SeenTag{t, now, now, round_, round_, 0, 0, false});
      seenNow.push_back(false);
    } else {
      i = it->second;
      if (seenNow[i]) continue;  // reported twice in one round
    }
    SeenTag &s = tags_[i];
    seenNow[i] = true;
    s.tag = t;
    s.lastSeen = now;
    s.lastRound = round_;
    ++s.timesSeen;
    if (!s.present) {
      s.present = true;
      s.arrivedRound = round_;
      events.push_back({TagEvent::kArrive, round_, now, s});
    }
  }
  for (size_t i = 0; i < tags_.size(); ++i)
    if (tags_[i].present && !seenNow[i]) {
      tags_[i].present = false;
      events.push_back({TagEvent::kLeave, round_, now, tags_[i]});
    }
  return events;
}

size_t TagTable::PresentCount() const {
  size_t n = 0;
  for (const SeenTag &s : tags_) n += s.present ? 1 : 0;
  return n;
}

Mark MarkOf(const TagTable &table, const SeenTag &s) {
  if (s.present) return s.arrivedRound == table.Round() ? Mark::kArrived : Mark::kPresent;
  return s.lastRound + 1 == table.Round() ? Mark::kLeft : Mark::kGone;
}

std::string ClockTime(Clock::time_point t) {
  std::tm tm = LocalTime(Clock::to_time_t(t));
  char b[16];
  std::snprintf(b, sizeof b, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return b;
}

std::string IsoTime(Clock::time_point t) {
  std::tm tm = LocalTime(Clock::to_time_t(t));
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count() % 1000;
  char b[64];
  std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
  return b;
}

}  // namespace cli
