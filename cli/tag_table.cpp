#include "tag_table.h"

#include <cstdio>
#include <ctime>
#include <unordered_map>

#include "console.h"
#include "presence_json.h"

namespace cli {

namespace {

volneda::PresenceRules EverySighting(volneda::PresenceRules rules) {
  rules.reportSeen = true;
  return rules;
}

}  // namespace

TagTable::TagTable(volneda::PresenceRules rules) : rules_(rules), tracker_(EverySighting(std::move(rules))) {}

std::vector<volneda::PresenceEvent> TagTable::Update(const ResultDoc &doc, Clock::time_point now) {
  std::vector<volneda::PresenceEvent> events = tracker_.update(SightingsOf(doc), now), out;
  for (const volneda::PresenceEvent &e : events) {
    auto it = index_.find(e.id);
    if (it == index_.end()) {
      if (e.kind != volneda::PresenceEvent::Kind::arrived) continue;
      it = index_.emplace(e.id, tags_.size()).first;
      tags_.emplace_back();
    }
    SeenTag &s = tags_[it->second];
    if (e.sighting < doc.tags.size()) s.tag = doc.tags[e.sighting];
    s.firstSeen = e.firstSeen;
    s.lastSeen = e.lastSeen;
    s.count = e.count;
    s.present = e.kind != volneda::PresenceEvent::Kind::left;
    if (e.kind == volneda::PresenceEvent::Kind::arrived) s.arrivedRound = e.round;
    if (e.kind == volneda::PresenceEvent::Kind::left) s.leftRound = e.round;
    if (e.kind != volneda::PresenceEvent::Kind::seen || rules_.reportSeen) out.push_back(e);
  }
  return out;
}

size_t TagTable::PresentCount() const {
  size_t n = 0;
  for (const SeenTag &s : tags_) n += s.present ? 1 : 0;
  return n;
}

Mark MarkOf(const TagTable &table, const SeenTag &s) {
  if (s.present) return s.arrivedRound == table.Round() ? Mark::kArrived : Mark::kPresent;
  return s.leftRound == table.Round() ? Mark::kLeft : Mark::kGone;
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
